#include "calibrationwidget.h"
#include "centerwidget.h"
#include "common.h"
#include "dhparameterwidget.h"
#include "faketools.h"
#include "messageboxanswerer.h"
#include "runlog.h"
#include "scriptedlink.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QBoxLayout>
#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <interfacemanager.h>
#include <memory>

using namespace lumora::test;

namespace {

const QString startCaption = QStringLiteral("启动标定");
const QString cancelCaption = QStringLiteral("取消标定");
const QStringList startEntries{"isAllOptionsSelect", "isSNEmpty", "changeBtnsStatus(false)",
                               "writeIntoJson"};

QVector<double> sequence(int count)
{
    QVector<double> values;
    for (int i = 0; i < count; ++i)
        values << 0.5 * i;
    return values;
}

// Joint n carries alpha 10n, a n + 0.5, d 100n, theta_offset -n.
// One zero point per axis: six given ones, then zeros.
QByteArray resultFile(const QList<int>& joints, double pos = 0.5, double att = 1.23456,
                      int axes = 6)
{
    QJsonArray zeroPoints{0.01, -0.02, 0.03, 0.0, 0.05, -0.06};
    while (zeroPoints.size() < axes)
        zeroPoints.append(0.0);
    QJsonObject table;
    for (int n : joints) {
        table.insert(QStringLiteral("joint_%1").arg(n), QJsonObject{{"alpha", 10.0 * n},
                                                                    {"a", n + 0.5},
                                                                    {"d", 100.0 * n},
                                                                    {"theta_offset", -1.0 * n}});
    }
    QJsonObject document{
        {"status", 1}, {"avg_pos_error", pos}, {"avg_att_error", att}, {"zero_points", zeroPoints}};
    if (!joints.isEmpty())
        document.insert(QStringLiteral("dh_parameters"), table);
    return QJsonDocument(document).toJson();
}

QVector<double> jointValues(const QList<int>& joints)
{
    QVector<double> values;
    for (int n : joints)
        values << 10.0 * n << n + 0.5 << 100.0 * n << -1.0 * n;
    return values;
}

const QString stagedResult =
    QStringLiteral("[ -e \"$2/optimized_dh.staged\" ] && cp \"$2/optimized_dh.staged\" "
                   "\"$2/optimized_dh.json\"\n");

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestCalibration : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form();
    void startChecks_data();
    void startChecks();
    void successfulRun();
    void rootRelativeToHost();
    void jointOrder_data();
    void jointOrder();
    void failureRows_data();
    void failureRows();
    void missingTool();
    void toolThatCannotStart();
    void cancelWhileRunning();
    void timeoutKillsTool();
    void progress_data();
    void progress();
    void progressLineSplitAcrossReads();

private:
    void connectRobot(int axes);
    void readyToStart(int axes = 6);
    QString root() const { return rootDir->path(); }
    QString tool() const { return calibrationToolPath(root()); }
    // The result a fake tool leaves: staged here and copied in by the tool (stagedResult), so
    // that it is written during the run.
    QString resultPath() const { return root() + QStringLiteral("/optimized_dh.staged"); }
    QPushButton* button() const { return runner->findChild<QPushButton*>("runCalibrationBtn"); }
    QString stateText() const { return runner->findChild<QLabel*>("calibrationLabel")->text(); }
    QString progressText() const { return runner->findChild<QLabel*>("connectionLabel")->text(); }
    QList<QProcess*> processes() const
    {
        return runner->findChildren<QProcess*>(QString(), Qt::FindDirectChildrenOnly);
    }
    QList<QTimer*> timers() const
    {
        return runner->findChildren<QTimer*>(QString(), Qt::FindDirectChildrenOnly);
    }

    std::unique_ptr<QTemporaryDir> rootDir;
    std::unique_ptr<ScriptedLink> link;
    std::unique_ptr<centerWidget> page;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    std::unique_ptr<RunLog> log;
    calibrationWidget* runner = nullptr;
};

void TestCalibration::init()
{
    common::axisNum = 0;
    common::serialNumber.clear();
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();
    rootDir = std::make_unique<QTemporaryDir>();
    QVERIFY(rootDir->isValid());
    link = std::make_unique<ScriptedLink>();
    tavrin::tavrinInterface().setControllerLink(link.get());
    page = std::make_unique<centerWidget>();
    common::calibrationDir = root();
    runner = calibrationWidget::instance();
    answerer = std::make_unique<MessageBoxAnswerer>();
    log = std::make_unique<RunLog>(runner);
}

void TestCalibration::cleanup()
{
    log.reset();
    page.reset();
    flushDeletes();
    answerer.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    link.reset();
    rootDir.reset();
}

void TestCalibration::connectRobot(int axes)
{
    link->setIdentity(QStringLiteral("10.0.0.2"), QStringLiteral("R6"), 3);
    link->setDhLinks(sequence(4 * (axes + 1)));
    emit tavrin::tavrinInterface().sigNetworkConnect();
    // Other panels react to the connection too (the ISO panel may warn about its poses).
    log->entries.clear();
    answerer->clear();
}

void TestCalibration::readyToStart(int axes)
{
    connectRobot(axes);
    auto* sn = page->findChild<QLineEdit*>(QStringLiteral("snLineEdit"));
    QVERIFY(sn);
    sn->setText(QStringLiteral("SN-0042"));
}

void TestCalibration::form()
{
    QCOMPARE(runner->objectName(), QStringLiteral("calibrationWidget"));
    QCOMPARE(runner->windowTitle(), QStringLiteral("Form"));
    QVERIFY(runner->testAttribute(Qt::WA_StyledBackground));
    QCOMPARE(runner->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(runner->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    auto* outer = runner->findChild<QVBoxLayout*>("verticalLayout");
    QVERIFY(outer);
    QCOMPARE(outer->contentsMargins(), QMargins(15, 15, 15, 15));
    QCOMPARE(outer->spacing(), 0);
    QCOMPARE(outer->count(), 4);
    const char* rows[] = {"horizontalLayout_4", "horizontalLayout_3", "horizontalLayout"};
    const QList<int> rowStretches[] = {{1, 0, 1}, {1, 1, 1}, {1, 0, 1}};
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(outer->stretch(i), 1);
        auto* row = qobject_cast<QHBoxLayout*>(outer->itemAt(i)->layout());
        QVERIFY(row);
        QCOMPARE(row->objectName(), QLatin1String(rows[i]));
        QCOMPARE(outer->itemAt(i)->alignment(), Qt::Alignment(Qt::AlignCenter));
        for (int j = 0; j < 3; ++j)
            QCOMPARE(row->stretch(j), rowStretches[i].at(j));
    }
    QVERIFY(outer->itemAt(3)->spacerItem());

    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    QCOMPARE(button()->minimumSize(), QSize(200, 25));
    QCOMPARE(button()->maximumSize(), QSize(300, 75));
    QVERIFY(stateText().isEmpty());
    QVERIFY(progressText().isEmpty());
    QCOMPARE(runner->findChild<QLabel*>("calibrationLabel")->alignment(),
             Qt::Alignment(Qt::AlignCenter));
}

void TestCalibration::startChecks_data()
{
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("serial");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("entries");

    QTest::addRow("nothing ticked") << false << QStringLiteral("SN-1")
                                    << QStringLiteral("Please select DH parameter configuration")
                                    << QStringList{"isAllOptionsSelect", "box Warning"};
    QTest::addRow("empty serial number")
        << true << QString() << QStringLiteral("Please enter SN number")
        << QStringList{"isAllOptionsSelect", "isSNEmpty", "box Warning"};
}

void TestCalibration::startChecks()
{
    QFETCH(bool, connected);
    QFETCH(QString, serial);
    QFETCH(QString, text);
    QFETCH(QStringList, entries);

    if (connected)
        connectRobot(6);
    page->findChild<QLineEdit*>(QStringLiteral("snLineEdit"))->setText(serial);
    QVERIFY(writeFakeTool(tool(), QStringLiteral("touch \"$2/started\"")));
    QTest::mouseClick(button(), Qt::LeftButton);

    QCOMPARE(log->entries, entries);
    QCOMPARE(answerer->count(), 1);
    QCOMPARE(answerer->last().title, QStringLiteral("Warning"));
    QCOMPARE(answerer->last().text, text);
    QCOMPARE(answerer->last().icon, QMessageBox::Warning);
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(stateText().isEmpty());
    QVERIFY(!QFileInfo::exists(root() + QStringLiteral("/calibInfo.json")));
    QVERIFY(processes().isEmpty());
}

void TestCalibration::successfulRun()
{
    readyToStart();
    QVERIFY(writeTextFile(resultPath(), resultFile({1, 2, 3, 4, 5, 6})));
    QVERIFY(writeFakeTool(
        tool(), stagedResult +
                    QStringLiteral("printf '%s\\n' \"$(pwd)\" \"$#\" \"$1\" \"$2\" > \"$2/args\"\n"
                                   "printf '[PHASE] OPTIMIZATION\\n[PROGRESS] 10/10\\n'\n"
                                   "exit 0")));
    TraceCapture trace;
    QTest::mouseClick(button(), Qt::LeftButton);
    QCOMPARE(button()->text(), cancelCaption);
    QTRY_COMPARE(button()->text(), QStringLiteral("标定完成"));

    QCOMPARE(log->entries, (startEntries + QStringList{"calibrationDoneVec(false)",
                                                       "calibrationDoneStr(0.5000,1.2346)",
                                                       "changeBtnsStatus(true)"}));
    QCOMPARE(answerer->count(), 0);
    QVERIFY(!button()->isEnabled());
    QCOMPARE(stateText(), QStringLiteral("请检查右侧数据并应用参数"));
    QCOMPARE(progressText(), QStringLiteral("优化完成"));
    QCOMPARE(common::optimizedDHParamsVec, jointValues({1, 2, 3, 4, 5, 6}));
    QCOMPARE(common::zeroPointsVec, (std::vector<double>{0.01, -0.02, 0.03, 0.0, 0.05, -0.06}));
    QVERIFY(QFileInfo::exists(root() + QStringLiteral("/calibInfo.json")));

    const QStringList args =
        QString::fromUtf8(readTextFile(root() + QStringLiteral("/args"))).split('\n');
    QCOMPARE(QFileInfo(args.value(0)).canonicalFilePath(),
             QFileInfo(QFileInfo(tool()).absolutePath()).canonicalFilePath());
    QCOMPARE(args.mid(1, 3), (QStringList{"2", "--path", root()}));

    const QStringList lines = trace.lines();
    for (const char* line : {"enter onRunCalibrationBtnClicked", "leave onRunCalibrationBtnClicked",
                             "Enter optimization phase", "Progress:  10 / 10"})
        QVERIFY2(lines.contains(QLatin1String(line)), line);

    // The result reached the result panel.
    auto* result = dhparameterWidget::instance();
    QCOMPARE(result->findChild<QLineEdit*>("averagePosErrorText")->text(),
             QStringLiteral("0.5000"));
    QVERIFY(result->findChild<QPushButton*>("confirmBtn")->isEnabled());

    flushDeletes();
    QVERIFY(processes().isEmpty());
    QVERIFY(timers().isEmpty());

    QMetaObject::invokeMethod(runner, "resetAll");
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    QVERIFY(stateText().isEmpty());
    QVERIFY(progressText().isEmpty());
}

void TestCalibration::rootRelativeToHost()
{
    // On Linux the fixed root is relative to the host's working folder, while the tool starts
    // in its own folder: the program must still be found and get the root unchanged.
    const QString relative = QStringLiteral("relative-site/Calibration");
    QDir().mkpath(relative);
    const QString argsFile = QDir().absoluteFilePath(QStringLiteral("relative-args"));
    QVERIFY(writeFakeTool(
        calibrationToolPath(relative),
        QStringLiteral("cp '%2.staged' '%2.json'\nprintf '%s\\n' \"$1\" \"$2\" > '%1'\nexit 0")
            .arg(argsFile, QDir().absoluteFilePath(relative + QStringLiteral("/optimized_dh")))));
    QVERIFY(writeTextFile(relative + QStringLiteral("/optimized_dh.staged"),
                          resultFile({1, 2, 3, 4, 5, 6})));
    readyToStart();
    common::calibrationDir = relative;
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(button()->text(), QStringLiteral("标定完成"));
    QCOMPARE(QString::fromUtf8(readTextFile(argsFile)).split('\n').mid(0, 2),
             (QStringList{"--path", relative}));
    QCOMPARE(answerer->count(), 0);
    QDir(QStringLiteral("relative-site")).removeRecursively();
}

void TestCalibration::jointOrder_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<QList<int>>("joints");
    QTest::addColumn<QList<int>>("expected");

    QTest::addRow("six joints") << 6 << QList<int>{1, 2, 3, 4, 5, 6}
                                << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::addRow("joint 3 missing gives 20 values")
        << 6 << QList<int>{1, 2, 4, 5, 6} << QList<int>{1, 2, 4, 5, 6};
    QTest::addRow("joint 10 after joint 9") << 10 << QList<int>{10, 9, 8, 7, 6, 5, 4, 3, 2, 1}
                                            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    QTest::addRow("joint beyond the axes ignored")
        << 6 << QList<int>{1, 2, 3, 4, 5, 6, 7} << QList<int>{1, 2, 3, 4, 5, 6};
    QTest::addRow("no joint table") << 6 << QList<int>{} << QList<int>{};
}

void TestCalibration::jointOrder()
{
    QFETCH(int, axes);
    QFETCH(QList<int>, joints);
    QFETCH(QList<int>, expected);

    readyToStart(axes);
    QCOMPARE(common::axisNum, axes);
    common::optimizedDHParamsVec = {99.0};
    QVERIFY(writeTextFile(resultPath(), resultFile(joints, 0.5, 1.23456, axes)));
    QVERIFY(writeFakeTool(tool(), stagedResult + QStringLiteral("exit 0")));
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(button()->text(), QStringLiteral("标定完成"));

    QCOMPARE(answerer->count(), 0);
    QCOMPARE(common::optimizedDHParamsVec, jointValues(expected));
}

void TestCalibration::failureRows_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QByteArray>("result");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("prefixOnly");
    QTest::addColumn<QString>("state");

    const QString progress = QStringLiteral("printf '[PROGRESS] 7/9\\n'\n");
    const QByteArray good = resultFile({1, 2, 3, 4, 5, 6});
    const QString failed = QStringLiteral("优化失败");
    const QString unread = QStringLiteral("读取结果失败");

    QTest::addRow("exit code with error text")
        << progress + "printf 'solver diverged' >&2\nexit 3" << good << "ERROR"
        << "ERROR: 3\n\nINFO:\nsolver diverged" << false << failed;
    QTest::addRow("exit code without text") << progress + "exit 2" << good << "ERROR"
                                            << "ERROR: 2" << false << failed;
    QTest::addRow("killed by a signal") << progress + "kill -9 $$" << good << "ERROR"
                                        << "ERROR: " << true << failed;
    QTest::addRow("no result file") << progress + "exit 0" << QByteArray() << "ERROR"
                                    << "Can't Find OptimizedDH.json File" << false << unread;
    QTest::addRow("status not 1") << progress + "exit 0"
                                  << QByteArray(R"({"status": 0.99, "zero_points": []})") << "ERROR"
                                  << "Can't Find OptimizedDH.json File" << false << unread;
    QTest::addRow("truncated file")
        << progress + "exit 0" << QByteArray(R"({"status": 1, "zero_points": [)") << "ERROR"
        << "Can't Find OptimizedDH.json File" << false << unread;
    QTest::addRow("joint value of the wrong type")
        << progress + "exit 0"
        << QByteArray(R"({"status": 1, "dh_parameters": {"joint_1": {"alpha": "x"}},
                          "zero_points": []})")
        << "ERROR"
        << "Faild TO Read DH Pa" << false << unread;
    QTest::addRow("average error of the wrong type")
        << progress + "exit 0"
        << QByteArray(R"({"status": 1, "avg_pos_error": "x", "zero_points": []})") << "Error"
        << "Failed to read error data" << false << unread;
    QTest::addRow("zero points missing")
        << progress + "exit 0" << QByteArray(R"({"status": 1})") << "Error"
        << "Failed to read zero position data" << false << unread;
    QTest::addRow("zero points not an array")
        << progress + "exit 0" << QByteArray(R"({"status": true, "zero_points": {"j1": 1}})")
        << "Error"
        << "Failed to read zero position data" << false << unread;
}

void TestCalibration::failureRows()
{
    QFETCH(QString, body);
    QFETCH(QByteArray, result);
    QFETCH(QString, title);
    QFETCH(QString, text);
    QFETCH(bool, prefixOnly);
    QFETCH(QString, state);

    readyToStart();
    if (!result.isEmpty())
        QVERIFY(writeTextFile(resultPath(), result));
    QVERIFY(writeFakeTool(tool(), stagedResult + body));
    common::zeroPointsVec = {9.0, 9.0};
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(stateText(), state);

    QCOMPARE(answerer->count(), 1);
    QCOMPARE(answerer->last().title, title);
    QCOMPARE(answerer->last().icon, QMessageBox::Critical);
    QCOMPARE(answerer->last().buttons.size(), 1);
    if (prefixOnly)
        QVERIFY2(answerer->last().text.startsWith(text), qPrintable(answerer->last().text));
    else
        QCOMPARE(answerer->last().text, text);
    QCOMPARE(log->entries, (startEntries + QStringList{"box " + title}));
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    QCOMPARE(progressText(), QStringLiteral("采集进度：7 / 9"));
    QCOMPARE(common::zeroPointsVec, (std::vector<double>{9.0, 9.0}));
    QVERIFY(!dhparameterWidget::instance()->findChild<QPushButton*>("giveUpBtn")->isEnabled());
    flushDeletes();
    QVERIFY(processes().isEmpty());
    QVERIFY(timers().isEmpty());

    // Idle again: the next click starts a fresh run instead of cancelling.
    QVERIFY(writeFakeTool(tool(), stagedResult + QStringLiteral("exit 0")));
    QVERIFY(writeTextFile(resultPath(), resultFile({1, 2, 3, 4, 5, 6})));
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(button()->text(), QStringLiteral("标定完成"));
}

void TestCalibration::missingTool()
{
    readyToStart();
    const QString job = root() + QStringLiteral("/calibInfo.json");
    bool jobAtBox = false;
    log->onBox = [&] { jobAtBox = QFileInfo::exists(job); };
    QTest::mouseClick(button(), Qt::LeftButton);

    QCOMPARE(log->entries, (startEntries + QStringList{"box ERROR"}));
    QVERIFY(jobAtBox);
    QCOMPARE(answerer->count(), 1);
    QCOMPARE(answerer->last().text, QStringLiteral("Can't Find CalibTool: ") + tool());
    QCOMPARE(answerer->last().icon, QMessageBox::Critical);
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    QCOMPARE(stateText(), QStringLiteral("启动失败"));
    QCOMPARE(progressText(), QStringLiteral("初始化中..."));
    QVERIFY(processes().isEmpty());
    QVERIFY(timers().isEmpty());
}

void TestCalibration::toolThatCannotStart()
{
    readyToStart();
    QVERIFY(writeTextFile(tool(), "#!/bin/sh\nexit 0\n"));
    QVERIFY(QFile::setPermissions(tool(), QFileDevice::ReadOwner | QFileDevice::WriteOwner));
    QVERIFY(writeTextFile(resultPath(), resultFile({1, 2, 3, 4, 5, 6})));
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(stateText(), QStringLiteral("启动失败"));

    QCOMPARE(log->entries, (startEntries + QStringList{"box ERROR"}));
    QCOMPARE(answerer->count(), 1);
    const QString text = answerer->last().text;
    QVERIFY2(text.startsWith(QStringLiteral("Can't Start CalibTool: ") + tool()), qPrintable(text));
    QVERIFY(text.size() > QStringLiteral("Can't Start CalibTool: ").size() + tool().size());
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    flushDeletes();
    QVERIFY(processes().isEmpty());
    QVERIFY(timers().isEmpty());

    // A second click starts again rather than cancelling a run that never began.
    answerer->clear();
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(answerer->count(), 1);
    QTRY_COMPARE(stateText(), QStringLiteral("启动失败"));
    QVERIFY(!log->entries.contains(QStringLiteral("box Notice")));
}

void TestCalibration::cancelWhileRunning()
{
    readyToStart();
    QVERIFY(
        writeFakeTool(tool(), QStringLiteral("printf '[PHASE] OPTIMIZATION\\n'\nexec sleep 60")));
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(progressText(), QStringLiteral("优化中..."));

    QCOMPARE(processes().size(), 1);
    QProcess* process = processes().first();
    QCOMPARE(process->program(), tool());
    QCOMPARE(process->arguments(), (QStringList{"--path", root()}));
    QCOMPARE(process->workingDirectory(), QFileInfo(tool()).absolutePath());
    QCOMPARE(process->processChannelMode(), QProcess::SeparateChannels);
    QCOMPARE(process->openMode(), QIODevice::ReadWrite);
    QCOMPARE(timers().size(), 1);
    QCOMPARE(timers().first()->interval(), 600000);
    QVERIFY(timers().first()->isActive());
    QVERIFY(!timers().first()->isSingleShot());
    QCOMPARE(button()->text(), cancelCaption);
    QVERIFY(button()->isEnabled());

    TraceCapture trace;
    QTest::mouseClick(button(), Qt::LeftButton);

    QCOMPARE(log->entries, (startEntries + QStringList{"changeBtnsStatus(true)", "box Notice"}));
    QCOMPARE(answerer->count(), 1);
    QCOMPARE(answerer->boxes().at(0).text,
             QStringLiteral("Calibration process has been cancelled"));
    QCOMPARE(answerer->boxes().at(0).icon, QMessageBox::Information);
    QCOMPARE(stateText(), QStringLiteral("标定已取消"));
    QCOMPARE(progressText(), QString());
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    QVERIFY(trace.contains(QStringLiteral("User manually canceled calibration")));
    flushDeletes();
    QVERIFY(processes().isEmpty());
    QVERIFY(timers().isEmpty());
}

void TestCalibration::timeoutKillsTool()
{
    readyToStart();
    QVERIFY(
        writeFakeTool(tool(), QStringLiteral("printf '[PHASE] OPTIMIZATION\\n'\nexec sleep 60")));
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(progressText(), QStringLiteral("优化中..."));

    QVERIFY(QMetaObject::invokeMethod(runner, "onTimeout"));

    QCOMPARE(log->entries, (startEntries + QStringList{"box ERROR", "box Timeout"}));
    QCOMPARE(answerer->count(), 2);
    QCOMPARE(answerer->last().title, QStringLiteral("Timeout"));
    QCOMPARE(answerer->last().text,
             QStringLiteral("Waiting for optimization result timeout (600 seconds), please check "
                            "if external program is running properly"));
    QCOMPARE(stateText(), QStringLiteral("等待超时"));
    QCOMPARE(progressText(), QStringLiteral("优化中..."));
    QCOMPARE(button()->text(), startCaption);
    QVERIFY(button()->isEnabled());
    flushDeletes();
    QVERIFY(processes().isEmpty());
    QVERIFY(timers().isEmpty());
}

void TestCalibration::progress_data()
{
    QTest::addColumn<QByteArray>("output");
    QTest::addColumn<QString>("label");
    QTest::addColumn<QString>("traceLine");

    const QString initial = QStringLiteral("初始化中...");
    QTest::addRow("phase with blanks around")
        << QByteArray("  [PHASE] OPTIMIZATION \t\n") << "优化中..."
        << "Enter optimization phase";
    QTest::addRow("phase followed by words")
        << QByteArray("[PHASE] OPTIMIZATION started\n") << initial << QString();
    QTest::addRow("progress inside other words")
        << QByteArray("step [PROGRESS]3/10 ok\n") << "采集进度：3 / 10"
        << "Progress:  3 / 10";
    QTest::addRow("several lines in one read")
        << QByteArray("[PROGRESS] 1/5\n[PROGRESS] 2/5\n\n[PROGRESS] 3 / 5\n") << "采集进度：3 / 5"
        << "Progress:  3 / 5";
    QTest::addRow("phase then progress")
        << QByteArray("[PHASE] OPTIMIZATION\n[PROGRESS] 4/8\n") << "采集进度：4 / 8"
        << "Progress:  4 / 8";
    QTest::addRow("leading zeros") << QByteArray("[PROGRESS] 007/010\n") << "采集进度：7 / 10"
                                   << "Progress:  7 / 10";
    QTest::addRow("carriage returns") << QByteArray("[PROGRESS] 2/9\r\n") << "采集进度：2 / 9"
                                      << "Progress:  2 / 9";
    QTest::addRow("last line without line feed")
        << QByteArray("[PROGRESS] 1/6\n[PROGRESS] 5/6") << "采集进度：5 / 6"
        << "Progress:  5 / 6";
    QTest::addRow("other case") << QByteArray("[progress] 1/2\n") << initial << QString();
    QTest::addRow("no total") << QByteArray("[PROGRESS] 12/\n") << initial << QString();
}

void TestCalibration::progress()
{
    QFETCH(QByteArray, output);
    QFETCH(QString, label);
    QFETCH(QString, traceLine);

    readyToStart();
    QVERIFY(writeTextFile(root() + QStringLiteral("/output"), output));
    QVERIFY(writeFakeTool(tool(), QStringLiteral("cat \"$2/output\"\nexit 1")));
    TraceCapture trace;
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(stateText(), QStringLiteral("优化失败"));

    QCOMPARE(progressText(), label);
    QStringList progressLines;
    for (const QString& line : trace.lines()) {
        if (line.startsWith(QLatin1String("Progress")) || line.startsWith(QLatin1String("Enter")))
            progressLines << line;
    }
    if (traceLine.isEmpty())
        QVERIFY2(progressLines.isEmpty(), qPrintable(progressLines.join('|')));
    else
        QCOMPARE(progressLines.last(), traceLine);
}

void TestCalibration::progressLineSplitAcrossReads()
{
    readyToStart();
    // The tool stops in the middle of a line until the test has seen the first part.
    QVERIFY(writeFakeTool(tool(), QStringLiteral("printf '[PROGRESS] 12/2'\n"
                                                 "while [ ! -f \"$2/go\" ]; do sleep 0.02; done\n"
                                                 "printf '0\\n'\n"
                                                 "exec sleep 60")));
    QTest::mouseClick(button(), Qt::LeftButton);
    QTRY_COMPARE(processes().size(), 1);
    QSignalSpy reads(processes().first(), &QProcess::readyReadStandardOutput);
    QTRY_VERIFY(reads.count() >= 1);
    QCOMPARE(progressText(), QStringLiteral("初始化中..."));

    QVERIFY(writeTextFile(root() + QStringLiteral("/go"), QByteArray()));
    QTRY_COMPARE(progressText(), QStringLiteral("采集进度：12 / 20"));

    QTest::mouseClick(button(), Qt::LeftButton);
    QCOMPARE(stateText(), QStringLiteral("标定已取消"));
}

LUMORA_TEST_MAIN(TestCalibration)
#include "tst_calibration.moc"
