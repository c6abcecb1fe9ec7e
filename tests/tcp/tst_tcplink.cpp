#include "tcpharness.h"
#include "testmain.h"

using namespace lumora::test;

namespace tavrin {

class TcpControllerLinkProbe
{
public:
    // What a line from the peer ends while request 1 is the identity, 2 a call that gave up and
    // 3 the call waiting: "identity", "call" or nothing.
    static QString ends(const QByteArray& line)
    {
        TcpControllerLink link;
        link.lastId = 3;
        link.identityId = 1;
        link.awaitedId = 3;
        link.handleLine(line);
        return QString(link.online ? "identity" : "") + (link.awaitedReply ? "call" : "");
    }
};

} // namespace tavrin

namespace {

// JSON in single quotes; "undefined" for no value.
QJsonValue value(QByteArray text)
{
    return text == "undefined"
               ? QJsonValue(QJsonValue::Undefined)
               : QJsonDocument::fromJson("[" + text.replace('\'', '"') + "]").array().first();
}

QByteArray readLine(QTcpSocket& socket)
{
    return QTest::qWaitFor([&] { return socket.canReadLine(); }, 30000)
               ? socket.readLine().trimmed()
               : QByteArray();
}

} // namespace

class TestTcpLink : public QObject
{
    Q_OBJECT

private slots:
    void parseAddress()
    {
        QStringList parsed;
        for (const char* address :
             {"tcp://127.0.0.1:7788", "tcp://[::1]:65535", "tcp://127.0.0.1", "tcp://127.0.0.1:0",
              "http://127.0.0.1:80", "tcp://127.0.0.1:80/x", "sim"}) {
            QString host;
            quint16 port = 0;
            const bool ok = tavrin::TcpControllerLink::parseAddress(address, &host, &port);
            parsed << (ok ? host + ' ' + QString::number(port) : QString());
        }
        QCOMPARE(parsed.join('|'), QStringLiteral("127.0.0.1 7788|::1 65535|||||"));
    }

    // One call over the wire, with the server's faults set through the control request as an
    // outside test would. A slow call must run into its 300 ms timeout.
    void conversation_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<QByteArray>("answer"); // the controller's
        QTest::addColumn<QByteArray>("faults");
        QTest::addColumn<QByteArray>("reply"); // the link's
        QTest::addColumn<QString>("flags");    // the controller sees the call; lost; slow
        const char* const rows[][6] = {
            {"service null", "service", "null", "{}", "null", "seen"},
            {"service undefined", "service", "undefined", "{}", "undefined", "seen"},
            {"command", "command", "'标定\\n完成 \\'x\\''", "{}", "'标定\\n完成 \\'x\\''", "seen"},
            {"slow", "command", "1", "{'delay_ms': 60000}", "undefined", "seen slow"},
            {"slow full command", "full", "true", "{'delay_ms': 60000}", "false", "seen slow"},
            {"garbage", "command", "1", "{'garbage': 'cmd'}", "undefined", "seen slow"},
            {"fail", "command", "1", "{'fail': 'cmd'}", "{'success': false}", ""},
            {"fail every request", "service", "1", "{'fail': '*'}", "{'success': false}", ""},
            {"drop before", "command", "1", "{'drop_before': 'cmd'}", "undefined", "lost"},
            {"drop after", "command", "1", "{'drop_after': 'cmd'}", "1", "seen lost"},
        };
        for (const auto& row : rows)
            QTest::addRow("%s", row[0]) << row[1] << QByteArray(row[2]) << QByteArray(row[3])
                                        << QByteArray(row[4]) << row[5];
    }
    void conversation()
    {
        QFETCH(QString, call);
        QFETCH(QByteArray, answer);
        QFETCH(QByteArray, faults);
        QFETCH(QByteArray, reply);
        QFETCH(QString, flags);
        const int timeout = flags.contains("slow") ? 300 : 30000;
        ServerThread server;
        server.run([&](ScriptedLink& link, sim::ControllerServer&) {
            link.setServiceData("cmd", value(answer));
            link.setCommandReply("cmd", value(answer));
            link.setFullCommandResult("cmd", value(answer).toBool());
        });
        Peer peer;
        QVERIFY(peer.connectTo(server.port()));
        QVERIFY(peer.link.request("fault", value(faults).toObject(), 30000));
        // A full command's own timeout bounds it, not the call timeout.
        peer.link.setCallTimeout(call == "full" ? 30000 : timeout);

        const QJsonObject payload{{"DH_params_all", QJsonArray{1.5, -2}}};
        QElapsedTimer clock;
        clock.start();
        const QJsonValue got =
            call == "service"   ? peer.link.serviceData("cmd")
            : call == "command" ? peer.link.execCommand("cmd", QVariant(payload))
                                : QJsonValue(peer.link.fullCommand("cmd", QJsonValue(), timeout));
        // The comparison tells Undefined from Null: that distinction has to survive the wire.
        QCOMPARE(got, value(reply));
        const qint64 took = clock.elapsed();
        QVERIFY2(took < 20000 && (timeout > 1000 || took >= timeout - 10),
                 qPrintable(QString::number(took)));

        QList<LinkCall> calls;
        server.run([&](ScriptedLink& link, sim::ControllerServer&) { calls = link.calls; });
        QCOMPARE(calls.size(), flags.contains("seen") ? 1 : 0);
        if (!calls.isEmpty() && call == "command")
            QVERIFY(calls.first().argument.userType() == QMetaType::QJsonObject &&
                    calls.first().argument.toJsonObject() == payload);
        if (!calls.isEmpty() && call == "full")
            QVERIFY(calls.first().number == timeout && calls.first().params.isNull());
        if (flags.contains("lost")) {
            QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 30000);
            QCOMPARE(peer.down.first(), QVariantList{false});
        }
        QVERIFY(peer.link.isConnected());
        QCOMPARE(peer.down.count(), flags.contains("lost") ? 1 : 0);
    }

    void replyIds()
    {
        QStringList ends;
        for (const char* line :
             {R"({"id":3,"value":7})", R"({"id":3,"undefined":true})", R"({"id":3})",
              R"({"id":1,"value":{"ip":"a"}})", R"({"id":1,"value":7})", R"({"id":2,"value":7})",
              R"({"id":4,"value":7})", R"({"id":1e300,"value":7})", R"({"id":1.5,"value":{}})",
              R"({"id":"3","value":7})"})
            ends << tavrin::TcpControllerLinkProbe::ends(line);
        QCOMPARE(ends.join('|'), QStringLiteral("call|call||identity||||||"));
    }

    void peerComesAndGoes()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        const quint16 port = probe.serverPort();
        probe.close();
        Peer peer;
        tavrin::TcpControllerLink& link = peer.link;
        link.setCallTimeout(300);
        link.setToken("s3cret");
        link.connectToController("127.0.0.1", port);
        const auto identity = [&] {
            return link.robotIP() + link.robotType() + QString::number(link.robotModelType());
        };
        const auto answersNothing = [&] {
            return link.execCommand("cmd", 1).isUndefined() &&
                   link.serviceData("cmd").isUndefined() &&
                   !link.fullCommand("cmd", QJsonValue(), 4800) && identity() == "0";
        };

        // A peer opens the port but never says who it is: the link gives up on it and tries
        // again, without reporting a connection, until the peer answers. The peer asks for a
        // token, which the link must bring.
        ServerThread server(port);
        int accepted = 0;
        const auto setUp = [&](ScriptedLink& controller, sim::ControllerServer& s) {
            controller.setIdentity("10.1.2.3", "六轴", 6001);
            s.setToken("s3cret");
            s.setFaults(sim::ServerFaults::fromJson({{"garbage", "identity"}}));
            accepted = s.acceptedClients();
        };
        QTRY_VERIFY_WITH_TIMEOUT((server.run(setUp), accepted >= 2), 30000);
        QCOMPARE(peer.up.count(), 0);
        server.run([](ScriptedLink&, sim::ControllerServer& s) { s.setFaults({}); });
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 1, 30000);
        QCOMPARE(identity(), QStringLiteral("10.1.2.3六轴6001"));

        // A controller that goes away on purpose (a reboot) is an expected loss; while it is
        // away, calls answer nothing.
        server.run([](ScriptedLink& controller, sim::ControllerServer&) {
            emit controller.disconnected(true);
        });
        QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 30000);
        QCOMPARE(peer.down.takeFirst(), QVariantList{true});
        QVERIFY(answersNothing());

        // It comes back with another identity, which the link reads afresh.
        server.run([](ScriptedLink& controller, sim::ControllerServer&) {
            controller.setIdentity("10.9.9.9", "other", 7);
            controller.announceConnected();
        });
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 30000);
        QCOMPARE(identity(), QStringLiteral("10.9.9.9other7"));

        // An operator's disconnect is expected too, and stops nothing for good.
        link.disconnectFromController();
        QTRY_COMPARE_WITH_TIMEOUT(peer.down.count(), 1, 30000);
        QCOMPARE(peer.down.takeFirst(), QVariantList{true});
        link.connectToController("127.0.0.1", port);
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 3, 30000);
    }

    // A client without the token is turned away before anything is answered. The one served
    // keeps its place against a newcomer, has its malformed requests passed over, and is cut off
    // for a line without end.
    void serverClients()
    {
        ServerThread server;
        server.run([](ScriptedLink& link, sim::ControllerServer& s) {
            link.setServiceData("key", 1);
            s.setToken("s3cret");
        });
        QTcpSocket stranger;
        stranger.connectToHost("127.0.0.1", server.port());
        stranger.write(
            "{\"id\":1,\"op\":\"execCommand\",\"command\":\"system.controller.reboot\"}\n");
        QCOMPARE(readLine(stranger),
                 QByteArray(R"({"event":"refused","reason":"wrong or missing token"})"));
        int calls = -1;
        server.run([&](ScriptedLink& link, sim::ControllerServer&) { calls = link.calls.size(); });
        QCOMPARE(calls, 0);

        QTcpSocket client;
        QSignalSpy closed(&client, &QAbstractSocket::disconnected);
        client.connectToHost("127.0.0.1", server.port());
        client.write("{\"id\":1,\"op\":\"identity\",\"token\":\"s3cret\"}\n");
        QCOMPARE(readLine(client), QByteArray(R"({"id":1,"value":{"ip":"","model":0,"type":""}})"));
        QTcpSocket second;
        second.connectToHost("127.0.0.1", server.port());
        QCOMPARE(readLine(second),
                 QByteArray(R"({"event":"refused","reason":"another client is connected"})"));
        client.write(
            "not json\n[1,2]\n{\"op\":\"serviceData\",\"key\":\"key\"}\n"
            "{\"id\":\"7\",\"op\":\"serviceData\",\"key\":\"key\"}\n\n"
            "{\"id\":8,\"op\":\"noSuchOp\"}\n{\"id\":9,\"op\":\"serviceData\",\"key\":\"key\"}\n");
        const QByteArray first = readLine(client);
        QCOMPARE(first + readLine(client),
                 QByteArray(R"({"id":8,"undefined":true}{"id":9,"value":1})"));
        client.write(QByteArray(5 * 1024 * 1024, 'x'));
        QTRY_COMPARE_WITH_TIMEOUT(closed.count(), 1, 30000);
    }

    // The simulator's fault switches on its command line, each on a request of its own, and the
    // arguments it refuses.
    void simulatorProgram()
    {
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        for (const QString& port : {QStringLiteral("abc"), QString::number(taken.serverPort())}) {
            Simulator refused;
            QCOMPARE(refused.start(SIM_PROGRAM, {"--port", port}), quint16(0));
            // An exit code of 1 also tells that it has ended: a running one has none yet.
            QVERIFY(refused.process.exitCode() == 1 &&
                    refused.process.readAllStandardError().contains(
                        port == "abc" ? "--port needs a number" : "cannot listen"));
        }
        const QString dh = QStringLiteral("factory.get_DH_params_link");
        const QString links = QStringLiteral("factory.set_DH_params_link");
        const QString zero = QStringLiteral("ethercat.set_precision_compensation_zero");
        Simulator simulator;
        Peer peer;
        QVERIFY(peer.connectTo(
            simulator.start(SIM_PROGRAM, {"--fail", dh, "--garbage", zero, "--drop-after", links,
                                          "--drop-before", "factory.set_DH_params_all"})));
        peer.link.setCallTimeout(300);
        QCOMPARE(peer.link.execCommand(dh, QString()), value("{'success': false}"));
        QVERIFY(peer.link.execCommand(zero, QString()).isUndefined());
        QVERIFY(peer.link.serviceData(links).isArray());
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 2, 30000);
        QVERIFY(peer.link.execCommand("factory.set_DH_params_all", QString()).isUndefined());
        QTRY_COMPARE_WITH_TIMEOUT(peer.up.count(), 3, 30000);
        QCOMPARE(peer.down.count(), 2);

        // Every request waits for the delay, so this one runs into its time-out.
        Simulator slow;
        Peer late;
        QVERIFY(late.connectTo(slow.start(SIM_PROGRAM, {"--delay", "600"})));
        late.link.setCallTimeout(300);
        QVERIFY(late.link.execCommand(dh, QString()).isUndefined());
    }
};

LUMORA_TEST_MAIN(TestTcpLink)
#include "tst_tcplink.moc"
