#include "filestamp.h"

#include <QFileInfo>

FileStamp FileStamp::of(const QString& path)
{
    const QFileInfo info(path);
    FileStamp stamp;
    stamp.exists = info.exists();
    if (stamp.exists) {
        stamp.modified = info.lastModified();
        stamp.size = info.size();
    }
    return stamp;
}
