#include "lineassembler.h"

QList<QByteArray> LineAssembler::feed(const QByteArray& bytes)
{
    QList<QByteArray> lines;
    pending.append(bytes);
    int start = 0;
    for (int end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n', start)) {
        if (end > start)
            lines.append(pending.mid(start, end - start));
        start = end + 1;
    }
    pending.remove(0, start);
    return lines;
}

QList<QByteArray> LineAssembler::flush()
{
    QList<QByteArray> lines;
    if (!pending.isEmpty())
        lines.append(pending);
    pending.clear();
    return lines;
}
