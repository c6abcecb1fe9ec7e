#include "testmain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <cellstate.h>
#include <cmath>
#include <limits>
#include <robottypes.h>
#include <simcontroller.h>

namespace {

QJsonArray numbers(int count, double first)
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(first + i);
    return out;
}

QJsonObject send(sim::SimController& controller, const QString& command, const QVariant& payload)
{
    return controller.execCommand(command, payload).toObject();
}

const QString setDh = QStringLiteral("factory.set_DH_params_all");
const QString setZero = QStringLiteral("ethercat.set_precision_compensation_zero");

} // namespace

class TestSimController : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void servesTheStateFile_data();
    void servesTheStateFile();
    void rebootAppliesAndPersistsStagedWrites_data();
    void rebootAppliesAndPersistsStagedWrites();
    void refusesMalformedPayloads_data();
    void refusesMalformedPayloads();
    void offlineControllerAnswersNothing();
    void connectionReloadsTheStateFile();

private:
    void connect(sim::SimController& controller);
    QScopedPointer<QTemporaryDir> dir;
    QString statePath;
};

void TestSimController::init()
{
    dir.reset(new QTemporaryDir);
    statePath = dir->filePath(QStringLiteral("cell/state.json"));
}

void TestSimController::connect(sim::SimController& controller)
{
    QSignalSpy up(&controller, &tavrin::ControllerLink::connected);
    controller.connectToController(0);
    QVERIFY(up.wait(5000));
}

void TestSimController::servesTheStateFile_data()
{
    QTest::addColumn<int>("modelCode");
    QTest::addRow("six axes") << 6001;
    QTest::addRow("seven axes") << 7001;
}

void TestSimController::servesTheStateFile()
{
    QFETCH(int, modelCode);
    const sim::RobotType& type = *sim::findRobotType(modelCode);
    QVERIFY(sim::saveCellState(statePath, sim::CellState::defaults(type)));
    sim::SimController controller(statePath);
    connect(controller);

    QCOMPARE(controller.robotType(), type.name);
    QCOMPARE(controller.robotModelType(), modelCode);
    QCOMPARE(controller.robotIP(), QStringLiteral("192.168.10.101"));
    QCOMPARE(controller.serviceData(QString::fromUtf8("factory\xC2\xB7get_dh_params_support"))
                 .toObject()
                 .value("data"),
             QJsonValue(true));
    const QJsonArray links =
        controller.serviceData(QStringLiteral("factory.set_DH_params_link")).toArray();
    QCOMPARE(links.size(), type.linkCount());
    QCOMPARE(links.last().toArray().size(), 4);

    const QJsonObject answer =
        send(controller, QStringLiteral("factory.get_DH_params_link"), QString());
    QCOMPARE(answer.value("success"), QJsonValue(true));
    QCOMPARE(answer.value("code"), QJsonValue(0));
    const QJsonArray dh = answer.value("data").toObject().value("DH_PARAMS_LINK").toArray();
    QCOMPARE(dh.size(), 4 * type.linkCount());
    for (int i = 0; i < dh.size(); ++i)
        QCOMPARE(dh[i].toDouble(), type.nominalDh[std::size_t(i)]);
    QCOMPARE(send(controller, QStringLiteral("factory.no_such_thing"), QString()).value("success"),
             QJsonValue(false));
}

void TestSimController::rebootAppliesAndPersistsStagedWrites_data()
{
    QTest::addColumn<int>("modelCode");
    QTest::addColumn<int>("dhCount");
    QTest::addColumn<bool>("viaJsonObject");
    QTest::addRow("six axes, axis links") << 6001 << 24 << true;
    QTest::addRow("six axes, variant map") << 6001 << 24 << false;
    QTest::addRow("seven axes with flange link") << 7001 << 32 << true;
    QTest::addRow("seven axes, axis links") << 7001 << 28 << true;
}

void TestSimController::rebootAppliesAndPersistsStagedWrites()
{
    QFETCH(int, modelCode);
    QFETCH(int, dhCount);
    QFETCH(bool, viaJsonObject);
    const sim::RobotType& type = *sim::findRobotType(modelCode);
    QVERIFY(sim::saveCellState(statePath, sim::CellState::defaults(type)));
    sim::SimController controller(statePath);
    controller.setRebootDelay(20);
    connect(controller);
    QSignalSpy up(&controller, &tavrin::ControllerLink::connected);
    QSignalSpy down(&controller, &tavrin::ControllerLink::disconnected);

    const QJsonObject dhPayload{{QStringLiteral("DH_params_all"), numbers(dhCount, 0.5)}};
    const QJsonObject zeroPayload{
        {QStringLiteral("joint_angle_A"), numbers(type.axisCount, -0.25)}};
    const auto asArgument = [viaJsonObject](const QJsonObject& payload) {
        return viaJsonObject ? QVariant(payload) : QVariant(payload.toVariantMap());
    };
    QCOMPARE(send(controller, setDh, asArgument(dhPayload)).value("success"), QJsonValue(true));
    QCOMPARE(send(controller, setZero, asArgument(zeroPayload)).value("success"), QJsonValue(true));
    // Staged only: nothing changes before the reboot.
    QCOMPARE(controller.dhParameters().at(0), type.nominalDh[0]);
    QCOMPARE(controller.zeroCompensation(), QVector<double>(type.axisCount, 0.0));

    QVERIFY(controller.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QTRY_COMPARE(down.count(), 1);
    QVERIFY(!controller.isConnected());
    QVERIFY(controller.execCommand(QStringLiteral("factory.get_DH_params_link"), QString())
                .isUndefined());
    QTRY_COMPARE(up.count(), 1);

    QVector<double> expectedDh(type.nominalDh.begin(), type.nominalDh.end());
    for (int i = 0; i < dhCount; ++i)
        expectedDh[i] = 0.5 + i;
    QVector<double> expectedZero;
    for (int j = 0; j < type.axisCount; ++j)
        expectedZero << -0.25 + j;
    QCOMPARE(controller.dhParameters(), expectedDh);
    QCOMPARE(controller.zeroCompensation(), expectedZero);
    QVERIFY(controller.lastError().isEmpty());

    // Persisted: another process reading the file sees the new values.
    sim::CellState persisted;
    QVERIFY(sim::loadCellState(statePath, persisted));
    QCOMPARE(QVector<double>(persisted.dh.begin(), persisted.dh.end()), expectedDh);
    QCOMPARE(QVector<double>(persisted.zeroCompensation.begin(), persisted.zeroCompensation.end()),
             expectedZero);
    QCOMPARE(persisted.seed, sim::CellState::defaults(type).seed);

    // The staged values were used up: a second reboot changes nothing.
    QVERIFY(controller.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QTRY_COMPARE(up.count(), 2);
    QCOMPARE(controller.dhParameters(), expectedDh);
}

void TestSimController::refusesMalformedPayloads_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QVariant>("payload");
    const auto dh = [](const QJsonValue& values) {
        return QVariant(QJsonObject{{QStringLiteral("DH_params_all"), values}});
    };
    const auto zero = [](const QJsonValue& values) {
        return QVariant(QJsonObject{{QStringLiteral("joint_angle_A"), values}});
    };
    QJsonArray withText = numbers(24, 1);
    withText[3] = QStringLiteral("90");
    QJsonArray withNull = numbers(6, 1);
    withNull[5] = QJsonValue();
    const auto list = [](int count, double last) {
        QVariantList out;
        for (int i = 1; i < count; ++i)
            out << 0.0;
        return out << last;
    };
    const QVariantMap withNan{
        {QStringLiteral("joint_angle_A"), list(6, std::numeric_limits<double>::quiet_NaN())}};
    const QVariantMap withInfinity{
        {QStringLiteral("DH_params_all"), list(24, std::numeric_limits<double>::infinity())}};

    QTest::addRow("DH: 23 values") << setDh << dh(numbers(23, 1));
    QTest::addRow("DH: 36 values") << setDh << dh(numbers(36, 1));
    QTest::addRow("DH: empty") << setDh << dh(QJsonArray());
    QTest::addRow("DH: text among numbers") << setDh << dh(withText);
    QTest::addRow("DH: infinity") << setDh << QVariant(withInfinity);
    QTest::addRow("DH: not an array") << setDh << dh(QStringLiteral("1,2,3"));
    QTest::addRow("DH: member missing") << setDh << zero(numbers(24, 1));
    QTest::addRow("DH: no payload") << setDh << QVariant();
    QTest::addRow("zero: five values") << setZero << zero(numbers(5, 1));
    QTest::addRow("zero: empty") << setZero << zero(QJsonArray());
    QTest::addRow("zero: null element") << setZero << zero(withNull);
    QTest::addRow("zero: NaN") << setZero << QVariant(withNan);
}

void TestSimController::refusesMalformedPayloads()
{
    QFETCH(QString, command);
    QFETCH(QVariant, payload);
    sim::SimController controller(statePath);
    controller.setRebootDelay(0);
    connect(controller);
    const QVector<double> dhBefore = controller.dhParameters();

    const QJsonObject reply = send(controller, command, payload);
    QCOMPARE(reply.value("success"), QJsonValue(false));
    QCOMPARE(reply.value("code"), QJsonValue(22));
    QVERIFY(!reply.value("message").toString().isEmpty());

    // Nothing was staged: a reboot leaves the controller as it was.
    QSignalSpy up(&controller, &tavrin::ControllerLink::connected);
    QVERIFY(controller.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QTRY_COMPARE(up.count(), 1);
    QCOMPARE(controller.dhParameters(), dhBefore);
    QCOMPARE(controller.zeroCompensation(), QVector<double>(6, 0.0));
}

void TestSimController::offlineControllerAnswersNothing()
{
    sim::SimController controller(statePath);
    // Created with defaults at once, so the tools see the same robot.
    QVERIFY(QFile::exists(statePath));
    QVERIFY(controller.execCommand(QStringLiteral("factory.get_DH_params_link"), QString())
                .isUndefined());
    QVERIFY(controller.serviceData(QStringLiteral("factory.set_DH_params_link")).isUndefined());
    QVERIFY(
        !controller.fullCommand(QStringLiteral("system.controller.reboot"), QJsonValue(), 4800));
    QCOMPARE(controller.robotType(), QString());
    QCOMPARE(controller.robotModelType(), 0);
}

void TestSimController::connectionReloadsTheStateFile()
{
    sim::SimController controller(statePath);
    connect(controller);
    sim::CellState changed = sim::CellState::defaults();
    changed.dh[1] = 150.25;
    QVERIFY(sim::saveCellState(statePath, changed));
    QCOMPARE(controller.dhParameters().at(1), 150.0);

    controller.disconnectFromController();
    connect(controller);
    QCOMPARE(controller.dhParameters().at(1), 150.25);

    // A broken file keeps the last good state and says why.
    QFile file(statePath);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("{ broken");
    file.close();
    controller.disconnectFromController();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("not a JSON object")));
    connect(controller);
    QCOMPARE(controller.dhParameters().at(1), 150.25);
    QVERIFY(!controller.lastError().isEmpty());
}

LUMORA_TEST_MAIN(TestSimController)
#include "tst_simcontroller.moc"
