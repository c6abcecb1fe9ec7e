#pragma once

#include <QByteArray>
#include <QString>

// Keeps the end of a stream that may be far too long to hold: a tool's standard error is read
// as it arrives, and only its last bytes are worth showing.
class OutputTail
{
public:
    explicit OutputTail(int limit)
        : limit(limit)
    {}

    void append(const QByteArray& bytes);
    void clear();
    // The kept bytes as text; an earlier part that was dropped shows as "...\n" in front.
    QString text() const;

private:
    int limit;
    QByteArray tail;
    bool cut = false;
};
