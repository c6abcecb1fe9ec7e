#pragma once

#include "scriptedlink.h"

#include <QHostAddress>
#include <QProcess>
#include <QThread>

#include <controllerserver.h>
#include <functional>

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
        call([this, port] {
            link = new ScriptedLink(&context);
            server = new sim::ControllerServer(link, &context);
            server->listen(QHostAddress::LocalHost, port);
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
        call([&] { work(*link, *server); });
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

// The stand-alone controller simulator as a child process on a free loopback port.
class Simulator final
{
public:
    ~Simulator() { kill(); }
    // The port it announced, or 0 when it announced none.
    quint16 start(const QString& program, const QStringList& arguments)
    {
        process.start(program, QStringList{"--port", "0"} + arguments);
        while (!process.canReadLine() && process.waitForReadyRead(30000)) {
        }
        const QByteArray line = process.readLine().trimmed();
        return line.startsWith("listening on ") ? line.mid(13).toUShort() : 0;
    }
    qint64 pid() const { return process.processId(); }
    void kill()
    {
        process.kill();
        process.waitForFinished(30000);
    }

    QProcess process;
};

} // namespace lumora::test
