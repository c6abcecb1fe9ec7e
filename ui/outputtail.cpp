#include "outputtail.h"

void OutputTail::append(const QByteArray& bytes)
{
    if (bytes.size() >= limit) {
        tail = bytes.right(limit);
        cut = true;
    } else {
        tail.append(bytes);
        if (tail.size() > limit) {
            tail.remove(0, tail.size() - limit);
            cut = true;
        }
    }
}

void OutputTail::clear()
{
    tail.clear();
    cut = false;
}

QString OutputTail::text() const
{
    if (!cut)
        return QString::fromUtf8(tail);
    // The cut may have split a character: its continuation bytes are no text.
    int start = 0;
    while (start < tail.size() && (uchar(tail.at(start)) & 0xC0) == 0x80)
        ++start;
    return QStringLiteral("...\n") + QString::fromUtf8(tail.mid(start));
}
