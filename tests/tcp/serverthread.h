#pragma once

#include "scriptedlink.h"

#include <QObject>
#include <QThread>

#include <controllerserver.h>
#include <functional>

namespace lumora::test {

// A ControllerServer serving a ScriptedLink on 127.0.0.1 from a thread of its own: the link
// under test blocks the test's thread while it waits for a reply, so the peer cannot share it.
class ServerThread final
{
public:
    // Listens on port (0: any free port).
    explicit ServerThread(quint16 port = 0);
    ~ServerThread();

    quint16 port() const { return listeningPort; }
    // Runs work on the server's thread and returns when it has finished.
    void run(const std::function<void(ScriptedLink&, sim::ControllerServer&)>& work);

    // Conveniences over run().
    void setFaults(const sim::ServerFaults& faults);
    QList<LinkCall> calls();
    int acceptedClients();
    // The served controller goes away (a reboot is expected).
    void linkGoesAway(bool expected);

private:
    QThread thread;
    QObject* context;
    ScriptedLink* link = nullptr;
    sim::ControllerServer* server = nullptr;
    quint16 listeningPort = 0;
};

} // namespace lumora::test
