#include "calibrationwidget.h"
#include "centerwidget.h"
#include "common.h"
#include "dhparameterwidget.h"
#include "displayisowidget.h"
#include "faketools.h"
#include "messageboxanswerer.h"
#include "scriptedlink.h"
#include "testmain.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>

#include <cerrno>
#include <csignal>
#include <interfacemanager.h>
#include <memory>
#include <sys/types.h>

using namespace lumora::test;

namespace {

// Every fake tool first leaves its process id beside the calibration root's files.
const QString notePid = QStringLiteral("echo $$ > \"$2/$(basename \"$0\").pid\"\n");
const QString flood = QStringLiteral("head -c 10000000 /dev/zero | tr '\\0' x\n");

QByteArray goodResult()
{
    QJsonObject joints;
    for (int n = 1; n <= 6; ++n) {
        joints.insert(QStringLiteral("joint_%1").arg(n),
                      QJsonObject{{"alpha", n}, {"a", 10.0 * n}, {"d", 0.5}, {"theta_offset", 0}});
    }
    return QJsonDocument(QJsonObject{{"status", 1},
                                     {"avg_pos_error", 0.25},
                                     {"avg_att_error", 0.125},
                                     {"dh_parameters", joints},
                                     {"zero_points", QJsonArray{0, 0, 0, 0, 0, 0}}})
        .toJson();
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// True when no process of that id exists any more (it has ended and been reaped).
bool processGone(const QString& pidFile)
{
    bool ok = false;
    const qint64 pid = readTextFile(pidFile).trimmed().toLongLong(&ok);
    return ok && pid > 0 && ::kill(pid_t(pid), 0) == -1 && errno == ESRCH;
}

QStringList boxLines(const MessageBoxAnswerer& answerer)
{
    QStringList out;
    for (const SeenBox& box : answerer.boxes())
        out << box.title + QStringLiteral(": ") + box.text;
    return out;
}

} // namespace

// External tools that crash, flood their output, leave a broken result or never end: the
// panels report it, return to a state from which the operator can go on, and leave no process
// behind.
class TestToolFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void calibrationTool_data();
    void calibrationTool();
    void isoTool_data();
    void isoTool();

private:
    QString root() const { return rootDir->path(); }
    QPushButton* button(const char* name) const { return page->findChild<QPushButton*>(name); }
    QString labelText(const char* name) const { return page->findChild<QLabel*>(name)->text(); }

    std::unique_ptr<QTemporaryDir> rootDir;
    std::unique_ptr<ScriptedLink> link;
    std::unique_ptr<centerWidget> page;
    std::unique_ptr<MessageBoxAnswerer> answerer;
};

void TestToolFaults::init()
{
    common::serialNumber.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();
    rootDir = std::make_unique<QTemporaryDir>();
    QVERIFY(rootDir->isValid());
    link = std::make_unique<ScriptedLink>();
    tavrin::tavrinInterface().setControllerLink(link.get());
    page = std::make_unique<centerWidget>();
    common::calibrationDir = root();
    answerer = std::make_unique<MessageBoxAnswerer>();

    link->setIdentity(QStringLiteral("10.0.0.9"), QStringLiteral("R6"), 3);
    QVector<double> dh;
    for (int k = 0; k < 28; ++k)
        dh << 1.5 * k;
    link->setDhLinks(dh);
    emit tavrin::tavrinInterface().sigNetworkConnect();
    // The ISO setup panel finds no default poses here; its warning is not what is tested.
    answerer->clear();
    page->findChild<QLineEdit*>(QStringLiteral("snLineEdit"))->setText(QStringLiteral("SN-7"));
}

void TestToolFaults::cleanup()
{
    page.reset();
    flushDeletes();
    answerer.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    link.reset();
    rootDir.reset();
}

void TestToolFaults::calibrationTool_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<bool>("hangs");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("progress");

    const QString started = QStringLiteral("printf '[PHASE] OPTIMIZATION\\n[PROGRESS] 3/9\\n'\n");
    const QString failed = QStringLiteral("优化失败");
    QTest::addRow("crash by a signal")
        << started + "kill -SEGV $$" << false << QStringList{"ERROR: ERROR: 11"} << failed
        << "采集进度：3 / 9";
    QTest::addRow("ten megabytes on one line, then success")
        << started + flood + "printf '\\n[PROGRESS] 9/9\\n'\ntouch \"$2/optimized_dh.json\"\nexit 0"
        << false << QStringList{} << "请检查右侧数据并应用参数"
        << "优化完成";
    // Output already shown is not repeated in the box.
    QTest::addRow("ten megabytes on one line, then failure")
        << started + flood + "printf '\\n[PROGRESS] 8/9\\n'\nexit 4" << false
        << QStringList{"ERROR: ERROR: 4"} << failed << "采集进度：8 / 9";
    // The box keeps the end of the output, where the tool says why it failed.
    const QString reason = QStringLiteral("solver gave up");
    QTest::addRow("ten megabytes on standard error, then failure")
        << started + "head -c 10000000 /dev/zero | tr '\\0' e >&2\nprintf '" + reason +
               "' >&2\nexit 5"
        << false
        << QStringList{"ERROR: ERROR: 5\n\nINFO:\n...\n" +
                       QString(4096 - reason.size(), QLatin1Char('e')) + reason}
        << failed << "采集进度：3 / 9";
    QTest::addRow("result file cut short over an earlier good one")
        << started + "printf '{\"status\": 1, \"dh_parameters\": {\"joint_1\": {\"al' > "
                     "\"$2/optimized_dh.json\"\nexit 0"
        << false << QStringList{"ERROR: Can't Find OptimizedDH.json File"} << "读取结果失败"
        << "采集进度：3 / 9";
    QTest::addRow("never ends")
        << started + "exec sleep 3600" << true
        << QStringList{"ERROR: ERROR: 9",
                       "Timeout: Waiting for optimization result timeout (600 seconds), please "
                       "check if external program is running properly"}
        << "等待超时"
        << "采集进度：3 / 9";
}

void TestToolFaults::calibrationTool()
{
    QFETCH(QString, body);
    QFETCH(bool, hangs);
    QFETCH(QStringList, expectedBoxes);
    QFETCH(QString, state);
    QFETCH(QString, progress);

    calibrationWidget* runner = calibrationWidget::instance();
    QVERIFY(writeFakeTool(calibrationToolPath(root()), notePid + body));
    QVERIFY(writeTextFile(root() + QStringLiteral("/optimized_dh.json"), goodResult()));
    const QVector<double> earlier{7, 7, 7, 7};
    common::optimizedDHParamsVec = earlier;
    const bool succeeds = expectedBoxes.isEmpty();

    QElapsedTimer clock;
    clock.start();
    button("runCalibrationBtn")->click();
    if (hangs) {
        QTRY_COMPARE_WITH_TIMEOUT(labelText("connectionLabel"), progress, 10000);
        QVERIFY(QMetaObject::invokeMethod(runner, "onTimeout"));
    }
    QTRY_COMPARE_WITH_TIMEOUT(labelText("calibrationLabel"), state, 30000);
    qInfo("run ended after %lld ms", clock.elapsed());
    // However much a tool writes, the page is never frozen for long.
    QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));

    QCOMPARE(boxLines(*answerer), expectedBoxes);
    for (const SeenBox& box : answerer->boxes())
        QCOMPARE(box.icon, QMessageBox::Critical);
    QCOMPARE(labelText("connectionLabel"), progress);
    QCOMPARE(button("runCalibrationBtn")->text(),
             succeeds ? QStringLiteral("标定完成") : QStringLiteral("启动标定"));
    QCOMPARE(button("runCalibrationBtn")->isEnabled(), !succeeds);
    QCOMPARE(button("confirmBtn")->isEnabled(), succeeds);
    if (succeeds)
        QCOMPARE(common::optimizedDHParamsVec.size(), 24);
    else
        QCOMPARE(common::optimizedDHParamsVec, earlier);

    flushDeletes();
    QVERIFY(runner->findChildren<QProcess*>().isEmpty());
    QVERIFY(runner->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly).isEmpty());
    QVERIFY(processGone(root() + QStringLiteral("/KalvoCalibrationTool.exe.pid")));
}

void TestToolFaults::isoTool_data()
{
    QTest::addColumn<QString>("task");
    QTest::addColumn<QString>("report");
    QTest::addColumn<bool>("abort");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<QString>("pidFile");

    const QString crashed = QStringLiteral("错误: ISO启动失败：Process crashed");
    QTest::addRow("task crashes") << "printf '[ROUND] 1/4\\n'\nkill -SEGV $$" << QString() << false
                                  << QStringList{crashed, "错误: ISO 任务失败，退出码：11"}
                                  << "runIsoTask.exe.pid";
    QTest::addRow("task never ends, aborted")
        << "printf '[ROUND] 1/4\\n'\nexec sleep 3600" << QString() << true
        << QStringList{crashed, "错误: ISO 任务失败，退出码：15"} << "runIsoTask.exe.pid";
    QTest::addRow("task floods its output")
        << "printf '[ROUND] 1/4\\n'\n" + flood + "printf '\\n[ROUND] 1/4\\n'\nexit 3" << QString()
        << false << QStringList{"错误: ISO 任务失败，退出码：3"} << "runIsoTask.exe.pid";
    QTest::addRow("report generator crashes")
        << "printf '[ROUND] 1/4\\n'\nexit 0"
        << "kill -SEGV $$" << false
        << QStringList{"完成: ISO 校准任务已成功完成。", crashed, "错误: 报告生成失败，退出码：11"}
        << "iso_pdf_generate.exe.pid";
}

void TestToolFaults::isoTool()
{
    QFETCH(QString, task);
    QFETCH(QString, report);
    QFETCH(bool, abort);
    QFETCH(QStringList, expectedBoxes);
    QFETCH(QString, pidFile);

    displayisowidget* panel = displayisowidget::instance();
    QPushButton* start = button("startISO");
    QVERIFY(writeFakeTool(isoTaskPath(root()), notePid + task));
    QVERIFY(writeFakeTool(isoReportPath(root()), notePid + report));
    panel->startBtnEnable();

    start->click();
    QCOMPARE(start->text(), QStringLiteral("中止运行ISO"));
    QTRY_COMPARE_WITH_TIMEOUT(labelText("label_2"), QStringLiteral("1 / 4"), 10000);
    if (abort) {
        start->click();
    } else if (!report.isEmpty()) {
        QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("生成报告"), 10000);
        start->click();
    }
    QTRY_COMPARE_WITH_TIMEOUT(answerer->count(), expectedBoxes.size(), 30000);
    QTRY_COMPARE_WITH_TIMEOUT(start->text(), QStringLiteral("启动ISO"), 10000);

    QCOMPARE(boxLines(*answerer), expectedBoxes);
    QVERIFY(start->isEnabled());
    QVERIFY(!button("saveReport")->isEnabled());
    QVERIFY(!button("giveupBtn")->isEnabled());
    flushDeletes();
    QVERIFY(panel->findChildren<QProcess*>().isEmpty() ||
            panel->findChildren<QProcess*>().first()->state() == QProcess::NotRunning);
    QVERIFY(processGone(root() + QLatin1Char('/') + pidFile));
}

LUMORA_TEST_MAIN(TestToolFaults)
#include "tst_toolfaults.moc"
