#pragma once

#include <QDateTime>
#include <QString>

// What a file looked like at one moment. A result file that looks the same after a tool's run
// as before it was not written by that run, whatever the tool's exit code says.
struct FileStamp
{
    bool exists = false;
    QDateTime modified;
    qint64 size = -1;

    static FileStamp of(const QString& path);
    bool operator==(const FileStamp& other) const
    {
        return exists == other.exists && modified == other.modified && size == other.size;
    }
    bool operator!=(const FileStamp& other) const { return !(*this == other); }
};
