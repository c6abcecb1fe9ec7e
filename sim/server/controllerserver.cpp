#include "controllerserver.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <controllerlink.h>

namespace sim {

namespace {

// A longer line is no request: the client is cut off rather than buffered without end.
constexpr int maxLineLength = 4 * 1024 * 1024;

const QString identityName = QStringLiteral("identity");
const int admissionMs = 5000;

bool matches(const QString& pattern, const QString& name)
{
    return !pattern.isEmpty() && (pattern == QLatin1String("*") || pattern == name);
}

QByteArray toLine(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

QByteArray replyLine(const QJsonValue& id, const QJsonValue& value)
{
    QJsonObject reply{{QStringLiteral("id"), id}};
    // JSON has no Undefined; a member would silently turn into nothing.
    if (value.isUndefined())
        reply.insert(QStringLiteral("undefined"), true);
    else
        reply.insert(QStringLiteral("value"), value);
    return toLine(reply);
}

// Objects and arrays arrive as the JSON classes the callers put into the QVariant.
QVariant toArgument(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Object:
        return QVariant(value.toObject());
    case QJsonValue::Array:
        return QVariant(value.toArray());
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        return QVariant();
    default:
        return value.toVariant();
    }
}

} // namespace

ServerFaults ServerFaults::fromJson(const QJsonObject& object)
{
    ServerFaults out;
    out.delayMs = qMax(0, object.value(QStringLiteral("delay_ms")).toInt());
    out.dropBefore = object.value(QStringLiteral("drop_before")).toString();
    out.dropAfter = object.value(QStringLiteral("drop_after")).toString();
    out.garbage = object.value(QStringLiteral("garbage")).toString();
    out.fail = object.value(QStringLiteral("fail")).toString();
    return out;
}

QJsonObject ServerFaults::toJson() const
{
    return {{QStringLiteral("delay_ms"), delayMs},
            {QStringLiteral("drop_before"), dropBefore},
            {QStringLiteral("drop_after"), dropAfter},
            {QStringLiteral("garbage"), garbage},
            {QStringLiteral("fail"), fail}};
}

ControllerServer::ControllerServer(tavrin::ControllerLink* servedLink, QObject* parent)
    : QObject(parent)
    , link(servedLink)
    , server(new QTcpServer(this))
{
    connect(server, &QTcpServer::newConnection, this, &ControllerServer::acceptClients);
    if (link) {
        connect(link, &tavrin::ControllerLink::connected, this, &ControllerServer::onLinkConnected);
        connect(link, &tavrin::ControllerLink::disconnected, this,
                &ControllerServer::onLinkDisconnected);
    }
}

ControllerServer::~ControllerServer()
{
    if (client) {
        client->disconnect(this);
        client->abort();
    }
}

bool ControllerServer::listen(const QHostAddress& listenAddress, quint16 listenPort)
{
    address = listenAddress;
    listenWanted = true;
    if (!server->listen(address, listenPort))
        return false;
    port = server->serverPort();
    return true;
}

bool ControllerServer::isListening() const
{
    return server->isListening();
}

QString ControllerServer::errorString() const
{
    return server->errorString();
}

void ControllerServer::acceptClients()
{
    while (server->hasPendingConnections()) {
        QTcpSocket* next = server->nextPendingConnection();
        if (!linkOnline) {
            next->abort();
            next->deleteLater();
            continue;
        }
        if (client) {
            refuse(next, QStringLiteral("another client is connected"));
            continue;
        }
        client = next;
        ++accepted;
        inbox.clear();
        admitted = token.isEmpty();
        // A client that never names the token must not hold the one place for good.
        if (!admitted) {
            QTimer::singleShot(admissionMs, next, [this, next] {
                if (client == next && !admitted)
                    turnAwayClient(QStringLiteral("no token in time"));
            });
        }
        next->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        connect(next, &QTcpSocket::readyRead, this, &ControllerServer::readClient);
        connect(next, &QTcpSocket::disconnected, this, [this, next] {
            if (client == next)
                dropClient(false);
        });
    }
}

void ControllerServer::readClient()
{
    const QPointer<QTcpSocket> reading = client;
    if (!reading)
        return;
    inbox += reading->readAll();
    int end;
    while (client == reading && (end = inbox.indexOf('\n')) >= 0) {
        const QByteArray line = inbox.left(end);
        inbox.remove(0, end + 1);
        handleRequest(line);
    }
    if (client == reading && inbox.size() > maxLineLength)
        dropClient(false);
}

void ControllerServer::handleRequest(const QByteArray& line)
{
    const QJsonDocument document = QJsonDocument::fromJson(line);
    const QJsonObject request = document.object();
    const QString op = request.value(QStringLiteral("op")).toString();
    if (!admitted) {
        if (!admits(op, request)) {
            turnAwayClient(QStringLiteral("wrong or missing token"));
            return;
        }
        admitted = true;
    }
    if (!document.isObject())
        return;
    const QJsonValue id = request.value(QStringLiteral("id"));
    if (!id.isDouble())
        return;

    // Control requests are never subject to the faults they set.
    if (op == QLatin1String("fault")) {
        faults = ServerFaults::fromJson(request);
        client->write(replyLine(id, faults.toJson()));
        return;
    }

    const QString name = op == identityName ? identityName
                         : op == QLatin1String("serviceData")
                             ? request.value(QStringLiteral("key")).toString()
                             : request.value(QStringLiteral("command")).toString();
    if (matches(faults.dropBefore, name)) {
        dropClient(false);
        return;
    }
    const QPointer<QTcpSocket> asking = client;
    const QJsonValue value = matches(faults.fail, name)
                                 ? QJsonValue(QJsonObject{{QStringLiteral("success"), false}})
                                 : answer(op, request);
    // The controller may have gone away while it answered.
    if (!asking || client != asking)
        return;
    deliver(matches(faults.garbage, name) ? QByteArray("}{ garbage, no reply\n")
                                          : replyLine(id, value),
            matches(faults.dropAfter, name));
}

QJsonValue ControllerServer::answer(const QString& op, const QJsonObject& request)
{
    if (!link)
        return QJsonValue(QJsonValue::Undefined);
    const QString command = request.value(QStringLiteral("command")).toString();
    if (op == identityName) {
        return QJsonObject{{QStringLiteral("ip"), link->robotIP()},
                           {QStringLiteral("type"), link->robotType()},
                           {QStringLiteral("model"), link->robotModelType()}};
    }
    if (op == QLatin1String("serviceData"))
        return link->serviceData(request.value(QStringLiteral("key")).toString());
    if (op == QLatin1String("execCommand"))
        return link->execCommand(command, toArgument(request.value(QStringLiteral("argument"))));
    if (op == QLatin1String("fullCommand")) {
        return link->fullCommand(command, request.value(QStringLiteral("params")),
                                 request.value(QStringLiteral("timeout")).toInt());
    }
    return QJsonValue(QJsonValue::Undefined);
}

void ControllerServer::deliver(QByteArray line, bool dropAfterwards)
{
    const QPointer<QTcpSocket> target = client;
    auto send = [this, target, line, dropAfterwards] {
        if (!target || client != target)
            return;
        target->write(line);
        if (dropAfterwards)
            dropClient(true);
    };
    if (faults.delayMs > 0)
        QTimer::singleShot(faults.delayMs, this, send);
    else
        send();
}

QTcpSocket* ControllerServer::releaseClient()
{
    QTcpSocket* old = client;
    client = nullptr;
    inbox.clear();
    if (old)
        old->disconnect(this);
    return old;
}

void ControllerServer::dropClient(bool graceful)
{
    QTcpSocket* old = releaseClient();
    if (!old)
        return;
    if (graceful) {
        // What was written still reaches the peer before the close.
        old->flush();
        old->disconnectFromHost();
    } else {
        old->abort();
    }
    if (old->state() == QAbstractSocket::UnconnectedState)
        old->deleteLater();
    else
        connect(old, &QTcpSocket::disconnected, old, &QObject::deleteLater);
}

bool ControllerServer::admits(const QString& op, const QJsonObject& request) const
{
    if (op != identityName)
        return false;
    // Compared in full whatever differs, so the time taken tells nothing about the token.
    const QByteArray expected = token.toUtf8();
    const QByteArray given = request.value(QStringLiteral("token")).toString().toUtf8();
    int difference = expected.size() ^ given.size();
    for (int i = 0; i < expected.size(); ++i)
        difference |= expected.at(i) ^ (i < given.size() ? given.at(i) : 0);
    return difference == 0;
}

void ControllerServer::turnAwayClient(const QString& reason)
{
    if (QTcpSocket* turnedAway = releaseClient())
        refuse(turnedAway, reason);
}

void ControllerServer::refuse(QTcpSocket* socket, const QString& reason)
{
    socket->write(toLine({{QStringLiteral("event"), QStringLiteral("refused")},
                          {QStringLiteral("reason"), reason}}));
    socket->flush();
    socket->disconnectFromHost();
    if (socket->state() == QAbstractSocket::UnconnectedState)
        socket->deleteLater();
    else
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
}

void ControllerServer::onLinkConnected()
{
    linkOnline = true;
    if (listenWanted && !server->isListening() && !server->listen(address, port))
        qWarning().noquote() << "controller server: cannot listen again on port" << port << ":"
                             << server->errorString();
}

void ControllerServer::onLinkDisconnected(bool expected)
{
    linkOnline = false;
    if (client) {
        client->write(toLine({{QStringLiteral("event"), QStringLiteral("disconnected")},
                              {QStringLiteral("expected"), expected}}));
        dropClient(true);
    }
    server->close();
}

} // namespace sim
