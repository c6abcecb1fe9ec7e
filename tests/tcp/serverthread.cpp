#include "serverthread.h"

#include <QHostAddress>

namespace lumora::test {

ServerThread::ServerThread(quint16 port)
    : context(new QObject)
{
    context->moveToThread(&thread);
    thread.start();
    QMetaObject::invokeMethod(
        context,
        [this, port] {
            link = new ScriptedLink(context);
            server = new sim::ControllerServer(link, context);
            if (server->listen(QHostAddress::LocalHost, port))
                listeningPort = server->serverPort();
        },
        Qt::BlockingQueuedConnection);
}

ServerThread::~ServerThread()
{
    QMetaObject::invokeMethod(
        context,
        [this] {
            delete server;
            delete link;
        },
        Qt::BlockingQueuedConnection);
    thread.quit();
    thread.wait();
    delete context;
}

void ServerThread::run(const std::function<void(ScriptedLink&, sim::ControllerServer&)>& work)
{
    QMetaObject::invokeMethod(
        context,
        [this, &work] {
            if (link && server)
                work(*link, *server);
        },
        Qt::BlockingQueuedConnection);
}

void ServerThread::setFaults(const sim::ServerFaults& faults)
{
    run([&faults](ScriptedLink&, sim::ControllerServer& s) { s.setFaults(faults); });
}

QList<LinkCall> ServerThread::calls()
{
    QList<LinkCall> out;
    run([&out](ScriptedLink& l, sim::ControllerServer&) { out = l.calls; });
    return out;
}

int ServerThread::acceptedClients()
{
    int count = 0;
    run([&count](ScriptedLink&, sim::ControllerServer& s) { count = s.acceptedClients(); });
    return count;
}

void ServerThread::linkGoesAway(bool expected)
{
    run([expected](ScriptedLink& l, sim::ControllerServer&) { emit l.disconnected(expected); });
}

} // namespace lumora::test
