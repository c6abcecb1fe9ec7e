#include "lineassembler.h"

#include "trace.h"

QList<QByteArray> LineAssembler::feed(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    int start = 0;
    for (int end = bytes.indexOf('\n'); end >= 0; end = bytes.indexOf('\n', start)) {
        if (dropping) {
            dropping = false;
        } else if (pending.size() + (end - start) > maxLineBytes) {
            dropLine();
            dropping = false;
        } else {
            pending.append(bytes.constData() + start, end - start);
            if (!pending.isEmpty())
                lines.append(pending);
        }
        pending.clear();
        start = end + 1;
    }
    const int rest = bytes.size() - start;
    if (dropping)
        return lines;
    if (pending.size() + rest > maxLineBytes)
        dropLine();
    else
        pending.append(bytes.constData() + start, rest);
    return lines;
}

QList<QByteArray> LineAssembler::flush()
{
    QList<QByteArray> lines;
    if (!dropping && !pending.isEmpty())
        lines.append(pending);
    clear();
    return lines;
}

void LineAssembler::clear()
{
    pending.clear();
    dropping = false;
}

void LineAssembler::dropLine()
{
    common::trace() << QStringLiteral("Output line longer than %1 bytes dropped").arg(maxLineBytes);
    pending.clear();
    dropping = true;
}
