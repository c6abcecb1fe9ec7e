#include "calibrationwidget.h"
#include "dhparameterwidget.h"
#include "setupwidget.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

using namespace lumora::test;

namespace {

const auto grid = [](QWidget* panel) { return panel->findChild<QGridLayout*>("tableLayout"); };
const auto cell = [](int row, int column) {
    return cellWidget(grid(setupWidget::instance()), row, column);
};
const auto box = [](int k) { return cell(k / 4 + 2, k % 4 + 1)->findChild<QCheckBox*>(); };
const auto value = [](int k) { return cell(k / 4 + 2, k % 4 + 1)->findChild<QLabel*>()->text(); };

// The ticks and row button of every axis, then the select-all button: "0000+ 1111- ... +",
// where "+" ticks ("全选") and "-" unticks ("全不选").
QString tableState()
{
    QString out;
    for (int k = 0; k < 4 * common::axisNum; ++k)
        out += (box(k)->isChecked() ? "1" : "0") +
               (k % 4 == 3 ? textOf(cell(k / 4 + 2, 5)) + " " : "");
    out += textOf(cell(0, 5));
    return out.replace("全不选", "-").replace("全选", "+");
}

// Operator steps separated by ';': "row A" and "all" click a button, "tick K" and "untick K"
// set the box of value K, "giveup" gives up the calibration.
void run(const QString& steps)
{
    for (const QString& step : steps.split(';', Qt::SkipEmptyParts)) {
        const QStringList words = step.simplified().split(' ');
        if (words[0] == "giveup")
            dhparameterWidget::instance()->findChild<QPushButton*>("giveUpBtn")->click();
        else if (words[0].endsWith("tick"))
            box(words[1].toInt())->setChecked(words[0] == "tick");
        else
            QTest::mouseClick(cell(words.size() == 2 ? words[1].toInt() + 2 : 0, 5),
                              Qt::LeftButton);
    }
}

// The job's constraints as "joint:params", "*" for all four.
QString locked(const QJsonObject& job)
{
    QStringList out;
    for (const QJsonValue& joint : job["algorithm_constraints"].toArray()) {
        const QString params = joint["locked_params"].toVariant().toStringList().join(',');
        out << QString::number(joint["joint_index"].toInt()) + ":" +
                   (params == "alpha,a,d,theta" ? "*" : params);
    }
    return out.join(' ');
}

// Joint n: alpha 10n, a n + 0.5, d 100n, theta_offset -n; six zero points.
QString resultFile(const QString& joints)
{
    QStringList table;
    for (const QString& n : joints.split(' '))
        table << QString(R"("joint_%1": {"alpha": %2, "a": %3, "d": %4, "theta_offset": %5})")
                     .arg(n, QString::number(10 * n.toInt()), QString::number(n.toInt() + 0.5),
                          QString::number(100 * n.toInt()), QString::number(-n.toInt()));
    return R"({"status": 1, "avg_pos_error": 0.5, "avg_att_error": 1.23456, "zero_points": )"
           R"([0.01, 0.03, 0, 0, 0, 0], "dh_parameters": {)" +
           table.join(',') + "}}";
}

struct Table
{
    int values;
    QString steps, state, constraints;
    bool refused = false;
};

struct Outcome
{
    QString body, result, boxes; // boxes separated by '|'; one ending in "*": its text starts so
    QString state = {}, progress = {}, joints = "-"; // "-": the earlier result is kept
    QString file = "optimized_dh.staged";            // where the result lies before the press
};

} // namespace

Q_DECLARE_METATYPE(Table)
Q_DECLARE_METATYPE(Outcome)

class TestSetup : public QObject
{
    Q_OBJECT

    // The calibration tool notes where it ran, then, in the root, puts the staged result in
    // place (a result only counts when the run writes it) and runs body.
    static QString tool(WidgetFixture& fx, const QString& body)
    {
        return "printf '%s\\n' \"$(pwd)\" \"$@\" > '" + fx.path("args") + "'\ncd '" +
               fx.dir.path() +
               "'\n[ ! -f optimized_dh.staged ] || mv -f optimized_dh.staged optimized_dh.json\n" +
               body;
    }

private slots:
    void table_data()
    {
        QTest::addColumn<Table>("row");
        const auto row = [](const char* name, const Table& t) { QTest::addRow("%s", name) << t; };
        const QString edges = "0000+ 1111- 1111- 1111- 1111- 0000+ +";
        row("6 axes", {28, "", edges, "0:* -1:*"});
        row("16 axes", {68, "", "0000+ " + QString("1111- ").repeated(14) + "0000+ +", "0:* -1:*"});
        row("17 axes", {72, "", "-", "", true});
        row("no whole number of links", {27, "all", "-", "", true});
        row("row ticks", {28, "row 0", "1111- 1111- 1111- 1111- 1111- 0000+ +", "-1:*"});
        row("row unticks", {28, "row 1", "0000+ 0000+ 1111- 1111- 1111- 0000+ +", "0:* 1:* -1:*"});
        // Giving up restores the ticks of a rebuild (first and last of the four axes locked).
        row("given up", {20, "all; untick 1; giveup", "0000+ 1111- 1111- 0000+ -", "0:* -1:*"});
        row("row, first box unticked", {28, "untick 4; row 1", edges, "0:* -1:*"});
        row("some unticked",
            {32, "all; untick 25; untick 19; untick 6; untick 16",
             "1111- 1101- 1111- 1111- 0110- 1111- 1011- -", "1:d 4:alpha,theta -1:a"});
        row("only a last-row box",
            {28, "all; all; tick 23", "0000+ 0000+ 0000+ 0000+ 0000+ 0001+ +",
             "0:* 1:* 2:* 3:* 4:* -1:alpha,a,d"});
    }

    // Rebuild on connection, the ticks an operator sets, and the job file written from them
    // into folders that do not exist yet.
    void table()
    {
        QFETCH(Table, row);
        WidgetFixture fx;
        fx.find<QLineEdit>("snLineEdit")->setText("SN 7");
        // Two connections must still leave one table, toggled once per click.
        fx.connectRobot(row.values);
        fx.connectRobot(row.values);
        run(row.steps);
        const QString refusal = QString("Warning: 控制器返回的DH参数无法使用：%1 个数值（应为 4 "
                                        "的倍数，最多 16 个轴），已忽略。")
                                    .arg(row.values);
        QCOMPARE(fx.boxes(), row.refused ? refusal + '|' + refusal : "");
        QCOMPARE(tableState(), row.state);
        const int values = 4 * qMax(common::axisNum, 0);
        QCOMPARE(grid(setupWidget::instance())->count(), 8 + values / 4 * 6);
        for (int k = 0; k < values; k += values - 1)
            QCOMPARE(value(k), QString::number(common::originalDHParamsVec[k], 'g', 6));
        common::calibrationDir = fx.path("site/D:/Calibration");
        setupWidget::instance()->writeIntoJson();
        const QByteArray text = readTextFile(common::calibrationDir + "/calibInfo.json");
        const QJsonObject job = QJsonDocument::fromJson(text).object();
        QCOMPARE(locked(job), row.constraints);
        QCOMPARE(QJsonDocument(job["robot_profile"].toObject()).toJson(QJsonDocument::Compact),
                 R"({"ip":"10.0.0.7","model_type":7,"robot_name":"R6","serial_number":"SN 7"})");
        QVERIFY(text.contains("\n    \"file_type\": \"calib_info\",\n"));
        // A failed write leaves neither the earlier job nor a torn new one for the tool.
        auto limit = limitFileSize(64);
        setupWidget::instance()->writeIntoJson();
        limit.reset();
        QCOMPARE(QDir(common::calibrationDir).entryList(QDir::Files), QStringList());
    }

    void calibration_data()
    {
        QTest::addColumn<Outcome>("row");
        const auto row = [](const char* name, const Outcome& o) { QTest::addRow("%s", name) << o; };
        const QString good = resultFile("1 2 3 4 5 6"), waiting = "初始化中...";
        const QString shown = "printf '[PHASE] OPTIMIZATION\\n[PROGRESS] 7/9\\n'\n",
                      done = "请检查右侧数据并应用参数";
        const QString noResult = "ERROR: Can't Find OptimizedDH.json File",
                      badZeros = "Error: Failed to read zero position data",
                      padded =
                          "{ printf '{\"status\":1,\"zero_points\":[0,0,0,0,0],\"pad\":\"'\n"
                          "head -c %1 /dev/zero | tr '\\0' x; printf '\"}'; } > optimized_dh.json";
        row("success", {shown + "exit 0", good, "", done, "优化完成", "1 2 3 4 5 6"});
        row("joints missing and beyond",
            {"exit 0", resultFile("1 2 4 5 6 7"), "", done, "优化完成", "1 2 4 5 6"});
        row("nothing ticked",
            {"unticked", good, "Warning: Please select DH parameter configuration"});
        row("no serial number", {"no serial", good, "Warning: Please enter SN number"});
        row("joint value not a number",
            {"exit 0", R"({"status": 1, "dh_parameters": {"joint_1": {"a": "x"}}})",
             "ERROR: Faild TO Read DH Pa", "读取结果失败", waiting});
        row("average error not a number",
            {"exit 0", R"({"status": 1, "avg_att_error": "x"})", "Error: Failed to read error data",
             "读取结果失败", waiting});
        row("five zero points for six axes",
            {"exit 0", R"({"status": 1, "zero_points": [0, 0, 0, 0, 0]})", badZeros, "读取结果失败",
             waiting});
        row("result file beyond 16 MiB",
            {padded.arg(17000000), "", noResult, "读取结果失败", waiting});
        // The tool leaves a pipe, so the page cannot take it for an earlier run's file; a reader
        // that opened it would hang the suite until its time-out.
        row("result file a pipe",
            {"mkfifo optimized_dh.json", "", noResult, "读取结果失败", waiting});
        row("result of an earlier run",
            {"exit 0", good, noResult, "读取结果失败", waiting, "-", "optimized_dh.json"});
        row("job file cannot be written", {"exit 0", good, "ERROR: Can't Write Job File: *",
                                           "启动失败", waiting, "-", "calibInfo.json/old"});
        row("tool missing",
            {"missing", good, "ERROR: Can't Find CalibTool: *", "启动失败", waiting});
        row("tool cannot start",
            {"noexec", good, "ERROR: Can't Start CalibTool: *", "启动失败", waiting});
        row("cancelled",
            {"cancel", good, "Notice: Calibration process has been cancelled", "标定已取消", ""});
        // Phase and progress lines as they arrive, shown until the tool fails.
        const auto progress = [&](const char* name, const QString& output, const QString& label) {
            row(name,
                {"printf '" + output + "'\nexit 1", good, "ERROR: ERROR: 1", "优化失败", label});
        };
        progress("phase, blanks around", "  [PHASE] OPTIMIZATION \\t\\r\\n", "优化中...");
        progress("among words, in one read", "x[PROGRESS]1/5\\n\\nstep [PROGRESS] 007 / 010 ok\\n",
                 "采集进度：7 / 10");
        progress("no final line feed", "[PROGRESS] 1/6\\n[PROGRESS] 5/6", "采集进度：5 / 6");
        progress("split across reads", "[PROGRESS] 12/2'\nsleep 0.3\nprintf '0\\n",
                 "采集进度：12 / 20");
    }

    // One press of "启动标定" to its end, and the page it leaves.
    void calibration()
    {
        QFETCH(Outcome, row);
        WidgetFixture fx;
        // Connected, with a serial number, on a root relative to the working folder as the
        // host's is; the tool may be "missing" or a file that cannot start ("noexec").
        fx.connectRobot(28);
        fx.find<QLineEdit>("snLineEdit")->setText(row.body == "no serial" ? "" : "SN-0042");
        common::calibrationDir = QDir::current().relativeFilePath(fx.dir.path());
        const QString path = calibrationToolPath(fx.dir.path());
        if (row.body == "noexec")
            writeTextFile(path, "#!/bin/sh\nexit 0\n");
        else if (row.body != "missing")
            writeFakeTool(path, tool(fx, row.body == "cancel"
                                             ? "printf '[PHASE] OPTIMIZATION\\n'\nexec sleep 60"
                                             : row.body));
        run(row.body == "unticked" ? "all; all" : "");
        QVERIFY(row.result.isEmpty() || writeTextFile(fx.path(row.file), row.result.toUtf8()));
        common::optimizedDHParamsVec = {99};
        common::zeroPointsVec = {9};
        fx.button("runCalibrationBtn")->click();
        QCOMPARE(fx.button("confirmBtn")->isEnabled(), row.state.isEmpty());
        if (row.body == "cancel") {
            QTRY_COMPARE_WITH_TIMEOUT(fx.text("connectionLabel"), QStringLiteral("优化中..."),
                                      30000);
            auto* timer = calibrationWidget::instance()->findChild<QTimer*>();
            QVERIFY(timer->isActive() && timer->interval() == 600000);
            fx.button("runCalibrationBtn")->click();
        }
        QTRY_COMPARE_WITH_TIMEOUT(fx.text("calibrationLabel"), row.state, 30000);
        const bool calibrated = row.joints != "-";
        QCOMPARE(fx.boxes(row.boxes), row.boxes);
        QCOMPARE(fx.text("connectionLabel") + fx.text("runCalibrationBtn"),
                 row.progress + (calibrated ? "标定完成" : "启动标定"));
        QCOMPARE(fx.button("runCalibrationBtn")->isEnabled(), !calibrated);
        QCOMPARE(fx.button("confirmBtn")->isEnabled(),
                 calibrated || row.body == "cancel" || row.state.isEmpty());
        QCOMPARE(QFileInfo::exists(fx.path("calibInfo.json")), !row.state.isEmpty());
        QDir(fx.path("calibInfo.json")).removeRecursively();
        settle();
        auto* runner = calibrationWidget::instance();
        QVERIFY(!runner->findChild<QProcess*>() &&
                !runner->findChild<QTimer*>({}, Qt::FindDirectChildrenOnly));
        QVector<double> values{99};
        for (const QString& n : calibrated ? row.joints.split(' ') : QStringList())
            values << 10 * n.toInt() << n.toInt() + 0.5 << 100 * n.toInt() << -n.toInt();
        QCOMPARE(common::optimizedDHParamsVec, calibrated ? values.mid(1) : values);
        QCOMPARE(QVector<double>(common::zeroPointsVec.begin(), common::zeroPointsVec.end()),
                 (calibrated ? QVector<double>{0.01, 0.03, 0, 0, 0, 0} : QVector<double>{9}));
        if (calibrated) {
            QCOMPARE(fx.text("averagePosErrorText") + " " + fx.text("averagePoseErrorText"),
                     "0.5000 1.2346");
            // Started in its own folder with the root exactly as the page holds it.
            QCOMPARE(QString(readTextFile(fx.path("args"))), QFileInfo(path).canonicalPath() +
                                                                 "\n--path\n" +
                                                                 common::calibrationDir + "\n");
        }
    }
};

LUMORA_TEST_MAIN(TestSetup)
#include "tst_setup.moc"
