#include "testmain.h"

#include <QDir>
#include <QTemporaryDir>

#include <cellpaths.h>
#include <cellstate.h>
#include <celltruth.h>
#include <cmath>
#include <instrument.h>
#include <kinematics.h>
#include <robottypes.h>

using DoubleList = QVector<double>;

namespace {

std::vector<double> toStd(const DoubleList& values)
{
    return std::vector<double>(values.begin(), values.end());
}

// The flange pose's position and its x and z axes, as one list of nine numbers.
DoubleList poseFigures(const sim::Pose& pose)
{
    DoubleList out;
    for (int k = 0; k < 3; ++k)
        out << pose.position[k];
    for (int column : {0, 2}) {
        for (int k = 0; k < 3; ++k)
            out << pose.rotation(k, column);
    }
    return out;
}

} // namespace

class TestCellModel : public QObject
{
    Q_OBJECT

private slots:
    void flangePose_data();
    void flangePose();
    void deviationsAreSeededAndBounded_data();
    void deviationsAreSeededAndBounded();
    void attainedPoseFollowsZeroErrorsAndCompensation();
    void instrumentNoise_data();
    void instrumentNoise();
    void stateFileRoundTrip();
    void malformedStateFile_data();
    void malformedStateFile();
    void siteOfRoot_data();
    void siteOfRoot();
    void resolveRoot();
};

void TestCellModel::flangePose_data()
{
    QTest::addColumn<DoubleList>("dh");
    QTest::addColumn<DoubleList>("joints");
    // Position, then the x axis and the z axis of the flange frame.
    QTest::addColumn<DoubleList>("expected");

    QTest::addRow("one link turned 90") << DoubleList{0, 100, 0, 0, 0, 0, 0, 0} << DoubleList{90}
                                        << DoubleList{0, 100, 0, 0, 1, 0, 0, 0, 1};
    QTest::addRow("planar elbow") << DoubleList{0, 100, 0, 0, 0, 50, 0, 0, 0, 0, 0, 0}
                                  << DoubleList{90, -90}
                                  << DoubleList{50, 100, 0, 1, 0, 0, 0, 0, 1};
    QTest::addRow("twisted link and flange offset")
        << DoubleList{-90, 0, 300, 0, 0, 0, 100, 0} << DoubleList{0}
        << DoubleList{0, 100, 300, 1, 0, 0, 0, 1, 0};
    QTest::addRow("flange theta takes no joint angle")
        << DoubleList{0, 0, 0, 0, 0, 10, 0, 180} << DoubleList{90}
        << DoubleList{0, -10, 0, 0, -1, 0, 0, 0, 1};
    const sim::RobotType& six = *sim::findRobotType(QStringLiteral("LX6-900"));
    QTest::addRow("LX6-900 at zero")
        << DoubleList(six.nominalDh.begin(), six.nominalDh.end()) << DoubleList(6, 0.0)
        << DoubleList{925, 0, 1180, 0, 0, -1, 1, 0, 0};
}

void TestCellModel::flangePose()
{
    QFETCH(DoubleList, dh);
    QFETCH(DoubleList, joints);
    QFETCH(DoubleList, expected);
    const DoubleList actual = poseFigures(sim::flangePose(toStd(dh), toStd(joints)));
    for (int k = 0; k < expected.size(); ++k)
        QVERIFY2(std::abs(actual[k] - expected[k]) < 1e-9,
                 qPrintable(QStringLiteral("figure %1: %2 instead of %3")
                                .arg(k)
                                .arg(actual[k])
                                .arg(expected[k])));
}

void TestCellModel::deviationsAreSeededAndBounded_data()
{
    QTest::addColumn<QString>("robot");
    QTest::addColumn<quint64>("seed");
    QTest::addRow("LX6-900 default seed") << "LX6-900" << quint64(20260612);
    QTest::addRow("LX6-900 seed 1") << "LX6-900" << quint64(1);
    QTest::addRow("LX7-800 seed 77") << "LX7-800" << quint64(77);
}

void TestCellModel::deviationsAreSeededAndBounded()
{
    QFETCH(QString, robot);
    QFETCH(quint64, seed);
    const sim::RobotType& type = *sim::findRobotType(robot);
    const auto errorsOf = [&type](std::uint64_t s) {
        const sim::CellTruth truth = sim::drawTruth(sim::CellState::defaults(type, s));
        std::vector<double> dhError = truth.dh;
        for (std::size_t i = 0; i < dhError.size(); ++i)
            dhError[i] -= type.nominalDh[i];
        return std::make_pair(dhError, truth.zeroError);
    };
    struct
    {
        std::vector<double> dhError, zeroError;
    } hidden;
    std::tie(hidden.dhError, hidden.zeroError) = errorsOf(seed);
    QCOMPARE(hidden.dhError.size(), type.nominalDh.size());
    QCOMPARE(int(hidden.zeroError.size()), type.axisCount);

    double largestLength = 0.0;
    for (int link = 0; link < type.linkCount(); ++link) {
        const bool flange = link == type.axisCount;
        const double* e = hidden.dhError.data() + 4 * link;
        QVERIFY(std::abs(e[0]) <= 0.06 && (flange ? e[0] == 0.0 : true));
        QVERIFY(std::abs(e[1]) <= 0.5 && std::abs(e[2]) <= 0.5);
        QCOMPARE(e[3], 0.0);
        if (flange)
            QVERIFY(e[1] == 0.0 && e[2] == 0.0);
        largestLength = std::max({largestLength, std::abs(e[1]), std::abs(e[2])});
    }
    // Tenths of a millimetre, not nothing.
    QVERIFY(largestLength > 0.05);
    for (double zero : hidden.zeroError)
        QVERIFY(std::abs(zero) <= 0.1);

    QVERIFY(errorsOf(seed) == std::make_pair(hidden.dhError, hidden.zeroError));
    QVERIFY(errorsOf(seed + 1).first != hidden.dhError);
}

void TestCellModel::attainedPoseFollowsZeroErrorsAndCompensation()
{
    sim::CellState state = sim::CellState::defaults();
    state.sources = sim::ErrorSources::none();
    const std::vector<double> zeroError = sim::drawTruth(state).zeroError;
    const std::vector<double> q{10, -20, 30, -40, 50, -60};

    std::vector<double> shifted = q;
    for (std::size_t j = 0; j < q.size(); ++j)
        shifted[j] += zeroError[j];
    const sim::Pose uncompensated = sim::flangePose(sim::drawTruth(state).dh, shifted);
    sim::Pose attained = sim::Instrument(state, 1).exactMeasurement(q);
    QVERIFY((attained.position - uncompensated.position).norm() < 1e-9);

    // Compensation equal to the zero errors cancels them.
    state.zeroCompensation = zeroError;
    attained = sim::Instrument(state, 1).exactMeasurement(q);
    const sim::Pose exact = sim::flangePose(sim::drawTruth(state).dh, q);
    QVERIFY((attained.position - exact.position).norm() < 1e-9);
    QVERIFY(sim::rotationAngleDeg(attained.rotation, exact.rotation) < 1e-9);
    QVERIFY((attained.position - uncompensated.position).norm() > 0.1);
}

void TestCellModel::instrumentNoise_data()
{
    QTest::addColumn<double>("positionNoise");
    QTest::addColumn<double>("orientationNoise");
    QTest::addColumn<double>("jitter");
    QTest::addRow("default instrument, no jitter") << 0.010 << 0.001 << 0.0;
    QTest::addRow("coarse instrument") << 0.050 << 0.010 << 0.0;
    QTest::addRow("noise free") << 0.0 << 0.0 << 0.0;
}

void TestCellModel::instrumentNoise()
{
    QFETCH(double, positionNoise);
    QFETCH(double, orientationNoise);
    QFETCH(double, jitter);
    sim::CellState state = sim::CellState::defaults();
    state.instrument = {positionNoise, 0.0, orientationNoise, jitter};
    state.sources = sim::ErrorSources::none();
    const std::vector<double> q{15, -35, 20, 60, -45, 120};
    sim::Instrument instrument(state, 4242);
    const sim::Pose truth = instrument.exactMeasurement(q);

    const int samples = 4000;
    Eigen::Vector3d sum = Eigen::Vector3d::Zero();
    Eigen::Vector3d squares = Eigen::Vector3d::Zero();
    double angleSquares = 0.0;
    for (int i = 0; i < samples; ++i) {
        const sim::Pose measured = instrument.measureOnce(q);
        const Eigen::Vector3d error = measured.position - truth.position;
        sum += error;
        squares += error.cwiseProduct(error);
        const double angle = sim::rotationAngleDeg(truth.rotation, measured.rotation);
        angleSquares += angle * angle;
    }
    const Eigen::Vector3d mean = sum / samples;
    for (int axis = 0; axis < 3; ++axis) {
        const double sigma = std::sqrt(squares[axis] / samples);
        QVERIFY2(std::abs(mean[axis]) <= 4.0 * positionNoise / std::sqrt(double(samples)),
                 qPrintable(QString::number(mean[axis])));
        QVERIFY2(std::abs(sigma - positionNoise) <= 0.05 * positionNoise,
                 qPrintable(QString::number(sigma)));
    }
    // Three Gaussian components per orientation: the angle's RMS is sqrt(3) sigma.
    const double angleRms = std::sqrt(angleSquares / samples);
    QVERIFY2(std::abs(angleRms - std::sqrt(3.0) * orientationNoise) <= 0.05 * orientationNoise,
             qPrintable(QString::number(angleRms)));

    // The same seed measures the same.
    sim::Instrument first(state, 9);
    sim::Instrument second(state, 9);
    QCOMPARE(first.measureOnce(q).position, second.measureOnce(q).position);
}

void TestCellModel::stateFileRoundTrip()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("site/cell/state.json"));
    sim::CellState created;
    QVERIFY(sim::loadOrCreateCellState(path, created));
    QVERIFY(QFile::exists(path));
    QCOMPARE(created.robotName, QStringLiteral("LX6-900"));
    QCOMPARE(created.dh, sim::findRobotType(QStringLiteral("LX6-900"))->nominalDh);

    sim::CellState changed = sim::CellState::defaults(*sim::findRobotType(7001), 123456789012345);
    changed.dh[5] = 0.1 + 0.2; // not representable in few digits
    changed.zeroCompensation[6] = -0.0123456789;
    changed.instrument.jointJitterDeg = 0.0;
    QVERIFY(sim::saveCellState(path, changed));
    sim::CellState read;
    QString error;
    QVERIFY2(sim::loadOrCreateCellState(path, read, &error), qPrintable(error));
    QCOMPARE(read.robotName, QStringLiteral("LX7-800"));
    QCOMPARE(read.seed, changed.seed);
    QCOMPARE(read.dh, changed.dh);
    QCOMPARE(read.zeroCompensation, changed.zeroCompensation);
    QCOMPARE(read.instrument.jointJitterDeg, 0.0);
    QCOMPARE(read.serialNumber, changed.serialNumber);

    // A regular file where the folder should be: the write fails and says so.
    QVERIFY(sim::saveCellState(dir.filePath(QStringLiteral("blocker")), changed));
    QVERIFY(
        !sim::saveCellState(dir.filePath(QStringLiteral("blocker/state.json")), changed, &error));
    QVERIFY(!error.isEmpty());
}

void TestCellModel::malformedStateFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("message");
    const QByteArray controller =
        R"("controller": {"dh_params": [-90,150,450,0,0,610,0,-90,-90,120,0,0,90,0,660,0,-90,0,0,0,0,0,115,180,0,0,0,0], "zero_compensation": [0,0,0,0,0,0]})";
    const QByteArray robot = R"("robot": {"type": "LX6-900", "seed": 5})";
    QTest::addRow("not JSON") << QByteArray("{\"robot\": ") << "not a JSON object";
    QTest::addRow("unknown robot") << "{" + controller + R"(, "robot": {"type": "LX9", "seed": 5}})"
                                   << "unknown robot type";
    QTest::addRow("negative seed")
        << "{" + controller + R"(, "robot": {"type": "LX6-900", "seed": -1}})"
        << "seed";
    QTest::addRow("fractional seed")
        << "{" + controller + R"(, "robot": {"type": "LX6-900", "seed": 1.5}})"
        << "seed";
    QTest::addRow("short DH table")
        << "{" + robot +
               R"(, "controller": {"dh_params": [1,2,3], "zero_compensation": [0,0,0,0,0,0]}})"
        << "dh_params";
    QByteArray textZero = controller;
    textZero.replace("[0,0,0,0,0,0]", "[0,0,\"x\",0,0,0]");
    QTest::addRow("text in compensation") << "{" + robot + "," + textZero + "}"
                                          << "zero_compensation";
    QTest::addRow("negative noise")
        << "{" + robot + "," + controller + R"(, "instrument": {"position_noise_mm": -0.1}})"
        << "noise";
}

void TestCellModel::malformedStateFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, message);
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("state.json"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(content);
    file.close();

    sim::CellState state = sim::CellState::defaults(*sim::findRobotType(7001));
    QString error;
    QVERIFY(!sim::loadOrCreateCellState(path, state, &error));
    QVERIFY2(error.contains(message), qPrintable(error));
    // A failed read leaves the caller's state alone and the file as it was.
    QCOMPARE(state.robotName, QStringLiteral("LX7-800"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), content);
}

void TestCellModel::siteOfRoot_data()
{
    QTest::addColumn<QString>("root");
    QTest::addColumn<QString>("site");
    QTest::addRow("fixed suffix") << "/srv/site/D:/HMI/Armdesk_5.194.12.0570/Calibration"
                                  << "/srv/site";
    QTest::addRow("trailing slash") << "/srv/site/D:/HMI/Armdesk_5.194.12.0570/Calibration/"
                                    << "/srv/site";
    QTest::addRow("other root") << "/tmp/x/calibration"
                                << "/tmp/x";
    QTest::addRow("suffix only in the middle") << "/a/D:/HMI/Armdesk_5.194.12.0570/Calibration/more"
                                               << "/a/D:/HMI/Armdesk_5.194.12.0570/Calibration";
}

void TestCellModel::siteOfRoot()
{
    QFETCH(QString, root);
    QFETCH(QString, site);
    QCOMPARE(sim::siteForCalibrationRoot(root), site);
    qunsetenv("LUMORA_CELL_STATE");
    QCOMPARE(sim::cellStatePathForRoot(root), site + QStringLiteral("/cell/state.json"));
    qputenv("LUMORA_CELL_STATE", "/elsewhere/state.json");
    QCOMPARE(sim::cellStatePathForRoot(root), QStringLiteral("/elsewhere/state.json"));
    QCOMPARE(sim::defaultCellStatePath(), QStringLiteral("/elsewhere/state.json"));
    qunsetenv("LUMORA_CELL_STATE");
    QCOMPARE(sim::defaultCellStatePath(), QStringLiteral("cell/state.json"));
}

void TestCellModel::resolveRoot()
{
    QTemporaryDir dir;
    const QString site = dir.filePath(QStringLiteral("site"));
    const QString relative = sim::calibrationRootSuffix();
    const QString root = site + QLatin1Char('/') + relative;
    const QString toolFolder = root + QStringLiteral("/kalvo_calib_cli/bin");
    QVERIFY(QDir().mkpath(toolFolder));

    // The working directory (a fresh temporary folder) holds no such path: the tool's ancestors do.
    QCOMPARE(sim::resolveCalibrationRoot(relative, toolFolder), root);
    QCOMPARE(sim::resolveCalibrationRoot(root, QStringLiteral("/")), root);
    QCOMPARE(sim::resolveCalibrationRoot(relative, dir.path()), QString());
    QCOMPARE(sim::resolveCalibrationRoot(root + QStringLiteral("/missing"), toolFolder), QString());
    QCOMPARE(sim::resolveCalibrationRoot(QString(), toolFolder), QString());

    // A relative path that exists from the working directory wins.
    QVERIFY(QDir().mkpath(QStringLiteral("here/") + relative));
    QCOMPARE(sim::resolveCalibrationRoot(QStringLiteral("here/") + relative, toolFolder),
             QDir::current().absoluteFilePath(QStringLiteral("here/") + relative));
}

LUMORA_TEST_MAIN(TestCellModel)
#include "tst_cellmodel.moc"
