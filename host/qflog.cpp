#include "qflog.h"

#include <QAbstractEventDispatcher>
#include <QDate>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QPointer>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <mutex>
#include <thread>

namespace tavrin {

// One open daily log file and the records not yet written to it.
class LogFile
{
public:
    LogFile();
    ~LogFile();

    QFile file;
    QByteArray pending;   // guarded by LogWriter::bufferMutex
    bool retired = false; // a later day's file took its place; guarded by bufferMutex
    // What a record's own handle is opened on: bytes written to it join the buffered records.
    // Opening a handle on it costs no system call, unlike one on the file's descriptor.
    std::FILE* stream = nullptr;
};

namespace {

constexpr int flushThreshold = 64 * 1024;
constexpr std::chrono::milliseconds flushDelay(100);
constexpr qint64 dayCheckMs = 60 * 1000;
constexpr qint64 retryMs = 1000;

// Keeps every log file open for the life of the process and gathers records in memory, so that a
// burst of records costs a few writes instead of one each. Files of an earlier day are closed
// when a new day's file is opened.
//
// Two locks: bufferMutex guards the buffers and the file table and is held only briefly;
// writeMutex is held while buffers are taken and written, so that writes keep record order.
class LogWriter
{
public:
    // Never destroyed: records may still come while the process's statics are being destroyed.
    static LogWriter& instance()
    {
        static LogWriter* writer = new LogWriter;
        return *writer;
    }

    // The day's file for the base and suffix; null when it cannot be opened.
    std::shared_ptr<LogFile> fileFor(const QString& fileBase, const QString& suffix)
    {
        QString name;
        {
            std::lock_guard<std::mutex> lock(bufferMutex);
            const qint64 now = QDateTime::currentMSecsSinceEpoch();
            if (lastFile && now >= lastDayCheck && now < nextDayCheck && lastBase == fileBase &&
                lastSuffix == suffix)
                return lastFile;
            name = fileBase + QLatin1Char('_') + today(now) + QLatin1Char('.') + suffix;
            const auto found = files.find(name);
            if (found != files.end())
                return remember(fileBase, suffix, found->second);
            // A file that cannot be opened is tried again now and then, not on every record.
            if (name == failedName && now < retryAfter)
                return nullptr;
        }
        // Opening, and closing an earlier day's files, writes their rest: in record order only
        // with the write lock held.
        std::lock_guard<std::mutex> writing(writeMutex);
        std::lock_guard<std::mutex> lock(bufferMutex);
        auto found = files.find(name);
        if (found == files.end()) {
            if (dayText != filesDay) {
                retireAll();
                filesDay = dayText;
            }
            QDir().mkpath(QFileInfo(name).absolutePath());
            auto opened = std::make_shared<LogFile>();
            opened->file.setFileName(name);
            if (!opened->file.open(QIODevice::WriteOnly | QIODevice::Append |
                                   QIODevice::Unbuffered)) {
                failedName = name;
                retryAfter = QDateTime::currentMSecsSinceEpoch() + retryMs;
                return nullptr;
            }
            found = files.emplace(name, std::move(opened)).first;
        }
        return remember(fileBase, suffix, found->second);
    }

    void append(LogFile* file, const QByteArray& record)
    {
        const bool writeNow = exiting.load() || !hookEventLoop();
        bool full = false;
        {
            std::lock_guard<std::mutex> lock(bufferMutex);
            file->pending.append(record);
            full = file->pending.size() >= flushThreshold || file->retired;
        }
        if (writeNow || full) {
            std::lock_guard<std::mutex> lock(writeMutex);
            writeOut(*file);
            return;
        }
        if (!dirty.exchange(true))
            wakeFlusher();
    }

    void flushAll()
    {
        if (!dirty.exchange(false))
            return;
        std::lock_guard<std::mutex> writing(writeMutex);
        std::vector<std::shared_ptr<LogFile>> open;
        {
            std::lock_guard<std::mutex> lock(bufferMutex);
            for (const auto& entry : files)
                open.push_back(entry.second);
        }
        for (const auto& file : open)
            writeOut(*file);
    }

    // From here on every record is written at once: nothing will come round to flush.
    void finish()
    {
        exiting.store(true);
        dirty.store(true);
        flushAll();
    }

private:
    LogWriter()
    {
        std::atexit([] { LogWriter::instance().finish(); });
    }

    // Requires writeMutex.
    void writeOut(LogFile& file)
    {
        QByteArray bytes;
        {
            std::lock_guard<std::mutex> lock(bufferMutex);
            bytes.swap(file.pending);
        }
        if (!bytes.isEmpty())
            file.file.write(bytes);
    }

    // Requires both locks. Records still on their way to a retired file are written directly.
    void retireAll()
    {
        for (auto& entry : files) {
            entry.second->retired = true;
            if (!entry.second->pending.isEmpty()) {
                entry.second->file.write(entry.second->pending);
                entry.second->pending.clear();
            }
        }
        files.clear();
        lastFile.reset();
    }

    // Requires bufferMutex.
    const std::shared_ptr<LogFile>& remember(const QString& fileBase, const QString& suffix,
                                             const std::shared_ptr<LogFile>& file)
    {
        lastBase = fileBase;
        lastSuffix = suffix;
        lastFile = file;
        return lastFile;
    }

    // Requires bufferMutex. The local date, looked up again only when a day may have ended (or
    // once a minute, for a clock or zone change), since a local date costs a time zone lookup.
    QString today(qint64 now)
    {
        if (now < nextDayCheck && now >= lastDayCheck)
            return dayText;
        const QDate date = QDate::currentDate();
        dayText = date.toString(QStringLiteral("yyyy-MM-dd"));
        const qint64 midnight = QDateTime(date.addDays(1), QTime(0, 0)).toMSecsSinceEpoch();
        lastDayCheck = now;
        nextDayCheck = std::min(midnight, now + dayCheckMs);
        return dayText;
    }

    // Arranges a flush when the calling thread's event loop is about to wait. False when the
    // thread runs no event loop: then no such moment comes and the record is written at once.
    static bool hookEventLoop()
    {
        QThread* thread = QThread::currentThread();
        if (!thread || thread->loopLevel() == 0)
            return false;
        QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance(thread);
        if (!dispatcher)
            return false;
        thread_local QPointer<QAbstractEventDispatcher> hooked;
        if (hooked != dispatcher) {
            QObject::connect(dispatcher, &QAbstractEventDispatcher::aboutToBlock,
                             [] { LogWriter::instance().flushAll(); });
            hooked = dispatcher;
        }
        return true;
    }

    // The last resort for a loop that stays busy: buffered records wait at most flushDelay.
    void wakeFlusher()
    {
        std::lock_guard<std::mutex> lock(flusherMutex);
        if (!flusherStarted) {
            flusherStarted = true;
            std::thread([this] { runFlusher(); }).detach();
        }
        flusherWake.notify_one();
    }

    void runFlusher()
    {
        std::unique_lock<std::mutex> lock(flusherMutex);
        for (;;) {
            flusherWake.wait(lock, [this] { return dirty.load(); });
            flusherWake.wait_for(lock, flushDelay);
            lock.unlock();
            flushAll();
            lock.lock();
        }
    }

    std::mutex bufferMutex;
    std::mutex writeMutex;
    std::map<QString, std::shared_ptr<LogFile>> files;
    QString filesDay;
    QString lastBase;
    QString lastSuffix;
    QString failedName;
    qint64 retryAfter = 0;
    std::shared_ptr<LogFile> lastFile;
    QString dayText;
    qint64 lastDayCheck = 0;
    qint64 nextDayCheck = 0;
    std::atomic<bool> dirty{false};
    std::atomic<bool> exiting{false};
    std::mutex flusherMutex;
    std::condition_variable flusherWake;
    bool flusherStarted = false;
};

#if defined(__GLIBC__)
ssize_t writeToLog(void* cookie, const char* bytes, size_t size)
{
    LogWriter::instance().append(static_cast<LogFile*>(cookie),
                                 QByteArray(bytes, int(qMin<size_t>(size, INT_MAX))));
    return ssize_t(qMin<size_t>(size, INT_MAX));
}
#endif

std::mutex observerMutex;
QFLog::Observer observer;
std::atomic<bool> observed{false};
std::atomic<bool> consoleEnabled{true};

void dropTrailingSpace(QString& text)
{
    if (text.endsWith(QLatin1Char(' ')))
        text.chop(1);
}

// A record is one line: a control character inside it (a robot type with a line feed, say)
// would forge a record of its own, so each one is written as an escape.
void escapeControls(QString& text)
{
    const auto isControl = [](QChar c) { return c.unicode() < 0x20; };
    if (std::none_of(text.cbegin(), text.cend(), isControl))
        return;
    QString out;
    out.reserve(text.size() + 16);
    for (const QChar c : qAsConst(text)) {
        if (c == QLatin1Char('\n'))
            out += QLatin1String("\\n");
        else if (c == QLatin1Char('\r'))
            out += QLatin1String("\\r");
        else if (isControl(c))
            out += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else
            out += c;
    }
    text.swap(out);
}

} // namespace

LogFile::LogFile()
{
#if defined(__GLIBC__)
    cookie_io_functions_t functions{};
    functions.write = writeToLog;
    stream = fopencookie(this, "w", functions);
    if (stream)
        std::setvbuf(stream, nullptr, _IONBF, 0);
#endif
}

LogFile::~LogFile()
{
    if (stream)
        std::fclose(stream);
}

QFLog::QFLog(const QString& color, const QString& tag, const QString& extra,
             const QString& fileBase, const QString& suffix)
    : color(color)
    , tag(tag)
    , console(&consoleText)
    , fileStream(&fileText)
    , extra(extra)
    , fileBase(fileBase)
    , suffix(suffix)
    , sink(LogWriter::instance().fileFor(fileBase, suffix))
{
    // The record's own handle tells the inline insertion that the file is there; the record
    // itself goes through the writer.
    if (sink && sink->stream)
        file.open(sink->stream, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    else if (sink)
        file.open(sink->file.handle(), QIODevice::WriteOnly | QIODevice::Append,
                  QFileDevice::DontCloseHandle);
}

QFLog::~QFLog()
{
    dropTrailingSpace(consoleText);
    escapeControls(consoleText);
    if (consoleEnabled.load(std::memory_order_relaxed)) {
        const QByteArray line =
            (color + tag + QLatin1Char(' ') + consoleText + QLatin1String("\033[0m\n")).toUtf8();
        std::fwrite(line.constData(), 1, size_t(line.size()), stderr);
    }
    if (sink && file.isOpen()) {
        dropTrailingSpace(fileText);
        escapeControls(fileText);
        QByteArray record = tag.toUtf8();
        record.reserve(record.size() + fileText.size() * 3 + 2);
        record.append(' ').append(fileText.toUtf8()).append('\n');
        LogWriter::instance().append(sink.get(), record);
        file.close();
    }
    if (observed.load()) {
        std::lock_guard<std::mutex> lock(observerMutex);
        if (observer)
            observer(Record{color, tag, extra, fileBase, suffix, consoleText});
    }
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
    std::lock_guard<std::mutex> lock(observerMutex);
    observer = std::move(newObserver);
    observed.store(bool(observer));
}

void QFLog::setConsoleEnabled(bool enabled)
{
    consoleEnabled.store(enabled, std::memory_order_relaxed);
}

void QFLog::flush()
{
    LogWriter& writer = LogWriter::instance();
    writer.flushAll();
}

} // namespace tavrin
