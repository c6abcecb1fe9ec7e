#include "programrun.h"

namespace lumora::test {

ToolRun runCellProgram(const QString& program, const QStringList& arguments,
                       const QString& workingDir, const QString& statePath)
{
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LUMORA_CELL_STATE"), statePath);
    tool.setProcessEnvironment(environment);
    tool.setWorkingDirectory(workingDir);
    tool.start(program, arguments);
    ToolRun run;
    if (!tool.waitForFinished(120000)) {
        tool.kill();
        tool.waitForFinished();
        return run;
    }
    run.exitCode = tool.exitCode();
    run.status = tool.exitStatus();
    run.out = QString::fromUtf8(tool.readAllStandardOutput());
    run.err = QString::fromUtf8(tool.readAllStandardError());
    return run;
}

} // namespace lumora::test
