#include "auditlog.h"

#include "trace.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>

namespace {

#if defined(Q_OS_WIN)
const char lineEnd[] = "\r\n";
#else
const char lineEnd[] = "\n";
#endif

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

// A line feed inside a field (a controller's string reply, say) would start a record of its own
// that nobody wrote.
QString escapeControls(const QString& field)
{
    QString out;
    for (const QChar c : field) {
        if (c == QLatin1Char('\n'))
            out += QStringLiteral("\\n");
        else if (c == QLatin1Char('\r'))
            out += QStringLiteral("\\r");
        else if (c.unicode() < 0x20)
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    return out;
}

// One write, so the line reaches the file whole or, cut back after a short write, not at all.
// A file that ends inside a line (torn before we got to it) gets a line feed first.
bool appendLine(const QString& path, const QByteArray& line)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite | QIODevice::Append | QIODevice::Unbuffered))
        return false;
    const qint64 before = file.size();
    QByteArray bytes;
    if (before > 0) {
        char last = '\n';
        if (!file.seek(before - 1) || !file.getChar(&last) || !file.seek(before))
            return false;
        if (last != '\n')
            bytes.append(lineEnd);
    }
    bytes.append(line).append(lineEnd);
    if (file.write(bytes) == bytes.size())
        return true;
    file.resize(before);
    return false;
}

} // namespace

bool writeAuditLog(const QString& planId, const QString& tag, const QString& message)
{
    // One reading for both fields, so that a line written at midnight lands in the file of the
    // day its time field shows.
    const QDateTime stamp = now();
    const QString date = stamp.toString(QStringLiteral("yyyy-MM-dd"));
    const QString time = stamp.toString(QStringLiteral("MM/dd hh:mm:ss.zzz"));
    // Multi-argument arg() substitutes in one pass: percent signs in any field stay as they are.
    const QString line =
        QStringLiteral("[%1] planId=%2 时间=%3 %4")
            .arg(escapeControls(tag), escapeControls(planId), time, escapeControls(message));
    const QByteArray bytes = line.toUtf8();
    const QString folder = QDir::currentPath() + QStringLiteral("/logs");

    bool recorded = false;
    {
        QMutexLocker lock(&fileMutex());
        QDir().mkpath(folder);
        recorded = appendLine(
            folder + QStringLiteral("/audit-dev-") + date + QStringLiteral(".log"), bytes);
        if (belongsInErrorFile(tag, message))
            appendLine(folder + QStringLiteral("/error-") + date + QStringLiteral(".log"), bytes);
    }

    common::trace() << line;
    return recorded;
}

void setAuditClock(std::function<QDateTime()> newClock)
{
    Clock& clock = auditClock();
    QMutexLocker lock(&clock.mutex);
    clock.read = std::move(newClock);
}
