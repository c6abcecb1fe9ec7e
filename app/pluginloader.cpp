#include "pluginloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>

#include <pluginregister.h>

PluginLoadResult loadPluginLibrary(const QString& path)
{
    PluginLoadResult result;
    const QStringList before = tavrin::tavrinFactory().ids();
    // A loaded library stays in memory after its QLibrary is gone (until unload()), which the
    // registry needs: it keeps the library's factories.
    QLibrary library(path);
    if (!library.load()) {
        result.error = library.errorString();
        return result;
    }
    result.loaded = true;
    for (const QString& id : tavrin::tavrinFactory().ids()) {
        if (!before.contains(id))
            result.newIds.append(id);
    }
    return result;
}

QString defaultPluginPath()
{
    // Installed, the plug-in lies in the plug-in folder; in a build tree, beside the host.
    const QDir own(QCoreApplication::applicationDirPath());
    const QString installed = own.filePath(QStringLiteral(LUMORA_BIN_TO_PLUGINDIR));
    const QDir folder = QFileInfo(installed).isDir() ? QDir(installed) : own;
    return QDir::cleanPath(folder.filePath(QStringLiteral("lumoracalibration")));
}
