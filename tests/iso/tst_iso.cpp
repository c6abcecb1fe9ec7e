#include "calibrationwidget.h"
#include "displayisowidget.h"
#include "setupisowidget.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/stat.h>

using namespace lumora::test;

namespace {

const auto setupPanel = [] { return setupisowidget::instance(); };
const auto runPanel = [] { return displayisowidget::instance(); };
const auto grid = [](QWidget* panel, const char* name) {
    return panel->findChild<QGridLayout*>(name);
};
const auto text = [](QWidget* panel, const char* name) {
    return textOf(panel->findChild<QWidget*>(name));
};
const auto modeBox = [](const char* layout) {
    return qobject_cast<QCheckBox*>(cellWidget(grid(setupPanel(), layout), 0, 1));
};
const auto customEdit = [](int k) {
    return qobject_cast<QLineEdit*>(
        cellWidget(grid(setupPanel(), "customizeLayout"), k / 6 + 1, k % 6 + 1));
};
// The cells of a grid row from column 1 to last, separated by blanks.
QString gridRow(QGridLayout* grid, int row, int last)
{
    QStringList cells;
    for (int column = 1; column <= last; ++column)
        cells << textOf(cellWidget(grid, row, column));
    return cells.join(' ');
}
void fillCustomEdits()
{
    for (int k = 0; k < 30; ++k)
        customEdit(k)->setText(QString("%1.%2").arg(k / 6 + 1).arg(k % 6 + 1));
}
QString resultsFile(int entries)
{
    QStringList items;
    for (int i = 1; i <= entries; ++i)
        items << QString(
                     R"({"Accuracy": %1.1234, "Repeatability": 0.5, "RMS": %1, "StdDev": 4e-7})")
                     .arg(i);
    return R"({"iso_results": [)" + items.join(',') + "]}\n";
}

// The run panel: start caption, whether start, save and give up are enabled and a tool runs,
// the round labels, and the first row of results.
QString runState()
{
    QString flags;
    for (const char* name : {"startISO", "saveReport", "giveupBtn"})
        flags += runPanel()->findChild<QPushButton*>(name)->isEnabled() ? "1" : "0";
    for (QProcess* process : runPanel()->findChildren<QProcess*>())
        flags += process->state() == QProcess::NotRunning ? "" : "r";
    return QStringList{text(runPanel(), "startISO"), flags,
                       text(runPanel(), "label") + text(runPanel(), "label_2"),
                       gridRow(grid(runPanel(), "gridLayout"), 1, 4).trimmed()}
        .join('|');
}

// An operator session on the run panel: s clicks start, r save, g give up (answered "放弃")
// and c give up (answered "取消"), S calls the save slot directly, W waits for a round line, w
// until no tool runs and no box is open, and "." notes the panel's state.
QString drive(WidgetFixture& fx, const QString& steps)
{
    const QHash<QChar, const char*> buttons{
        {'s', "startISO"}, {'r', "saveReport"}, {'g', "giveupBtn"}, {'c', "giveupBtn"}};
    const auto idle = [] {
        return !QApplication::activeModalWidget() && !runState().contains('r');
    };
    const auto round = [] { return !text(runPanel(), "label_2").isEmpty(); };
    QStringList states;
    for (QChar step : steps) {
        if (step == 'g' || step == 'c')
            fx.answerer.queueButton(step == 'g' ? "放弃" : "取消");
        if (buttons.contains(step))
            runPanel()->findChild<QPushButton*>(buttons[step])->click();
        else if (step == 'S')
            QMetaObject::invokeMethod(runPanel(), "saveReport");
        else if ((step == 'W' && !QTest::qWaitFor(round, 30000)) ||
                 (step == 'w' && !QTest::qWaitFor(idle, 30000)))
            states << "timed out";
        else if (step == '.')
            states << runState();
    }
    return states.join(';');
}

// Tools that note their arguments: the test task prints rounds, the report generator writes
// five results; one of them ("task", "report", "copy", "remove") may behave otherwise, be
// "missing" or be a file that cannot start ("noexec").
void tools(const WidgetFixture& fx, const QString& special = {}, const QString& body = {})
{
    const QString root = fx.dir.path();
    const QMap<QString, QString> paths{
        {"task", isoTaskPath(root)},
        {"report", isoReportPath(root)},
        {"copy", root + "/iso/scripts/copy_calib_iso_results.exe"},
        {"remove", root + "/iso/scripts/delet_calib_iso_results.exe"}};
    QMap<QString, QString> bodies{
        {"task", "printf '[ROUND] 01/10\\n  [ROUND] 03/10  \\nnoise\\n'"},
        {"report", "cat > \"$2/optimized_dh.json\" <<'EOF'\n" + resultsFile(5) + "EOF"}};
    bodies[special] = body;
    for (const QString& name : paths.keys()) {
        if (bodies.value(name) == "noexec")
            writeTextFile(paths[name], "#!/bin/sh\nexit 0\n");
        else if (bodies.value(name) != "missing")
            writeFakeTool(paths[name],
                          "echo \"$@\" >> '" + fx.path("args") + "'\n" + bodies.value(name));
    }
    runPanel()->startBtnEnable();
}

// Whether the process whose id the file holds still runs (an unreaped zombie has ended).
bool running(const QString& pidFile)
{
    const QByteArray pid = readTextFile(pidFile).trimmed();
    QFile stat(QStringLiteral("/proc/%1/stat").arg(QString(pid)));
    const QByteArray fields =
        !pid.isEmpty() && stat.open(QIODevice::ReadOnly) ? stat.readAll() : "() Z";
    return !QByteArray("ZX").contains(fields.at(fields.lastIndexOf(')') + 2));
}

struct Save
{
    QString job, folder, custom; // job: content or "absent"; custom: "row column text"
    QString typed, sample;       // the sample count typed and shown, "!" when marked
    QString boxes;
};

struct Session
{
    QString tool, body, steps, states, boxes; // states separated by ';', boxes by '|'
};

} // namespace

Q_DECLARE_METATYPE(Save)
Q_DECLARE_METATYPE(Session)

class TestIso : public QObject
{
    Q_OBJECT

private slots:
    // Each connection loads the robot's default poses, shown to six digits; a failed load keeps
    // the earlier ones.
    void poses()
    {
        WidgetFixture fx;
        const QString path = fx.path("iso/default_iso_poses.json");
        QByteArray file = readTextFile(path);
        file.replace("[10, 11, 12, 13, 14, 15]",
                     "[123.456789, -1.2345678e-5, 1e-7, 1234567.0, 0.5, -2]");
        QVERIFY(writeTextFile(path, file));
        fx.connectRobot(28, "R7");
        QGridLayout* defaults = grid(setupPanel(), "defaultLayout");
        const QString shown = "123.457 -1.23457e-05 1e-07 1.23457e+06 0.5 -2/30 31 32 33 34 35";
        QCOMPARE(gridRow(defaults, 1, 6) + "/" + gridRow(defaults, 3, 6), shown);
        QCOMPARE(common::isoPoses, common::defaultIsoPoses);
        QCOMPARE(common::defaultIsoPoses[0][1], -1.2345678e-5);
        common::isoPoses = {{3}};
        QVERIFY(QFile::remove(path) && ::mkfifo(QFile::encodeName(path), 0600) == 0);
        // A reader that opened the pipe would hang here until the suite's time-out.
        fx.connectRobot(28);
        QCOMPARE(gridRow(defaults, 1, 6) + "/" + gridRow(defaults, 3, 6), shown);
        QCOMPARE(defaults->count(), 2 + 5 + 30);
        QCOMPARE(common::defaultIsoPoses.size(), 5);
        QCOMPARE(fx.boxes(), "Warning: get default iso parameters error");
        QCOMPARE(common::isoPoses, QVector<QVector<double>>{{3}});
    }

    void save_data()
    {
        QTest::addColumn<Save>("row");
        const auto row = [](const char* name, const Save& r) { QTest::addRow("%s", name) << r; };
        const QString job = R"({"ip": "10.0.0.1", "zeta": [1]})",
                      missing = "Warning: Please input parameters";
        row("default poses", {job, "reports", "", "12", "12", ""});
        row("sample count beyond 30", {job, "reports", "", "315", "31!", ""});
        row("no report folder", {job, "", "", "7", "7", missing});
        row("job file absent", {"absent", "reports", "", "7", "7", "提示: 打开文件失败"});
        row("job not JSON", {R"({"ip": )", "reports", "", "7", "7", "提示: 文件转为json失败"});
        row("custom, lone minus is 0", {job, "reports", "2 3 -", "7", "7", ""});
        row("custom, P3 field empty", {job, "reports", "3 2 ", "7", "7", missing});
        row("custom cleared", {job, "reports", "3 2 1 clear", "7", "7", ""});
        row("write fails", {job, "reports", "", "7", "7", "limit"});
    }

    // A save merges the settings into the job file and lets the run start; anything missing or
    // unreadable refuses with a box, a failed write without one; the job is then untouched.
    void save()
    {
        QFETCH(Save, row);
        WidgetFixture fx;
        fx.connectRobot(28);
        const QString path = fx.path("calibInfo.json");
        if (row.job != "absent")
            QVERIFY(writeTextFile(path, row.job.toUtf8()));
        QLineEdit* sample = fx.find<QLineEdit>("collectLineEdit");
        sample->clear();
        QTest::keyClicks(sample, row.typed);
        QCOMPARE(sample->text() + (sample->styleSheet().isEmpty() ? "" : "!"), row.sample);
        QCOMPARE(sample->toolTip(), row.sample.endsWith('!') ? "请输入 0 到 30 之间的整数" : "");
        QCOMPARE(common::sampleTimes, sample->text().toInt());
        const QString folder = row.folder.isEmpty() ? "" : fx.path(row.folder);
        QDir().mkpath(folder);
        // A cancelled choice afterwards keeps the folder.
        fx.answerer.queueFolder(folder);
        fx.answerer.queueFolder(QString());
        runPanel()->startBtnEnable();
        fx.button("selectPathBtn")->click();
        fx.button("selectPathBtn")->click();
        QCOMPARE(fx.text("pathLabel") + "|" + common::isoReportPath, folder + "|" + folder);
        QVERIFY(!fx.button("startISO")->isEnabled());
        const QStringList field = row.custom.split(' ');
        if (field.size() >= 3) {
            modeBox("customizeLayout")->click();
            fillCustomEdits();
            customEdit(field[0].toInt() * 6 + field[1].toInt() - 7)->setText(field[2]);
        }
        // Cleared: default mode, and no poses until the default box or a connection fills them.
        for (QPushButton* clear : setupPanel()->findChildren<QPushButton*>())
            if (field.size() == 4 && clear->text() == "清除自定义点位")
                clear->click();
        QVERIFY(field.size() != 4 || modeBox("defaultLayout")->isChecked());
        fx.answerer.clear();
        if (row.boxes == "limit")
            QTest::ignoreMessage(QtWarningMsg,
                                 qPrintable("Cannot open file for writing: \"" + path + "\""));
        auto limit = row.boxes == "limit" ? limitFileSize(8) : nullptr;
        fx.button("saveBtn")->click();
        limit.reset();

        const bool saved = row.boxes.isEmpty();
        const QString boxes = row.boxes == "limit" ? "提示: 保存失败：" + path + "\n*" : row.boxes;
        QCOMPARE(fx.boxes(boxes), boxes);
        QCOMPARE(fx.button("startISO")->isEnabled(), saved);
        QCOMPARE(QDir(fx.dir.path()).entryList(QDir::Files).join(' '),
                 QFileInfo(path).isFile() ? "calibInfo.json" : "");
        if (!saved) {
            if (QFileInfo(path).isFile())
                QCOMPARE(readTextFile(path), row.job.toUtf8());
            return;
        }
        const QJsonObject top = QJsonDocument::fromJson(readTextFile(path)).object();
        QCOMPARE(top.keys(), QStringList({"ip", "iso_config", "zeta"}));
        const QJsonObject config = top["iso_config"].toObject();
        QCOMPARE(QString::number(config["sample_times"].toInt()) + config["save_path"].toString(),
                 QString::number(sample->text().toInt()) + folder);
        const QJsonObject poses = config["iso_poses"].toObject();
        const double lastOfP5[] = {0, 55, 0, 5.6, 0}; // by the words of the custom column
        QCOMPARE(poses["point5"].toArray()[5].toDouble(), lastOfP5[field.size()]);
        if (field.size() == 3)
            QCOMPARE(poses["point" + field[0]].toArray()[field[1].toInt() - 1].toDouble(), 0.0);
    }

    void run_data()
    {
        QTest::addColumn<Session>("row");
        const auto row = [](const char* name, const Session& r) { QTest::addRow("%s", name) << r; };
        const QString round = "采集进度：03 / 10", taskDone = "完成: ISO 校准任务已成功完成。";
        const QString question = "|提示: 是否放弃iso结果？",
                      done = taskDone + "|完成: PDF 报告已成功生成。";
        const QString reported = "启动ISO|011|" + round + "|1.123400 0.500000 1.000000 0.000000";
        const QString report = "cat > \"$2/optimized_dh.json\" <<'EOF'\n%1\nEOF";
        const QString stopped = "启动ISO|100|采集进度：02 / 10|",
                      failed = "|错误: ISO启动失败：*|错误: ISO 任务失败，退出码：*";
        row("full cycle", {"", "", "s.w.s.w.rw.",
                           "中止运行ISO|100r||;生成报告|100|" + round + "|;生成报告|000r|" + round +
                               "|;" + reported + ";启动ISO|000|" + round + "|",
                           done + "|完成: PDF 报告已保存成功。"});
        row("round, blanks around", {"task", "printf 'x [ROUND]  4 /  9 y\\r\\n'", "sw.",
                                     "生成报告|100|采集进度：4 / 9|", taskDone});
        row("round without line feed",
            {"task", "printf '[ROUND] 5/6'", "sw.", "生成报告|100|采集进度：5 / 6|", taskDone});
        // The figures in fixed notation, five rows at most; cells are replaced, not piled up.
        row("seven results", {"report", report.arg(resultsFile(7)), "swsw.", reported, done});
        row("results not JSON", {"report", report.arg("{\"iso_results\": ["), "swsw.",
                                 "启动ISO|011|" + round + "|", done});
        row("save fails", {"copy", "exit 2", "swswrw.", "启动ISO|011|" + round + "|",
                           done + "|错误: 报告保存失败，退出码：2"});
        row("give up cancelled", {"", "", "swswcw.", reported, done + question});
        row("given up", {"", "", "swswgw.", "启动ISO|001|" + round + "|",
                         done + question + "|完成: 结果已删除"});
        row("task missing", {"task", "missing", "sw.", "启动ISO|100||",
                             "错误: runIsoTask.exe 不存在，请检查路径！"});
        row("task cannot start", {"task", "noexec", "sw.", "启动ISO|100||",
                                  "错误: ISO启动失败：*|错误: runIsoTask.exe 启动超时！"});
        row("one tool at a time", {"task", "printf '[ROUND] 02/10\\n'\nexec sleep 30", "sWS.s.w.",
                                   "中止运行ISO|100r|采集进度：02 / 10|;" + stopped + ";" + stopped,
                                   "提示: 任务已在运行中，请稍候..." + failed});
        row("abort, terminate ignored",
            {"task", "trap '' TERM\nprintf '[ROUND] 02/10\\n'\nwhile :; do sleep 0.05; done",
             "sWs.w.", stopped + ";" + stopped, failed.mid(1)});
    }

    // An operator session on the run panel with tools that behave as each row says.
    void run()
    {
        QFETCH(Session, row);
        WidgetFixture fx;
        tools(fx, row.tool, row.body);
        QCOMPARE(drive(fx, row.steps), row.states);
        QCOMPARE(fx.boxes(row.boxes), row.boxes);
        QCOMPARE(grid(runPanel(), "gridLayout")->count(), 5 + 5 + 20);
        for (const QString& line :
             QString(readTextFile(fx.path("args"))).split('\n', Qt::SkipEmptyParts))
            QCOMPARE(line, "--path " + fx.dir.path());
    }

    void groupEnds_data()
    {
        QTest::addColumn<bool>("iso");
        QTest::addColumn<QString>("ending");
        QTest::addRow("calibration cancelled") << false << "press";
        QTest::addRow("calibration timed out") << false << "onTimeout";
        QTest::addRow("calibration page destroyed") << false << "destroy";
        QTest::addRow("ISO task aborted") << true << "press";
        QTest::addRow("ISO task timed out") << true << "onIsoTimeout";
        QTest::addRow("ISO page destroyed") << true << "destroy";
    }

    // However a tool of either panel ends, nothing it started lives on; while it runs, its
    // standard error is read as it comes (or not taken at all) rather than gathered in the host.
    void groupEnds()
    {
        QFETCH(bool, iso);
        QFETCH(QString, ending);
        WidgetFixture fx;
        fx.connectRobot(28);
        fx.find<QLineEdit>("snLineEdit")->setText("SN-1");
        QObject* panel = iso ? static_cast<QObject*>(runPanel()) : calibrationWidget::instance();
        // The tool floods its standard error, then leaves a helper behind it, as a real tool's
        // solver or shell pipeline would.
        writeFakeTool(iso ? isoTaskPath(fx.dir.path()) : calibrationToolPath(fx.dir.path()),
                      "cd \"$2\"\nhead -c 20000000 /dev/zero | tr '\\0' e >&2\n"
                      "sleep 3600 & echo $! > grandchild.pid\nprintf '[ROUND] 1/2\\n'\nwait\n");
        runPanel()->startBtnEnable();
        QPushButton* start = fx.button(iso ? "startISO" : "runCalibrationBtn");
        start->click();
        const QString pid = fx.path("grandchild.pid");
        QTRY_VERIFY_WITH_TIMEOUT(running(pid), 20000);
        QVERIFY(panel->findChild<QProcess*>()->readAllStandardError().size() < 65536);
        if (ending == "press")
            start->click();
        else if (ending == "destroy")
            fx.page.reset();
        else
            QVERIFY(QMetaObject::invokeMethod(panel, ending.toLatin1().constData()));
        QTRY_VERIFY_WITH_TIMEOUT(!running(pid), 10000);
        if (ending == "onIsoTimeout")
            QCOMPARE(fx.answerer.last().text,
                     "runIsoTask.exe 运行超时（600 秒），已终止，请检查外部程序是否正常运行");
    }
};

LUMORA_TEST_MAIN(TestIso)
#include "tst_iso.moc"
