#include "auditfiles.h"
#include "centerwidget.h"
#include "common.h"
#include "controllerharness.h"
#include "dhparameterwidget.h"
#include "faketools.h"
#include "messageboxanswerer.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cellstate.h>
#include <interfacemanager.h>
#include <memory>
#include <robottypes.h>
#include <tcpcontrollerlink.h>

using namespace lumora::test;

namespace {

const QString localHost = QStringLiteral("127.0.0.1");
const QString dhCommand = QStringLiteral("factory.set_DH_params_all");
const QString zeroCommand = QStringLiteral("ethercat.set_precision_compensation_zero");
const QString rebootCommand = QStringLiteral("system.controller.reboot");
const int callTimeoutMs = 3000;
const int rebootDelayMs = 200;

enum class Fault { KillWhileHeld, KillAsSent, Garbage, LateReply };

QString compact(const QJsonObject& object)
{
    return QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

// The plan id of the last audit line of the day.
QString lastPlanId()
{
    const QStringList lines = logLines(auditFilePath(QDate::currentDate()));
    if (lines.isEmpty())
        return QString();
    return withoutTime(lines.last()).section(QStringLiteral("planId="), 1).left(7);
}

} // namespace

Q_DECLARE_METATYPE(Fault)

// The controller process dies, or answers garbage or too late, in the middle of an apply: the
// operator sees the failure of that step, the audit trail says exactly what happened, and the
// next connection brings back a working page.
class TestControllerFaults : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void applyInterrupted_data();
    void applyInterrupted();

private:
    void startController(const QString& robot);
    void connectTo(SimulatorProcess& simulator);
    void pressApply();
    void loadResult();
    QJsonObject dhPayload() const;
    QJsonObject zeroPayload() const;
    QStringList expectedTrail(const QString& failedStage) const;

    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<SimulatorProcess> simulator;
    std::unique_ptr<tavrin::TcpControllerLink> tcp;
    std::unique_ptr<FaultingLink> link;
    std::unique_ptr<centerWidget> page;
    std::unique_ptr<MessageBoxAnswerer> boxes;
    std::unique_ptr<QSignalSpy> connections;
    QVector<double> controllerDh;
    QString planId;
};

void TestControllerFaults::init()
{
    removeLogs();
    common::axisNum = 0;
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());

    tcp = std::make_unique<tavrin::TcpControllerLink>();
    tcp->setRetryInterval(50);
    tcp->setCallTimeout(callTimeoutMs);
    link = std::make_unique<FaultingLink>(tcp.get());
    tavrin::tavrinInterface().setControllerLink(link.get());
    connections = std::make_unique<QSignalSpy>(&tavrin::tavrinInterface(),
                                               &tavrin::InterfaceManager::sigNetworkConnect);
    page = std::make_unique<centerWidget>();
    common::calibrationDir = dir->filePath(QStringLiteral("root"));
    boxes = std::make_unique<MessageBoxAnswerer>();
}

void TestControllerFaults::cleanup()
{
    boxes.reset();
    page.reset();
    flushDeletes();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    connections.reset();
    link.reset();
    tcp.reset();
    simulator.reset();
    dir.reset();
}

void TestControllerFaults::startController(const QString& robot)
{
    const sim::RobotType* type = sim::findRobotType(robot);
    QVERIFY(type);
    const QString state = dir->filePath(QStringLiteral("state.json"));
    QVERIFY(sim::saveCellState(state, sim::CellState::defaults(*type)));
    // Default poses for the robot, so that no connection stops at a warning.
    QJsonObject poses;
    for (int k = 1; k <= 5; ++k)
        poses.insert(QStringLiteral("point%1").arg(k), QJsonArray{k, 0, 500, 180, 0, 90});
    const QJsonObject group{{"robots", QJsonArray{robot}}, {"iso_poses", poses}};
    QVERIFY(writeTextFile(common::calibrationDir + QStringLiteral("/iso/default_iso_poses.json"),
                          QJsonDocument(QJsonObject{{"configs", QJsonArray{group}}}).toJson()));
    controllerDh = QVector<double>(type->nominalDh.begin(), type->nominalDh.end());

    simulator = std::make_unique<SimulatorProcess>();
    QVERIFY2(simulator->start(state, rebootDelayMs), qPrintable(simulator->error()));
    connectTo(*simulator);
}

void TestControllerFaults::connectTo(SimulatorProcess& target)
{
    const int before = connections->count();
    tcp->connectToController(localHost, target.port());
    QTRY_COMPARE_WITH_TIMEOUT(connections->count(), before + 1, 10000);
    // The setup panel has read the controller's table again.
    QCOMPARE(common::originalDHParamsVec, controllerDh);
    QCOMPARE(common::axisNum, controllerDh.size() / 4 - 1);
}

// A finished calibration: every optimised value a little off the controller's.
void TestControllerFaults::loadResult()
{
    common::optimizedDHParamsVec.clear();
    for (int k = 0; k < 4 * common::axisNum; ++k)
        common::optimizedDHParamsVec.append(controllerDh.at(k) + 0.0625 * (k + 1));
    common::zeroPointsVec.clear();
    for (int axis = 0; axis < common::axisNum; ++axis)
        common::zeroPointsVec.push_back(0.125 * (axis + 1) - 0.5);
    dhparameterWidget::instance()->changeBtnsStatus(true);
}

void TestControllerFaults::pressApply()
{
    auto* button = page->findChild<QPushButton*>(QStringLiteral("confirmBtn"));
    QVERIFY(button && button->isEnabled());
    button->click();
    planId = lastPlanId();
}

QJsonObject TestControllerFaults::dhPayload() const
{
    QJsonArray values;
    for (int k = 0; k < 4 * common::axisNum; ++k)
        values.append(k % 4 == 3 ? controllerDh.at(k) : common::optimizedDHParamsVec.at(k));
    if (common::axisNum == 7) {
        for (int k = controllerDh.size() - 4; k < controllerDh.size(); ++k)
            values.append(controllerDh.at(k));
    }
    return {{QStringLiteral("DH_params_all"), values}};
}

QJsonObject TestControllerFaults::zeroPayload() const
{
    QJsonArray values;
    for (double value : common::zeroPointsVec)
        values.append(value);
    return {{QStringLiteral("joint_angle_A"), values}};
}

// Every audit line of a press that fails at failedStage, without the time field.
QStringList TestControllerFaults::expectedTrail(const QString& failedStage) const
{
    const auto line = [this](const QString& tag, const QString& message) {
        return QStringLiteral("[%1] planId=%2 %3").arg(tag, planId, message);
    };
    const QString accepted = QStringLiteral(R"(实际=成功 响应={"code":0,"success":true})");
    const QString lost = QStringLiteral("实际=失败 响应=undefined");
    const QJsonObject dh = dhPayload();
    const QJsonObject zero = zeroPayload();
    const int axes = common::axisNum;
    const int dhCount = dh.value(QStringLiteral("DH_params_all")).toArray().size();

    QStringList trail{
        line("输入到达", QStringLiteral("调用=应用参数 轴数=%1 原始DH参数数量=%2 "
                                        "优化DH参数数量=%3 零点数量=%1")
                             .arg(axes)
                             .arg(4 * (axes + 1))
                             .arg(4 * axes)),
        line("前置检查",
             QStringLiteral("层=优化DH参数数量 结果=通过 期望=%1 实际=%1").arg(4 * axes)),
        line("前置检查", QStringLiteral("层=零点数量 结果=通过 期望=%1 实际=%1").arg(axes)),
        line("前置检查", "层=数值有效性 结果=通过 原因=检查DH参数和零点中的NaN/Inf"),
        line("数据组装",
             QStringLiteral("DH参数已组装 数量=%1 内容=%2").arg(dhCount).arg(compact(dh))),
        line("外部下发", "阶段=DH_WRITE 目标=控制器/factory.set_DH_params_all "
                         "意图=写入并等待接口结果 参数=" +
                             compact(dh)),
    };
    if (failedStage == QLatin1String("DH_WRITE")) {
        return trail << line("外部下发", "阶段=DH_WRITE " + lost)
                     << line("异常", "发生阶段=DH参数下发 异常类型=同步接口返回失败 "
                                     "业务影响=未下发零点、未重启 耗时=*ms");
    }
    trail << line("外部下发", "阶段=DH_WRITE " + accepted)
          << line("数据组装",
                  QStringLiteral("零点补偿已组装 A数量=%1 内容=%2").arg(axes).arg(compact(zero)))
          << line("外部下发",
                  "阶段=ZERO_WRITE 目标=控制器/ethercat.set_precision_compensation_zero "
                  "意图=写入并等待接口结果 参数=" +
                      compact(zero));
    if (failedStage == QLatin1String("ZERO_WRITE")) {
        return trail << line("外部下发", "阶段=ZERO_WRITE " + lost)
                     << line("异常", "发生阶段=零点下发 异常类型=同步接口返回失败 "
                                     "业务影响=未重启 耗时=*ms");
    }
    trail << line("外部下发", "阶段=ZERO_WRITE " + accepted)
          << line("外部下发", "阶段=REBOOT 目标=控制器/system.controller.reboot "
                              "意图=重启并应用DH参数和零点");
    if (failedStage == QLatin1String("REBOOT")) {
        return trail << line("外部下发", "阶段=REBOOT 实际=失败 接口返回值=0")
                     << line("异常", "发生阶段=控制器重启 异常类型=接口返回失败 "
                                     "业务影响=参数已下发但未确认重启 耗时=*ms");
    }
    return trail << line("外部下发", "阶段=REBOOT 实际=成功 接口返回值=1")
                 << line("输出", "结果=成功 DH参数=写入成功 零点=写入成功 重启=成功 耗时=*ms "
                                 "去向=控制器");
}

void TestControllerFaults::applyInterrupted_data()
{
    QTest::addColumn<QString>("robot");
    QTest::addColumn<QString>("command");
    QTest::addColumn<Fault>("fault");
    QTest::addColumn<QString>("stage");
    QTest::addColumn<QString>("box");

    const QString six = QStringLiteral("LX6-900");
    const QString seven = QStringLiteral("LX7-800");
    const QString dhFailed = QStringLiteral("DH参数写入控制器失败！");
    const QString zeroFailed = QStringLiteral("零点写入控制器失败！");
    const QString rebootFailed = QStringLiteral("控制器重启失败！");

    QTest::addRow("killed while the DH write waits for its reply")
        << six << dhCommand << Fault::KillWhileHeld << "DH_WRITE" << dhFailed;
    QTest::addRow("killed as the DH write goes out")
        << seven << dhCommand << Fault::KillAsSent << "DH_WRITE" << dhFailed;
    QTest::addRow("killed while the zero write waits for its reply")
        << six << zeroCommand << Fault::KillWhileHeld << "ZERO_WRITE" << zeroFailed;
    QTest::addRow("killed while the zero write waits, seven axes")
        << seven << zeroCommand << Fault::KillWhileHeld << "ZERO_WRITE" << zeroFailed;
    QTest::addRow("killed as the reboot request goes out")
        << six << rebootCommand << Fault::KillAsSent << "REBOOT" << rebootFailed;
    QTest::addRow("DH write answered with garbage")
        << six << dhCommand << Fault::Garbage << "DH_WRITE" << dhFailed;
    QTest::addRow("zero write answered after the call gave up")
        << seven << zeroCommand << Fault::LateReply << "ZERO_WRITE" << zeroFailed;
}

void TestControllerFaults::applyInterrupted()
{
    QFETCH(QString, robot);
    QFETCH(QString, command);
    QFETCH(Fault, fault);
    QFETCH(QString, stage);
    QFETCH(QString, box);

    startController(robot);
    if (QTest::currentTestFailed())
        return;
    loadResult();
    const QVector<double> optimized = common::optimizedDHParamsVec;
    const bool kills = fault == Fault::KillWhileHeld || fault == Fault::KillAsSent;
    const int giveUpMs = fault == Fault::Garbage || fault == Fault::LateReply ? 400 : callTimeoutMs;

    DelayedKiller killer;
    bool faultInjected = false;
    link->beforeCommand = [&](const QString& name) {
        if (name != command || faultInjected)
            return;
        faultInjected = true;
        tcp->setCallTimeout(giveUpMs);
        switch (fault) {
        case Fault::KillWhileHeld:
            // The controller takes the request and holds its reply until it is killed.
            tcp->request(QStringLiteral("fault"), {{"delay_ms", 60000}}, 1000);
            killer.arm(simulator->pid(), 100);
            break;
        case Fault::KillAsSent:
            simulator->killNow();
            break;
        case Fault::Garbage:
            tcp->request(QStringLiteral("fault"), {{"garbage", name}}, 1000);
            break;
        case Fault::LateReply:
            tcp->request(QStringLiteral("fault"), {{"delay_ms", 1200}}, 1000);
            break;
        }
    };

    pressApply();

    QVERIFY(faultInjected);
    QCOMPARE(boxes->count(), 1);
    QCOMPARE(boxes->last().icon, QMessageBox::Critical);
    QCOMPARE(boxes->last().title, QStringLiteral("错误"));
    QCOMPARE(boxes->last().text, box);
    QCOMPARE(boxes->last().buttons, QStringList{QStringLiteral("OK")});

    const QStringList trail = expectedTrail(stage);
    QCOMPARE(planLines(logLines(auditFilePath(QDate::currentDate())), planId), trail);
    QCOMPARE(planLines(logLines(errorFilePath(QDate::currentDate())), planId),
             trail.mid(trail.size() - 2));

    // Nothing was reset: the operator may press again.
    QCOMPARE(common::optimizedDHParamsVec, optimized);
    QCOMPARE(common::originalDHParamsVec, controllerDh);

    if (kills) {
        // The loss ended the call, not its time-out.
        QVERIFY2(link->lastCommandMs < giveUpMs - 500,
                 qPrintable(QString::number(link->lastCommandMs)));
        bool died = false;
        QVERIFY(simulator->waitGone(10000, &died));
        QVERIFY(died);
        QVERIFY(fault != Fault::KillWhileHeld || killer.fired());
        QTRY_VERIFY_WITH_TIMEOUT(!tcp->isConnected(), 5000);

        // A controller that comes back (on another port) has lost what was only staged.
        auto restarted = std::make_unique<SimulatorProcess>();
        QVERIFY2(restarted->start(dir->filePath(QStringLiteral("state.json")), rebootDelayMs),
                 qPrintable(restarted->error()));
        simulator = std::move(restarted);
        tcp->setCallTimeout(callTimeoutMs);
        connectTo(*simulator);
        if (QTest::currentTestFailed())
            return;
    } else {
        QVERIFY(tcp->isConnected());
        QVERIFY(tcp->request(QStringLiteral("fault"), {}, 1000));
        tcp->setCallTimeout(callTimeoutMs);
    }

    // The same result now goes through, and the controller comes back with it applied.
    boxes->clear();
    const QJsonArray written = dhPayload().value(QStringLiteral("DH_params_all")).toArray();
    const int before = connections->count();
    pressApply();
    QCOMPARE(boxes->count(), 0);
    QCOMPARE(planLines(logLines(auditFilePath(QDate::currentDate())), planId),
             expectedTrail(QString()));
    QVERIFY(common::optimizedDHParamsVec.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(connections->count(), before + 1, 10000);
    QVector<double> applied = controllerDh;
    for (int k = 0; k < written.size(); ++k)
        applied[k] = written.at(k).toDouble();
    QCOMPARE(common::originalDHParamsVec, applied);
}

LUMORA_TEST_MAIN(TestControllerFaults)
#include "tst_controllerfaults.moc"
