#pragma once

#include <QMutex>
#include <QStringList>
#include <qflog.h>

namespace lumora::test {

// Records the text of every trace record written while it lives, from any thread.
class TraceCapture
{
public:
    TraceCapture()
    {
        tavrin::QFLog::setObserver([this](const auto& record) { add(record.text); });
    }
    ~TraceCapture() { tavrin::QFLog::setObserver(nullptr); }

    QStringList lines() const
    {
        QMutexLocker lock(&mutex);
        return seen;
    }

private:
    void add(const QString& text)
    {
        QMutexLocker lock(&mutex);
        seen << text;
    }

    mutable QMutex mutex;
    QStringList seen;
};

} // namespace lumora::test
