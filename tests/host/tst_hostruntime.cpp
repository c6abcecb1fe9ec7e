#include "scriptedlink.h"
#include "testmain.h"

#include <QDate>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWidget>
#include <qflog.h>

#include <cstdio>
#include <interfacemanager.h>
#include <pagecontainer.h>
#include <pluginbase.h>
#include <pluginregister.h>
#include <simcontroller.h>
#include <unistd.h>

using lumora::test::ScriptedLink;

class TestHostRuntime : public QObject
{
    Q_OBJECT

private slots:
    void noLinkGivesEmptyAnswers();
    void callsReachTheLink();
    void destroyedLinkCountsAsNone();
    void linkStateIsReported();
    void registryCreatesById();
    void pageContainerKeepsPages();
    void logRecordsReachConsoleAndDailyFile();
    void listPlugins_data();
    void listPlugins();
    void simulatedControllerRebootsWithStagedValues();
};

void TestHostRuntime::noLinkGivesEmptyAnswers()
{
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(nullptr);
    QVERIFY(manager.getXServiceData(QStringLiteral("factory.set_DH_params_link")).isUndefined());
    QVERIFY(manager.execCommandXServiceData(QStringLiteral("factory.get_DH_params_link"), QString())
                .isUndefined());
    QCOMPARE(manager.rcRequestFullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(),
                                          4800),
             false);
    QVERIFY(manager.getRobotIP().isEmpty());
    QVERIFY(manager.getRobotType().isEmpty());
    QCOMPARE(manager.getRobotModelType(), 0);
}

void TestHostRuntime::callsReachTheLink()
{
    ScriptedLink link;
    link.setIdentity(QStringLiteral("10.0.0.5"), QStringLiteral("LX6-900"), 6001);
    link.setServiceData(QStringLiteral("key"), QJsonObject{{QStringLiteral("data"), 1}});
    link.setCommandReply(QStringLiteral("cmd"), QStringLiteral("ok"));
    link.setFullCommandResult(QStringLiteral("system.controller.reboot"), true);
    auto& manager = tavrin::tavrinInterface();
    manager.setControllerLink(&link);

    QCOMPARE(manager.getXServiceData(QStringLiteral("key")).toObject().value("data").toInt(), 1);
    QCOMPARE(manager.execCommandXServiceData(QStringLiteral("cmd"), 7).toString(),
             QStringLiteral("ok"));
    QVERIFY(manager.rcRequestFullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(),
                                         4800));
    QCOMPARE(manager.getRobotIP(), QStringLiteral("10.0.0.5"));
    QCOMPARE(manager.getRobotType(), QStringLiteral("LX6-900"));
    QCOMPARE(manager.getRobotModelType(), 6001);

    QCOMPARE(link.calls.size(), 3);
    QCOMPARE(link.calls.at(1).argument.toInt(), 7);
    QCOMPARE(link.calls.at(2).number, 4800);
    QVERIFY(link.calls.at(2).params.isNull());
    manager.setControllerLink(nullptr);
}

void TestHostRuntime::destroyedLinkCountsAsNone()
{
    auto* link = new ScriptedLink;
    link->setIdentity(QStringLiteral("1.2.3.4"), QStringLiteral("X"), 1);
    tavrin::tavrinInterface().setControllerLink(link);
    delete link;
    QVERIFY(tavrin::tavrinInterface().getRobotIP().isEmpty());
    QCOMPARE(tavrin::tavrinInterface().controllerLink(), nullptr);
}

void TestHostRuntime::linkStateIsReported()
{
    ScriptedLink link;
    auto& manager = tavrin::tavrinInterface();
    QSignalSpy up(&manager, &tavrin::InterfaceManager::sigNetworkConnect);
    QSignalSpy down(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
    manager.setControllerLink(&link);
    emit link.connected();
    emit link.disconnected(false);
    QCOMPARE(up.count(), 1);
    QCOMPARE(down.count(), 1);
    QCOMPARE(down.first().first().toBool(), false);

    // A replaced link no longer speaks for the manager.
    ScriptedLink other;
    manager.setControllerLink(&other);
    emit link.connected();
    QCOMPARE(up.count(), 1);
    manager.setControllerLink(nullptr);
}

void TestHostRuntime::registryCreatesById()
{
    tavrin::PluginRegister registry;
    int made = 0;
    registry.regist(QStringLiteral("b"), [&made](QObject* parent) {
        ++made;
        return new tavrin::PluginBase(parent);
    });
    registry.regist(QStringLiteral("a"),
                    [](QObject* parent) { return new tavrin::PluginBase(parent); });
    QCOMPARE(registry.ids(), QStringList({QStringLiteral("b"), QStringLiteral("a")}));

    QObject owner;
    tavrin::PluginBase* plugin = registry.create(QStringLiteral("b"), &owner);
    QVERIFY(plugin);
    QCOMPARE(plugin->parent(), &owner);
    QCOMPARE(made, 1);
    QCOMPARE(registry.create(QStringLiteral("unknown"), &owner), nullptr);
}

void TestHostRuntime::pageContainerKeepsPages()
{
    auto* page = new QWidget;
    QCOMPARE(tavrin::CreateCenterWidget(QStringLiteral("page-test"), page), 0);
    QCOMPARE(tavrin::centerWidget(QStringLiteral("page-test")), page);
    delete page;
    QCOMPARE(tavrin::centerWidget(QStringLiteral("page-test")), nullptr);
    QCOMPARE(tavrin::centerWidget(QStringLiteral("never-handed")), nullptr);
}

void TestHostRuntime::logRecordsReachConsoleAndDailyFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString base = dir.filePath(QStringLiteral("log/tavrin/demo/demo"));

    // Catch the console copy through a pipe in place of standard error.
    int fds[2];
    QCOMPARE(pipe(fds), 0);
    std::fflush(stderr);
    const int savedErr = dup(STDERR_FILENO);
    dup2(fds[1], STDERR_FILENO);
    tavrin::QFLog::setConsoleEnabled(true);
    {
        tavrin::QFLog line(QStringLiteral("\033[35m"), QStringLiteral("[S|tag]"), QString(), base,
                           QStringLiteral("log"));
        line << "resetAll"
             << "[in]" << QStringLiteral("text") << 42;
    }
    tavrin::QFLog::setConsoleEnabled(false);
    std::fflush(stderr);
    dup2(savedErr, STDERR_FILENO);
    close(savedErr);
    close(fds[1]);
    QByteArray console;
    char buffer[4096];
    for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
        console.append(buffer, int(n));
    close(fds[0]);
    QCOMPARE(console, QByteArray("\033[35m[S|tag] resetAll [in] text 42\033[0m\n"));

    const QString day = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    QFile file(base + QStringLiteral("_") + day + QStringLiteral(".log"));
    QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName()));
    QCOMPARE(file.readAll(), QByteArray("[S|tag] resetAll [in] text 42\n"));
}

void TestHostRuntime::listPlugins_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QByteArray>("out");
    QTest::addColumn<QByteArray>("errContains");

    QTest::addRow("built plug-in") << QStringList{QStringLiteral(PLUGIN_LIBRARY)} << 0
                                   << QByteArray("lumoracalibration\n") << QByteArray();
    QTest::addRow("missing library")
        << QStringList{QStringLiteral("/nonexistent/libnothing.so")} << 1 << QByteArray()
        << QByteArray("cannot load plug-in library /nonexistent/libnothing.so");
    QTest::addRow("no library") << QStringList() << 1 << QByteArray()
                                << QByteArray("needs at least one library");
}

void TestHostRuntime::listPlugins()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QByteArray, out);
    QFETCH(QByteArray, errContains);

    QProcess host;
    host.start(QStringLiteral(HOST_PROGRAM),
               QStringList{QStringLiteral("--list-plugins")} + arguments);
    QVERIFY(host.waitForFinished(60000));
    QCOMPARE(host.exitStatus(), QProcess::NormalExit);
    QCOMPARE(host.exitCode(), exitCode);
    QCOMPARE(host.readAllStandardOutput(), out);
    QVERIFY2(host.readAllStandardError().contains(errContains), errContains.constData());
}

void TestHostRuntime::simulatedControllerRebootsWithStagedValues()
{
    sim::SimController controller;
    controller.setRebootDelay(10);
    QSignalSpy up(&controller, &tavrin::ControllerLink::connected);
    QSignalSpy down(&controller, &tavrin::ControllerLink::disconnected);
    controller.connectToController(0);
    QTRY_COMPARE(up.count(), 1);

    const QJsonObject answer =
        controller.execCommand(QStringLiteral("factory.get_DH_params_link"), QString()).toObject();
    const QJsonArray dh = answer.value("data").toObject().value("DH_PARAMS_LINK").toArray();
    QCOMPARE(dh.size(), 28);
    QCOMPARE(controller.serviceData(QString::fromUtf8("factory\xC2\xB7get_dh_params_support"))
                 .toObject()
                 .value("data"),
             QJsonValue(true));

    QJsonArray changed = dh;
    changed[1] = 151.0;
    changed.removeLast();
    changed.removeLast();
    changed.removeLast();
    changed.removeLast();
    const QJsonObject reply =
        controller
            .execCommand(QStringLiteral("factory.set_DH_params_all"),
                         QJsonObject{{QStringLiteral("DH_params_all"), changed}}.toVariantMap())
            .toObject();
    QCOMPARE(reply.value("success"), QJsonValue(true));
    QCOMPARE(controller.dhParameters().at(1), 150.0);

    QVERIFY(controller.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QTRY_COMPARE(down.count(), 1);
    QVERIFY(!controller.isConnected());
    QTRY_COMPARE(up.count(), 2);
    QCOMPARE(controller.dhParameters().at(1), 151.0);
    QCOMPARE(controller.dhParameters().size(), 28);
}

LUMORA_TEST_MAIN(TestHostRuntime)
#include "tst_hostruntime.moc"
