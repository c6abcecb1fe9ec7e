#include "calibrationwidget.h"
#include "dhparameterwidget.h"
#include "displayisowidget.h"
#include "tcpharness.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <qflog.h>

#include <cellstate.h>
#include <cerrno>
#include <csignal>
#include <interfacemanager.h>
#include <robottypes.h>
#include <thread>

using namespace lumora::test;

namespace {

const QString notePid = QStringLiteral("echo $$ > \"$2/$(basename \"$0\").pid\"\n");
const QString flood = QStringLiteral("head -c 10000000 /dev/zero | tr '\\0' x\n");

// True when no process of the id the fake tool noted exists any more.
bool gone(const WidgetFixture& fx, const QString& tool)
{
    const qint64 pid = readTextFile(fx.path(tool + ".pid")).trimmed().toLongLong();
    return pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
}

} // namespace

// The controller process dies in the middle of an apply; an external tool crashes, floods its
// output, leaves a broken result or never ends. The operator sees what failed, the page gets back
// to a state to go on from, and nothing is left running.
class TestFaults : public QObject
{
    Q_OBJECT

private slots:
    void controller_data()
    {
        QTest::addColumn<QString>("robot");
        QTest::addColumn<QString>("stage");
        QTest::addColumn<QString>("fault");
        const char* const rows[][4] = {
            {"killed while the DH write waits for its reply", "LX6-900", "DH_WRITE", "kill held"},
            {"killed as the DH write goes out", "LX7-800", "DH_WRITE", "kill"},
            {"killed while the zero write waits", "LX6-900", "ZERO_WRITE", "kill held"},
            {"killed as the reboot request goes out", "LX6-900", "REBOOT", "kill"},
        };
        for (const auto& row : rows)
            QTest::addRow("%s", row[0]) << row[1] << row[2] << row[3];
    }
    void controller()
    {
        QFETCH(QString, robot);
        QFETCH(QString, stage);
        QFETCH(QString, fault);
        WidgetFixture fx;
        const QString state = fx.path("state.json");
        QVERIFY(sim::saveCellState(state, sim::CellState::defaults(*sim::findRobotType(robot))));
        Simulator simulator;
        Peer peer;
        tavrin::TcpControllerLink& tcp = peer.link;
        // Only the fault itself may end a call: a missed loss would run into this.
        tcp.setCallTimeout(30000);
        tavrin::tavrinInterface().setControllerLink(&tcp);
        QVERIFY(peer.connectTo(simulator.start(SIM_PROGRAM, {"--state", state})));
        const QVector<double> controllerDh = common::originalDHParamsVec;
        for (int k = 0; k < 4 * common::axisNum; ++k)
            common::optimizedDHParamsVec.append(controllerDh.at(k) + 0.0625 * (k + 1));
        common::zeroPointsVec.assign(common::axisNum, 0.125);
        const QVector<double> optimized = common::optimizedDHParamsVec;
        dhparameterWidget::instance()->changeBtnsStatus(true);
        fx.answerer.clear();

        // The audit line just before the stage's call injects the fault.
        std::thread killer;
        QElapsedTimer clock;
        tavrin::QFLog::setObserver([&](const tavrin::QFLog::Record& record) {
            if (!record.text.contains("阶段=" + stage + " 目标=") || clock.isValid())
                return;
            clock.start();
            if (fault == "kill held") {
                // The controller holds its reply until it is killed; whether the kill comes
                // before or after the request, only the loss can end the call.
                tcp.request("fault", {{"delay_ms", 60000}}, 30000);
                killer = std::thread([pid = pid_t(simulator.process.processId())] {
                    std::this_thread::sleep_for(std::chrono::milliseconds(100));
                    ::kill(pid, SIGKILL);
                });
            } else {
                simulator.kill();
            }
        });
        fx.button("confirmBtn")->click();
        tavrin::QFLog::setObserver(nullptr);
        if (killer.joinable())
            killer.join();
        QVERIFY2(clock.isValid() && clock.elapsed() < 20000, "the fault, not a time-out, ended it");
        const QMap<QString, QString> box{{"DH_WRITE", "DH参数写入控制器失败！"},
                                         {"ZERO_WRITE", "零点写入控制器失败！"},
                                         {"REBOOT", "控制器重启失败！"}};
        QCOMPARE(fx.boxes(), "错误: " + box[stage]);
        // Nothing was reset: the operator may press again.
        QVERIFY(fx.button("confirmBtn")->isEnabled());
        QCOMPARE(common::optimizedDHParamsVec, optimized);
        QCOMPARE(common::originalDHParamsVec, controllerDh);
        QTRY_VERIFY_WITH_TIMEOUT(!tcp.isConnected(), 30000);
    }

    // "expected": the state and progress labels, then the boxes.
    void calibrationTool_data()
    {
        QTest::addColumn<QString>("body");
        QTest::addColumn<QStringList>("expected");
        const QString reason = QStringLiteral("solver gave up");
        QTest::addRow("crash by a signal")
            << "kill -SEGV $$" << QStringList{"优化失败", "采集进度：3 / 9", "ERROR: ERROR: 11"};
        // A line after the flood still counts; output already shown is not repeated in the box.
        QTest::addRow("ten megabytes on one line")
            << flood + "printf '\\n[PROGRESS] 8/9\\n'\nexit 4"
            << QStringList{"优化失败", "采集进度：8 / 9", "ERROR: ERROR: 4"};
        // The box keeps the end of the output, where the tool says why it failed.
        QTest::addRow("ten megabytes on standard error")
            << "head -c 10000000 /dev/zero | tr '\\0' e >&2\nprintf '" + reason + "' >&2\nexit 5"
            << QStringList{"优化失败", "采集进度：3 / 9",
                           "ERROR: ERROR: 5\n\nINFO:\n...\n" + QString(4096 - reason.size(), 'e') +
                               reason};
        QTest::addRow("result file cut short")
            << "printf '{\"status\": 1, \"dh_parameters\": {\"jo' > \"$2/optimized_dh.json\""
            << QStringList{"读取结果失败", "采集进度：3 / 9",
                           "ERROR: Can't Find OptimizedDH.json File"};
        QTest::addRow("never ends")
            << "exec sleep 3600"
            << QStringList{"等待超时", "采集进度：3 / 9",
                           "ERROR: ERROR: 9|Timeout: Waiting for optimization result timeout (600 "
                           "seconds), please check if external program is running properly"};
    }
    void calibrationTool()
    {
        QFETCH(QString, body);
        QFETCH(QStringList, expected);
        WidgetFixture fx;
        fx.connectRobot(28, "R7");
        fx.find<QLineEdit>("snLineEdit")->setText("SN-7");
        QVERIFY(
            writeFakeTool(calibrationToolPath(fx.dir.path()),
                          notePid + "printf '[PHASE] OPTIMIZATION\\n[PROGRESS] 3/9\\n'\n" + body));
        common::optimizedDHParamsVec = {7, 7, 7, 7};
        fx.button("runCalibrationBtn")->click();
        if (body.contains("sleep")) {
            QTRY_COMPARE_WITH_TIMEOUT(fx.text("connectionLabel"), expected[1], 30000);
            QVERIFY(QMetaObject::invokeMethod(calibrationWidget::instance(), "onTimeout"));
        }
        QTRY_COMPARE_WITH_TIMEOUT(fx.text("calibrationLabel"), expected[0], 60000);
        QCOMPARE(QStringList({fx.text("calibrationLabel"), fx.text("connectionLabel"), fx.boxes()}),
                 expected);
        // An earlier result stays; nothing is offered for applying.
        QCOMPARE(common::optimizedDHParamsVec, QVector<double>({7, 7, 7, 7}));
        QVERIFY(fx.button("runCalibrationBtn")->isEnabled() &&
                !fx.button("confirmBtn")->isEnabled());
        settle();
        const QObject* panel = calibrationWidget::instance();
        QVERIFY(panel->findChildren<QProcess*>().isEmpty() &&
                panel->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly).isEmpty());
        QVERIFY(gone(fx, "KalvoCalibrationTool.exe"));
    }

    // The tool behind the last box is gone in the end.
    void isoTool_data()
    {
        QTest::addColumn<QString>("task");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("expected");
        const QString crashed = QStringLiteral("错误: ISO启动失败：Process crashed|");
        QTest::addRow("task crashes")
            << "kill -SEGV $$" << QString() << crashed + "错误: ISO 任务失败，退出码：11";
        QTest::addRow("task never ends, aborted")
            << "exec sleep 3600" << QString() << crashed + "错误: ISO 任务失败，退出码：15";
        QTest::addRow("task floods its output") << flood + "printf '\\n[ROUND] 1/4\\n'\nexit 3"
                                                << QString() << "错误: ISO 任务失败，退出码：3";
        QTest::addRow("report generator crashes")
            << "exit 0"
            << "kill -SEGV $$"
            << "完成: ISO 校准任务已成功完成。|" + crashed + "错误: 报告生成失败，退出码：11";
    }
    void isoTool()
    {
        QFETCH(QString, task);
        QFETCH(QString, report);
        QFETCH(QString, expected);
        WidgetFixture fx;
        QPushButton* start = fx.button("startISO");
        QVERIFY(writeFakeTool(isoTaskPath(fx.dir.path()),
                              notePid + "printf '[ROUND] 1/4\\n'\n" + task));
        QVERIFY(writeFakeTool(isoReportPath(fx.dir.path()), notePid + report));
        displayisowidget::instance()->startBtnEnable();
        start->click();
        QTRY_COMPARE_WITH_TIMEOUT(fx.text("label_2"), QStringLiteral("1 / 4"), 30000);
        if (task.contains("sleep"))
            start->click();
        if (!report.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("生成报告"), 30000);
            start->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(fx.answerer.count(), expected.count('|') + 1, 60000);
        QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("启动ISO"), 30000);
        QCOMPARE(fx.boxes(), expected);
        QVERIFY(start->isEnabled() && !fx.button("saveReport")->isEnabled() &&
                !fx.button("giveupBtn")->isEnabled());
        QVERIFY(gone(fx, report.isEmpty() ? "runIsoTask.exe" : "iso_pdf_generate.exe"));
    }
};

LUMORA_TEST_MAIN(TestFaults)
#include "tst_faults.moc"
