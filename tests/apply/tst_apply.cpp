#include "applyprocedure.h"
#include "auditfiles.h"
#include "auditlog.h"
#include "centerwidget.h"
#include "common.h"
#include "dhparameterwidget.h"
#include "messageboxanswerer.h"
#include "scriptedlink.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>

#include <cmath>
#include <interfacemanager.h>
#include <limits>
#include <memory>

using namespace lumora::test;

namespace {

const QString dhCommand = QStringLiteral("factory.set_DH_params_all");
const QString zeroCommand = QStringLiteral("ethercat.set_precision_compensation_zero");
const QString rebootCommand = QStringLiteral("system.controller.reboot");
const QDateTime fixedMoment(QDate(2026, 12, 5), QTime(8, 43, 5, 123));

// A calibrated robot: the controller's links (axes + 1) and the optimised axes differ in every
// value, so that a payload shows which vector each element came from.
void loadCalibration(int axes)
{
    common::axisNum = axes;
    common::originalDHParamsVec.clear();
    for (int k = 0; k < 4 * (axes + 1); ++k)
        common::originalDHParamsVec.append(1000.5 + k);
    common::optimizedDHParamsVec.clear();
    for (int k = 0; k < 4 * axes; ++k)
        common::optimizedDHParamsVec.append(k * 1.25 - 3);
    common::zeroPointsVec.clear();
    for (int i = 0; i < axes; ++i)
        common::zeroPointsVec.push_back(0.015625 * (i + 1));
}

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

QString planIdOf(int press)
{
    return QStringLiteral("p%1").arg(press, 6, 10, QLatin1Char('0'));
}

} // namespace

class TestApply : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    // First test, so that in a full run it sees the first press of the process.
    void planIdsCountUpFromOne();
    void countLayerRefuses_data();
    void countLayerRefuses();
    void finiteLayerRefuses_data();
    void finiteLayerRefuses();
    void dhPayload_data();
    void dhPayload();
    void zeroPointPayload_data();
    void zeroPointPayload();
    void dhStageReply_data();
    void dhStageReply();
    void zeroStageReply_data();
    void zeroStageReply();
    void rebootRefused();
    void successfulPressAuditTrail();
    void applyButtonResetsThePanels();
    void applyButtonFailureKeepsEverything();
    void replyText_data();
    void replyText();

private:
    bool press();
    void clickApply();
    QString lastPlanId() const { return planIdOf(presses); }
    QStringList lastPressLines() const;
    QString line(const QString& tag, const QString& message) const;
    QStringList errorFileLines() const { return logLines(errorFilePath(fixedMoment.date())); }

    // Every press of this process goes through press() or clickApply(), so the plan id of the
    // last one is known.
    int presses = 0;
    std::unique_ptr<centerWidget> page;
    std::unique_ptr<ScriptedLink> link;
    std::unique_ptr<MessageBoxAnswerer> boxes;
};

bool TestApply::press()
{
    ++presses;
    return runApplyProcedure(dhparameterWidget::instance());
}

void TestApply::clickApply()
{
    auto* button = page->findChild<QPushButton*>(QStringLiteral("confirmBtn"));
    QVERIFY(button);
    ++presses;
    button->click();
}

QStringList TestApply::lastPressLines() const
{
    return planLines(logLines(auditFilePath(fixedMoment.date())), lastPlanId());
}

QString TestApply::line(const QString& tag, const QString& message) const
{
    return QStringLiteral("[%1] planId=%2 %3").arg(tag, lastPlanId(), message);
}

void TestApply::init()
{
    removeLogs();
    setAuditClock([] { return fixedMoment; });
    common::axisNum = 0;
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();

    link = std::make_unique<ScriptedLink>();
    tavrin::tavrinInterface().setControllerLink(link.get());
    page = std::make_unique<centerWidget>();
    boxes = std::make_unique<MessageBoxAnswerer>();
    link->setCommandReply(dhCommand, true);
    link->setCommandReply(zeroCommand, true);
    link->setFullCommandResult(rebootCommand, true);
    link->calls.clear();
}

void TestApply::cleanup()
{
    boxes.reset();
    page.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    link.reset();
    setAuditClock(nullptr);
}

void TestApply::planIdsCountUpFromOne()
{
    const int before = presses;
    QVERIFY(!press());
    QVERIFY(!press());
    QVERIFY(!press());
    QStringList ids;
    for (const QString& text : logLines(auditFilePath(fixedMoment.date()))) {
        const QString id = withoutTime(text).section(QStringLiteral("planId="), 1).left(7);
        if (!ids.contains(id))
            ids.append(id);
    }
    QCOMPARE(ids, (QStringList{planIdOf(before + 1), planIdOf(before + 2), planIdOf(before + 3)}));
    if (before == 0)
        QCOMPARE(ids.first(), QStringLiteral("p000001"));
    // Every press writes its own complete refusal.
    for (const QString& id : ids)
        QCOMPARE(planLines(logLines(auditFilePath(fixedMoment.date())), id).size(), 3);
}

void TestApply::countLayerRefuses_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<int>("originalSize");
    QTest::addColumn<int>("optimizedSize");
    QTest::addColumn<int>("expected");
    QTest::addColumn<int>("actual");

    QTest::addRow("no calibration yet") << 6 << 28 << 0 << 24 << 0;
    QTest::addRow("after give-up or apply") << 6 << 0 << 0 << -4 << 0;
    QTest::addRow("optimised vector too long") << 6 << 28 << 28 << 24 << 28;
    QTest::addRow("six-axis result on a seven-axis robot") << 7 << 32 << 24 << 28 << 24;
    // Sizes agree, but the payload would read past them.
    QTest::addRow("axis count beyond both vectors") << 7 << 28 << 24 << 28 << 24;
    QTest::addRow("short vectors on six axes") << 6 << 8 << 4 << 24 << 4;
}

void TestApply::countLayerRefuses()
{
    QFETCH(int, axes);
    QFETCH(int, originalSize);
    QFETCH(int, optimizedSize);
    QFETCH(int, expected);
    QFETCH(int, actual);

    common::axisNum = axes;
    common::originalDHParamsVec = QVector<double>(originalSize, 1.5);
    common::optimizedDHParamsVec = QVector<double>(optimizedSize, 2.5);
    common::zeroPointsVec = std::vector<double>(6, 0.25);

    QVERIFY(!press());

    const QString refusal =
        line(QStringLiteral("被拒绝"),
             QStringLiteral("拒绝层=优化DH参数数量 原因=未找到完整优化结果 "
                            "业务影响=未下发DH参数、零点和重启 建议=先运行标定"));
    QCOMPARE(lastPressLines(),
             (QStringList{line(QStringLiteral("输入到达"),
                               QStringLiteral("调用=应用参数 轴数=%1 原始DH参数数量=%2 "
                                              "优化DH参数数量=%3 零点数量=6")
                                   .arg(axes)
                                   .arg(originalSize)
                                   .arg(optimizedSize)),
                          line(QStringLiteral("前置检查"),
                               QStringLiteral("层=优化DH参数数量 结果=拒绝 期望=%1 实际=%2")
                                   .arg(expected)
                                   .arg(actual)),
                          refusal}));
    QCOMPARE(planLines(errorFileLines(), lastPlanId()), QStringList{refusal});

    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Warning);
    QCOMPARE(boxes->last().title, QStringLiteral("错误"));
    QCOMPARE(boxes->last().text, QStringLiteral("未找到优化后的DH参数，请先运行标定！"));
    QCOMPARE(boxes->last().buttons, QStringList{QStringLiteral("OK")});
    QVERIFY(link->calls.isEmpty());
    QCOMPARE(common::originalDHParamsVec.size(), originalSize);
    QCOMPARE(common::optimizedDHParamsVec.size(), optimizedSize);
}

void TestApply::finiteLayerRefuses_data()
{
    QTest::addColumn<int>("vector");
    QTest::addColumn<int>("index");
    QTest::addColumn<double>("value");

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    QTest::addRow("NaN controller theta") << 0 << 3 << nan;
    QTest::addRow("infinite trailing link, never sent") << 0 << 27 << inf;
    QTest::addRow("NaN optimised a") << 1 << 13 << nan;
    QTest::addRow("negative infinite optimised d") << 1 << 22 << -inf;
    QTest::addRow("NaN zero point") << 2 << 0 << nan;
    QTest::addRow("infinite last zero point") << 2 << 5 << inf;
}

void TestApply::finiteLayerRefuses()
{
    QFETCH(int, vector);
    QFETCH(int, index);
    QFETCH(double, value);

    loadCalibration(6);
    if (vector == 0)
        common::originalDHParamsVec[index] = value;
    else if (vector == 1)
        common::optimizedDHParamsVec[index] = value;
    else
        common::zeroPointsVec[size_t(index)] = value;

    QVERIFY(!press());

    const QString refusal =
        line(QStringLiteral("被拒绝"),
             QStringLiteral("拒绝层=数值有效性 原因=存在不可写入的非有限数值 "
                            "业务影响=未下发DH参数、零点和重启 建议=检查标定结果"));
    QCOMPARE(lastPressLines(),
             (QStringList{line(QStringLiteral("输入到达"),
                               QStringLiteral("调用=应用参数 轴数=6 原始DH参数数量=28 "
                                              "优化DH参数数量=24 零点数量=6")),
                          line(QStringLiteral("前置检查"),
                               QStringLiteral("层=优化DH参数数量 结果=通过 期望=24 实际=24")),
                          line(QStringLiteral("前置检查"),
                               QStringLiteral("层=零点数量 结果=通过 期望=6 实际=6")),
                          line(QStringLiteral("前置检查"),
                               QStringLiteral("层=数值有效性 结果=拒绝 原因=检查DH参数和零点中的"
                                              "NaN/Inf")),
                          line(QStringLiteral("数值异常"),
                               QStringLiteral("阶段=应用参数 事件=DH参数或零点包含NaN/Inf "
                                              "影响=未向控制器下发")),
                          refusal}));
    QCOMPARE(planLines(errorFileLines(), lastPlanId()), QStringList{refusal});

    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(boxes->last().title, QStringLiteral("错误"));
    QCOMPARE(boxes->last().text, QStringLiteral("DH参数或零点包含无效数值，未应用参数！"));
    QCOMPARE(boxes->last().buttons, QStringList{QStringLiteral("OK")});
    QVERIFY(link->calls.isEmpty());
}

void TestApply::dhPayload_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<int>("count");
    QTest::addRow("six axes") << 6 << 24;
    QTest::addRow("seven axes take the trailing link") << 7 << 32;
    QTest::addRow("five axes") << 5 << 20;
    QTest::addRow("eight axes") << 8 << 32;
}

void TestApply::dhPayload()
{
    QFETCH(int, axes);
    QFETCH(int, count);

    loadCalibration(axes);
    QVERIFY(press());

    const QList<LinkCall> sent = link->callsNamed(dhCommand);
    QCOMPARE(sent.size(), 1);
    const QJsonObject payload = sent.first().argument.toJsonObject();
    QCOMPARE(payload.keys(), QStringList{QStringLiteral("DH_params_all")});
    const QJsonArray values = payload.value(QStringLiteral("DH_params_all")).toArray();
    QCOMPARE(values.size(), count);
    for (int k = 0; k < 4 * axes; ++k) {
        // Theta (every fourth value) is the controller's own, the rest is optimised.
        const double wanted =
            k % 4 == 3 ? common::originalDHParamsVec.at(k) : common::optimizedDHParamsVec.at(k);
        QVERIFY2(values.at(k).isDouble(), qPrintable(QString::number(k)));
        QCOMPARE(values.at(k).toDouble(), wanted);
    }
    for (int k = 4 * axes; k < count; ++k)
        QCOMPARE(values.at(k).toDouble(), common::originalDHParamsVec.at(k));

    const QStringList lines = lastPressLines();
    QVERIFY(lines.contains(
        line(QStringLiteral("数据组装"), QStringLiteral("DH参数已组装 数量=%1 内容=%2")
                                             .arg(QString::number(count), compact(payload)))));
}

void TestApply::zeroPointPayload_data()
{
    QTest::addColumn<QVector<double>>("zeroPoints");
    QTest::addRow("six offsets") << QVector<double>{0.5, -0.25, 1e-7, 0, 12.75, -3};
}

void TestApply::zeroPointPayload()
{
    QFETCH(QVector<double>, zeroPoints);

    loadCalibration(6);
    common::zeroPointsVec.assign(zeroPoints.cbegin(), zeroPoints.cend());
    QVERIFY(press());

    const QList<LinkCall> sent = link->callsNamed(zeroCommand);
    QCOMPARE(sent.size(), 1);
    const QJsonObject payload = sent.first().argument.toJsonObject();
    QCOMPARE(payload.keys(), QStringList{QStringLiteral("joint_angle_A")});
    QVector<double> values;
    for (const QJsonValue& value : payload.value(QStringLiteral("joint_angle_A")).toArray())
        values.append(value.toDouble());
    QCOMPARE(values, zeroPoints);
    QVERIFY(lastPressLines().contains(
        line(QStringLiteral("数据组装"),
             QStringLiteral("零点补偿已组装 A数量=%1 内容=%2")
                 .arg(QString::number(zeroPoints.size()), compact(payload)))));
}

void TestApply::dhStageReply_data()
{
    QTest::addColumn<QJsonValue>("reply");
    QTest::addColumn<bool>("success");
    QTest::addColumn<QString>("text");

    const auto object = [](const QJsonObject& o) { return QJsonValue(o); };
    QTest::addRow("success false beats code 0")
        << object({{"success", false}, {"code", 0}}) << false << R"({"code":0,"success":false})";
    QTest::addRow("success true beats code 5")
        << object({{"success", true}, {"code", 5}}) << true << R"({"code":5,"success":true})";
    QTest::addRow("success not a bool, code 1")
        << object({{"success", "yes"}, {"code", 1}}) << false << R"({"code":1,"success":"yes"})";
    QTest::addRow("code 0") << object({{"code", 0}}) << true << R"({"code":0})";
    QTest::addRow("code 3") << object({{"code", 3}}) << false << R"({"code":3})";
    QTest::addRow("code as text") << object({{"code", "0"}}) << true << R"({"code":"0"})";
    QTest::addRow("fractional code") << object({{"code", 0.5}}) << false << R"({"code":0.5})";
    QTest::addRow("code beyond int")
        << object({{"code", 1e12}}) << false << R"({"code":1000000000000})";
    QTest::addRow("empty object") << object({}) << true << "{}";
    QTest::addRow("true") << QJsonValue(true) << true << "true";
    QTest::addRow("false") << QJsonValue(false) << false << "false";
    QTest::addRow("zero") << QJsonValue(0) << true << "0";
    QTest::addRow("one") << QJsonValue(1) << false << "1";
    QTest::addRow("null") << QJsonValue(QJsonValue::Null) << false << "null";
    QTest::addRow("no value") << QJsonValue(QJsonValue::Undefined) << false << "undefined";
    QTest::addRow("string ok") << QJsonValue("ok") << true << "ok";
    QTest::addRow("empty array") << QJsonValue(QJsonArray()) << true << "[]";
}

void TestApply::dhStageReply()
{
    QFETCH(QJsonValue, reply);
    QFETCH(bool, success);
    QFETCH(QString, text);

    loadCalibration(6);
    link->setCommandReply(dhCommand, reply);
    QCOMPARE(press(), success);

    const QStringList lines = lastPressLines();
    const QString verdict =
        line(QStringLiteral("外部下发"),
             QStringLiteral("阶段=DH_WRITE 实际=%1 响应=%2")
                 .arg(success ? QStringLiteral("成功") : QStringLiteral("失败"), text));
    const int at = lines.indexOf(verdict);
    QVERIFY2(at > 0, qPrintable(lines.join(QLatin1Char('\n'))));
    QVERIFY(lines.at(at - 1).startsWith(
        line(QStringLiteral("外部下发"),
             QStringLiteral("阶段=DH_WRITE 目标=控制器/factory.set_DH_params_all "
                            "意图=写入并等待接口结果 参数={\"DH_params_all\":["))));
    QCOMPARE(link->callsNamed(zeroCommand).size(), success ? 1 : 0);
    QCOMPARE(link->callsNamed(rebootCommand).size(), success ? 1 : 0);
    if (success) {
        QCOMPARE(boxes->count(), 0);
        QVERIFY(planLines(errorFileLines(), lastPlanId()).isEmpty());
        return;
    }
    const QString exception =
        line(QStringLiteral("异常"), QStringLiteral("发生阶段=DH参数下发 异常类型=同步接口返回失败 "
                                                    "业务影响=未下发零点、未重启 耗时=*ms"));
    QCOMPARE(lines.mid(at), (QStringList{verdict, exception}));
    QCOMPARE(planLines(errorFileLines(), lastPlanId()), (QStringList{verdict, exception}));
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(boxes->last().title, QStringLiteral("错误"));
    QCOMPARE(boxes->last().text, QStringLiteral("DH参数写入控制器失败！"));
    QCOMPARE(boxes->last().buttons, QStringList{QStringLiteral("OK")});
    QCOMPARE(common::optimizedDHParamsVec.size(), 24);
}

void TestApply::zeroStageReply_data()
{
    dhStageReply_data();
}

void TestApply::zeroStageReply()
{
    QFETCH(QJsonValue, reply);
    QFETCH(bool, success);
    QFETCH(QString, text);

    loadCalibration(6);
    link->setCommandReply(zeroCommand, reply);
    QCOMPARE(press(), success);

    const QStringList lines = lastPressLines();
    const QString verdict =
        line(QStringLiteral("外部下发"),
             QStringLiteral("阶段=ZERO_WRITE 实际=%1 响应=%2")
                 .arg(success ? QStringLiteral("成功") : QStringLiteral("失败"), text));
    const int at = lines.indexOf(verdict);
    QVERIFY2(at > 0, qPrintable(lines.join(QLatin1Char('\n'))));
    QCOMPARE(link->callsNamed(dhCommand).size(), 1);
    QCOMPARE(link->callsNamed(rebootCommand).size(), success ? 1 : 0);
    if (success) {
        QCOMPARE(boxes->count(), 0);
        return;
    }
    const QString exception =
        line(QStringLiteral("异常"), QStringLiteral("发生阶段=零点下发 异常类型=同步接口返回失败 "
                                                    "业务影响=未重启 耗时=*ms"));
    QCOMPARE(lines.mid(at), (QStringList{verdict, exception}));
    QCOMPARE(planLines(errorFileLines(), lastPlanId()), (QStringList{verdict, exception}));
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(boxes->last().text, QStringLiteral("零点写入控制器失败！"));
}

void TestApply::rebootRefused()
{
    loadCalibration(6);
    link->setFullCommandResult(rebootCommand, false);
    QVERIFY(!press());

    const QList<LinkCall> reboot = link->callsNamed(rebootCommand);
    QCOMPARE(reboot.size(), 1);
    QCOMPARE(reboot.first().kind, QStringLiteral("fullCommand"));
    QVERIFY(reboot.first().params.isNull());
    QCOMPARE(reboot.first().number, 4800);

    const QString verdict =
        line(QStringLiteral("外部下发"), QStringLiteral("阶段=REBOOT 实际=失败 接口返回值=0"));
    const QString exception =
        line(QStringLiteral("异常"), QStringLiteral("发生阶段=控制器重启 异常类型=接口返回失败 "
                                                    "业务影响=参数已下发但未确认重启 耗时=*ms"));
    QCOMPARE(lastPressLines().mid(lastPressLines().size() - 3),
             (QStringList{line(QStringLiteral("外部下发"),
                               QStringLiteral("阶段=REBOOT 目标=控制器/system.controller.reboot "
                                              "意图=重启并应用DH参数和零点")),
                          verdict, exception}));
    QCOMPARE(planLines(errorFileLines(), lastPlanId()), (QStringList{verdict, exception}));
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(boxes->last().text, QStringLiteral("控制器重启失败！"));
    QCOMPARE(common::originalDHParamsVec.size(), 28);
    QCOMPARE(common::optimizedDHParamsVec.size(), 24);
}

void TestApply::successfulPressAuditTrail()
{
    common::axisNum = 2;
    common::originalDHParamsVec = {0, 0, 300.5, 0, -90, 50, 0, -90, 0, 400, 0, 0};
    common::optimizedDHParamsVec = {0.01, 0.02, 300.25, 0.5, -89.99, 50.125, 0.003, -90.5};
    common::zeroPointsVec = {0.125, -0.0625};
    link->setCommandReply(dhCommand, QJsonObject{{"code", 0}, {"message", "完成"}});
    TraceCapture trace;

    QVERIFY(press());

    const QString dh =
        QStringLiteral(R"({"DH_params_all":[0.01,0.02,300.25,0,-89.99,50.125,0.003,-90]})");
    const QString zero = QStringLiteral(R"({"joint_angle_A":[0.125,-0.0625]})");
    const QStringList expected{
        line("输入到达", "调用=应用参数 轴数=2 原始DH参数数量=12 优化DH参数数量=8 零点数量=2"),
        line("前置检查", "层=优化DH参数数量 结果=通过 期望=8 实际=8"),
        line("前置检查", "层=零点数量 结果=通过 期望=2 实际=2"),
        line("前置检查", "层=数值有效性 结果=通过 原因=检查DH参数和零点中的NaN/Inf"),
        line("数据组装", "DH参数已组装 数量=8 内容=" + dh),
        line("外部下发", "阶段=DH_WRITE 目标=控制器/factory.set_DH_params_all "
                         "意图=写入并等待接口结果 参数=" +
                             dh),
        line("外部下发", R"(阶段=DH_WRITE 实际=成功 响应={"code":0,"message":"完成"})"),
        line("数据组装", "零点补偿已组装 A数量=2 内容=" + zero),
        line("外部下发", "阶段=ZERO_WRITE 目标=控制器/ethercat.set_precision_compensation_zero "
                         "意图=写入并等待接口结果 参数=" +
                             zero),
        line("外部下发", "阶段=ZERO_WRITE 实际=成功 响应=true"),
        line("外部下发", "阶段=REBOOT 目标=控制器/system.controller.reboot "
                         "意图=重启并应用DH参数和零点"),
        line("外部下发", "阶段=REBOOT 实际=成功 接口返回值=1"),
        line("输出", "结果=成功 DH参数=写入成功 零点=写入成功 重启=成功 耗时=*ms 去向=控制器"),
    };
    QCOMPARE(lastPressLines(), expected);
    QVERIFY(!QFile::exists(errorFilePath(fixedMoment.date())));
    // The trace log receives the same lines, in the same order.
    QStringList traced;
    for (const QString& text : trace.lines())
        traced.append(withoutTime(text).replace(QRegularExpression("耗时=\\d+ms"), "耗时=*ms"));
    QCOMPARE(traced, expected);

    QStringList calls;
    for (const LinkCall& call : link->calls)
        calls.append(call.kind + QLatin1Char(' ') + call.name);
    QCOMPARE(calls, (QStringList{"execCommand " + dhCommand, "execCommand " + zeroCommand,
                                 "fullCommand " + rebootCommand}));
    QCOMPARE(boxes->count(), 0);
    // Resetting the panels and the vectors is the caller's part.
    QCOMPARE(common::originalDHParamsVec.size(), 12);
    QCOMPARE(common::optimizedDHParamsVec.size(), 8);
}

void TestApply::applyButtonResetsThePanels()
{
    loadCalibration(6);
    dhparameterWidget* panel = dhparameterWidget::instance();
    panel->updateErrorLabels(QStringLiteral("0.12"), QStringLiteral("0.03"));
    QSignalSpy confirmed(panel, &dhparameterWidget::confirmBtnSingals);

    clickApply();

    QCOMPARE(confirmed.count(), 1);
    QCOMPARE(
        lastPressLines().last(),
        line("输出", "结果=成功 DH参数=写入成功 零点=写入成功 重启=成功 耗时=*ms 去向=控制器"));
    QVERIFY(common::originalDHParamsVec.isEmpty());
    QVERIFY(common::optimizedDHParamsVec.isEmpty());
    QCOMPARE(common::zeroPointsVec.size(), size_t(6));
    for (const char* name : {"averagePosErrorText", "averagePoseErrorText"})
        QVERIFY(panel->findChild<QLineEdit*>(QLatin1String(name))->text().isEmpty());
    QCOMPARE(boxes->count(), 0);

    // A second press finds nothing to apply.
    clickApply();
    QCOMPARE(confirmed.count(), 1);
    QVERIFY(
        lastPressLines().contains(line("前置检查", "层=优化DH参数数量 结果=拒绝 期望=-4 实际=0")));
    QCOMPARE(boxes->count(), 1);
}

void TestApply::applyButtonFailureKeepsEverything()
{
    loadCalibration(7);
    dhparameterWidget* panel = dhparameterWidget::instance();
    panel->updateErrorLabels(QStringLiteral("0.12"), QStringLiteral("0.03"));
    link->setCommandReply(zeroCommand, QJsonValue(QJsonValue::Null));
    QSignalSpy confirmed(panel, &dhparameterWidget::confirmBtnSingals);

    clickApply();

    QCOMPARE(confirmed.count(), 0);
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(common::originalDHParamsVec.size(), 32);
    QCOMPARE(common::optimizedDHParamsVec.size(), 28);
    QCOMPARE(panel->findChild<QLineEdit*>(QStringLiteral("averagePosErrorText"))->text(),
             QStringLiteral("0.12"));
}

void TestApply::replyText_data()
{
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("text");
    QTest::addRow("nested object, UTF-8 decoded")
        << QJsonValue(QJsonObject{{"msg", "完成"}, {"data", QJsonArray{1, true}}})
        << R"({"data":[1,true],"msg":"完成"})";
    QTest::addRow("array") << QJsonValue(QJsonArray{"a", QJsonValue()}) << R"(["a",null])";
    QTest::addRow("fifteen digits") << QJsonValue(0.1 + 0.2) << "0.3";
    QTest::addRow("large") << QJsonValue(1e20) << "1e+20";
    QTest::addRow("integral") << QJsonValue(4800) << "4800";
    QTest::addRow("string kept raw") << QJsonValue("失败 \"x\"") << "失败 \"x\"";
    QTest::addRow("empty string") << QJsonValue("") << "";
    QTest::addRow("false") << QJsonValue(false) << "false";
    QTest::addRow("null") << QJsonValue(QJsonValue::Null) << "null";
    QTest::addRow("undefined") << QJsonValue(QJsonValue::Undefined) << "undefined";
}

void TestApply::replyText()
{
    QFETCH(QJsonValue, value);
    QFETCH(QString, text);
    QCOMPARE(jsonValueToText(value), text);
}

LUMORA_TEST_MAIN(TestApply)
#include "tst_apply.moc"
