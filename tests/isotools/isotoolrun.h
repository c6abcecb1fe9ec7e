#pragma once

#include <QJsonObject>
#include <QProcess>
#include <QString>
#include <QStringList>

#include <array>
#include <map>
#include <string>

// What one run of an ISO program left.
struct ToolRun
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

// Runs program to its end in workingDir with the cell state file statePath.
ToolRun runIsoProgram(const QString& program, const QStringList& arguments,
                      const QString& workingDir, const QString& statePath);

// A job file as the setup panels leave it: robot profile and "iso_config".
QJsonObject isoJob(const QString& robotName, int sampleTimes,
                   const std::map<std::string, std::array<double, 6>>& poses,
                   const QString& savePath);

QJsonObject readJson(const QString& path);
bool writeJson(const QString& path, const QJsonObject& object);
