#pragma once

#include <QList>
#include <QMutex>
#include <QStringList>
#include <qflog.h>

namespace lumora::test {

// Records every trace record written while it lives.
class TraceCapture
{
public:
    TraceCapture();
    ~TraceCapture();

    QList<tavrin::QFLog::Record> records() const;
    // The text of every record, in order.
    QStringList lines() const;
    bool contains(const QString& text) const { return lines().contains(text); }
    void clear();

private:
    mutable QMutex mutex;
    QList<tavrin::QFLog::Record> seen;
};

} // namespace lumora::test
