#include "atomicfile.h"

#include <QDir>
#include <QFile>
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

std::optional<QByteArray> readRegularFile(const QString& path, qint64 maxBytes)
{
    const QFileInfo info(path);
    QFile file(path);
    if (!info.isFile() || info.size() > maxBytes || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    // One byte more than allowed tells a file that grew since it was looked at.
    QByteArray content = file.read(maxBytes + 1);
    if (content.size() > maxBytes || file.error() != QFile::NoError)
        return std::nullopt;
    return content;
}

} // namespace sim
