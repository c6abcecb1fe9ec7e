#pragma once

#include <QJsonValue>
#include <QObject>
#include <QProcess>
#include <QThread>
#include <QVariant>

#include <atomic>
#include <controllerlink.h>
#include <functional>
#include <memory>

namespace tavrin {
class TcpControllerLink;
}

namespace lumora::test {

// The stand-alone controller simulator as a child process on a free loopback port.
class SimulatorProcess final
{
public:
    SimulatorProcess() = default;
    ~SimulatorProcess();

    // Starts the simulator on statePath; false (with the reason in error()) when it does not
    // report its port.
    bool start(const QString& statePath, int rebootDelayMs);
    quint16 port() const { return listeningPort; }
    qint64 pid() const;
    QString error() const { return reason; }
    // Kills the simulator and waits until it is gone.
    void killNow();
    // True once the simulator has ended; died is set when a signal ended it.
    bool waitGone(int msecs, bool* died = nullptr);

private:
    std::unique_ptr<QProcess> process;
    quint16 listeningPort = 0;
    QString reason;
};

// Kills a process with SIGKILL from a thread of its own, msecs after arm(): the test's thread is
// blocked inside the controller call meanwhile, so it cannot do it itself.
class DelayedKiller final
{
public:
    DelayedKiller();
    ~DelayedKiller();

    void arm(qint64 pid, int msecs);
    bool fired() const { return done.load(); }

private:
    QThread thread;
    QObject* context;
    std::atomic<bool> done{false};
};

// Hands every call on to a TCP link, after a hook that may inject a fault in the middle of the
// plug-in's procedure; reports the link's connection changes as its own.
class FaultingLink final : public tavrin::ControllerLink
{
    Q_OBJECT

public:
    explicit FaultingLink(tavrin::TcpControllerLink* inner, QObject* parent = nullptr);

    // Runs before a command (execCommand or fullCommand) of that name goes to the link.
    std::function<void(const QString& command)> beforeCommand;
    // How long the last command took, in milliseconds.
    qint64 lastCommandMs = -1;

    QJsonValue serviceData(const QString& key) override;
    QJsonValue execCommand(const QString& command, const QVariant& argument) override;
    bool fullCommand(const QString& command, const QJsonValue& params, int timeout) override;
    QString robotIP() override;
    QString robotType() override;
    int robotModelType() override;

private:
    tavrin::TcpControllerLink* inner;
};

} // namespace lumora::test
