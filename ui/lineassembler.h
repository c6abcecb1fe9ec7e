#pragma once

#include "lumoracalibration_global.h"

#include <QByteArray>
#include <QList>

// Cuts a process's output into lines. A line that a read ends in the middle of waits for the
// rest, so a line split by the pipe is seen whole. Only the bytes of each read are searched, and
// a line longer than maxLineBytes is dropped (with a trace record) rather than held.
class LUMORACALIBRATION_EXPORT LineAssembler
{
public:
    static constexpr int maxLineBytes = 1024 * 1024;

    // Complete lines of everything fed so far, without their line feeds; empty lines dropped.
    QList<QByteArray> feed(const QByteArray& bytes);
    // The unterminated rest, as a last line (empty list when there is none).
    QList<QByteArray> flush();
    void clear();

private:
    void dropLine();

    QByteArray pending; // never holds a line feed
    bool dropping = false;
};
