#pragma once

#include "scriptedlink.h"

#include <QtNetwork>
#include <QtTest>

#include <controllerserver.h>
#include <functional>
#include <tcpcontrollerlink.h>

namespace lumora::test {

// A ControllerServer serving a ScriptedLink on 127.0.0.1 from a thread of its own: the link
// under test blocks the test's thread while it waits for a reply, so the peer cannot share it.
class ServerThread final
{
public:
    explicit ServerThread(quint16 port = 0)
    {
        context.moveToThread(&thread);
        thread.start();
        run([port](ScriptedLink&, sim::ControllerServer& s) {
            s.listen(QHostAddress::LocalHost, port);
        });
    }
    ~ServerThread()
    {
        call([this] { qDeleteAll(context.children()); });
        thread.quit();
        thread.wait();
    }
    quint16 port() const { return server->serverPort(); }
    // Runs work on the server's thread and returns when it has finished.
    void run(const std::function<void(ScriptedLink&, sim::ControllerServer&)>& work)
    {
        call([&] {
            if (!server)
                server = new sim::ControllerServer(link = new ScriptedLink(&context), &context);
            work(*link, *server);
        });
    }

private:
    void call(const std::function<void()>& work)
    {
        QMetaObject::invokeMethod(&context, work, Qt::BlockingQueuedConnection);
    }
    QThread thread;
    QObject context;
    ScriptedLink* link = nullptr;
    sim::ControllerServer* server = nullptr;
};

// A link to a peer on 127.0.0.1, with its reports recorded.
struct Peer final
{
    Peer() { link.setRetryInterval(20); }
    bool connectTo(quint16 port)
    {
        link.connectToController("127.0.0.1", port);
        return QTest::qWaitFor([&] { return up.count() == 1; }, 30000);
    }
    tavrin::TcpControllerLink link;
    QSignalSpy up{&link, &tavrin::ControllerLink::connected};
    QSignalSpy down{&link, &tavrin::ControllerLink::disconnected};
};

// The stand-alone controller simulator as a child process.
struct Simulator final
{
    ~Simulator() { kill(); }
    // Starts it on a free port and returns the port it announces (0: none).
    quint16 start(const QString& program, const QStringList& arguments)
    {
        process.start(program, QStringList{"--port", "0"} + arguments);
        while (!process.canReadLine() && process.waitForReadyRead(30000)) {
        }
        const QByteArray line = process.readLine().trimmed();
        return line.startsWith("listening on ") ? line.mid(13).toUShort() : 0;
    }
    void kill()
    {
        process.kill();
        process.waitForFinished(30000);
    }
    QProcess process;
};

} // namespace lumora::test
