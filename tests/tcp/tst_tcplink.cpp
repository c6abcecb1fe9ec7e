#include "tcpharness.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>

#include <interfacemanager.h>
#include <tcpcontrollerlink.h>

using namespace lumora::test;
using tavrin::TcpControllerLink;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");
const QString getDh = QStringLiteral("factory.get_DH_params_link");
const QJsonValue undefined(QJsonValue::Undefined);
const QJsonValue refused(QJsonObject{{"success", false}});

// A link to a peer, with its reports recorded.
struct Peer
{
    Peer() { link.setRetryInterval(20); }
    bool connectTo(quint16 port)
    {
        link.connectToController(localHost, port);
        return QTest::qWaitFor([&] { return up.count() == 1; }, 30000);
    }
    TcpControllerLink link;
    QSignalSpy up{&link, &tavrin::ControllerLink::connected};
    QSignalSpy down{&link, &tavrin::ControllerLink::disconnected};
};

} // namespace

class TestTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void parseAddress_data();
    void parseAddress();
    void conversation_data();
    void conversation();
    void lateReplyDoesNotAnswerNextCall();
    void peerComesAndGoes();
    void serverSkipsMalformedRequestsAndCutsEndlessLines();
    void simulatorProgram_data();
    void simulatorProgram();
};

void TestTcpLink::parseAddress_data()
{
    QTest::addColumn<QString>("address");
    QTest::addColumn<QString>("parsed");
    QTest::addRow("ipv4") << "tcp://127.0.0.1:7788"
                          << "127.0.0.1 7788";
    QTest::addRow("ipv6") << "tcp://[::1]:65535"
                          << "::1 65535";
    for (const char* bad : {"tcp://127.0.0.1", "tcp://127.0.0.1:0", "http://127.0.0.1:80",
                            "tcp://127.0.0.1:80/x", "tcp://u@127.0.0.1:80", "sim"})
        QTest::addRow("%s", bad) << bad << "";
}

void TestTcpLink::parseAddress()
{
    QFETCH(QString, address);
    QFETCH(QString, parsed);
    QString host;
    quint16 port = 0;
    const bool ok = TcpControllerLink::parseAddress(address, &host, &port);
    QCOMPARE(ok ? host + ' ' + QString::number(port) : QString(), parsed);
}

// One call over the wire, with the server's faults set through the control request as an
// outside test would. A timeout of 300 ms is one the call must run into.
void TestTcpLink::conversation_data()
{
    QTest::addColumn<QString>("call");
    QTest::addColumn<QJsonValue>("answer"); // what the controller answers; Undefined: unscripted
    QTest::addColumn<QJsonObject>("faults");
    QTest::addColumn<int>("timeout");
    QTest::addColumn<QJsonValue>("reply");
    QTest::addColumn<bool>("reaches"); // the controller sees the call
    QTest::addColumn<bool>("lost");

    const QJsonValue ok(QStringLiteral("标定\n完成 \"x\""));
    const QJsonValue links(QJsonArray{QJsonArray{-90, 150.5}, QJsonArray{}});
    const QJsonObject none;
    QTest::addRow("service data") << "service" << links << none << 30000 << links << true << false;
    QTest::addRow("service null") << "service" << QJsonValue() << none << 30000 << QJsonValue()
                                  << true << false;
    QTest::addRow("service undefined")
        << "service" << undefined << none << 30000 << undefined << true << false;
    QTest::addRow("command") << "command" << ok << none << 30000 << ok << true << false;
    QTest::addRow("full command") << "full" << QJsonValue(true) << none << 30000 << QJsonValue(true)
                                  << true << false;
    QTest::addRow("full command refused")
        << "full" << QJsonValue(false) << none << 30000 << QJsonValue(false) << true << false;
    QTest::addRow("slow") << "command" << ok << QJsonObject{{"delay_ms", 60000}} << 300 << undefined
                          << true << false;
    QTest::addRow("slow full command")
        << "full" << QJsonValue(true) << QJsonObject{{"delay_ms", 60000}} << 300
        << QJsonValue(false) << true << false;
    QTest::addRow("garbage") << "command" << ok << QJsonObject{{"garbage", getDh}} << 300
                             << undefined << true << false;
    QTest::addRow("fail") << "command" << ok << QJsonObject{{"fail", getDh}} << 30000 << refused
                          << false << false;
    QTest::addRow("fail every request")
        << "service" << ok << QJsonObject{{"fail", "*"}} << 30000 << refused << false << false;
    QTest::addRow("fail another") << "command" << ok << QJsonObject{{"fail", "other"}} << 30000
                                  << ok << true << false;
    QTest::addRow("drop before") << "command" << ok << QJsonObject{{"drop_before", getDh}} << 30000
                                 << undefined << false << true;
    QTest::addRow("drop after") << "command" << ok << QJsonObject{{"drop_after", getDh}} << 30000
                                << ok << true << true;
}

void TestTcpLink::conversation()
{
    QFETCH(QString, call);
    QFETCH(QJsonValue, answer);
    QFETCH(QJsonObject, faults);
    QFETCH(int, timeout);
    QFETCH(QJsonValue, reply);
    QFETCH(bool, reaches);
    QFETCH(bool, lost);

    ServerThread server;
    server.run([&](ScriptedLink& link, sim::ControllerServer&) {
        link.setServiceData(getDh, answer);
        link.setCommandReply(getDh, answer);
        link.setFullCommandResult(getDh, answer.toBool());
    });
    Peer peer;
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&peer.link);
    QSignalSpy managerDown(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    QVERIFY(peer.connectTo(server.port()));
    QVERIFY(peer.link.request("fault", faults, 30000));
    // A full command's own timeout bounds it, not the call timeout.
    peer.link.setCallTimeout(call == "full" ? 30000 : timeout);

    const QJsonObject payload{{"DH_params_all", QJsonArray{1.5, -2}}};
    QElapsedTimer clock;
    clock.start();
    const QJsonValue got = call == "service" ? peer.link.serviceData(getDh)
                           : call == "command"
                               ? peer.link.execCommand(getDh, QVariant(payload))
                               : QJsonValue(peer.link.fullCommand(getDh, QJsonValue(), timeout));
    // The comparison tells Undefined from Null: that distinction has to survive the wire.
    QCOMPARE(got, reply);
    const qint64 took = clock.elapsed();
    QVERIFY2(took < 20000 && (timeout > 1000 || took >= timeout - 10),
             qPrintable(QString::number(took)));

    QList<LinkCall> calls;
    server.run([&](ScriptedLink& link, sim::ControllerServer&) { calls = link.calls; });
    QCOMPARE(calls.size(), reaches ? 1 : 0);
    if (reaches && call == "command")
        QVERIFY(calls.first().argument.userType() == QMetaType::QJsonObject &&
                calls.first().argument.toJsonObject() == payload);
    if (reaches && call == "full")
        QVERIFY(calls.first().number == timeout && calls.first().params.isNull());
    if (lost) {
        QTRY_COMPARE_WITH_TIMEOUT(managerDown.count(), 1, 30000);
        QCOMPARE(managerDown.first(), QVariantList{false});
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 30000);
    }
    QVERIFY(peer.link.isConnected());
    QCOMPARE(peer.down.count(), lost ? 1 : 0);
    manager.setControllerLink(nullptr);
}

void TestTcpLink::lateReplyDoesNotAnswerNextCall()
{
    ServerThread server;
    server.run([](ScriptedLink& link, sim::ControllerServer& s) {
        link.queueCommandReply(getDh, "first");
        link.queueCommandReply(getDh, "second");
        s.setFaults(sim::ServerFaults::fromJson({{"delay_ms", 400}}));
    });
    Peer peer;
    QVERIFY(peer.connectTo(server.port()));
    peer.link.setCallTimeout(100);
    QVERIFY(peer.link.execCommand(getDh, 1).isUndefined());
    // The first reply turns up while the second call waits for its own.
    peer.link.setCallTimeout(30000);
    QCOMPARE(peer.link.execCommand(getDh, 2), QJsonValue("second"));
}

void TestTcpLink::peerComesAndGoes()
{
    quint16 port;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    Peer peer;
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&peer.link);
    QSignalSpy managerUp(&manager, &tavrin::InterfaceManager::sigNetworkConnect);
    QSignalSpy managerDown(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    peer.link.setCallTimeout(300);
    peer.link.connectToController(localHost, port);
    const auto answersNothing = [&] {
        return manager.execCommandXServiceData(getDh, 1).isUndefined() &&
               manager.getXServiceData(getDh).isUndefined() &&
               !manager.rcRequestFullCommand(getDh, QJsonValue(), 4800) &&
               manager.getRobotIP().isEmpty() && manager.getRobotModelType() == 0;
    };
    QVERIFY(answersNothing());

    // A peer opens the port but never says who it is: the link gives up on it and tries again,
    // without reporting a connection, until the peer answers.
    ServerThread server(port);
    QCOMPARE(server.port(), port);
    int accepted = 0;
    server.run([](ScriptedLink& link, sim::ControllerServer& s) {
        link.setIdentity("10.1.2.3", "六轴", 6001);
        s.setFaults(sim::ServerFaults::fromJson({{"garbage", "identity"}}));
    });
    QTRY_VERIFY_WITH_TIMEOUT((server.run([&](ScriptedLink&, sim::ControllerServer& s) {
                                 accepted = s.acceptedClients();
                             }),
                              accepted >= 2),
                             30000);
    QCOMPARE(managerUp.count(), 0);
    server.run([](ScriptedLink&, sim::ControllerServer& s) { s.setFaults({}); });
    QTRY_COMPARE_WITH_TIMEOUT(managerUp.count(), 1, 30000);
    QCOMPARE(manager.getRobotType(), QStringLiteral("六轴"));

    // A controller that goes away on purpose (a reboot) is an expected loss; while it is away,
    // calls answer nothing and the server refuses newcomers.
    server.run([](ScriptedLink& link, sim::ControllerServer&) { emit link.disconnected(true); });
    QTRY_COMPARE_WITH_TIMEOUT(managerDown.count(), 1, 30000);
    QCOMPARE(managerDown.takeFirst(), QVariantList{true});
    QVERIFY(answersNothing());
    QTcpSocket knock;
    knock.connectToHost(localHost, port);
    QVERIFY(!knock.waitForConnected(30000));
    QCOMPARE(knock.error(), QAbstractSocket::ConnectionRefusedError);

    // It comes back with another identity, which the link reads afresh.
    server.run([](ScriptedLink& link, sim::ControllerServer&) {
        link.setIdentity("10.9.9.9", "other", 7);
        link.announceConnected();
    });
    QTRY_COMPARE_WITH_TIMEOUT(managerUp.count(), 2, 30000);
    QCOMPARE(manager.getRobotIP(), QStringLiteral("10.9.9.9"));
    QCOMPARE(manager.getRobotModelType(), 7);

    // A second client replaces the link's connection: an unexpected loss, and the link in its
    // turn replaces the newcomer.
    QTcpSocket second;
    QSignalSpy secondClosed(&second, &QAbstractSocket::disconnected);
    second.connectToHost(localHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(managerDown.count(), 1, 30000);
    QCOMPARE(managerDown.takeFirst(), QVariantList{false});
    QTRY_COMPARE_WITH_TIMEOUT(managerUp.count(), 3, 30000);
    QTRY_COMPARE_WITH_TIMEOUT(secondClosed.count(), 1, 30000);

    // An operator's disconnect is expected too, and stops nothing for good.
    peer.link.disconnectFromController();
    QTRY_COMPARE_WITH_TIMEOUT(managerDown.count(), 1, 30000);
    QCOMPARE(managerDown.takeFirst(), QVariantList{true});
    peer.link.connectToController(localHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(managerUp.count(), 4, 30000);
    manager.setControllerLink(nullptr);
}

void TestTcpLink::serverSkipsMalformedRequestsAndCutsEndlessLines()
{
    ServerThread server;
    server.run([](ScriptedLink& link, sim::ControllerServer&) { link.setServiceData("key", 1); });
    QTcpSocket client;
    QSignalSpy closed(&client, &QAbstractSocket::disconnected);
    client.connectToHost(localHost, server.port());
    QVERIFY(client.waitForConnected(30000));
    client.write(
        "not json\n[1,2]\n{\"op\":\"serviceData\",\"key\":\"key\"}\n"
        "{\"id\":\"7\",\"op\":\"serviceData\",\"key\":\"key\"}\n\n"
        "{\"id\":8,\"op\":\"noSuchOp\"}\n{\"id\":9,\"op\":\"serviceData\",\"key\":\"key\"}\n");
    QByteArray received;
    QTRY_VERIFY_WITH_TIMEOUT((received += client.readAll()).count('\n') >= 2, 30000);
    QCOMPARE(received, QByteArray("{\"id\":8,\"undefined\":true}\n{\"id\":9,\"value\":1}\n"));
    client.write(QByteArray(5 * 1024 * 1024, 'x'));
    QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
}

// The simulator's fault switches on its command line, and the arguments it refuses.
void TestTcpLink::simulatorProgram_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome"); // what a DH query meets, or the refusal's words
    QTest::addRow("fail") << QStringList{"--fail", getDh} << "refused";
    QTest::addRow("delay") << QStringList{"--delay", "600"} << "silent";
    QTest::addRow("garbage") << QStringList{"--garbage", getDh} << "silent";
    QTest::addRow("drop before") << QStringList{"--drop-before", getDh} << "lost";
    QTest::addRow("drop after") << QStringList{"--drop-after", getDh} << "answered, lost";
    QTest::addRow("port not a number") << QStringList{"--port", "abc"} << "--port";
    QTest::addRow("negative delay") << QStringList{"--delay", "-5"} << "--delay";
    QTest::addRow("port taken") << QStringList{"--port", "TAKEN"} << "cannot listen";
}

void TestTcpLink::simulatorProgram()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost));
    arguments.replaceInStrings("TAKEN", QString::number(taken.serverPort()));
    Simulator simulator;
    const quint16 port =
        simulator.start(SIM_PROGRAM, QStringList{"--reboot-delay", "200"} + arguments);
    if (!port) {
        QCOMPARE(simulator.process.state(), QProcess::NotRunning);
        QCOMPARE(simulator.process.exitCode(), 1);
        simulator.process.setReadChannel(QProcess::StandardError);
        QVERIFY(simulator.process.readAll().contains(outcome.toUtf8()));
        return;
    }
    QVERIFY(!outcome.startsWith("-"));
    Peer peer;
    QVERIFY(peer.connectTo(port));
    peer.link.setCallTimeout(300);
    const QJsonValue reply = peer.link.execCommand(getDh, QString());
    QCOMPARE(reply.isUndefined(), outcome == "silent" || outcome == "lost");
    if (outcome == "refused")
        QCOMPARE(reply, refused);
    if (outcome.endsWith("lost")) {
        QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 30000);
    }
    QCOMPARE(peer.down.count(), outcome.endsWith("lost") ? 1 : 0);
}

LUMORA_TEST_MAIN(TestTcpLink)
#include "tst_tcplink.moc"
