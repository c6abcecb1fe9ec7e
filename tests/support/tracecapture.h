#pragma once

#include <QMutex>
#include <QStringList>
#include <qflog.h>

namespace lumora::test {

// Records every trace record written while it lives, from any thread.
class TraceCapture
{
public:
    TraceCapture()
    {
        tavrin::QFLog::setObserver([this](const auto& record) { add(record); });
    }
    ~TraceCapture() { tavrin::QFLog::setObserver(nullptr); }

    QList<tavrin::QFLog::Record> records() const
    {
        QMutexLocker lock(&mutex);
        return seen;
    }
    // The text of every record, in order.
    QStringList lines() const
    {
        QStringList out;
        for (const tavrin::QFLog::Record& record : records())
            out << record.text;
        return out;
    }
    bool contains(const QString& text) const { return lines().contains(text); }

private:
    void add(const tavrin::QFLog::Record& record)
    {
        QMutexLocker lock(&mutex);
        seen << record;
    }

    mutable QMutex mutex;
    QList<tavrin::QFLog::Record> seen;
};

} // namespace lumora::test
