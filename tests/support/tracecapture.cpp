#include "tracecapture.h"

#include <QMutexLocker>

namespace lumora::test {

TraceCapture::TraceCapture()
{
    tavrin::QFLog::setObserver([this](const tavrin::QFLog::Record& record) {
        QMutexLocker lock(&mutex);
        seen.append(record);
    });
}

TraceCapture::~TraceCapture()
{
    tavrin::QFLog::setObserver(nullptr);
}

QList<tavrin::QFLog::Record> TraceCapture::records() const
{
    QMutexLocker lock(&mutex);
    return seen;
}

QStringList TraceCapture::lines() const
{
    QStringList out;
    for (const tavrin::QFLog::Record& record : records())
        out.append(record.text);
    return out;
}

void TraceCapture::clear()
{
    QMutexLocker lock(&mutex);
    seen.clear();
}

} // namespace lumora::test
