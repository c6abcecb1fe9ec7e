#include "cellpaths.h"

#include <QDir>
#include <QFileInfo>

namespace sim {

namespace {

QString stateOverride()
{
    return qEnvironmentVariable("LUMORA_CELL_STATE");
}

} // namespace

QString calibrationRootSuffix()
{
    return QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration");
}

QString defaultCellStatePath()
{
    const QString path = stateOverride();
    return path.isEmpty() ? QStringLiteral("cell/state.json") : path;
}

QString siteForCalibrationRoot(const QString& root)
{
    const QString clean = QDir::cleanPath(QDir(root).absolutePath());
    const QString suffix = QLatin1Char('/') + calibrationRootSuffix();
    if (clean.endsWith(suffix) && clean.size() > suffix.size())
        return clean.left(clean.size() - suffix.size());
    if (clean.endsWith(suffix))
        return QStringLiteral("/");
    return QFileInfo(clean).absolutePath();
}

QString cellStatePathForRoot(const QString& root)
{
    const QString path = stateOverride();
    if (!path.isEmpty())
        return path;
    return QDir(siteForCalibrationRoot(root)).filePath(QStringLiteral("cell/state.json"));
}

QString resolveCalibrationRoot(const QString& pathArgument, const QString& toolFolder)
{
    if (pathArgument.isEmpty())
        return QString();
    if (QDir::isAbsolutePath(pathArgument))
        return QFileInfo(pathArgument).isDir() ? QDir::cleanPath(pathArgument) : QString();
    if (QFileInfo(pathArgument).isDir())
        return QDir::cleanPath(QDir::current().absoluteFilePath(pathArgument));
    QDir ancestor(QDir(toolFolder).absolutePath());
    while (true) {
        const QString candidate = ancestor.absoluteFilePath(pathArgument);
        if (QFileInfo(candidate).isDir())
            return QDir::cleanPath(candidate);
        if (!ancestor.cdUp())
            return QString();
    }
}

} // namespace sim
