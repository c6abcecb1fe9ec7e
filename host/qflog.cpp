#include "qflog.h"

#include <QDate>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>

#include <atomic>
#include <cstdio>
#include <map>
#include <memory>

namespace tavrin {

namespace {

// Log files stay open for the life of the process, one per file name, so that a record costs
// one write and no open. Files of an earlier day are closed when a new day's file is opened.
class LogFiles
{
public:
    // Handle of the open file for name, or -1 when it cannot be opened.
    int handleFor(const QString& name, const QString& day)
    {
        QMutexLocker lock(&mutex);
        auto it = files.find(name);
        if (it != files.end())
            return it->second->handle();
        if (day != currentDay) {
            files.clear();
            currentDay = day;
        }
        QDir().mkpath(QFileInfo(name).absolutePath());
        auto file = std::make_unique<QFile>(name);
        if (!file->open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered))
            return -1;
        const int handle = file->handle();
        files.emplace(name, std::move(file));
        return handle;
    }

private:
    QMutex mutex;
    QString currentDay;
    std::map<QString, std::unique_ptr<QFile>> files;
};

LogFiles& logFiles()
{
    static LogFiles instance;
    return instance;
}

QMutex observerMutex;
QFLog::Observer observer;
std::atomic<bool> consoleEnabled{true};

void dropTrailingSpace(QString& text)
{
    if (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
}

} // namespace

QFLog::QFLog(const QString& color, const QString& tag, const QString& extra,
             const QString& fileBase, const QString& suffix)
    : color(color)
    , tag(tag)
    , console(&consoleText)
    , fileStream(&fileText)
    , extra(extra)
    , fileBase(fileBase)
    , suffix(suffix)
{
    const QString day = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const QString name = fileBase + QLatin1Char('_') + day + QLatin1Char('.') + suffix;
    const int handle = logFiles().handleFor(name, day);
    if (handle >= 0)
        file.open(handle, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::DontCloseHandle);
}

QFLog::~QFLog()
{
    dropTrailingSpace(consoleText);
    if (consoleEnabled.load(std::memory_order_relaxed)) {
        const QByteArray line =
            (color + tag + QLatin1Char(' ') + consoleText + QLatin1String("\033[0m\n")).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
    if (file.isOpen()) {
        dropTrailingSpace(fileText);
        file.write((tag + QLatin1Char(' ') + fileText + QLatin1Char('\n')).toUtf8());
        file.close();
    }
    QMutexLocker lock(&observerMutex);
    if (observer)
        observer(Record{color, tag, extra, fileBase, suffix, consoleText});
}

QFLog& QFLog::operator<<(const QString& text)
{
    console.noquote() << text;
    console.quote();
    if (file.isOpen()) {
        fileStream.noquote() << text;
        fileStream.quote();
    }
    return *this;
}

void QFLog::setObserver(Observer newObserver)
{
    QMutexLocker lock(&observerMutex);
    observer = std::move(newObserver);
}

void QFLog::setConsoleEnabled(bool enabled)
{
    consoleEnabled.store(enabled, std::memory_order_relaxed);
}

} // namespace tavrin
