#include "applyprocedure.h"

#include "auditlog.h"
#include "common.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMessageBox>
#include <QVariant>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <interfacemanager.h>

namespace {

std::atomic<int> planCounter{0};

QString nextPlanId()
{
    const int number = planCounter.fetch_add(1) + 1;
    return QStringLiteral("p%1").arg(number, 6, 10, QLatin1Char('0'));
}

QString compactJson(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

bool allFinite(const QVector<double>& original, const QVector<double>& optimized,
               const std::vector<double>& zeroPoints)
{
    const auto finite = [](double value) { return std::isfinite(value); };
    return std::all_of(original.cbegin(), original.cend(), finite) &&
           std::all_of(optimized.cbegin(), optimized.cend(), finite) &&
           std::all_of(zeroPoints.cbegin(), zeroPoints.cend(), finite);
}

// Alpha, a and d from the optimisation; theta stays the controller's own. A seven-axis robot
// also receives its trailing link unchanged.
QJsonObject dhPayload()
{
    const QVector<double>& original = common::originalDHParamsVec;
    const QVector<double>& optimized = common::optimizedDHParamsVec;
    QJsonArray values;
    for (int k = 0; k < 4 * common::axisNum; ++k)
        values.append(k % 4 == 3 ? original.at(k) : optimized.at(k));
    if (common::axisNum == 7) {
        for (int k = original.size() - 4; k < original.size(); ++k)
            values.append(original.at(k));
    }
    return QJsonObject{{QStringLiteral("DH_params_all"), values}};
}

QJsonObject zeroPointPayload()
{
    QJsonArray values;
    for (double value : common::zeroPointsVec)
        values.append(value);
    return QJsonObject{{QStringLiteral("joint_angle_A"), values}};
}

// One apply attempt: every audit line carries its plan id.
class ApplyAttempt
{
public:
    explicit ApplyAttempt(QWidget* boxParent)
        : planId(nextPlanId())
        , boxParent(boxParent)
    {
        timer.start();
    }

    bool run();

private:
    bool audit(const QString& tag, const QString& message)
    {
        return writeAuditLog(planId, tag, message);
    }
    QString elapsed() const { return QString::number(timer.elapsed()); }
    bool countLayerPasses();
    bool zeroCountLayerPasses();
    bool countMatches(const QString& layer, int expected, int actual, const QString& cause,
                      const QString& advice, const QString& boxText);
    bool finiteLayerPasses();
    bool sendCommand(const QString& stage, const QString& command, const QJsonObject& payload,
                     const QString& unsent);
    // The line announcing a controller write is the trail's record of it: without that line the
    // write is not sent. unsent names what the controller then does not receive.
    bool recordDispatch(const QString& message, const QString& unsent);
    void fail(const QString& auditMessage, const QString& boxText);

    const QString planId;
    QWidget* const boxParent;
    QElapsedTimer timer;
    bool unrecorded = false;
};

bool ApplyAttempt::run()
{
    audit(QStringLiteral("输入到达"),
          QStringLiteral("调用=应用参数 轴数=%1 原始DH参数数量=%2 优化DH参数数量=%3 零点数量=%4")
              .arg(QString::number(common::axisNum),
                   QString::number(common::originalDHParamsVec.size()),
                   QString::number(common::optimizedDHParamsVec.size()),
                   QString::number(common::zeroPointsVec.size())));

    if (!countLayerPasses() || !zeroCountLayerPasses() || !finiteLayerPasses())
        return false;

    const QJsonObject dh = dhPayload();
    audit(QStringLiteral("数据组装"),
          QStringLiteral("DH参数已组装 数量=%1 内容=%2")
              .arg(QString::number(dh.value(QStringLiteral("DH_params_all")).toArray().size()),
                   compactJson(dh)));
    if (!sendCommand(QStringLiteral("DH_WRITE"), QStringLiteral("factory.set_DH_params_all"), dh,
                     QStringLiteral("DH参数、零点和重启"))) {
        if (unrecorded)
            return false;
        fail(QStringLiteral(
                 "发生阶段=DH参数下发 异常类型=同步接口返回失败 业务影响=未下发零点、未重启 "
                 "耗时=%1ms"),
             QStringLiteral("DH参数写入控制器失败！"));
        return false;
    }

    const QJsonObject zero = zeroPointPayload();
    audit(QStringLiteral("数据组装"),
          QStringLiteral("零点补偿已组装 A数量=%1 内容=%2")
              .arg(QString::number(zero.value(QStringLiteral("joint_angle_A")).toArray().size()),
                   compactJson(zero)));
    if (!sendCommand(QStringLiteral("ZERO_WRITE"),
                     QStringLiteral("ethercat.set_precision_compensation_zero"), zero,
                     QStringLiteral("零点和重启"))) {
        if (unrecorded)
            return false;
        fail(
            QStringLiteral("发生阶段=零点下发 异常类型=同步接口返回失败 业务影响=未重启 耗时=%1ms"),
            QStringLiteral("零点写入控制器失败！"));
        return false;
    }

    if (!recordDispatch(QStringLiteral("阶段=REBOOT 目标=控制器/system.controller.reboot "
                                       "意图=重启并应用DH参数和零点"),
                        QStringLiteral("重启")))
        return false;
    const bool rebooted = tavrin::tavrinInterface().rcRequestFullCommand(
        QStringLiteral("system.controller.reboot"), QJsonValue(QJsonValue::Null), 4800);
    audit(QStringLiteral("外部下发"),
          QStringLiteral("阶段=REBOOT 实际=%1 接口返回值=%2")
              .arg(rebooted ? QStringLiteral("成功") : QStringLiteral("失败"),
                   QString::number(rebooted ? 1 : 0)));
    if (!rebooted) {
        fail(QStringLiteral(
                 "发生阶段=控制器重启 异常类型=接口返回失败 业务影响=参数已下发但未确认重启 "
                 "耗时=%1ms"),
             QStringLiteral("控制器重启失败！"));
        return false;
    }

    audit(QStringLiteral("输出"),
          QStringLiteral("结果=成功 DH参数=写入成功 零点=写入成功 重启=成功 耗时=%1ms 去向=控制器")
              .arg(elapsed()));
    return true;
}

bool ApplyAttempt::countLayerPasses()
{
    // The sizes are compared first; when they agree, the optimised vector must still cover
    // every axis the payload reads, or the payload would read past its end.
    int expected = common::originalDHParamsVec.size() - 4;
    int actual = common::optimizedDHParamsVec.size();
    if (actual == expected && actual < 4 * common::axisNum)
        expected = 4 * common::axisNum;
    return countMatches(QStringLiteral("优化DH参数数量"), expected, actual,
                        QStringLiteral("未找到完整优化结果"), QStringLiteral("先运行标定"),
                        QStringLiteral("未找到优化后的DH参数，请先运行标定！"));
}

// One offset per axis: more or fewer would land on the wrong joints.
bool ApplyAttempt::zeroCountLayerPasses()
{
    return countMatches(QStringLiteral("零点数量"), common::axisNum,
                        int(common::zeroPointsVec.size()), QStringLiteral("零点数量与轴数不符"),
                        QStringLiteral("重新运行标定"),
                        QStringLiteral("零点数量与轴数不符，未应用参数！"));
}

// The check line of a count layer, and on a mismatch its refusal line and box.
bool ApplyAttempt::countMatches(const QString& layer, int expected, int actual,
                                const QString& cause, const QString& advice, const QString& boxText)
{
    const bool passed = actual == expected;
    audit(QStringLiteral("前置检查"),
          QStringLiteral("层=%1 结果=%2 期望=%3 实际=%4")
              .arg(layer, passed ? QStringLiteral("通过") : QStringLiteral("拒绝"),
                   QString::number(expected), QString::number(actual)));
    if (passed)
        return true;
    audit(QStringLiteral("被拒绝"),
          QStringLiteral("拒绝层=%1 原因=%2 业务影响=未下发DH参数、零点和重启 建议=%3")
              .arg(layer, cause, advice));
    QMessageBox::warning(boxParent, QStringLiteral("错误"), boxText, QMessageBox::Ok);
    return false;
}

bool ApplyAttempt::finiteLayerPasses()
{
    const bool passed =
        allFinite(common::originalDHParamsVec, common::optimizedDHParamsVec, common::zeroPointsVec);
    audit(QStringLiteral("前置检查"),
          QStringLiteral("层=数值有效性 结果=%1 原因=检查DH参数和零点中的NaN/Inf")
              .arg(passed ? QStringLiteral("通过") : QStringLiteral("拒绝")));
    if (passed)
        return true;
    audit(QStringLiteral("数值异常"),
          QStringLiteral("阶段=应用参数 事件=DH参数或零点包含NaN/Inf 影响=未向控制器下发"));
    audit(QStringLiteral("被拒绝"),
          QStringLiteral("拒绝层=数值有效性 原因=存在不可写入的非有限数值 "
                         "业务影响=未下发DH参数、零点和重启 建议=检查标定结果"));
    QMessageBox::critical(boxParent, QStringLiteral("错误"),
                          QStringLiteral("DH参数或零点包含无效数值，未应用参数！"),
                          QMessageBox::Ok);
    return false;
}

bool ApplyAttempt::recordDispatch(const QString& message, const QString& unsent)
{
    if (audit(QStringLiteral("外部下发"), message))
        return true;
    unrecorded = true;
    audit(QStringLiteral("异常"),
          QStringLiteral("发生阶段=审计记录 异常类型=审计日志写入失败 业务影响=未下发%1 耗时=%2ms")
              .arg(unsent, elapsed()));
    QMessageBox::critical(boxParent, QStringLiteral("错误"),
                          QStringLiteral("审计日志写入失败，未下发%1！").arg(unsent),
                          QMessageBox::Ok);
    return false;
}

bool ApplyAttempt::sendCommand(const QString& stage, const QString& command,
                               const QJsonObject& payload, const QString& unsent)
{
    if (!recordDispatch(QStringLiteral("阶段=%1 目标=控制器/%2 意图=写入并等待接口结果 参数=%3")
                            .arg(stage, command, compactJson(payload)),
                        unsent))
        return false;
    const QJsonValue reply =
        tavrin::tavrinInterface().execCommandXServiceData(command, QVariant(payload));
    const bool success = controllerReplySucceeded(reply);
    audit(QStringLiteral("外部下发"),
          QStringLiteral("阶段=%1 实际=%2 响应=%3")
              .arg(stage, success ? QStringLiteral("成功") : QStringLiteral("失败"),
                   jsonValueToText(reply)));
    return success;
}

void ApplyAttempt::fail(const QString& auditMessage, const QString& boxText)
{
    audit(QStringLiteral("异常"), auditMessage.arg(elapsed()));
    QMessageBox::critical(boxParent, QStringLiteral("错误"), boxText, QMessageBox::Ok);
}

} // namespace

bool runApplyProcedure(QWidget* boxParent)
{
    return ApplyAttempt(boxParent).run();
}
