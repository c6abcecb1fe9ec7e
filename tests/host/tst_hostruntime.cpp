#include "auditlog.h"
#include "faketools.h"
#include "scriptedlink.h"
#include "testmain.h"

#include <QtTest>
#include <qflog.h>

#include <interfacemanager.h>
#include <pagecontainer.h>
#include <pluginbase.h>
#include <pluginregister.h>
#include <unistd.h>

using tavrin::QFLog;

class TestHostRuntime : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString base;
    int run = 0;

    QByteArray logged() const
    {
        return lumora::test::readTextFile(base + QDate::currentDate().toString("_yyyy-MM-dd.log"));
    }
    // Every line must be a whole record "[S|t] source index", each source's indexes in order
    // without a gap: the count per source, or nothing at the first fault.
    std::map<QString, int> records() const
    {
        static const QRegularExpression format(QStringLiteral(R"(^\[S\|t\] (\S+) (\d+)( x+)?$)"));
        const QByteArray bytes = logged();
        std::map<QString, int> next;
        for (const QByteArray& line : bytes.left(bytes.lastIndexOf('\n')).split('\n')) {
            const QRegularExpressionMatch match = format.match(QString::fromUtf8(line));
            if (!match.hasMatch() || match.captured(2).toInt() != next[match.captured(1)]++)
                return {};
        }
        return bytes.endsWith('\n') ? next : std::map<QString, int>();
    }

private slots:
    void init() { base = dir.filePath(QStringLiteral("log%1/w").arg(++run)); }

    // Routing itself is exercised by every page suite; here, which link the manager follows.
    void interfaceManager()
    {
        auto& manager = tavrin::tavrinInterface();
        QSignalSpy up(&manager, &tavrin::InterfaceManager::sigNetworkConnect);
        QSignalSpy down(&manager, &tavrin::InterfaceManager::sigNetworkDisConnect);
        auto* link = new lumora::test::ScriptedLink;
        manager.setControllerLink(link);
        emit link->connected();
        emit link->disconnected(true);
        QCOMPARE(up.count(), 1);
        QCOMPARE(down.takeFirst(), QVariantList{true});

        // A replaced link no longer speaks for the manager; a destroyed one counts as none.
        lumora::test::ScriptedLink other;
        manager.setControllerLink(&other);
        emit link->connected();
        QCOMPARE(up.count(), 1);
        manager.setControllerLink(link);
        delete link;
        QCOMPARE(manager.controllerLink(), nullptr);
        const QJsonValue none(QJsonValue::Undefined);
        QCOMPARE((QVariantList{
                     manager.getXServiceData("key"), manager.execCommandXServiceData("cmd", 7),
                     manager.rcRequestFullCommand("reboot", QJsonValue(), 4800),
                     manager.getRobotIP(), manager.getRobotType(), manager.getRobotModelType()}),
                 (QVariantList{none, none, false, "", "", 0}));
    }

    void registryAndPages()
    {
        tavrin::PluginRegister registry;
        registry.regist("b", nullptr);
        registry.regist("b", [](QObject* parent) { return new tavrin::PluginBase(parent); });
        QObject owner;
        QVERIFY(registry.create("b", &owner) && !registry.create("unknown", &owner));

        auto* page = new QWidget;
        QCOMPARE(tavrin::CreateCenterWidget("page", page), 0);
        QCOMPARE(tavrin::centerWidget("page"), page);
        delete page;
        QCOMPARE(tavrin::centerWidget("page"), nullptr);
    }

    void consoleAndFileCopies()
    {
        QTemporaryFile console;
        QVERIFY(console.open());
        const int standardError = dup(STDERR_FILENO);
        dup2(console.handle(), STDERR_FILENO);
        QFLog::setConsoleEnabled(true);
        // A control character in a field (a robot type with a line feed, say) must not forge a
        // record of its own.
        QFLog(QStringLiteral("\033[35m"), "[S|tag]", QString(), base, "log")
            << "resetAll"
            << "[in]" << QStringLiteral("LX6\r\n[S|t] forged\x07") << 42;
        // A plain file where the log folder belongs: the console still has the record.
        QVERIFY(lumora::test::writeTextFile(base + "x/w", "x"));
        QFLog(QString(), "[S|t]", QString(), base + "x/w/w", "log") << "unfiled";
        QFLog::setConsoleEnabled(false);
        dup2(standardError, STDERR_FILENO);
        close(standardError);
        const QByteArray record = "[S|tag] resetAll [in] LX6\\r\\n[S|t] forged\\x07 42";
        QVERIFY(console.seek(0));
        QCOMPARE(console.readAll(), "\033[35m" + record + "\033[0m\n[S|t] unfiled\033[0m\n");
        QCOMPARE(logged(), record + '\n');

        // The audit trail escapes the same field.
        setAuditClock([] { return QDateTime(QDate(2026, 12, 6), QTime(9, 0)); });
        QVERIFY(writeAuditLog("p1", "外部下发", QStringLiteral("LX6\r\n[S|t] forged\x07")));
        setAuditClock(nullptr);
        QCOMPARE(lumora::test::readTextFile("logs/audit-dev-2026-12-06.log"),
                 QByteArray(
                     "[外部下发] planId=p1 时间=12/06 09:00:00.000 LX6\\r\\n[S|t] forged\\x07\n"));
    }

    // Records held while the loop runs are in the file once it goes idle, well beyond one buffer.
    void recordsWrittenWhenTheLoopGoesIdle()
    {
        QEventLoop loop;
        QTimer::singleShot(0, &loop, [&] {
            for (int i = 0; i < 3000; ++i)
                QFLog(QString(), "[S|t]", QString(), base, "log") << "main" << i;
            QTimer::singleShot(0, &loop, &QEventLoop::quit);
        });
        loop.exec();
        QCOMPARE(records(), (std::map<QString, int>{{"main", 3000}}));
    }

    void inAFreshProcess_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addRow("exit() from inside the loop") << "exit";
        // The writer's timer writes what a busy loop holds; the loop then calls exit(), and a
        // record that comes after the exit flush is written at once.
        QTest::addRow("a loop that stays busy") << "busy";
    }
    void inAFreshProcess()
    {
        QFETCH(QString, mode);
        QProcess helper;
        helper.start(TRACEWRITER_HELPER, {base, mode, "70"});
        QVERIFY(helper.waitForFinished(60000));
        QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
        QCOMPARE(helper.exitCode(), 0);
        QCOMPARE(records(), (std::map<QString, int>{{"late", 1}, {"record", 70}}));
    }
};

LUMORA_TEST_MAIN(TestHostRuntime)
#include "tst_hostruntime.moc"
