#include "controllerharness.h"

#include <QElapsedTimer>
#include <QTimer>

#include <csignal>
#include <sys/types.h>
#include <tcpcontrollerlink.h>

namespace lumora::test {

SimulatorProcess::~SimulatorProcess()
{
    if (process && process->state() != QProcess::NotRunning)
        killNow();
}

bool SimulatorProcess::start(const QString& statePath, int rebootDelayMs)
{
    process = std::make_unique<QProcess>();
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(SIM_PROGRAM),
                   {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"),
                    statePath, QStringLiteral("--reboot-delay"), QString::number(rebootDelayMs)});
    if (!process->waitForStarted(10000)) {
        reason = process->errorString();
        return false;
    }
    QElapsedTimer clock;
    clock.start();
    while (!process->canReadLine() && process->state() == QProcess::Running &&
           clock.elapsed() < 10000)
        process->waitForReadyRead(int(10000 - clock.elapsed()));
    const QString line = QString::fromUtf8(process->readLine()).trimmed();
    bool ok = false;
    listeningPort = quint16(line.mid(13).toUInt(&ok));
    if (!line.startsWith(QLatin1String("listening on ")) || !ok || listeningPort == 0) {
        reason = QStringLiteral("no port announced: ") + line;
        return false;
    }
    return true;
}

qint64 SimulatorProcess::pid() const
{
    return process ? process->processId() : 0;
}

void SimulatorProcess::killNow()
{
    if (!process)
        return;
    process->kill();
    process->waitForFinished(10000);
}

bool SimulatorProcess::waitGone(int msecs, bool* died)
{
    if (!process)
        return true;
    if (process->state() != QProcess::NotRunning && !process->waitForFinished(msecs))
        return false;
    if (died)
        *died = process->exitStatus() == QProcess::CrashExit;
    return true;
}

DelayedKiller::DelayedKiller()
    : context(new QObject)
{
    context->moveToThread(&thread);
    thread.start();
}

DelayedKiller::~DelayedKiller()
{
    thread.quit();
    thread.wait();
    delete context;
}

void DelayedKiller::arm(qint64 pid, int msecs)
{
    QMetaObject::invokeMethod(context, [this, pid, msecs] {
        QTimer::singleShot(msecs, context, [this, pid] {
            ::kill(pid_t(pid), SIGKILL);
            done = true;
        });
    });
}

FaultingLink::FaultingLink(tavrin::TcpControllerLink* inner, QObject* parent)
    : ControllerLink(parent)
    , inner(inner)
{
    connect(inner, &ControllerLink::connected, this, &ControllerLink::connected);
    connect(inner, &ControllerLink::disconnected, this, &ControllerLink::disconnected);
}

QJsonValue FaultingLink::serviceData(const QString& key)
{
    return inner->serviceData(key);
}

QJsonValue FaultingLink::execCommand(const QString& command, const QVariant& argument)
{
    if (beforeCommand)
        beforeCommand(command);
    QElapsedTimer clock;
    clock.start();
    const QJsonValue reply = inner->execCommand(command, argument);
    lastCommandMs = clock.elapsed();
    return reply;
}

bool FaultingLink::fullCommand(const QString& command, const QJsonValue& params, int timeout)
{
    if (beforeCommand)
        beforeCommand(command);
    QElapsedTimer clock;
    clock.start();
    const bool result = inner->fullCommand(command, params, timeout);
    lastCommandMs = clock.elapsed();
    return result;
}

QString FaultingLink::robotIP()
{
    return inner->robotIP();
}

QString FaultingLink::robotType()
{
    return inner->robotType();
}

int FaultingLink::robotModelType()
{
    return inner->robotModelType();
}

} // namespace lumora::test
