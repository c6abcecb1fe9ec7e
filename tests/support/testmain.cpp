#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>
#include <qflog.h>

#include <atomic>
#include <cstdio>
#include <memory>

namespace lumora::test {

namespace {

std::atomic<int> destroyedRunning{0};
QtMessageHandler previousHandler = nullptr;
std::unique_ptr<QTemporaryDir> workDir;

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    destroyedRunning += message.contains(QLatin1String("QProcess: Destroyed while process"));
    if (previousHandler)
        previousHandler(type, context, message);
}

} // namespace

void prepareTestProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    previousHandler = qInstallMessageHandler(handler);
    workDir = std::make_unique<QTemporaryDir>();
    if (workDir->isValid())
        QDir::setCurrent(workDir->path());
    if (qEnvironmentVariableIsEmpty("LUMORA_TRACE_CONSOLE"))
        tavrin::QFLog::setConsoleEnabled(false);
}

int finishTestProcess(int qtestResult)
{
    if (destroyedRunning == 0)
        return qtestResult;
    std::fprintf(stderr, "FAIL: %d process(es) destroyed while still running\n",
                 destroyedRunning.load());
    return qtestResult ? qtestResult : 1;
}

} // namespace lumora::test
