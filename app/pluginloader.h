#pragma once

#include <QString>
#include <QStringList>

// Loads a plug-in library, whose static initialisers register its factories with the host.
struct PluginLoadResult
{
    bool loaded = false;
    QString error;
    QStringList newIds; // ids the library registered
};

PluginLoadResult loadPluginLibrary(const QString& path);

// The calibration plug-in: in the installed plug-in folder, else beside the host program.
QString defaultPluginPath();
