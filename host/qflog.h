#pragma once

#include "tavrin_global.h"

#include <QDebug>
#include <QFile>
#include <QString>

#include <functional>
#include <memory>

namespace tavrin {

class LogFile;

// One trace record, written to the console and appended to the plug-in's daily log file
// (fileBase + "_" + yyyy-MM-dd + "." + suffix). The record ends when the object is destroyed.
//
// Records reach the file whole and in order. A record written outside any event loop is in the
// file when its statement ends; one written inside an event loop is buffered and written when
// that thread's loop is about to wait, when 64 KiB have gathered, at the latest 100 ms later,
// by flush() and at exit, so a burst of records costs few writes.
class TAVRIN_EXPORT QFLog
{
    // Declared first so that the streams below can be built on them.
    QString consoleText;
    QString fileText;
    QString color;
    QString tag;

public:
    // What a finished record carried, for observers (tests, diagnostics).
    struct Record
    {
        QString color;
        QString tag;
        QString extra;
        QString fileBase;
        QString suffix;
        QString text;
    };
    using Observer = std::function<void(const Record&)>;

    QFLog(const QString& color, const QString& tag, const QString& extra, const QString& fileBase,
          const QString& suffix);
    ~QFLog();

    QFLog(const QFLog&) = delete;
    QFLog& operator=(const QFLog&) = delete;

    QFLog& operator<<(const QString& text);

    template <typename T> QFLog& operator<<(const T& item)
    {
        console << item;
        if (file.isOpen())
            fileStream << item;
        return *this;
    }

    QDebug console;
    QFile file;
    QDebug fileStream;

    // Host-side: every finished record is also handed to the observer (null removes it).
    static void setObserver(Observer observer);
    // Host-side: console output on or off (benchmarks switch it off; on by default).
    static void setConsoleEnabled(bool enabled);
    // Host-side: writes every buffered record to its file now.
    static void flush();

private:
    QString extra;
    QString fileBase;
    QString suffix;
    // Kept by the record so that a day change cannot close its file under it.
    std::shared_ptr<LogFile> sink;
};

} // namespace tavrin
