#include "pluginloader.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>

#include <pluginregister.h>

PluginLoadResult loadPluginLibrary(const QString& path)
{
    PluginLoadResult result;
    const QStringList before = tavrin::tavrinFactory().ids();
    // Never unloaded: the registry keeps the library's factories.
    auto* library = new QLibrary(path);
    if (!library->load()) {
        result.error = library->errorString();
        delete library;
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
