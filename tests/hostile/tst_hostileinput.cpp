#include "auditlog.h"
#include "faketools.h"
#include "lineassembler.h"
#include "scriptedlink.h"
#include "testmain.h"
#include "trace.h"
#include "tracecapture.h"

#include <QSignalSpy>
#include <QTcpSocket>

#include <controllerserver.h>
#include <tcpcontrollerlink.h>

using namespace lumora::test;

namespace tavrin {

class TcpControllerLinkProbe
{
public:
    // Whether a line answers request 1 while that request waits.
    static bool answers(const QByteArray& line)
    {
        TcpControllerLink link;
        link.lastId = 1;
        link.awaitedId = 1;
        link.handleLine(line);
        return link.awaitedReply.has_value();
    }
};

} // namespace tavrin

namespace {

QByteArray readLine(QTcpSocket& socket)
{
    const bool arrived = QTest::qWaitFor([&socket] { return socket.canReadLine(); }, 5000);
    return arrived ? socket.readLine().trimmed() : QByteArray();
}

} // namespace

// Hostile data at the borders that need no page: log records, tool output, controller lines.
class TestHostileInput : public QObject
{
    Q_OBJECT

private slots:
    void recordIsOneLine_data();
    void recordIsOneLine();
    void longLines_data();
    void longLines();
    void replyIds_data();
    void replyIds();
    void controllerAdmitsOneClient();
};

void TestHostileInput::recordIsOneLine_data()
{
    QTest::addColumn<bool>("audit");
    QTest::addColumn<QString>("field");
    QTest::addColumn<QByteArray>("written");

    QTest::addRow("audit reply with a forged line")
        << true << QStringLiteral("ok\r\n[输出] planId=p000001 结果=成功\x07")
        << QByteArray("ok\\r\\n[输出] planId=p000001 结果=成功\\x07");
    QTest::addRow("trace robot type with a forged line")
        << false << QStringLiteral("LX6\n[S|12/06 09:00:00.000] forged")
        << QByteArray("LX6\\n[S|12/06 09:00:00.000] forged");
}

void TestHostileInput::recordIsOneLine()
{
    QFETCH(bool, audit);
    QFETCH(QString, field);
    QFETCH(QByteArray, written);

    if (audit)
        writeAuditLog(QStringLiteral("p000001"), QStringLiteral("外部下发"), field);
    else
        common::trace() << QStringLiteral("robotname : ") << field;
    tavrin::QFLog::flush();
    const QString day = QDate::currentDate().toString("yyyy-MM-dd");
    const QString path = audit ? "logs/audit-dev-" + day + ".log"
                               : "log/tavrin/lumoracalibration/lumoracalibration_" + day + ".log";
    const QByteArray last = readTextFile(path).trimmed().split('\n').last();
    QVERIFY2(last.endsWith(" " + written), last.constData());
}

void TestHostileInput::longLines_data()
{
    QTest::addColumn<QByteArrayList>("reads");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<int>("dropped");

    const QByteArray mebibyte(LineAssembler::maxLineBytes, 'x');
    QTest::addRow("a line of the most bytes")
        << QByteArrayList{mebibyte.left(10), mebibyte.mid(10) + "\n"} << QByteArrayList{mebibyte}
        << 0;
    QTest::addRow("one byte more, then a short line")
        << QByteArrayList{mebibyte, "y[PROGRESS] 5/9\n[PROGRESS] 1/2\n"}
        << QByteArrayList{"[PROGRESS] 1/2"} << 1;
    QTest::addRow("a long line over many reads, unterminated")
        << QByteArrayList{mebibyte, mebibyte, mebibyte} << QByteArrayList{} << 1;
}

void TestHostileInput::longLines()
{
    QFETCH(QByteArrayList, reads);
    QFETCH(QByteArrayList, lines);
    QFETCH(int, dropped);

    TraceCapture trace;
    LineAssembler assembler;
    QByteArrayList seen;
    for (const QByteArray& read : reads)
        seen += assembler.feed(read);
    seen += assembler.flush();
    QCOMPARE(seen, lines);
    QCOMPARE(trace.lines().count(QStringLiteral("Output line longer than 1048576 bytes dropped")),
             dropped);
}

void TestHostileInput::replyIds_data()
{
    QTest::addColumn<QByteArray>("line");
    QTest::addColumn<bool>("answers");

    QTest::addRow("the awaited id") << QByteArray(R"({"id":1,"value":7})") << true;
    QTest::addRow("far beyond any integer") << QByteArray(R"({"id":1e300,"value":7})") << false;
    QTest::addRow("a fraction of the awaited id") << QByteArray(R"({"id":1.5,"value":7})") << false;
}

void TestHostileInput::replyIds()
{
    QFETCH(QByteArray, line);
    QFETCH(bool, answers);
    QCOMPARE(tavrin::TcpControllerLinkProbe::answers(line), answers);
}

void TestHostileInput::controllerAdmitsOneClient()
{
    ScriptedLink controller;
    sim::ControllerServer server(&controller);
    server.setToken(QStringLiteral("s3cret"));
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    // A client without the token is told so and cut off before anything is answered.
    QTcpSocket stranger;
    stranger.connectToHost(QHostAddress::LocalHost, server.serverPort());
    stranger.write("{\"id\":1,\"op\":\"execCommand\",\"command\":\"system.controller.reboot\"}\n");
    QCOMPARE(readLine(stranger),
             QByteArray(R"({"event":"refused","reason":"wrong or missing token"})"));
    QVERIFY(controller.calls.isEmpty());

    tavrin::TcpControllerLink host;
    host.setToken(QStringLiteral("s3cret"));
    QSignalSpy up(&host, &tavrin::ControllerLink::connected);
    host.connectToController(QStringLiteral("127.0.0.1"), server.serverPort());
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 5000);

    // A newcomer does not evict the session.
    QTcpSocket second;
    second.connectToHost(QHostAddress::LocalHost, server.serverPort());
    QCOMPARE(readLine(second),
             QByteArray(R"({"event":"refused","reason":"another client is connected"})"));
    QVERIFY(host.isConnected());
}

LUMORA_TEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
