#pragma once

#include "controllerlink.h"
#include "tavrin_global.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <optional>

class QTcpSocket;
class QTimer;

namespace tavrin {

// A controller reached over TCP: one JSON request per line, answered by one JSON reply per line
// that carries the request's id. Calls are synchronous and bounded by a timeout; a call that
// gets no answer in time, or is made while the link is down, answers Undefined, false or empty.
// The robot's identity is read once per connection, before connected() is emitted, so the
// identity getters never block. After a loss the link keeps trying to reach the peer until
// disconnectFromController().
class TAVRIN_EXPORT TcpControllerLink final : public ControllerLink
{
    Q_OBJECT

public:
    explicit TcpControllerLink(QObject* parent = nullptr);
    ~TcpControllerLink() override;

    // Splits "tcp://HOST:PORT"; false for anything else.
    static bool parseAddress(const QString& address, QString* host, quint16* port);

    // Starts reaching the peer; connected() follows once it has answered the identity request.
    void connectToController(const QString& host, quint16 port);
    // Closes the connection and stops reconnecting; a link that was up reports disconnected(true).
    void disconnectFromController();
    bool isConnected() const { return online; }
    // Runs the event loop until the link is up or msecs have passed; true when it is up.
    bool waitForConnected(int msecs);

    // How long a call waits for its reply (also the bound for connecting and reading the identity).
    void setCallTimeout(int ms) { callTimeoutMs = ms; }
    int callTimeout() const { return callTimeoutMs; }
    // Pause between two attempts to reach a lost peer.
    void setRetryInterval(int ms);
    int retryInterval() const { return retryIntervalMs; }
    // The shared secret a peer that asks for one admits its client by; empty sends none.
    void setToken(const QString& secret) { token = secret; }

    QJsonValue serviceData(const QString& key) override;
    QJsonValue execCommand(const QString& command, const QVariant& argument) override;
    // Waits up to timeout ms for the answer (the call timeout when timeout is not positive).
    bool fullCommand(const QString& command, const QJsonValue& params, int timeout) override;
    QString robotIP() override { return online ? ip : QString(); }
    QString robotType() override { return online ? type : QString(); }
    int robotModelType() override { return online ? model : 0; }

    // Sends any request (for instance a control request the peer offers) and waits up to
    // timeoutMs for its value; nullopt when the link is down or no answer came in time.
    std::optional<QJsonValue> request(const QString& op, QJsonObject fields, int timeoutMs);

private:
    // Drives handleLine directly, for the tests and the fuzz harness.
    friend class TcpControllerLinkProbe;

    void startAttempt();
    void onSocketConnected();
    void onSocketUnconnected();
    void onAttemptTimeout();
    void readIncoming();
    void handleLine(const QByteArray& line);
    void goOffline(bool expected);
    qint64 send(const QString& op, QJsonObject fields);

    QTcpSocket* socket;
    QTimer* retryTimer;
    QTimer* attemptTimer;
    QString peerHost;
    quint16 peerPort = 0;
    bool wanted = false;
    bool online = false;
    // connected() has been emitted and no disconnected() since.
    bool announced = false;
    bool lossExpected = false;
    int callTimeoutMs = 3000;
    int retryIntervalMs = 500;
    QString token;
    QString lastRefusal;

    QByteArray inbox;
    bool skippingLine = false;
    qint64 lastId = 0;
    qint64 identityId = 0;
    qint64 awaitedId = 0;
    std::optional<QJsonValue> awaitedReply;

    QString ip;
    QString type;
    int model = 0;
};

} // namespace tavrin
