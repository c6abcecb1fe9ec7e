#include "atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace sim {

bool writeFileAtomically(const QString& path, const QByteArray& content, QString* error)
{
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        if (error)
            *error = QStringLiteral("cannot create folder %1").arg(folder);
        return false;
    }
    QSaveFile file(path);
    // commit() alone does not notice a failed final flush of a short write, so the write and
    // the flush are checked before the file replaces the old one.
    const bool written =
        file.open(QIODevice::WriteOnly) && file.write(content) == content.size() && file.flush();
    if (written && file.commit())
        return true;
    if (error)
        *error = QStringLiteral("cannot write %1: %2").arg(path, file.errorString());
    return false;
}

} // namespace sim
