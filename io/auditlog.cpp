#include "auditlog.h"

#include "trace.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QTextStream>

namespace {

QMutex& fileMutex()
{
    static QMutex mutex;
    return mutex;
}

struct Clock
{
    QMutex mutex;
    std::function<QDateTime()> read;
};

Clock& auditClock()
{
    static Clock clock;
    return clock;
}

QDateTime now()
{
    Clock& clock = auditClock();
    QMutexLocker lock(&clock.mutex);
    return clock.read ? clock.read() : QDateTime::currentDateTime();
}

bool belongsInErrorFile(const QString& tag, const QString& message)
{
    return tag == QStringLiteral("被拒绝") || tag == QStringLiteral("异常") ||
           message.contains(QStringLiteral("失败"));
}

void appendLine(const QString& path, const QString& line)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        return;
    QTextStream out(&file);
    out.setCodec("UTF-8");
    out << line << "\n";
    out.flush();
    file.close();
}

} // namespace

void writeAuditLog(const QString& planId, const QString& tag, const QString& message)
{
    // One reading for both fields, so that a line written at midnight lands in the file of the
    // day its time field shows.
    const QDateTime stamp = now();
    const QString date = stamp.toString(QStringLiteral("yyyy-MM-dd"));
    const QString time = stamp.toString(QStringLiteral("MM/dd hh:mm:ss.zzz"));
    // Multi-argument arg() substitutes in one pass: percent signs in any field stay as they are.
    const QString line =
        QStringLiteral("[%1] planId=%2 时间=%3 %4").arg(tag, planId, time, message);
    const QString folder = QDir::currentPath() + QStringLiteral("/logs");

    {
        QMutexLocker lock(&fileMutex());
        QDir().mkpath(folder);
        appendLine(folder + QStringLiteral("/audit-dev-") + date + QStringLiteral(".log"), line);
        if (belongsInErrorFile(tag, message))
            appendLine(folder + QStringLiteral("/error-") + date + QStringLiteral(".log"), line);
    }

    common::trace() << line;
}

void setAuditClock(std::function<QDateTime()> newClock)
{
    Clock& clock = auditClock();
    QMutexLocker lock(&clock.mutex);
    clock.read = std::move(newClock);
}
