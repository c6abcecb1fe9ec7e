#include "pluginloader.h"

#include <QCoreApplication>
#include <QDir>
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
    return QDir(QCoreApplication::applicationDirPath())
        .filePath(QStringLiteral("lumoracalibration"));
}
