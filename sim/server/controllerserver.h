#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QJsonObject>
#include <QJsonValue>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTcpSocket>

class QTcpServer;

namespace tavrin {
class ControllerLink;
}

namespace sim {

// Faults the server puts into the conversation so that a host's failure paths can be tried.
// A name is a service data key, a command, "identity", or "*" for every request; empty is off.
struct ServerFaults
{
    int delayMs = 0;    // every reply is held back this long
    QString dropBefore; // the connection is cut instead of handling the request
    QString dropAfter;  // the connection is closed right after the reply
    QString garbage;    // the reply is a line that is no JSON
    QString fail;       // answered {"success": false}; the controller never sees the request

    // Members "delay_ms", "drop_before", "drop_after", "garbage", "fail"; missing ones are off.
    static ServerFaults fromJson(const QJsonObject& object);
    QJsonObject toJson() const;
};

// Serves any controller link over TCP, to one client at a time: while a client is connected, a
// newcomer is told so and closed (a script knocking every second must not break a session). With
// a token set, a client is served only once its identity request carries that token. Each line
// is one JSON object.
//   request: {"id": n, "op": "identity"}, {"id": n, "op": "identity", "token": t}
//            {"id": n, "op": "serviceData", "key": k}
//            {"id": n, "op": "execCommand", "command": c, "argument": a}
//            {"id": n, "op": "fullCommand", "command": c, "params": p, "timeout": t}
//            {"id": n, "op": "fault", <ServerFaults members>}
//   reply:   {"id": n, "value": v}, or {"id": n, "undefined": true} for an Undefined answer
//   notice:  {"event": "disconnected", "expected": b} just before the server closes because the
//            controller went away
//            {"event": "refused", "reason": r} just before the server closes a client it does not
//            serve (another client is connected, or the token is missing or wrong)
// A missing "params" is an Undefined value. The identity value is {"ip", "type", "model"}.
// While the controller is away the server does not listen, so clients are refused until it is
// back.
class ControllerServer final : public QObject
{
    Q_OBJECT

public:
    // Serves link (not owned), which is taken to be up until it reports otherwise.
    explicit ControllerServer(tavrin::ControllerLink* link, QObject* parent = nullptr);
    ~ControllerServer() override;

    // Listens on address and port (0: any free port); the port is kept for later.
    bool listen(const QHostAddress& address, quint16 port);
    quint16 serverPort() const { return port; }
    bool isListening() const;
    QString errorString() const;
    bool hasClient() const { return client != nullptr; }
    // Clients taken since the start (refused ones not counted).
    int acceptedClients() const { return accepted; }

    // Clients must identify with this token before anything else is answered; empty: any
    // client is served.
    void setToken(const QString& secret) { token = secret; }

    void setFaults(const ServerFaults& newFaults) { faults = newFaults; }
    ServerFaults currentFaults() const { return faults; }

private:
    void acceptClients();
    void readClient();
    void handleRequest(const QByteArray& line);
    QJsonValue answer(const QString& op, const QJsonObject& request);
    void deliver(QByteArray line, bool dropAfterwards);
    // Forgets the client, its pending lines and its connections; the socket is the caller's.
    QTcpSocket* releaseClient();
    void dropClient(bool graceful);
    void refuse(QTcpSocket* socket, const QString& reason);
    void turnAwayClient(const QString& reason);
    bool admits(const QString& op, const QJsonObject& request) const;
    void onLinkConnected();
    void onLinkDisconnected(bool expected);

    QPointer<tavrin::ControllerLink> link;
    QTcpServer* server;
    QPointer<QTcpSocket> client;
    QByteArray inbox;
    ServerFaults faults;
    QString token;
    bool admitted = false;
    QHostAddress address;
    quint16 port = 0;
    bool listenWanted = false;
    bool linkOnline = true;
    int accepted = 0;
};

} // namespace sim
