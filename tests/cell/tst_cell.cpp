#include "faketools.h"
#include "testmain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <atomicfile.h>
#include <instrument.h>
#include <numeric>
#include <registration.h>
#include <simcontroller.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <workspace.h>

using lumora::test::readTextFile;
using lumora::test::writeTextFile;
using Numbers = QVector<double>;

namespace {

QJsonArray numbers(int count, double first)
{
    QJsonArray out;
    for (int i = 0; i < count; ++i)
        out.append(first + i);
    return out;
}

const QString setDh = "factory.set_DH_params_all";
const QString setZero = "ethercat.set_precision_compensation_zero";
const QString reboot = "system.controller.reboot";

} // namespace

// The simulated cell in process: its model and instrument, its state file and its controller.
class TestCell : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void flangePose_data();
    void flangePose();
    void errorSourceAlone_data();
    void errorSourceAlone();
    void stateFile_data();
    void stateFile();
    void failedFlushWritesNothing();
    void stagedWrites_data();
    void stagedWrites();
    void offlineAndReload();

private:
    void start(sim::SimController& controller, int rebootDelay = 0);
    QScopedPointer<QTemporaryDir> dir;
    QString statePath;
};

void TestCell::init()
{
    dir.reset(new QTemporaryDir);
    statePath = dir->filePath("cell/state.json");
}

// Powers the controller up.
void TestCell::start(sim::SimController& controller, int rebootDelay)
{
    controller.setRebootDelay(rebootDelay);
    QSignalSpy up(&controller, &tavrin::ControllerLink::connected);
    controller.connectToController(0);
    QVERIFY(up.wait(5000));
}

void TestCell::flangePose_data()
{
    QTest::addColumn<Numbers>("dh");
    QTest::addColumn<Numbers>("joints");
    QTest::addColumn<Numbers>("expected"); // position, x axis, z axis of the flange
    QTest::addRow("planar elbow") << Numbers{0, 100, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0}
                                  << Numbers{90, -90} << Numbers{50, 100, 0, 1, 0, 0, 0, 0, 1};
    QTest::addRow("twisted link") << Numbers{-90, 0, 300, 0, 0, 0, 100, 0} << Numbers{0}
                                  << Numbers{0, 100, 300, 1, 0, 0, 0, 1, 0};
    QTest::addRow("flange theta") << Numbers{0, 0, 0, 0, 0, 10, 0, 180} << Numbers{90}
                                  << Numbers{0, -10, 0, 0, -1, 0, 0, 0, 1};
}

void TestCell::flangePose()
{
    QFETCH(Numbers, dh);
    QFETCH(Numbers, joints);
    QFETCH(Numbers, expected);
    const sim::Pose pose = sim::flangePose({dh.begin(), dh.end()}, {joints.begin(), joints.end()});
    Eigen::Matrix<double, 9, 1> actual;
    actual << pose.position, pose.rotation.col(0), pose.rotation.col(2);
    QVERIFY((actual - Eigen::Map<Eigen::Matrix<double, 9, 1>>(expected.data())).norm() < 1e-9);
}

void TestCell::errorSourceAlone_data()
{
    // How far the noise-free measurement moves over the workspace when the source alone comes
    // on: at least lowest at every pose, and between these two where it moves most.
    QTest::addColumn<QString>("source");
    QTest::addColumn<Numbers>("bounds");
    QTest::addRow("placement: 2 to 4 m away") << "placement" << Numbers{0, 1500, 6000};
    QTest::addRow("target: 100 mm, 1 mm per axis") << "target_offset" << Numbers{99, 99, 101.01};
    QTest::addRow("gravity: 0.02 to 0.1 mm at reach") << "gravity" << Numbers{0, 0.012, 0.1};
    QTest::addRow("transmission: 0.001 deg") << "transmission" << Numbers{0, 0.005, 0.08};
    QTest::addRow("distance noise: 5 um + 2 um/m") << "distance_noise" << Numbers{0, 0, 0};
}

void TestCell::errorSourceAlone()
{
    QFETCH(QString, source);
    QFETCH(Numbers, bounds);
    for (const char* robot : {"LX6-900", "LX7-800"}) {
        for (std::uint64_t seed : {2, 5, 8, 13}) {
            sim::CellState off = sim::CellState::defaults(*sim::findRobotType(robot), seed);
            off.sources = sim::ErrorSources::none();
            off.instrument.jointJitterDeg = 0.0;
            // Hidden errors of tenths of a millimetre and hundredths of a degree, none of theta
            // (a zero error instead) or of the flange link.
            const sim::CellTruth truth = sim::drawTruth(off);
            for (std::size_t i = 0; i < truth.dh.size(); ++i)
                QVERIFY(std::abs(truth.dh[i] - off.dh[i]) <=
                            (i % 4 < 3 && i + 4 < truth.dh.size()) * 0.5 &&
                        std::abs(truth.zeroError[i % truth.zeroError.size()]) <= 0.1);
            sim::CellState on = off;
            *on.sources.find(source) = true;
            std::vector<Eigen::Vector3d> from, to;
            double least = INFINITY, most = 0.0;
            const auto poses = sim::sampleJointConfigurations(*off.robotType(), 300, seed);
            const sim::Instrument without(off, 1), with(on, 1);
            for (const auto& q : poses) {
                from.push_back(without.exactMeasurement(q).position);
                to.push_back(with.exactMeasurement(q).position);
                least = std::min(least, (to.back() - from.back()).norm());
                most = std::max(most, (to.back() - from.back()).norm());
            }
            QVERIFY(least >= bounds[0] && most >= bounds[1] && most <= bounds[2]);
            // A rigid move, which the registration finds from any placement, the instrument
            // 2 to 4 m away and upright within 2 degrees about each axis.
            const Eigen::Isometry3d found = sim::registerPoints(from, to);
            const double distance = found.inverse().translation().head<2>().norm();
            QVERIFY(source != "placement" ||
                    ((found * from[7] - to[7]).norm() < 1e-6 && found.linear()(2, 2) > 0.9987 &&
                     distance >= 2000.0 && distance <= 4000.0));
            // Noise of 5 um per axis, 2 um more per metre to the instrument when on, and 0.001
            // deg per component of the orientation: the one row whose source changes it.
            if (source != "distance_noise")
                continue;
            for (const sim::CellState* c : {&off, &on}) {
                sim::Instrument instrument(*c, 7);
                const sim::Pose exact = instrument.exactMeasurement(poses[0]);
                const double sigma =
                    0.005 + 2e-6 * c->sources.distanceNoise * exact.position.norm();
                Eigen::Vector3d squares = Eigen::Vector3d::Zero();
                double angles = 0.0;
                for (int i = 0; i < 4000; ++i) {
                    const sim::Pose m = instrument.measureOnce(poses[0]);
                    squares += (m.position - exact.position).cwiseAbs2() / 4000.0;
                    angles += std::pow(sim::rotationAngleDeg(exact.rotation, m.rotation), 2) / 4000;
                }
                QVERIFY((squares.cwiseSqrt().array() / sigma - 1.0).abs().maxCoeff() < 0.06);
                QVERIFY(std::abs(std::sqrt(angles) / std::sqrt(3.0) - 0.001) <= 0.00003);
            }
        }
    }
}

void TestCell::stateFile_data()
{
    QTest::addColumn<QString>("member"); // section/name; none: a torn file
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("message");
    QTest::addRow("not JSON") << QString() << QJsonValue() << "not a JSON object";
    QTest::addRow("unknown robot") << "robot/type" << QJsonValue("LX9") << "robot";
    QTest::addRow("fractional seed") << "robot/seed" << QJsonValue(1.5) << "seed";
    QTest::addRow("5 masses") << "robot/link_masses_kg" << QJsonValue(numbers(5, 1)) << "masses";
    QTest::addRow("short DH") << "controller/dh_params" << QJsonValue(numbers(3, 1)) << "dh_params";
    QTest::addRow("noise") << "instrument/position_noise_mm_per_m" << QJsonValue(-0.1) << "noise";
    QTest::addRow("switch a number") << "error_sources/gravity" << QJsonValue(1) << "error_sources";
    QTest::addRow("unknown source") << "error_sources/wind" << QJsonValue(false) << "error_sources";
}

void TestCell::stateFile()
{
    QFETCH(QString, member);
    QFETCH(QJsonValue, value);
    QFETCH(QString, message);
    // Every member survives a save and a load: the file saved again is the same file.
    sim::CellState changed = sim::CellState::defaults(*sim::findRobotType(7001), 123456789012345);
    changed.dh[5] = 0.1 + 0.2; // not representable in few digits
    changed.zeroCompensation[6] = -0.0123456789;
    changed.linkMassesKg[3] = 7.25;
    changed.payloadKg = 0.5;
    changed.instrument = {0.001, 0.0, 0.002, 0.0};
    changed.sources.gravity = changed.sources.distanceNoise = false;
    sim::CellState state;
    QVERIFY(sim::saveCellState(statePath + "2", changed) &&
            sim::loadOrCreateCellState(statePath + "2", state) &&
            sim::saveCellState(statePath, state));
    QVERIFY(readTextFile(statePath + "2") == readTextFile(statePath) && state.payloadKg == 0.5);
    // Then one member broken.
    QJsonObject root = QJsonDocument::fromJson(readTextFile(statePath)).object();
    QJsonObject section = root.value(member.section('/', 0, 0)).toObject();
    section.insert(member.section('/', 1), value);
    root.insert(member.section('/', 0, 0), section);
    const QByteArray content = member.isEmpty() ? "{\"robot\": " : QJsonDocument(root).toJson();
    QVERIFY(writeTextFile(statePath, content));
    state = sim::CellState::defaults(*sim::findRobotType(6001));
    QString error;
    QVERIFY(!sim::loadOrCreateCellState(statePath, state, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    // A failed read leaves the caller's state alone and the file as it was.
    QCOMPARE(state.robotName + readTextFile(statePath), "LX6-900" + content);
}

void TestCell::failedFlushWritesNothing()
{
    QVERIFY(sim::writeFileAtomically(statePath, "old"));
    // The content fits the file's write buffer, so only the final flush meets the size limit.
    const pid_t child = fork();
    if (child == 0) {
        const rlimit limit{1024, 1024};
        setrlimit(RLIMIT_FSIZE, &limit);
        signal(SIGXFSZ, SIG_IGN);
        _exit(sim::writeFileAtomically(statePath, QByteArray(4096, 'x')) ? 0 : 3);
    }
    int status = 0;
    QVERIFY(waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 3);
    QCOMPARE(readTextFile(statePath), QByteArray("old"));
    QCOMPARE(QDir(dir->filePath("cell")).entryList(QDir::Files), QStringList{"state.json"});
}

void TestCell::stagedWrites_data()
{
    QTest::addColumn<int>("modelCode");
    QTest::addColumn<QString>("command");
    QTest::addColumn<QVariant>("argument"); // a null: well-formed writes of both kinds
    QJsonArray withText = numbers(24, 1);
    withText[3] = "90";
    const auto dh = [](const QJsonValue& v) { return QVariant(QJsonObject{{"DH_params_all", v}}); };
    const auto zero = [](QVariantList v) { return QVariant(QVariantMap{{"joint_angle_A", v}}); };
    QTest::addRow("six axes, axis links") << 6001 << "24" << QVariant();
    QTest::addRow("seven axes with the flange link") << 7001 << "32" << QVariant();
    QTest::addRow("DH: 23 values") << 6001 << setDh << dh(numbers(23, 1));
    QTest::addRow("DH: 36 values") << 6001 << setDh << dh(numbers(36, 1));
    QTest::addRow("DH: text among numbers") << 6001 << setDh << dh(withText);
    QTest::addRow("zero: five values") << 6001 << setZero << zero({1, 2, 3, 4, 5});
    QTest::addRow("zero: infinity") << 6001 << setZero << zero({0, 0, 0, 0, 0, qInf()});
}

void TestCell::stagedWrites()
{
    QFETCH(int, modelCode);
    QFETCH(QString, command);
    QFETCH(QVariant, argument);
    const sim::RobotType& type = *sim::findRobotType(modelCode);
    QVERIFY(sim::saveCellState(statePath, sim::CellState::defaults(type)));
    sim::SimController c(statePath);
    start(c, 20);
    QSignalSpy up(&c, &tavrin::ControllerLink::connected);
    QSignalSpy down(&c, &tavrin::ControllerLink::disconnected);
    const int dhCount = command.section(' ', 0, 0).toInt();
    std::vector<double> dh = type.nominalDh;
    std::vector<double> zero(std::size_t(type.axisCount), 0.0);
    if (argument.isNull()) {
        for (const auto& [name, member, count] : {std::tuple{setDh, "DH_params_all", dhCount},
                                                  std::tuple{setZero, "joint_angle_A", 0}}) {
            const QJsonObject value{{member, numbers(count ? count : type.axisCount, 0.5)}};
            QVERIFY(c.execCommand(name, value).toObject().value("success").toBool());
        }
    } else {
        const QJsonObject reply = c.execCommand(command, argument).toObject();
        QVERIFY(!reply.value("success").toBool() && reply.value("code") == QJsonValue(22) &&
                !reply.value("message").toString().isEmpty());
    }
    // Staged only: nothing changes before the reboot, which goes away and comes back.
    QCOMPARE(c.cellState().dh, dh);
    QVERIFY(c.fullCommand(reboot, QJsonValue(), 4800));
    QTRY_COMPARE(down.count(), 1);
    QVERIFY(c.execCommand("factory.get_DH_params_link", QString()).isUndefined());
    QTRY_COMPARE(up.count(), 1);
    std::iota(dh.begin(), dh.begin() + dhCount, 0.5);
    std::iota(zero.begin(), dhCount ? zero.end() : zero.begin(), 0.5);
    // Applied and persisted for the tools, with the same robot.
    sim::CellState persisted;
    QVERIFY(sim::loadCellState(statePath, persisted) && c.lastError().isEmpty());
    for (const sim::CellState& state : {c.cellState(), persisted})
        QVERIFY(state.dh == dh && state.zeroCompensation == zero && state.seed == 20260612);
}

void TestCell::offlineAndReload()
{
    sim::SimController c(statePath);
    // A fresh cell is created at once, so the tools see the same robot; offline, the controller
    // answers nothing.
    sim::CellState created;
    QVERIFY(sim::loadCellState(statePath, created) && created.sources == sim::ErrorSources() &&
            created.dh == sim::defaultRobotType().nominalDh);
    QVERIFY(c.execCommand("factory.get_DH_params_link", QString()).isUndefined() &&
            c.serviceData("factory.set_DH_params_link").isUndefined() &&
            !c.fullCommand(reboot, QJsonValue(), 4800) && c.robotType().isEmpty() &&
            !c.robotModelType());
    // Each connection reloads the file; a broken one keeps the last good state and says why.
    start(c);
    sim::CellState changed = c.cellState();
    changed.dh[1] = 150.25;
    QVERIFY(sim::saveCellState(statePath, changed));
    QCOMPARE(c.dhParameters().at(1), 150.0);
    c.disconnectFromController();
    start(c);
    QCOMPARE(c.dhParameters().at(1), 150.25);
    QVERIFY(writeTextFile(statePath, "{ broken"));
    c.disconnectFromController();
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("not a JSON object"));
    start(c);
    QVERIFY(c.dhParameters().at(1) == 150.25 && !c.lastError().isEmpty());
}

LUMORA_TEST_MAIN(TestCell)
#include "tst_cell.moc"
