#pragma once

#include <QByteArray>
#include <QList>

// Cuts a process's output into lines. A line that a read ends in the middle of waits for the
// rest, so a line split by the pipe is seen whole.
class LineAssembler
{
public:
    // Complete lines of everything fed so far, without their line feeds; empty lines dropped.
    QList<QByteArray> feed(const QByteArray& bytes);
    // The unterminated rest, as a last line (empty list when there is none).
    QList<QByteArray> flush();
    void clear() { pending.clear(); }

private:
    QByteArray pending;
};
