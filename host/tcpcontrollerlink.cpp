#include "tcpcontrollerlink.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>

#include <cmath>

namespace tavrin {

namespace {

// No reply of ours comes near this; a longer line is dropped up to its line feed.
constexpr int maxLineLength = 4 * 1024 * 1024;

const QString idKey = QStringLiteral("id");
const QString valueKey = QStringLiteral("value");

bool replyToBool(const std::optional<QJsonValue>& reply)
{
    if (!reply)
        return false;
    if (reply->isObject())
        return reply->toObject().value(QStringLiteral("success")).toBool(false);
    return reply->toBool(false);
}

} // namespace

TcpControllerLink::TcpControllerLink(QObject* parent)
    : ControllerLink(parent)
    , socket(new QTcpSocket(this))
    , retryTimer(new QTimer(this))
    , attemptTimer(new QTimer(this))
{
    retryTimer->setSingleShot(true);
    attemptTimer->setSingleShot(true);
    connect(retryTimer, &QTimer::timeout, this, &TcpControllerLink::startAttempt);
    connect(attemptTimer, &QTimer::timeout, this, &TcpControllerLink::onAttemptTimeout);
    connect(socket, &QTcpSocket::connected, this, &TcpControllerLink::onSocketConnected);
    connect(socket, &QTcpSocket::readyRead, this, &TcpControllerLink::readIncoming);
    connect(socket, &QAbstractSocket::stateChanged, this,
            [this](QAbstractSocket::SocketState state) {
                if (state == QAbstractSocket::UnconnectedState)
                    onSocketUnconnected();
            });
}

TcpControllerLink::~TcpControllerLink()
{
    // A link that is going away reports no loss.
    socket->disconnect(this);
    socket->abort();
}

bool TcpControllerLink::parseAddress(const QString& address, QString* host, quint16* port)
{
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("tcp") || url.host().isEmpty() ||
        url.port() <= 0 || !url.path().isEmpty() || !url.userInfo().isEmpty() || url.hasQuery() ||
        url.hasFragment())
        return false;
    if (host)
        *host = url.host();
    if (port)
        *port = quint16(url.port());
    return true;
}

void TcpControllerLink::connectToController(const QString& host, quint16 port)
{
    const bool samePeer = host == peerHost && port == peerPort;
    peerHost = host;
    peerPort = port;
    wanted = true;
    if (samePeer && socket->state() != QAbstractSocket::UnconnectedState)
        return;
    startAttempt();
}

void TcpControllerLink::disconnectFromController()
{
    wanted = false;
    retryTimer->stop();
    attemptTimer->stop();
    lossExpected = true;
    socket->abort();
}

bool TcpControllerLink::waitForConnected(int msecs)
{
    if (online)
        return true;
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    connect(this, &ControllerLink::connected, &loop, &QEventLoop::quit);
    timer.start(msecs);
    loop.exec();
    return online;
}

void TcpControllerLink::setRetryInterval(int ms)
{
    retryIntervalMs = qMax(0, ms);
}

QJsonValue TcpControllerLink::serviceData(const QString& key)
{
    return request(QStringLiteral("serviceData"), {{QStringLiteral("key"), key}}, callTimeoutMs)
        .value_or(QJsonValue(QJsonValue::Undefined));
}

QJsonValue TcpControllerLink::execCommand(const QString& command, const QVariant& argument)
{
    return request(QStringLiteral("execCommand"),
                   {{QStringLiteral("command"), command},
                    {QStringLiteral("argument"), QJsonValue::fromVariant(argument)}},
                   callTimeoutMs)
        .value_or(QJsonValue(QJsonValue::Undefined));
}

bool TcpControllerLink::fullCommand(const QString& command, const QJsonValue& params, int timeout)
{
    // An Undefined params value leaves the member out, which is how the peer reads it back.
    QJsonObject fields{{QStringLiteral("command"), command}, {QStringLiteral("timeout"), timeout}};
    fields.insert(QStringLiteral("params"), params);
    return replyToBool(
        request(QStringLiteral("fullCommand"), fields, timeout > 0 ? timeout : callTimeoutMs));
}

std::optional<QJsonValue> TcpControllerLink::request(const QString& op, QJsonObject fields,
                                                     int timeoutMs)
{
    if (!online)
        return std::nullopt;
    awaitedReply.reset();
    awaitedId = send(op, std::move(fields));
    QElapsedTimer clock;
    clock.start();
    while (!awaitedReply && online && socket->state() == QAbstractSocket::ConnectedState) {
        const qint64 left = timeoutMs - clock.elapsed();
        if (left <= 0)
            break;
        // Delivers readyRead (and a loss) to this object's handlers while it waits.
        socket->waitForReadyRead(int(left));
        readIncoming();
    }
    awaitedId = 0;
    std::optional<QJsonValue> reply;
    reply.swap(awaitedReply);
    return reply;
}

qint64 TcpControllerLink::send(const QString& op, QJsonObject fields)
{
    const qint64 id = ++lastId;
    fields.insert(idKey, id);
    fields.insert(QStringLiteral("op"), op);
    socket->write(QJsonDocument(fields).toJson(QJsonDocument::Compact) + '\n');
    socket->flush();
    return id;
}

void TcpControllerLink::startAttempt()
{
    retryTimer->stop();
    if (!wanted)
        return;
    if (socket->state() != QAbstractSocket::UnconnectedState) {
        lossExpected = true;
        socket->abort();
        retryTimer->stop();
    }
    inbox.clear();
    skippingLine = false;
    identityId = 0;
    lossExpected = false;
    // Bounds the connection and the identity together, so a peer that accepts and then stays
    // silent is given up and tried again.
    attemptTimer->start(callTimeoutMs);
    socket->connectToHost(peerHost, peerPort);
}

void TcpControllerLink::onSocketConnected()
{
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QJsonObject fields;
    if (!token.isEmpty())
        fields.insert(QStringLiteral("token"), token);
    identityId = send(QStringLiteral("identity"), fields);
}

void TcpControllerLink::onSocketUnconnected()
{
    attemptTimer->stop();
    identityId = 0;
    if (online)
        goOffline(lossExpected);
    if (wanted)
        retryTimer->start(retryIntervalMs);
}

void TcpControllerLink::onAttemptTimeout()
{
    lossExpected = false;
    socket->abort();
}

void TcpControllerLink::goOffline(bool expected)
{
    online = false;
    ip.clear();
    type.clear();
    model = 0;
    // Reported from the event loop, never from inside a call that noticed the loss.
    QMetaObject::invokeMethod(
        this,
        [this, expected] {
            if (!announced)
                return;
            announced = false;
            emit disconnected(expected);
        },
        Qt::QueuedConnection);
}

void TcpControllerLink::readIncoming()
{
    inbox += socket->readAll();
    int end;
    while ((end = inbox.indexOf('\n')) >= 0) {
        const QByteArray line = inbox.left(end);
        inbox.remove(0, end + 1);
        if (skippingLine)
            skippingLine = false;
        else
            handleLine(line);
    }
    if (inbox.size() > maxLineLength) {
        inbox.clear();
        skippingLine = true;
    }
}

void TcpControllerLink::handleLine(const QByteArray& line)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(line, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return;
    const QJsonObject message = document.object();

    // The peer says why it is about to close (a controller reboot is an expected loss).
    const QJsonValue event = message.value(QStringLiteral("event"));
    if (event == QLatin1String("disconnected")) {
        lossExpected = message.value(QStringLiteral("expected")).toBool(false);
        return;
    }
    // The peer turns us away (another client, a wrong token) and closes; said once, not at every
    // retry.
    if (event == QLatin1String("refused")) {
        const QString reason = message.value(QStringLiteral("reason")).toString();
        if (reason != lastRefusal)
            qWarning().noquote() << "controller link: the peer refused the connection:" << reason;
        lastRefusal = reason;
        return;
    }

    // Only the ids of our own requests are answers; any other number (1e300, 1.5) is none, and
    // converting it unchecked would be undefined.
    const QJsonValue idValue = message.value(idKey);
    const double rawId = idValue.toDouble(0.0);
    if (!idValue.isDouble() || !(rawId >= 1.0 && rawId <= double(lastId)) ||
        rawId != std::floor(rawId))
        return;
    const qint64 id = qint64(rawId);
    QJsonValue value;
    if (message.contains(valueKey))
        value = message.value(valueKey);
    else if (message.value(QStringLiteral("undefined")).toBool(false))
        value = QJsonValue(QJsonValue::Undefined);
    else
        return;

    if (identityId != 0 && id == identityId) {
        if (!value.isObject())
            return;
        const QJsonObject identity = value.toObject();
        ip = identity.value(QStringLiteral("ip")).toString();
        type = identity.value(QStringLiteral("type")).toString();
        model = identity.value(QStringLiteral("model")).toInt();
        identityId = 0;
        attemptTimer->stop();
        online = true;
        lastRefusal.clear();
        lossExpected = false;
        QMetaObject::invokeMethod(
            this,
            [this] {
                // A connection lost before this could be reported is not reported at all.
                if (!online || announced)
                    return;
                announced = true;
                emit connected();
            },
            Qt::QueuedConnection);
        return;
    }
    // Anything else is the late answer of a call that has given up already.
    if (awaitedId != 0 && id == awaitedId) {
        awaitedReply = value;
        awaitedId = 0;
    }
}

} // namespace tavrin
