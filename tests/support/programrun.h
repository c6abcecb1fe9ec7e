#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace lumora::test {

// What one run of a program left.
struct ToolRun
{
    int exitCode = -1;
    QProcess::ExitStatus status = QProcess::CrashExit;
    QString out;
    QString err;
};

// Runs a reference tool to its end (killed after two minutes) in workingDir, on the simulated
// cell whose state file is statePath.
ToolRun runCellProgram(const QString& program, const QStringList& arguments,
                       const QString& workingDir, const QString& statePath);

} // namespace lumora::test
