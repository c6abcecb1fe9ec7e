#include "sitefolder.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>

#include <cellpaths.h>

namespace {

bool copyFile(const QFileInfo& source, const QString& target, QString* error)
{
    QFile in(source.filePath());
    QSaveFile out(target);
    if (!QDir().mkpath(QFileInfo(target).absolutePath()) || !in.open(QIODevice::ReadOnly) ||
        !out.open(QIODevice::WriteOnly)) {
        *error = QStringLiteral("cannot copy %1 to %2").arg(source.filePath(), target);
        return false;
    }
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() || out.write(chunk) != chunk.size()) {
            out.cancelWriting();
            break;
        }
    }
    if (!out.commit()) {
        *error = QStringLiteral("cannot copy %1 to %2: %3")
                     .arg(source.filePath(), target, out.errorString());
        return false;
    }
    // The copy carries the template's time stamp, by which a later start sees it is current.
    QFile copy(target);
    if (!copy.setPermissions(source.permissions() | QFile::WriteOwner) ||
        !copy.open(QIODevice::ReadOnly) ||
        !copy.setFileTime(source.lastModified(), QFileDevice::FileModificationTime)) {
        *error = QStringLiteral("cannot finish %1: %2").arg(target, copy.errorString());
        return false;
    }
    return true;
}

} // namespace

QString installedSiteTemplate()
{
    const QString folder = QDir(QCoreApplication::applicationDirPath())
                               .filePath(QStringLiteral(LUMORA_BIN_TO_TEMPLATEDIR));
    return QFileInfo(folder).isDir() ? QDir::cleanPath(folder) : QString();
}

QString defaultSiteFolder(const QString& siteTemplate)
{
    if (siteTemplate.isEmpty())
        return QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("../site"));
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

bool prepareSiteFolder(const QString& site, const QString& siteTemplate, QString* error)
{
    const QString root = QDir(site).filePath(sim::calibrationRootSuffix());
    const QDir from(siteTemplate);
    QDirIterator it(siteTemplate, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo source(it.next());
        const QString target = QDir(root).filePath(from.relativeFilePath(source.filePath()));
        const QFileInfo present(target);
        if (present.exists() &&
            (!source.isExecutable() ||
             (present.size() == source.size() && present.lastModified() == source.lastModified())))
            continue;
        if (!copyFile(source, target, error))
            return false;
    }
    return true;
}
