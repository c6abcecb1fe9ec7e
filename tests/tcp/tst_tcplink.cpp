#include "serverthread.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <interfacemanager.h>
#include <memory>
#include <tcpcontrollerlink.h>

using lumora::test::LinkCall;
using lumora::test::ScriptedLink;
using lumora::test::ServerThread;
using tavrin::TcpControllerLink;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");
const QJsonValue undefined(QJsonValue::Undefined);

// A served scripted controller and a link to it, with the link's reports recorded.
struct Peer
{
    explicit Peer(quint16 port = 0)
        : server(port)
    {
        link.setRetryInterval(20);
    }
    void connectLink() { link.connectToController(localHost, server.port()); }

    ServerThread server;
    TcpControllerLink link;
    QSignalSpy up{&link, &tavrin::ControllerLink::connected};
    QSignalSpy down{&link, &tavrin::ControllerLink::disconnected};
};

#define CONNECT_PEER(peer)                                                                         \
    do {                                                                                           \
        (peer).connectLink();                                                                      \
        QTRY_COMPARE_WITH_TIMEOUT((peer).up.count(), 1, 5000);                                     \
        QVERIFY((peer).link.isConnected());                                                        \
    } while (false)

// JSON values compare Undefined and Null apart, which is what these tests are about.
bool sameJson(const QJsonValue& a, const QJsonValue& b)
{
    return a.type() == b.type() && a == b;
}

QString describe(const QJsonValue& value)
{
    if (value.isUndefined())
        return QStringLiteral("<undefined>");
    return QString::fromUtf8(QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact));
}

quint16 unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

} // namespace

class TestTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void parseAddress_data();
    void parseAddress();
    void queriesRoundTrip_data();
    void queriesRoundTrip();
    void fullCommandRoundTrip_data();
    void fullCommandRoundTrip();
    void identityIsReadOncePerConnection();
    void callWithoutPeerAnswersAtOnce();
    void timeoutGivesEmptyAnswerWithinBound_data();
    void timeoutGivesEmptyAnswerWithinBound();
    void lateReplyDoesNotAnswerNextCall();
    void garbageIsIgnored();
    void failSwitch_data();
    void failSwitch();
    void dropSwitches_data();
    void dropSwitches();
    void silentPeerIsTriedAgain();
    void lossAndReturnAreReported();
    void disconnectIsExpectedAndReconnectable();
    void secondClientReplacesFirst();
    void serverSkipsMalformedRequests();
    void serverCutsEndlessLine();
    void faultControlRequest();
};

void TestTcpLink::init()
{
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

void TestTcpLink::cleanup()
{
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

void TestTcpLink::parseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::addRow("ipv4") << "tcp://127.0.0.1:7788" << true << "127.0.0.1" << 7788;
    QTest::addRow("name") << "tcp://localhost:1" << true << "localhost" << 1;
    QTest::addRow("ipv6") << "tcp://[::1]:65535" << true << "::1" << 65535;
    QTest::addRow("no port") << "tcp://127.0.0.1" << false << "" << 0;
    QTest::addRow("port 0") << "tcp://127.0.0.1:0" << false << "" << 0;
    QTest::addRow("port too big") << "tcp://127.0.0.1:65536" << false << "" << 0;
    QTest::addRow("other scheme") << "http://127.0.0.1:80" << false << "" << 0;
    QTest::addRow("path") << "tcp://127.0.0.1:80/x" << false << "" << 0;
    QTest::addRow("no host") << "tcp://:80" << false << "" << 0;
    QTest::addRow("sim") << "sim" << false << "" << 0;
    QTest::addRow("empty") << "" << false << "" << 0;
}

void TestTcpLink::parseAddress()
{
    QFETCH(QString, address);
    QFETCH(bool, valid);
    QFETCH(QString, host);
    QFETCH(int, port);
    QString parsedHost;
    quint16 parsedPort = 0;
    QCOMPARE(TcpControllerLink::parseAddress(address, &parsedHost, &parsedPort), valid);
    if (valid) {
        QCOMPARE(parsedHost, host);
        QCOMPARE(int(parsedPort), port);
    }
}

void TestTcpLink::queriesRoundTrip_data()
{
    QTest::addColumn<bool>("command");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("argument");
    QTest::addColumn<QJsonValue>("answer");

    const QJsonObject payload{
        {QStringLiteral("DH_params_all"), QJsonArray{1.5, -2, 3e-7, 123456.789}}};
    QTest::addRow("service object")
        << false << QString::fromUtf8("factory\xC2\xB7get_dh_params_support") << QVariant()
        << QJsonValue(QJsonObject{{QStringLiteral("data"), true}});
    QTest::addRow("service nested array")
        << false << "factory.set_DH_params_link" << QVariant()
        << QJsonValue(QJsonArray{QJsonArray{-90, 150, 450, 0}, QJsonArray{0, 610, 0, -90}});
    QTest::addRow("service null") << false << "null key" << QVariant() << QJsonValue();
    QTest::addRow("service undefined") << false << "unknown key" << QVariant() << undefined;
    QTest::addRow("service false") << false << "flag" << QVariant() << QJsonValue(false);
    QTest::addRow("command object payload")
        << true << "factory.set_DH_params_all" << QVariant(payload)
        << QJsonValue(QJsonObject{{QStringLiteral("success"), true}, {QStringLiteral("code"), 0}});
    QTest::addRow("command empty string")
        << true << "factory.get_DH_params_link" << QVariant(QString())
        << QJsonValue(QString::fromUtf8("标定\n完成 \"quoted\""));
    QTest::addRow("command number") << true << "number" << QVariant(7) << QJsonValue(-42.25);
    QTest::addRow("command array argument")
        << true << "array" << QVariant(QJsonArray{1, QStringLiteral("x"), QJsonValue()})
        << QJsonValue(QJsonArray{});
    QTest::addRow("command null answer") << true << "nothing" << QVariant(payload) << QJsonValue();
    QTest::addRow("command undefined answer") << true << "unknown" << QVariant(1.5) << undefined;
}

void TestTcpLink::queriesRoundTrip()
{
    QFETCH(bool, command);
    QFETCH(QString, name);
    QFETCH(QVariant, argument);
    QFETCH(QJsonValue, answer);

    Peer peer;
    peer.server.run([&](ScriptedLink& link, sim::ControllerServer&) {
        if (answer.isUndefined())
            return;
        if (command)
            link.setCommandReply(name, answer);
        else
            link.setServiceData(name, answer);
    });
    CONNECT_PEER(peer);

    const QJsonValue got =
        command ? peer.link.execCommand(name, argument) : peer.link.serviceData(name);
    QVERIFY2(sameJson(got, answer), qPrintable(describe(got) + " != " + describe(answer)));

    const QList<LinkCall> calls = peer.server.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().kind,
             command ? QStringLiteral("execCommand") : QStringLiteral("serviceData"));
    QCOMPARE(calls.first().name, name);
    if (command) {
        const QVariant& received = calls.first().argument;
        QVERIFY(sameJson(QJsonValue::fromVariant(received), QJsonValue::fromVariant(argument)));
        // Objects and arrays arrive as the JSON classes the plug-in put in.
        if (argument.userType() == QMetaType::QJsonObject ||
            argument.userType() == QMetaType::QJsonArray)
            QCOMPARE(received.userType(), argument.userType());
    }
}

void TestTcpLink::fullCommandRoundTrip_data()
{
    QTest::addColumn<QJsonValue>("params");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<bool>("result");
    QTest::addRow("reboot null params") << QJsonValue() << 4800 << true;
    QTest::addRow("refused") << QJsonValue() << 4800 << false;
    QTest::addRow("undefined params") << undefined << 0 << true;
    QTest::addRow("object params")
        << QJsonValue(QJsonObject{{QStringLiteral("mode"), QStringLiteral("soft")}}) << 1000
        << true;
}

void TestTcpLink::fullCommandRoundTrip()
{
    QFETCH(QJsonValue, params);
    QFETCH(int, timeout);
    QFETCH(bool, result);
    const QString command = QStringLiteral("system.controller.reboot");

    Peer peer;
    peer.server.run([&](ScriptedLink& link, sim::ControllerServer&) {
        link.setFullCommandResult(command, result);
    });
    CONNECT_PEER(peer);

    QCOMPARE(peer.link.fullCommand(command, params, timeout), result);
    const QList<LinkCall> calls = peer.server.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().kind, QStringLiteral("fullCommand"));
    QCOMPARE(calls.first().name, command);
    QCOMPARE(calls.first().number, timeout);
    QVERIFY2(sameJson(calls.first().params, params), qPrintable(describe(calls.first().params)));
}

void TestTcpLink::identityIsReadOncePerConnection()
{
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity(QStringLiteral("10.1.2.3"), QString::fromUtf8("六轴-900"), 6001);
    });
    QVERIFY(peer.link.robotIP().isEmpty());
    CONNECT_PEER(peer);

    // A slow peer and a changed controller do not show: the identity comes from the cache.
    sim::ServerFaults slow;
    slow.delayMs = 5000;
    peer.server.setFaults(slow);
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity(QStringLiteral("10.9.9.9"), QStringLiteral("other"), 7);
    });
    QElapsedTimer clock;
    clock.start();
    QCOMPARE(peer.link.robotIP(), QStringLiteral("10.1.2.3"));
    QCOMPARE(peer.link.robotType(), QString::fromUtf8("六轴-900"));
    QCOMPARE(peer.link.robotModelType(), 6001);
    QVERIFY2(clock.elapsed() < 1000, qPrintable(QString::number(clock.elapsed())));

    // The next connection reads it afresh.
    peer.server.setFaults({});
    peer.server.linkGoesAway(true);
    QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 5000);
    QVERIFY(peer.link.robotIP().isEmpty());
    QCOMPARE(peer.link.robotModelType(), 0);
    peer.server.linkComesBack();
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 5000);
    QCOMPARE(peer.link.robotIP(), QStringLiteral("10.9.9.9"));
    QCOMPARE(peer.link.robotType(), QStringLiteral("other"));
    QCOMPARE(peer.link.robotModelType(), 7);
}

void TestTcpLink::callWithoutPeerAnswersAtOnce()
{
    const quint16 port = unusedPort();
    TcpControllerLink link;
    link.setRetryInterval(20);
    QSignalSpy up(&link, &tavrin::ControllerLink::connected);
    link.connectToController(localHost, port);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.serviceData(QStringLiteral("key")).isUndefined());
    QVERIFY(link.execCommand(QStringLiteral("cmd"), QString()).isUndefined());
    QVERIFY(!link.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QVERIFY(link.robotIP().isEmpty() && link.robotType().isEmpty());
    QCOMPARE(link.robotModelType(), 0);
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));

    // The link keeps knocking and gets in once a peer opens that port.
    QTRY_VERIFY(clock.elapsed() > 100);
    QCOMPARE(up.count(), 0);
    ServerThread server(port);
    QCOMPARE(server.port(), port);
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 5000);
}

void TestTcpLink::timeoutGivesEmptyAnswerWithinBound_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addRow("service data") << "serviceData";
    QTest::addRow("command") << "execCommand";
    QTest::addRow("full command") << "fullCommand";
}

void TestTcpLink::timeoutGivesEmptyAnswerWithinBound()
{
    QFETCH(QString, kind);
    const int bound = 300;
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setServiceData(QStringLiteral("cmd"), true);
        link.setCommandReply(QStringLiteral("cmd"), true);
        link.setFullCommandResult(QStringLiteral("cmd"), true);
    });
    peer.link.setCallTimeout(bound);
    CONNECT_PEER(peer);
    sim::ServerFaults slow;
    slow.delayMs = 3000;
    peer.server.setFaults(slow);

    QElapsedTimer clock;
    clock.start();
    if (kind == QLatin1String("serviceData"))
        QVERIFY(peer.link.serviceData(QStringLiteral("cmd")).isUndefined());
    else if (kind == QLatin1String("execCommand"))
        QVERIFY(peer.link.execCommand(QStringLiteral("cmd"), QVariant()).isUndefined());
    else
        QVERIFY(!peer.link.fullCommand(QStringLiteral("cmd"), QJsonValue(), bound));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= bound - 10 && elapsed < bound + 700, qPrintable(QString::number(elapsed)));
    // A slow answer is no lost connection.
    QVERIFY(peer.link.isConnected());
    QCOMPARE(peer.down.count(), 0);
}

void TestTcpLink::lateReplyDoesNotAnswerNextCall()
{
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.queueCommandReply(QStringLiteral("cmd"), QStringLiteral("first"));
        link.queueCommandReply(QStringLiteral("cmd"), QStringLiteral("second"));
    });
    CONNECT_PEER(peer);
    sim::ServerFaults slow;
    slow.delayMs = 400;
    peer.server.setFaults(slow);

    peer.link.setCallTimeout(100);
    QVERIFY(peer.link.execCommand(QStringLiteral("cmd"), 1).isUndefined());
    // The first reply turns up while the second call waits for its own.
    peer.link.setCallTimeout(5000);
    QCOMPARE(peer.link.execCommand(QStringLiteral("cmd"), 2).toString(), QStringLiteral("second"));
    QCOMPARE(peer.server.calls().size(), 2);
}

void TestTcpLink::garbageIsIgnored()
{
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setCommandReply(QStringLiteral("cmd"), QStringLiteral("ok"));
        link.setServiceData(QStringLiteral("key"), 5);
    });
    peer.link.setCallTimeout(200);
    CONNECT_PEER(peer);
    sim::ServerFaults garbage;
    garbage.garbage = QStringLiteral("cmd");
    peer.server.setFaults(garbage);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(peer.link.execCommand(QStringLiteral("cmd"), QVariant()).isUndefined());
    QVERIFY(clock.elapsed() >= 190);
    QCOMPARE(peer.link.serviceData(QStringLiteral("key")).toInt(), 5);
    QVERIFY(peer.link.isConnected());
    QCOMPARE(peer.down.count(), 0);
}

void TestTcpLink::failSwitch_data()
{
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QString>("kind");
    QTest::addRow("named command") << "cmd"
                                   << "execCommand";
    QTest::addRow("named full command") << "cmd"
                                        << "fullCommand";
    QTest::addRow("named key") << "cmd"
                               << "serviceData";
    QTest::addRow("every request") << "*"
                                   << "execCommand";
}

void TestTcpLink::failSwitch()
{
    QFETCH(QString, pattern);
    QFETCH(QString, kind);
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setServiceData(QStringLiteral("cmd"), true);
        link.setCommandReply(QStringLiteral("cmd"), QJsonObject{{"success", true}});
        link.setFullCommandResult(QStringLiteral("cmd"), true);
        link.setCommandReply(QStringLiteral("other"), QStringLiteral("ok"));
    });
    CONNECT_PEER(peer);
    sim::ServerFaults failing;
    failing.fail = pattern;
    peer.server.setFaults(failing);

    const QJsonValue refusal(QJsonObject{{QStringLiteral("success"), false}});
    if (kind == QLatin1String("serviceData"))
        QVERIFY(sameJson(peer.link.serviceData(QStringLiteral("cmd")), refusal));
    else if (kind == QLatin1String("execCommand"))
        QVERIFY(sameJson(peer.link.execCommand(QStringLiteral("cmd"), QVariant()), refusal));
    else
        QVERIFY(!peer.link.fullCommand(QStringLiteral("cmd"), QJsonValue(), 1000));
    // A refused request never reaches the controller.
    QVERIFY(peer.server.calls().isEmpty());

    const QJsonValue other = peer.link.execCommand(QStringLiteral("other"), QVariant());
    QCOMPARE(sameJson(other, refusal), pattern == QLatin1String("*"));
}

void TestTcpLink::dropSwitches_data()
{
    QTest::addColumn<bool>("before");
    QTest::addRow("before the command") << true;
    QTest::addRow("after the command") << false;
}

void TestTcpLink::dropSwitches()
{
    QFETCH(bool, before);
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setCommandReply(QStringLiteral("cmd"), QStringLiteral("ok"));
    });
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&peer.link);
    QSignalSpy managerDown(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    CONNECT_PEER(peer);
    sim::ServerFaults dropping;
    (before ? dropping.dropBefore : dropping.dropAfter) = QStringLiteral("cmd");
    peer.server.setFaults(dropping);

    QElapsedTimer clock;
    clock.start();
    const QJsonValue got = peer.link.execCommand(QStringLiteral("cmd"), QVariant());
    // The loss ends the wait; it does not run into the call timeout.
    QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    if (before)
        QVERIFY(got.isUndefined());
    else
        QCOMPARE(got.toString(), QStringLiteral("ok"));
    QCOMPARE(peer.server.calls().size(), before ? 0 : 1);

    QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 5000);
    QCOMPARE(peer.down.first().first().toBool(), false);
    QCOMPARE(managerDown.count(), 1);
    QCOMPARE(managerDown.first().first().toBool(), false);
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 5000);
    QVERIFY(peer.link.isConnected());
}

void TestTcpLink::silentPeerIsTriedAgain()
{
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity(QStringLiteral("10.0.0.1"), QStringLiteral("t"), 1);
    });
    sim::ServerFaults noIdentity;
    noIdentity.garbage = QStringLiteral("identity");
    peer.server.setFaults(noIdentity);
    peer.link.setCallTimeout(100);
    peer.connectLink();

    // The peer takes the connection but never tells who it is: the link gives up on that
    // connection and tries a new one, without ever reporting a connection.
    QTRY_VERIFY_WITH_TIMEOUT(peer.server.acceptedClients() >= 2, 5000);
    QVERIFY(!peer.link.isConnected());
    QVERIFY(peer.link.execCommand(QStringLiteral("cmd"), QVariant()).isUndefined());
    QCOMPARE(peer.up.count(), 0);

    peer.server.setFaults({});
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 1, 5000);
    QCOMPARE(peer.link.robotIP(), QStringLiteral("10.0.0.1"));
    QCOMPARE(peer.down.count(), 0);
}

void TestTcpLink::lossAndReturnAreReported()
{
    Peer peer;
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&peer.link);
    QSignalSpy managerUp(&manager, &tavrin::InterfaceManager::sigNetworkConnect);
    QSignalSpy managerDown(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    CONNECT_PEER(peer);
    QCOMPARE(managerUp.count(), 1);

    // A controller that goes away on purpose (a reboot) is an expected loss.
    peer.server.linkGoesAway(true);
    QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 5000);
    QCOMPARE(peer.down.first().first().toBool(), true);
    QCOMPARE(managerDown.count(), 1);
    QCOMPARE(managerDown.first().first().toBool(), true);

    // While it is away, calls answer at once and the server refuses newcomers.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(manager.execCommandXServiceData(QStringLiteral("cmd"), QString()).isUndefined());
    QVERIFY(!manager.rcRequestFullCommand(QStringLiteral("x"), QJsonValue(), 4800));
    QVERIFY(manager.getRobotType().isEmpty());
    QVERIFY(clock.elapsed() < 500);
    QTcpSocket knock;
    QSignalSpy refused(&knock, &QAbstractSocket::errorOccurred);
    knock.connectToHost(localHost, peer.server.port());
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 5000);
    QCOMPARE(knock.error(), QAbstractSocket::ConnectionRefusedError);

    peer.server.linkComesBack();
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 5000);
    QCOMPARE(managerUp.count(), 2);
}

void TestTcpLink::disconnectIsExpectedAndReconnectable()
{
    Peer peer;
    CONNECT_PEER(peer);
    peer.link.disconnectFromController();
    QVERIFY(!peer.link.isConnected());
    QTRY_COMPARE(peer.down.count(), 1);
    QCOMPARE(peer.down.first().first().toBool(), true);
    QVERIFY(peer.link.serviceData(QStringLiteral("key")).isUndefined());

    peer.connectLink();
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 5000);
    QCOMPARE(peer.down.count(), 1);
}

void TestTcpLink::secondClientReplacesFirst()
{
    Peer peer;
    CONNECT_PEER(peer);

    QTcpSocket second;
    QSignalSpy secondClosed(&second, &QAbstractSocket::disconnected);
    second.connectToHost(localHost, peer.server.port());
    QVERIFY(second.waitForConnected(5000));
    // The first client is cut off, comes back, and in its turn replaces the newcomer.
    QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 5000);
    QCOMPARE(peer.down.first().first().toBool(), false);
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 5000);
    QTRY_COMPARE_WITH_TIMEOUT(secondClosed.count(), 1, 5000);
}

void TestTcpLink::serverSkipsMalformedRequests()
{
    ServerThread server;
    server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setServiceData(QStringLiteral("key"), 1);
    });
    QTcpSocket client;
    client.connectToHost(localHost, server.port());
    QVERIFY(client.waitForConnected(5000));
    client.write("not json at all\n"
                 "[1,2,3]\n"
                 "{\"op\":\"serviceData\",\"key\":\"key\"}\n"
                 "{\"id\":\"7\",\"op\":\"serviceData\",\"key\":\"key\"}\n"
                 "\n"
                 "{\"id\":8,\"op\":\"noSuchOp\"}\n"
                 "{\"id\":9,\"op\":\"serviceData\",\"key\":\"key\"}\n");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += client.readAll()).count('\n') >= 2, 5000);
    QCOMPARE(received, QByteArray("{\"id\":8,\"undefined\":true}\n{\"id\":9,\"value\":1}\n"));
    // Only the well-formed request reached the controller.
    QCOMPARE(server.calls().size(), 1);
}

void TestTcpLink::serverCutsEndlessLine()
{
    ServerThread server;
    QTcpSocket client;
    QSignalSpy closed(&client, &QAbstractSocket::disconnected);
    client.connectToHost(localHost, server.port());
    QVERIFY(client.waitForConnected(5000));
    client.write(QByteArray(5 * 1024 * 1024, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 10000);
    QVERIFY(server.calls().isEmpty());
}

void TestTcpLink::faultControlRequest()
{
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setCommandReply(QStringLiteral("cmd"), QStringLiteral("ok"));
    });
    CONNECT_PEER(peer);

    const std::optional<QJsonValue> set = peer.link.request(
        QStringLiteral("fault"),
        {{QStringLiteral("fail"), QStringLiteral("cmd")}, {QStringLiteral("delay_ms"), 10}}, 2000);
    QVERIFY(set.has_value());
    QCOMPARE(set->toObject().value(QStringLiteral("fail")).toString(), QStringLiteral("cmd"));
    QCOMPARE(set->toObject().value(QStringLiteral("delay_ms")).toInt(), 10);
    QCOMPARE(peer.link.execCommand(QStringLiteral("cmd"), QVariant())
                 .toObject()
                 .value(QStringLiteral("success")),
             QJsonValue(false));

    // A fault request sets every switch: the missing ones are off.
    QVERIFY(peer.link.request(QStringLiteral("fault"), {}, 2000).has_value());
    QCOMPARE(peer.link.execCommand(QStringLiteral("cmd"), QVariant()).toString(),
             QStringLiteral("ok"));
    sim::ServerFaults now;
    peer.server.run([&now](ScriptedLink&, sim::ControllerServer& s) { now = s.currentFaults(); });
    QCOMPARE(now.toJson(), sim::ServerFaults().toJson());
}

LUMORA_TEST_MAIN(TestTcpLink)
#include "tst_tcplink.moc"
