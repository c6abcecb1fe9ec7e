#include "applyprocedure.h"
#include "auditlog.h"
#include "controllerreply.h"
#include "dhparameterwidget.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>

using namespace lumora::test;

namespace {

const QDateTime moment(QDate(2026, 12, 5), QTime(8, 43, 5, 123));
const QString dhCommand = "factory.set_DH_params_all";
const QString zeroCommand = "ethercat.set_precision_compensation_zero";
const QString auditFile = "logs/audit-dev-2026-12-05.log";
// Every press of this process, so that the plan id of the last one is known.
int presses = 0;

// The lines of a day's log file of one kind: "audit-dev" or "error".
QStringList logLines(const char* kind, const QDate& day = moment.date())
{
    const QString path = QString("logs/%1-%2.log").arg(kind, day.toString("yyyy-MM-dd"));
    return QString(readTextFile(path)).split('\n', Qt::SkipEmptyParts);
}

// The enabled label at a cell of the result table (placeholders are disabled), or "-".
QString shown(int row, int column)
{
    QGridLayout* table = dhparameterWidget::instance()->findChild<QGridLayout*>("tableLayout");
    QString text = "-";
    for (int i = 0, r, c, rowSpan, columnSpan; i < table->count(); ++i) {
        table->getItemPosition(i, &r, &c, &rowSpan, &columnSpan);
        auto* label = qobject_cast<QLabel*>(table->itemAt(i)->widget());
        text = r == row && c == column && label && label->isEnabled() ? label->text() : text;
    }
    return text;
}

// The page with a calibrated robot: controller links 1000.5 + k (or the connected robot's),
// optimised values 1.25 * k - 3, zero points 0.015625 * (axis + 1); a controller that accepts
// every step.
struct Apply : WidgetFixture
{
    explicit Apply(int axes = 6, bool connected = false)
    {
        setAuditClock([] { return moment; });
        link.setCommandReply(dhCommand, true);
        link.setCommandReply(zeroCommand, true);
        link.setFullCommandResult("system.controller.reboot", true);
        if (connected)
            connectRobot(4 * (axes + 1));
        link.calls.clear();
        common::axisNum = axes;
        for (int k = 0; !connected && k < 4 * (axes + 1); ++k)
            common::originalDHParamsVec << 1000.5 + k;
        for (int k = 0; k < 4 * axes; ++k)
            common::optimizedDHParamsVec << 1.25 * k - 3;
        for (int axis = 0; axis < axes; ++axis)
            common::zeroPointsVec.push_back(0.015625 * (axis + 1));
    }
    ~Apply() { setAuditClock(nullptr); }
    bool press() { return ++presses, runApplyProcedure(dhparameterWidget::instance()); }
    // The last press's lines of the audit (or error) file, without plan id and time.
    QStringList lines(const char* kind = "audit-dev") const
    {
        const QString stamp =
            QString(" planId=p%1 时间=12/05 08:43:05.123").arg(presses, 6, 10, QChar('0'));
        return logLines(kind).filter(stamp).replaceInStrings(stamp, "").replaceInStrings(
            QRegularExpression("耗时=\\d+ms"), "耗时=*ms");
    }
};

// One press: the DH values it sends (0: none), its boxes; for a refused press the sizes of the
// original, optimised and zero-point vectors and an index into them, one after another, that
// holds a non-finite value (-1: none), and its checks.
struct Press
{
    QString button;
    int axes, count;
    QString boxes;
    QVector<int> sizes = {};
    QString checks = {};
};

} // namespace

Q_DECLARE_METATYPE(Press)

class TestApply : public QObject
{
    Q_OBJECT

private slots:
    void resultTable_data()
    {
        QTest::addColumn<QVector<int>>("sizes"); // axes, original and optimised values
        QTest::addRow("ten axes, rows below the placeholders") << QVector<int>{10, 44, 40};
        QTest::addRow("vectors shorter than the axes") << QVector<int>{6, 13, 22};
        QTest::addRow("negative axis count") << QVector<int>{-1, 0, 24};
    }

    // Both halves of the result table, rebuilt without piling up labels.
    void resultTable()
    {
        QFETCH(QVector<int>, sizes);
        const int axes = qMax(sizes[0], 0);
        Apply fx(sizes[0]);
        common::originalDHParamsVec.resize(sizes[1]);
        common::optimizedDHParamsVec.fill(7.25, sizes[2]).last() = 1234567.5;
        dhparameterWidget* panel = dhparameterWidget::instance();
        for (int pass = 0; pass < 3; ++pass) {
            panel->initTableWithData();
            panel->writeDHResLabls(false);
            settle();
            QCOMPARE(panel->findChildren<QLabel*>().size(), 3 + 11 + 24 + 5 * axes + 4 * axes);
        }
        const auto text = [](const QVector<double>& values, int k) {
            return k < values.size() ? QString::number(values[k], 'g', 6) : QString();
        };
        for (int k = 0; k < 4 * axes; ++k) {
            QCOMPARE(shown(k / 4 + 2, 0), common::jointNames[k / 4]);
            QCOMPARE(shown(k / 4 + 2, k % 4 + 1), text(common::originalDHParamsVec, k));
            QCOMPARE(shown(k / 4 + 2, k % 4 + 5), text(common::optimizedDHParamsVec, k));
        }
        QCOMPARE(shown(axes + 2, 1) + shown(axes + 2, 5), QStringLiteral("--"));
    }

    void press_data()
    {
        QTest::addColumn<Press>("row");
        const auto row = [](const char* name, const Press& r) { QTest::addRow("%s", name) << r; };
        const QString finite =
            "[前置检查] 层=优化DH参数数量 结果=通过 期望=24 实际=24|"
            "[前置检查] 层=零点数量 结果=通过 期望=6 实际=6|"
            "[前置检查] 层=数值有效性 结果=拒绝 原因=检查DH参数和零点中的NaN/Inf|"
            "[数值异常] 阶段=应用参数 事件=DH参数或零点包含NaN/Inf 影响=未向控制器下发|"
            "[被拒绝] 拒绝层=数值有效性 原因=存在不可写入的非有限数值 "
            "业务影响=未下发DH参数、零点和重启 建议=检查标定结果";
        const QString refused = "|[被拒绝] 拒绝层=优化DH参数数量 原因=未找到完整优化结果 "
                                "业务影响=未下发DH参数、零点和重启 建议=先运行标定";
        const QString count = "[前置检查] 层=优化DH参数数量 结果=拒绝 ";
        const auto zeros = [](int n) {
            return "[前置检查] 层=优化DH参数数量 结果=通过 期望=24 实际=24|"
                   "[前置检查] 层=零点数量 结果=拒绝 期望=6 实际=" +
                   QString::number(n) +
                   "|[被拒绝] 拒绝层=零点数量 原因=零点数量与轴数不符 "
                   "业务影响=未下发DH参数、零点和重启 建议=重新运行标定";
        };
        const QString confirm = "confirmBtn",
                      noResult = "错误: 未找到优化后的DH参数，请先运行标定！",
                      badZeros = "错误: 零点数量与轴数不符，未应用参数！",
                      badValue = "错误: DH参数或零点包含无效数值，未应用参数！";
        row("give up", {"giveUpBtn", 6, 0, ""});
        row("five axes", {confirm, 5, 20, ""});
        row("seven axes take the trailing link", {confirm, 7, 32, ""});
        row("eight axes", {confirm, 8, 32, ""});
        row("zero write fails", {confirm, 6, 24, "错误: 零点写入控制器失败！"});
        row("no calibration yet",
            {confirm, 6, 0, noResult, {28, 0, 6, -1}, count + "期望=24 实际=0" + refused});
        row("after give-up",
            {confirm, 6, 0, noResult, {0, 0, 6, -1}, count + "期望=-4 实际=0" + refused});
        row("optimised too long",
            {confirm, 6, 0, noResult, {28, 28, 6, -1}, count + "期望=24 实际=28" + refused});
        row("five zero points for six axes", {confirm, 6, 0, badZeros, {28, 24, 5, -1}, zeros(5)});
        row("seven zero points for six axes", {confirm, 6, 0, badZeros, {28, 24, 7, -1}, zeros(7)});
        row("trailing controller link", {confirm, 6, 0, badValue, {28, 24, 6, 27}, finite});
        row("last optimised value", {confirm, 6, 0, badValue, {28, 24, 6, 28 + 23}, finite});
        row("last zero point", {confirm, 6, 0, badValue, {28, 24, 6, 28 + 24 + 5}, finite});
    }

    // Giving up or applying resets the runner first and the setup panel second, then the
    // result; a failed or refused apply changes nothing, a refused one sends nothing either.
    // Alpha, a and d go out from the optimisation, theta the controller's own, zero points as
    // read; the trace receives the audit lines.
    void press()
    {
        QFETCH(Press, row);
        Apply fx(row.axes, true);
        TraceCapture trace;
        const bool reset = row.boxes.isEmpty();
        fx.link.setCommandReply(zeroCommand, reset);
        dhparameterWidget* panel = dhparameterWidget::instance();
        panel->writeDHResLabls(false);
        panel->updateErrorLabels("0.1000", "0.2000");
        fx.find<QLabel>("calibrationLabel")->setText("请检查右侧数据并应用参数");
        fx.button("runCalibrationBtn")->setEnabled(false);
        fx.find<QLineEdit>("snLineEdit")->setText("SN-3");
        if (!row.sizes.isEmpty()) {
            common::originalDHParamsVec.resize(row.sizes[0]);
            common::optimizedDHParamsVec.resize(row.sizes[1]);
            common::zeroPointsVec.resize(size_t(row.sizes[2]));
            const double bad = row.sizes[3] > 50 ? std::nan("") : INFINITY;
            const int zero = row.sizes[3] - row.sizes[0] - row.sizes[1];
            if (zero >= 0)
                common::zeroPointsVec[size_t(zero)] = bad;
            else if (row.sizes[3] >= row.sizes[0])
                common::optimizedDHParamsVec[row.sizes[3] - row.sizes[0]] = bad;
            else if (row.sizes[3] >= 0)
                common::originalDHParamsVec[row.sizes[3]] = bad;
        }
        const QVector<double> original = common::originalDHParamsVec,
                              optimized = common::optimizedDHParamsVec;
        const size_t zeros = common::zeroPointsVec.size();
        QString seen;
        const auto look = [&] {
            seen = QStringList{fx.text("calibrationLabel"), fx.text("snLineEdit"),
                               QString::number(common::originalDHParamsVec.size())}
                       .join('|');
        };
        connect(panel, &dhparameterWidget::giveupBtnSignals, this, look);
        connect(panel, &dhparameterWidget::confirmBtnSingals, this, look);
        presses += row.button == "confirmBtn";

        fx.button(qPrintable(row.button))->click();

        QCOMPARE(fx.boxes(), row.boxes);
        QCOMPARE(seen, reset ? "||" + QString::number(original.size()) : "");
        QCOMPARE(common::originalDHParamsVec.size() + common::optimizedDHParamsVec.size(),
                 reset ? 0 : original.size() + optimized.size());
        QCOMPARE(common::zeroPointsVec.size(), zeros);
        QCOMPARE(fx.text("averagePosErrorText") + fx.text("averagePoseErrorText"),
                 reset ? "" : "0.10000.2000");
        QCOMPARE(shown(2, 5) + shown(row.axes + 1, 8), reset ? "" : "-325.75");
        QCOMPARE(shown(2, 1), QStringLiteral("-20"));
        QCOMPARE(fx.text("calibrationLabel").isEmpty(), reset);
        QCOMPARE(fx.button("runCalibrationBtn")->isEnabled(), reset);
        QCOMPARE(fx.link.calls.isEmpty(), !row.count);
        const QString id = QString(" planId=p%1 ").arg(presses, 6, 10, QChar('0'));
        QCOMPARE(trace.lines().filter(id), logLines("audit-dev").filter(id));
        if (!row.checks.isEmpty()) {
            QCOMPARE(fx.lines().join('|'),
                     QString("[输入到达] 调用=应用参数 轴数=6 原始DH参数数量=%1 优化DH参数数量=%2 "
                             "零点数量=%3|")
                             .arg(row.sizes[0])
                             .arg(row.sizes[1])
                             .arg(row.sizes[2]) +
                         row.checks);
            QCOMPARE(fx.lines("error"), QStringList{row.checks.section('|', -1)});
            QCOMPARE(fx.answerer.last().icon, row.checks.contains("拒绝层=数值有效性")
                                                  ? QMessageBox::Critical
                                                  : QMessageBox::Warning);
        }
        if (!row.count)
            return;
        const QJsonArray dh =
            fx.link.calls.value(0).argument.toJsonObject()["DH_params_all"].toArray();
        QCOMPARE(dh.size(), row.count);
        for (int k = 0; k < row.count; ++k)
            QCOMPARE(dh[k].toDouble(),
                     k % 4 == 3 || k >= 4 * row.axes ? original[k] : optimized[k]);
        const QJsonArray zero =
            fx.link.calls.value(1).argument.toJsonObject()["joint_angle_A"].toArray();
        QCOMPARE(zero.size(), row.axes);
        QCOMPARE(zero.last().toDouble(), 0.015625 * row.axes);
        QStringList calls;
        for (const LinkCall& call : fx.link.calls)
            calls << call.name + " " + QString::number(call.number) + " " +
                         jsonValueToText(call.params);
        QCOMPARE(calls.join('|'), dhCommand + " 0 null|" + zeroCommand + " 0 null" +
                                      (reset ? "|system.controller.reboot 4800 null" : ""));
        QCOMPARE(fx.lines().size(), reset ? 13 : 11);
        QCOMPARE(logLines("error").isEmpty(), reset);
        if (reset)
            QCOMPARE(fx.lines().last(),
                     QStringLiteral("[输出] 结果=成功 DH参数=写入成功 "
                                    "零点=写入成功 重启=成功 耗时=*ms 去向=控制器"));
    }

    void replyText_data()
    {
        QTest::addColumn<QString>("json"); // an array holding the value, then its text
        QTest::addRow("object") << R"([{"msg": "完成", "code": 0}]|{"code":0,"msg":"完成"})";
        QTest::addRow("fifteen digits") << "[0.30000000000000004]|0.3";
        QTest::addRow("string kept raw") << "[\"失败 \\\"x\\\"\"]|失败 \"x\"";
        QTest::addRow("undefined") << "[]|undefined";
    }

    void replyText()
    {
        QFETCH(QString, json);
        const QJsonValue value =
            QJsonDocument::fromJson(json.section('|', 0, 0).toUtf8()).array().at(0);
        QCOMPARE(jsonValueToText(value), json.section('|', 1));
    }

    void auditLine_data()
    {
        QTest::addColumn<QString>("line"); // tag, message; "!" when it belongs in the error file
        QTest::addRow("failure verdict") << "外部下发|实际=失败 响应=null!";
        QTest::addRow("failure word first") << "输入到达|失败!";
        QTest::addRow("percent signs") << "%1|参数=%2 %L3 100%";
    }

    // One line per record in the day's audit file, failures also in the error file.
    void auditLine()
    {
        QFETCH(QString, line);
        const bool error = line.endsWith('!');
        const QString tag = line.section('|', 0, 0), message = line.section('|', 1).remove('!');
        Apply fx;
        writeAuditLog("p000042", tag, message);
        const QString text =
            QString("[%1] planId=p000042 时间=12/05 08:43:05.123 ").arg(tag) + message;
        QCOMPARE(readTextFile(auditFile), text.toUtf8() + "\n");
        QCOMPARE(logLines("error"), error ? QStringList{text} : QStringList());
    }

    // A record that cannot be written stops the apply before the controller hears of it and
    // leaves the file as it was; once the disk has room again, a torn last line is ended before
    // the next record.
    void auditDiskFull()
    {
        Apply fx;
        const QByteArray torn = "[输入到达] planId=p000000 时间=12/05 08:59:59.000 torn";
        QVERIFY(writeTextFile(auditFile, torn));
        auto full = limitFileSize(torn.size() + 20);
        QVERIFY(!fx.press());
        full.reset();
        QCOMPARE(fx.boxes(), "错误: 审计日志写入失败，未下发DH参数、零点和重启！");
        QVERIFY(fx.link.calls.isEmpty());
        QCOMPARE(readTextFile(auditFile), torn);
        QVERIFY(fx.press());
        QVERIFY(readTextFile(auditFile).startsWith(torn + "\n[输入到达] planId="));
    }
};

LUMORA_TEST_MAIN(TestApply)
#include "tst_apply.moc"
