#include "testmain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>

#include <memory>
#include <tcpcontrollerlink.h>

using tavrin::TcpControllerLink;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");
const QString getDh = QStringLiteral("factory.get_DH_params_link");

QJsonArray dhOf(const QJsonValue& reply)
{
    return reply.toObject()
        .value(QStringLiteral("data"))
        .toObject()
        .value(QStringLiteral("DH_PARAMS_LINK"))
        .toArray();
}

} // namespace

// The stand-alone simulator as a host meets it: a process that prints its port and answers
// over the loopback address.
class TestControllerSim : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void fullRoundOfQueries();
    void commandLineFaults_data();
    void commandLineFaults();
    void badArguments_data();
    void badArguments();

private:
    void startSimulator(const QStringList& extra, quint16* port);

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QProcess> process;
};

void TestControllerSim::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestControllerSim::cleanup()
{
    if (process && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(10000);
    }
    process.reset();
    dir.reset();
}

void TestControllerSim::startSimulator(const QStringList& extra, quint16* port)
{
    *port = 0;
    process = std::make_unique<QProcess>();
    process->setWorkingDirectory(dir->path());
    process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process->start(QStringLiteral(SIM_PROGRAM),
                   QStringList{QStringLiteral("--port"), QStringLiteral("0"),
                               QStringLiteral("--state"),
                               dir->filePath(QStringLiteral("state.json")),
                               QStringLiteral("--reboot-delay"), QStringLiteral("200")} +
                       extra);
    QVERIFY2(process->waitForStarted(10000), qPrintable(process->errorString()));
    QTRY_VERIFY_WITH_TIMEOUT(process->canReadLine() || process->state() == QProcess::NotRunning,
                             10000);
    const QString line = QString::fromUtf8(process->readLine()).trimmed();
    QVERIFY2(line.startsWith(QLatin1String("listening on ")), qPrintable(line));
    bool ok = false;
    *port = quint16(line.mid(13).toUInt(&ok));
    QVERIFY(ok && *port > 0);
}

void TestControllerSim::fullRoundOfQueries()
{
    quint16 port = 0;
    startSimulator({}, &port);
    if (QTest::currentTestFailed())
        return;

    TcpControllerLink link;
    link.setRetryInterval(50);
    QSignalSpy up(&link, &tavrin::ControllerLink::connected);
    QSignalSpy down(&link, &tavrin::ControllerLink::disconnected);
    link.connectToController(localHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);

    QVERIFY(!link.robotIP().isEmpty());
    QVERIFY(!link.robotType().isEmpty());
    QVERIFY(link.robotModelType() > 0);
    const QJsonValue support =
        link.serviceData(QString::fromUtf8("factory\xC2\xB7get_dh_params_support"));
    QCOMPARE(support.toObject().value(QStringLiteral("data")), QJsonValue(true));
    QVERIFY(link.serviceData(QStringLiteral("no.such.key")).isUndefined());

    const QJsonArray links =
        link.serviceData(QStringLiteral("factory.set_DH_params_link")).toArray();
    QVERIFY(links.size() >= 2);
    QJsonArray flat;
    for (const QJsonValue& each : links) {
        QCOMPARE(each.toArray().size(), 4);
        for (const QJsonValue& value : each.toArray())
            flat.append(value);
    }
    const QJsonValue current = link.execCommand(getDh, QVariant(QString()));
    QCOMPARE(current.toObject().value(QStringLiteral("success")), QJsonValue(true));
    QCOMPARE(dhOf(current), flat);

    // Stage new values, reboot, and find them applied once the controller is back.
    QJsonArray changed = flat;
    changed[2] = flat.at(2).toDouble() + 0.25;
    QJsonArray zero;
    for (int axis = 0; axis + 1 < links.size(); ++axis)
        zero.append(0.01 * (axis + 1));
    const QJsonValue dhWrite =
        link.execCommand(QStringLiteral("factory.set_DH_params_all"),
                         QVariant(QJsonObject{{QStringLiteral("DH_params_all"), changed}}));
    QCOMPARE(dhWrite.toObject().value(QStringLiteral("success")), QJsonValue(true));
    const QJsonValue zeroWrite =
        link.execCommand(QStringLiteral("ethercat.set_precision_compensation_zero"),
                         QVariant(QJsonObject{{QStringLiteral("joint_angle_A"), zero}}));
    QCOMPARE(zeroWrite.toObject().value(QStringLiteral("success")), QJsonValue(true));
    QVERIFY(link.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));

    QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 10000);
    QCOMPARE(down.first().first().toBool(), true);
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 10000);
    QCOMPARE(dhOf(link.execCommand(getDh, QVariant(QString()))), changed);

    // Fault switches at run time, through the same connection.
    QVERIFY(link.request(QStringLiteral("fault"), {{QStringLiteral("fail"), getDh}}, 3000));
    QCOMPARE(link.execCommand(getDh, QVariant(QString())),
             QJsonValue(QJsonObject{{QStringLiteral("success"), false}}));
    QVERIFY(link.request(QStringLiteral("fault"), {}, 3000));
    QCOMPARE(dhOf(link.execCommand(getDh, QVariant(QString()))), changed);
    QCOMPARE(down.count(), 1);
}

void TestControllerSim::commandLineFaults_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("outcome");
    QTest::addRow("fail") << QStringList{"--fail", getDh} << "refused";
    QTest::addRow("delay") << QStringList{"--delay", "600"} << "silent";
    QTest::addRow("drop after") << QStringList{"--drop-after", getDh} << "lost";
}

void TestControllerSim::commandLineFaults()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, outcome);
    quint16 port = 0;
    startSimulator(arguments, &port);
    if (QTest::currentTestFailed())
        return;

    TcpControllerLink link;
    link.setRetryInterval(50);
    QSignalSpy up(&link, &tavrin::ControllerLink::connected);
    QSignalSpy down(&link, &tavrin::ControllerLink::disconnected);
    link.connectToController(localHost, port);
    QTRY_COMPARE_WITH_TIMEOUT(up.count(), 1, 10000);
    link.setCallTimeout(150);

    const QJsonValue reply = link.execCommand(getDh, QVariant(QString()));
    if (outcome == QLatin1String("refused")) {
        QCOMPARE(reply, QJsonValue(QJsonObject{{QStringLiteral("success"), false}}));
    } else if (outcome == QLatin1String("silent")) {
        QVERIFY(reply.isUndefined());
        QVERIFY(link.isConnected());
    } else {
        QCOMPARE(reply.isUndefined(), false);
        QTRY_COMPARE_WITH_TIMEOUT(down.count(), 1, 10000);
        QCOMPARE(down.first().first().toBool(), false);
        QTRY_COMPARE_WITH_TIMEOUT(up.count(), 2, 10000);
    }
}

void TestControllerSim::badArguments_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("message");
    QTest::addRow("port not a number") << QStringList{"--port", "abc"} << "--port";
    QTest::addRow("negative delay") << QStringList{"--delay", "-5"} << "--delay";
    QTest::addRow("port taken") << QStringList{"--port", "TAKEN"} << "cannot listen";
}

void TestControllerSim::badArguments()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, message);
    QTcpServer taken;
    QVERIFY(taken.listen(QHostAddress::LocalHost, 0));
    arguments.replaceInStrings(QStringLiteral("TAKEN"), QString::number(taken.serverPort()));

    process = std::make_unique<QProcess>();
    process->setWorkingDirectory(dir->path());
    process->start(
        QStringLiteral(SIM_PROGRAM),
        QStringList{QStringLiteral("--state"), dir->filePath(QStringLiteral("state.json"))} +
            arguments);
    QVERIFY(process->waitForFinished(10000));
    QCOMPARE(process->exitStatus(), QProcess::NormalExit);
    QCOMPARE(process->exitCode(), 1);
    const QString error = QString::fromUtf8(process->readAllStandardError());
    QVERIFY2(error.contains(message), qPrintable(error));
    QVERIFY(process->readAllStandardOutput().isEmpty());
}

LUMORA_TEST_MAIN(TestControllerSim)
#include "tst_controllersim.moc"
