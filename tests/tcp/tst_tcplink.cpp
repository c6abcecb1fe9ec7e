#include "serverthread.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <interfacemanager.h>
#include <tcpcontrollerlink.h>

using lumora::test::LinkCall;
using lumora::test::ScriptedLink;
using lumora::test::ServerThread;
using tavrin::TcpControllerLink;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");
const QJsonValue undefined(QJsonValue::Undefined);
const QJsonValue refusal(QJsonObject{{QStringLiteral("success"), false}});

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
    } while (false)

} // namespace

class TestTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { tavrin::tavrinInterface().setControllerLink(nullptr); }

    void parseAddress_data();
    void parseAddress();
    void callsRoundTrip_data();
    void callsRoundTrip();
    void callWithoutPeerAnswersAtOnce();
    void timeoutGivesEmptyAnswerWithinBound_data();
    void timeoutGivesEmptyAnswerWithinBound();
    void lateReplyDoesNotAnswerNextCall();
    void faultSwitches_data();
    void faultSwitches();
    void silentPeerIsTriedAgain();
    void lossAndReturnAreReported();
    void secondClientIsRefused();
    void serverSkipsMalformedRequests();
    void serverCutsEndlessLine();
};

void TestTcpLink::parseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("host"); // empty: refused
    QTest::addColumn<int>("port");
    QTest::addRow("ipv4") << "tcp://127.0.0.1:7788"
                          << "127.0.0.1" << 7788;
    QTest::addRow("ipv6") << "tcp://[::1]:65535"
                          << "::1" << 65535;
    QTest::addRow("no port") << "tcp://127.0.0.1"
                             << "" << 0;
    QTest::addRow("port 0") << "tcp://127.0.0.1:0"
                            << "" << 0;
    QTest::addRow("other scheme") << "http://127.0.0.1:80"
                                  << "" << 0;
    QTest::addRow("path") << "tcp://127.0.0.1:80/x"
                          << "" << 0;
    QTest::addRow("sim") << "sim"
                         << "" << 0;
}

void TestTcpLink::parseAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, host);
    QFETCH(int, port);
    QString parsedHost;
    quint16 parsedPort = 0;
    QCOMPARE(TcpControllerLink::parseAddress(address, &parsedHost, &parsedPort), !host.isEmpty());
    QCOMPARE(parsedHost, host);
    QCOMPARE(int(parsedPort), port);
}

void TestTcpLink::callsRoundTrip_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QVariant>("argument");
    QTest::addColumn<QJsonValue>("params");
    QTest::addColumn<QJsonValue>("answer");

    const QJsonObject payload{{QStringLiteral("DH_params_all"), QJsonArray{1.5, -2, 3e-7}}};
    const QJsonValue none;
    QTest::addRow("service object")
        << "serviceData" << QString::fromUtf8("factory\xC2\xB7get_dh_params_support") << QVariant()
        << none << QJsonValue(QJsonObject{{QStringLiteral("data"), true}});
    QTest::addRow("service nested array")
        << "serviceData"
        << "factory.set_DH_params_link" << QVariant() << none
        << QJsonValue(QJsonArray{QJsonArray{-90, 150, 450, 0}, QJsonArray{0, 610, 0, -90}});
    QTest::addRow("service null") << "serviceData"
                                  << "k" << QVariant() << none << QJsonValue();
    QTest::addRow("service undefined") << "serviceData"
                                       << "k" << QVariant() << none << undefined;
    QTest::addRow("command object payload")
        << "execCommand"
        << "factory.set_DH_params_all" << QVariant(payload) << none
        << QJsonValue(QJsonObject{{QStringLiteral("success"), true}});
    QTest::addRow("command text with line feed")
        << "execCommand"
        << "factory.get_DH_params_link" << QVariant(QString()) << none
        << QJsonValue(QString::fromUtf8("标定\n完成 \"x\""));
    QTest::addRow("command array argument, null answer")
        << "execCommand"
        << "c" << QVariant(QJsonArray{1, QStringLiteral("x"), QJsonValue()}) << none
        << QJsonValue();
    QTest::addRow("command undefined answer") << "execCommand"
                                              << "c" << QVariant(7) << none << undefined;
    QTest::addRow("reboot, null params")
        << "fullCommand"
        << "system.controller.reboot" << QVariant(4800) << QJsonValue() << QJsonValue(true);
    QTest::addRow("refused, undefined params")
        << "fullCommand"
        << "c" << QVariant(0) << undefined << QJsonValue(false);
}

void TestTcpLink::callsRoundTrip()
{
    QFETCH(QString, kind);
    QFETCH(QString, name);
    QFETCH(QVariant, argument);
    QFETCH(QJsonValue, params);
    QFETCH(QJsonValue, answer);

    Peer peer;
    peer.server.run([&](ScriptedLink& link, sim::ControllerServer&) {
        if (answer.isUndefined())
            return;
        if (kind == QLatin1String("serviceData"))
            link.setServiceData(name, answer);
        else if (kind == QLatin1String("execCommand"))
            link.setCommandReply(name, answer);
        else
            link.setFullCommandResult(name, answer.toBool());
    });
    CONNECT_PEER(peer);

    QJsonValue got;
    if (kind == QLatin1String("serviceData"))
        got = peer.link.serviceData(name);
    else if (kind == QLatin1String("execCommand"))
        got = peer.link.execCommand(name, argument);
    else
        got = peer.link.fullCommand(name, params, argument.toInt());
    // The comparison tells Undefined from Null: that distinction has to survive the wire.
    QCOMPARE(got, answer);

    const QList<LinkCall> calls = peer.server.calls();
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().kind, kind);
    QCOMPARE(calls.first().name, name);
    if (kind == QLatin1String("execCommand")) {
        const QVariant& received = calls.first().argument;
        QCOMPARE(QJsonValue::fromVariant(received), QJsonValue::fromVariant(argument));
        // Objects and arrays arrive as the JSON classes the plug-in put in.
        if (argument.userType() == QMetaType::QJsonObject ||
            argument.userType() == QMetaType::QJsonArray)
            QCOMPARE(received.userType(), argument.userType());
    } else if (kind == QLatin1String("fullCommand")) {
        QCOMPARE(calls.first().number, argument.toInt());
        QCOMPARE(calls.first().params, params);
    }
}

void TestTcpLink::callWithoutPeerAnswersAtOnce()
{
    quint16 port;
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
    }
    TcpControllerLink link;
    link.setRetryInterval(20);
    QSignalSpy up(&link, &tavrin::ControllerLink::connected);
    link.connectToController(localHost, port);

    QElapsedTimer clock;
    clock.start();
    QVERIFY(link.serviceData(QStringLiteral("key")).isUndefined());
    QVERIFY(link.execCommand(QStringLiteral("cmd"), QString()).isUndefined());
    QVERIFY(!link.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QVERIFY(link.robotIP().isEmpty() && link.robotType().isEmpty() && !link.robotModelType());
    QVERIFY2(clock.elapsed() < 500, qPrintable(QString::number(clock.elapsed())));

    // The link keeps knocking and gets in once a peer opens that port.
    ServerThread server(port);
    QCOMPARE(server.port(), port);
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 5000);
}

void TestTcpLink::timeoutGivesEmptyAnswerWithinBound_data()
{
    QTest::addColumn<int>("kind");
    QTest::addRow("service data") << 0;
    QTest::addRow("command") << 1;
    QTest::addRow("full command") << 2;
}

void TestTcpLink::timeoutGivesEmptyAnswerWithinBound()
{
    QFETCH(int, kind);
    const int bound = 300;
    const QString cmd = QStringLiteral("cmd");
    Peer peer;
    peer.server.run([&cmd](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity(QStringLiteral("10.0.0.1"), QStringLiteral("t"), 1);
        link.setServiceData(cmd, true);
        link.setCommandReply(cmd, true);
        link.setFullCommandResult(cmd, true);
    });
    peer.link.setCallTimeout(bound);
    CONNECT_PEER(peer);
    sim::ServerFaults slow;
    slow.delayMs = 3000;
    peer.server.setFaults(slow);

    QElapsedTimer clock;
    clock.start();
    if (kind == 0)
        QVERIFY(peer.link.serviceData(cmd).isUndefined());
    else if (kind == 1)
        QVERIFY(peer.link.execCommand(cmd, QVariant()).isUndefined());
    else
        QVERIFY(!peer.link.fullCommand(cmd, QJsonValue(), bound));
    const qint64 elapsed = clock.elapsed();
    QVERIFY2(elapsed >= bound - 10 && elapsed < bound + 700, qPrintable(QString::number(elapsed)));
    // A slow answer is no lost connection, and the identity needs no round trip.
    QVERIFY(peer.link.isConnected());
    QCOMPARE(peer.down.count(), 0);
    clock.restart();
    QCOMPARE(peer.link.robotIP(), QStringLiteral("10.0.0.1"));
    QVERIFY(clock.elapsed() < 100);
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
}

void TestTcpLink::faultSwitches_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("pattern");
    QTest::addColumn<QJsonValue>("answer");
    QTest::addColumn<bool>("reachesController");
    QTest::addColumn<bool>("lost");
    const QJsonValue ok(QStringLiteral("ok"));
    QTest::addRow("garbage") << "garbage"
                             << "cmd" << undefined << true << false;
    QTest::addRow("fail") << "fail"
                          << "cmd" << refusal << false << false;
    QTest::addRow("fail every request") << "fail"
                                        << "*" << refusal << false << false;
    QTest::addRow("fail another command") << "fail"
                                          << "other" << ok << true << false;
    QTest::addRow("drop before") << "drop_before"
                                 << "cmd" << undefined << false << true;
    QTest::addRow("drop after") << "drop_after"
                                << "cmd" << ok << true << true;
}

void TestTcpLink::faultSwitches()
{
    QFETCH(QString, fault);
    QFETCH(QString, pattern);
    QFETCH(QJsonValue, answer);
    QFETCH(bool, reachesController);
    QFETCH(bool, lost);
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setCommandReply(QStringLiteral("cmd"), QStringLiteral("ok"));
    });
    peer.link.setCallTimeout(1000);
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&peer.link);
    QSignalSpy managerDown(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    CONNECT_PEER(peer);
    // Set through the control request, as an outside test would.
    QVERIFY(peer.link.request(QStringLiteral("fault"), {{fault, pattern}}, 1000));

    QElapsedTimer clock;
    clock.start();
    const QJsonValue got = peer.link.execCommand(QStringLiteral("cmd"), QVariant());
    QCOMPARE(got, answer);
    // A lost connection ends the wait at once; only garbage runs into the timeout.
    QCOMPARE(clock.elapsed() >= 1000, fault == QLatin1String("garbage"));
    QCOMPARE(peer.server.calls().size(), reachesController ? 1 : 0);
    if (!lost) {
        QVERIFY(peer.link.isConnected());
        return;
    }
    QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 5000);
    QCOMPARE(peer.down.first().first().toBool(), false);
    QCOMPARE(managerDown.count(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 5000);
}

void TestTcpLink::silentPeerIsTriedAgain()
{
    Peer peer;
    sim::ServerFaults noIdentity;
    noIdentity.garbage = QStringLiteral("identity");
    peer.server.setFaults(noIdentity);
    peer.link.setCallTimeout(100);
    peer.connectLink();

    // The peer takes the connection but never says who it is: the link gives up on it and
    // tries a new one, without reporting a connection.
    QTRY_VERIFY_WITH_TIMEOUT(peer.server.acceptedClients() >= 2, 5000);
    QVERIFY(!peer.link.isConnected());
    QCOMPARE(peer.up.count(), 0);
    peer.server.setFaults({});
    QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 1, 5000);
    QCOMPARE(peer.down.count(), 0);
}

void TestTcpLink::lossAndReturnAreReported()
{
    Peer peer;
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity(QStringLiteral("10.1.2.3"), QString::fromUtf8("六轴"), 6001);
    });
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&peer.link);
    QSignalSpy managerUp(&manager, &tavrin::InterfaceManager::sigNetworkConnect);
    QSignalSpy managerDown(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    CONNECT_PEER(peer);
    QCOMPARE(managerUp.count(), 1);
    QCOMPARE(manager.getRobotType(), QString::fromUtf8("六轴"));

    // A controller that goes away on purpose (a reboot) is an expected loss.
    peer.server.linkGoesAway(true);
    QTRY_COMPARE_WITH_TIMEOUT(managerDown.count(), 1, 5000);
    QCOMPARE(managerDown.first().first().toBool(), true);

    // While it is away, calls answer at once and the server refuses newcomers.
    QElapsedTimer clock;
    clock.start();
    QVERIFY(manager.execCommandXServiceData(QStringLiteral("cmd"), QString()).isUndefined());
    QVERIFY(manager.getRobotIP().isEmpty() && manager.getRobotModelType() == 0);
    QVERIFY(clock.elapsed() < 500);
    QTcpSocket knock;
    QSignalSpy refused(&knock, &QAbstractSocket::errorOccurred);
    knock.connectToHost(localHost, peer.server.port());
    QTRY_COMPARE_WITH_TIMEOUT(refused.count(), 1, 5000);
    QCOMPARE(knock.error(), QAbstractSocket::ConnectionRefusedError);

    // It comes back with another identity, which the link reads afresh.
    peer.server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity(QStringLiteral("10.9.9.9"), QStringLiteral("other"), 7);
        link.announceConnected();
    });
    QTRY_COMPARE_WITH_TIMEOUT(managerUp.count(), 2, 5000);
    QCOMPARE(manager.getRobotIP(), QStringLiteral("10.9.9.9"));
    QCOMPARE(manager.getRobotModelType(), 7);

    // An operator's disconnect is expected too, and stops nothing for good.
    peer.link.disconnectFromController();
    QTRY_COMPARE(managerDown.count(), 2);
    QCOMPARE(managerDown.last().first().toBool(), true);
    peer.connectLink();
    QTRY_COMPARE_WITH_TIMEOUT(managerUp.count(), 3, 5000);
}

void TestTcpLink::secondClientIsRefused()
{
    Peer peer;
    CONNECT_PEER(peer);
    QTcpSocket second;
    QSignalSpy secondClosed(&second, &QAbstractSocket::disconnected);
    second.connectToHost(localHost, peer.server.port());
    // The newcomer is turned away; the link keeps its session.
    QTRY_COMPARE_WITH_TIMEOUT(secondClosed.count(), 1, 5000);
    QCOMPARE(peer.down.count(), 0);
    QCOMPARE(peer.up.count(), 1);
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
    client.write(
        "not json\n[1,2]\n{\"op\":\"serviceData\",\"key\":\"key\"}\n"
        "{\"id\":\"7\",\"op\":\"serviceData\",\"key\":\"key\"}\n\n"
        "{\"id\":8,\"op\":\"noSuchOp\"}\n{\"id\":9,\"op\":\"serviceData\",\"key\":\"key\"}\n");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += client.readAll()).count('\n') >= 2, 5000);
    QCOMPARE(received, QByteArray("{\"id\":8,\"undefined\":true}\n{\"id\":9,\"value\":1}\n"));
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
}

LUMORA_TEST_MAIN(TestTcpLink)
#include "tst_tcplink.moc"
