#include "faketools.h"
#include "isoposes.h"
#include "isoresults.h"
#include "isotoolrun.h"
#include "programrun.h"
#include "testmain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <Eigen/SVD>
#include <cellframes.h>
#include <cellstate.h>
#include <celltruth.h>
#include <cmath>
#include <functional>
#include <kinematics.h>
#include <robottypes.h>

using lumora::test::readTextFile;
using lumora::test::writeTextFile;

using lumora::test::runCellProgram;
using lumora::test::ToolRun;

namespace {

const QString task = QStringLiteral(ISO_TASK);
const QString report = QStringLiteral(ISO_REPORT);
const QString copier = QStringLiteral(ISO_COPY);
const QString remover = QStringLiteral(ISO_DELETE);

IsoPoseMap shippedPoses(const QString& robot)
{
    return getDefaultIsoPoses(DEFAULT_POSES, robot.toStdString());
}

// The default LX6-900 job with one change.
QByteArray jobWith(const std::function<void(QJsonObject& job, QJsonObject& config)>& change)
{
    QJsonObject job = isoJob(QStringLiteral("LX6-900"), 3, shippedPoses("LX6-900"), "/tmp/x");
    QJsonObject config = job.value(QStringLiteral("iso_config")).toObject();
    change(job, config);
    if (!config.isEmpty())
        job.insert(QStringLiteral("iso_config"), config);
    return QJsonDocument(job).toJson();
}

QJsonArray position(const QVector<double>& values, int at)
{
    return {values[at], values[at + 1], values[at + 2], 0, 0, 0};
}

QByteArray measurementFile(const QVector<double>& commanded, const QVector<double>& attained)
{
    QJsonArray positions;
    for (int i = 0; i + 2 < attained.size(); i += 3)
        positions.append(position(attained, i));
    const QJsonObject point{{QStringLiteral("name"), QStringLiteral("P1")},
                            {QStringLiteral("joints"), QJsonArray{0, 0, 0, 0, 0, 0}},
                            {QStringLiteral("commanded"), position(commanded, 0)},
                            {QStringLiteral("attained"), positions}};
    return QJsonDocument(QJsonObject{{QStringLiteral("points"), QJsonArray{point}}}).toJson();
}

std::vector<double> commandedJoints(const std::array<double, 6>& pose, int axisCount)
{
    std::vector<double> joints(pose.begin(), pose.end());
    joints.resize(std::size_t(axisCount), 0.0);
    return joints;
}

} // namespace

class TestIsoTools : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fullCycle_data();
    void fullCycle();
    void taskRefusals_data();
    void taskRefusals();
    void figuresByHand_data();
    void figuresByHand();
    void reportRefusals_data();
    void reportRefusals();
    void calibrationShowsInAccuracy_data();
    void calibrationShowsInAccuracy();
    void defaultPoses_data();
    void defaultPoses();
    void copyRefusals_data();
    void copyRefusals();
    void deleteWithNothingToDelete();

private:
    ToolRun run(const QString& program, const QStringList& extra = {});
    void measureAndReport(const sim::CellState& cell, int samples);

    QScopedPointer<QTemporaryDir> dir;
    QString root;
    QString statePath;
    QString jobPath;
    QString resultPath;
    QString dataPath;
    QString reportPath;
};

void TestIsoTools::init()
{
    dir.reset(new QTemporaryDir);
    root = dir->filePath(QStringLiteral("root"));
    statePath = dir->filePath(QStringLiteral("state.json"));
    jobPath = root + QStringLiteral("/calibInfo.json");
    resultPath = root + QStringLiteral("/optimized_dh.json");
    dataPath = root + QStringLiteral("/iso/data/measurements.json");
    reportPath = root + QStringLiteral("/iso/report/iso_report.pdf");
    QVERIFY(QDir().mkpath(root));
}

ToolRun TestIsoTools::run(const QString& program, const QStringList& extra)
{
    return runCellProgram(program, QStringList{QStringLiteral("--path"), root} + extra, dir->path(),
                          statePath);
}

void TestIsoTools::measureAndReport(const sim::CellState& cell, int samples)
{
    QVERIFY(sim::saveCellState(statePath, cell));
    QVERIFY(writeJson(jobPath, isoJob(cell.robotName, samples, shippedPoses(cell.robotName),
                                      dir->filePath(QStringLiteral("saved")))));
    const ToolRun measured = run(task, {QStringLiteral("--move-ms"), QStringLiteral("0")});
    QVERIFY2(measured.exitCode == 0, qPrintable(measured.err));
    const ToolRun reported = run(report);
    QVERIFY2(reported.exitCode == 0, qPrintable(reported.err));
}

void TestIsoTools::fullCycle_data()
{
    QTest::addColumn<QString>("robot");
    QTest::addColumn<int>("samples");
    QTest::addColumn<bool>("relativeRoot");
    QTest::addRow("LX6-900, 3 cycles") << "LX6-900" << 3 << false;
    QTest::addRow("LX7-800, 2 cycles, root relative to the site") << "LX7-800" << 2 << true;
    QTest::addRow("LX6-900, 1 cycle") << "LX6-900" << 1 << false;
}

void TestIsoTools::fullCycle()
{
    QFETCH(QString, robot);
    QFETCH(int, samples);
    QFETCH(bool, relativeRoot);
    QVERIFY(sim::saveCellState(statePath, sim::CellState::defaults(*sim::findRobotType(robot))));
    const QString saveDir = dir->filePath(QStringLiteral("reports/line 2/new"));
    QVERIFY(writeJson(jobPath, isoJob(robot, samples, shippedPoses(robot), saveDir)));
    // An earlier calibration result, which the ISO programs must leave as it is.
    const QJsonObject calibration{
        {QStringLiteral("status"), 1},
        {QStringLiteral("avg_pos_error"), 0.0123},
        {QStringLiteral("zero_points"), QJsonArray{0.01, -0.02, 0.0, 0.0, 0.03, 0.0}},
        {QStringLiteral("dh_parameters"),
         QJsonObject{{QStringLiteral("joint_1"), QJsonObject{{QStringLiteral("a"), 150.25}}}}}};
    QVERIFY(writeJson(resultPath, calibration));

    const QString pathArgument = relativeRoot ? QStringLiteral("root") : root;
    const ToolRun measured =
        runCellProgram(task, {QStringLiteral("--path"), pathArgument}, dir->path(), statePath);
    QCOMPARE(measured.status, QProcess::NormalExit);
    QVERIFY2(measured.exitCode == 0, qPrintable(measured.err));
    QStringList rounds;
    const QRegularExpression roundLine(QStringLiteral(R"(\[ROUND\]\s*(\d+)\s*/\s*(\d+))"));
    for (const QString& line : measured.out.split(QLatin1Char('\n'))) {
        const QRegularExpressionMatch match = roundLine.match(line.trimmed());
        if (match.hasMatch())
            rounds << match.captured(1) + QLatin1Char('/') + match.captured(2);
    }
    QStringList expectedRounds;
    for (int k = 1; k <= samples; ++k)
        expectedRounds << QStringLiteral("%1/%2").arg(k).arg(samples);
    QCOMPARE(rounds, expectedRounds);

    const ToolRun reported = run(report);
    QVERIFY2(reported.exitCode == 0, qPrintable(reported.err));
    std::vector<IsoResult> results;
    QVERIFY(readIsoResults(results, resultPath.toStdString()));
    QCOMPARE(int(results.size()), 5);
    for (int i = 0; i < 5; ++i) {
        const IsoResult& r = results[std::size_t(i)];
        QCOMPARE(QString::fromStdString(r.name), QStringLiteral("P%1").arg(i + 1));
        // An uncalibrated robot misses by tenths of a millimetre, repeats within hundredths.
        QVERIFY2(r.accuracy > 0.1 && r.accuracy < 10.0, qPrintable(QString::number(r.accuracy)));
        QVERIFY(r.repeatability >= 0.0 && r.repeatability < 0.2);
        QVERIFY(r.rms >= 0.0 && r.rms <= r.repeatability + 1e-12);
        QVERIFY(r.stdDev >= 0.0 && r.stdDev <= r.rms + 1e-12);
    }
    QJsonObject others = readJson(resultPath);
    others.remove(QStringLiteral("iso_results"));
    QCOMPARE(others, calibration);
    const QByteArray pdf = readTextFile(reportPath);
    QVERIFY(pdf.startsWith("%PDF"));
    QVERIFY2(pdf.size() > 20000, qPrintable(QString::number(pdf.size())));

    const ToolRun copied = run(copier);
    QVERIFY2(copied.exitCode == 0, qPrintable(copied.err));
    const QDir saved(saveDir);
    const QStringList reports = saved.entryList({QStringLiteral("iso_report_SN-ISO-7_*.pdf")});
    const QStringList data = saved.entryList({QStringLiteral("iso_measurements_SN-ISO-7_*.json")});
    QCOMPARE(reports.size(), 1);
    QCOMPARE(data.size(), 1);
    QCOMPARE(saved.entryList(QDir::Files).size(), 2);
    QCOMPARE(readTextFile(saved.filePath(reports.first())), pdf);
    QCOMPARE(readTextFile(saved.filePath(data.first())), readTextFile(dataPath));

    const ToolRun deleted = run(remover);
    QVERIFY2(deleted.exitCode == 0, qPrintable(deleted.err));
    QVERIFY(!QFile::exists(reportPath));
    QVERIFY(!QFile::exists(dataPath));
    QCOMPARE(readJson(resultPath), calibration);
    QVERIFY(!readIsoResults(results, resultPath.toStdString()));
    QCOMPARE(saved.entryList(QDir::Files).size(), 2);
}

void TestIsoTools::taskRefusals_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QStringList path{QStringLiteral("--path"), QStringLiteral("ROOT")};
    const auto sampleTimes = [](const QJsonValue& value) {
        return jobWith([value](QJsonObject&, QJsonObject& config) {
            config.insert(QStringLiteral("sample_times"), value);
        });
    };
    const auto poses = [](const std::function<void(QJsonObject&)>& change) {
        return jobWith([change](QJsonObject&, QJsonObject& config) {
            QJsonObject poses = config.value(QStringLiteral("iso_poses")).toObject();
            change(poses);
            config.insert(QStringLiteral("iso_poses"), poses);
        });
    };
    QTest::addRow("sample_times 0") << sampleTimes(0) << path << 2 << "\"sample_times\" is 0";
    QTest::addRow("sample_times negative") << sampleTimes(-3) << path << 2 << "whole number";
    QTest::addRow("sample_times fractional") << sampleTimes(2.5) << path << 2 << "whole number";
    QTest::addRow("sample_times a string") << sampleTimes("5") << path << 2 << "whole number";
    QTest::addRow("sample_times beyond 1000") << sampleTimes(1001) << path << 2 << "1 to 1000";
    QTest::addRow("no job file") << QByteArray() << path << 2 << "cannot read";
    QTest::addRow("job file not JSON")
        << QByteArray("{ \"iso_config\": ") << path << 2 << "not valid JSON";
    QTest::addRow("no iso_config") << jobWith([](QJsonObject& job, QJsonObject& config) {
        job.remove(QStringLiteral("iso_config"));
        config = QJsonObject();
    }) << path << 2 << "no \"iso_config\"";
    // What a default-mode save before any robot connection leaves.
    QTest::addRow("no poses") << poses([](QJsonObject& p) { p = QJsonObject(); }) << path << 2
                              << "lacks point1";
    QTest::addRow("pose of five numbers") << poses([](QJsonObject& p) {
        p.insert("point2", QJsonArray{1, 2, 3, 4, 5});
    }) << path << 2 << "\"point2\" must hold six numbers";
    QTest::addRow("pose holding a string") << poses([](QJsonObject& p) {
        p.insert("point4", QJsonArray{1, 2, 3, 4, 5, "6"});
    }) << path << 2 << "\"point4\" must hold six numbers";
    QTest::addRow("joint beyond its travel") << poses([](QJsonObject& p) {
        p.insert("point3", QJsonArray{0, 95, 0, 0, 30, 0});
    }) << path << 2 << "P3: joint 2 at 95 deg is outside its travel -130 to 80 deg";
    QTest::addRow("job for another robot") << jobWith([](QJsonObject& job, QJsonObject&) {
        job.insert(QStringLiteral("robot_profile"),
                   QJsonObject{{QStringLiteral("robot_name"), QStringLiteral("LX7-800")}});
    }) << path << 3 << "the job names robot LX7-800 but the cell holds LX6-900";
    QTest::addRow("no --path") << sampleTimes(3) << QStringList() << 1 << "no calibration root";
    QTest::addRow("root not found")
        << sampleTimes(3) << QStringList{QStringLiteral("--path"), QStringLiteral("no/such/root")}
        << 1 << "not found";
    QTest::addRow("unknown argument")
        << sampleTimes(3) << (path + QStringList{"--fast"}) << 1 << "unexpected argument --fast";
}

void TestIsoTools::taskRefusals()
{
    QFETCH(QByteArray, job);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QVERIFY(sim::saveCellState(statePath, sim::CellState::defaults()));
    if (!job.isNull())
        QVERIFY(writeTextFile(jobPath, job));
    // An earlier run's data stays when a run is refused before it starts.
    QVERIFY(writeTextFile(dataPath, "earlier"));
    arguments.replaceInStrings(QStringLiteral("ROOT"), root);

    const ToolRun refused = runCellProgram(task, arguments, dir->path(), statePath);
    QCOMPARE(refused.status, QProcess::NormalExit);
    QCOMPARE(refused.exitCode, exitCode);
    QVERIFY2(refused.err.contains(message), qPrintable(refused.err));
    QVERIFY(!refused.out.contains(QStringLiteral("[ROUND]")));
    QCOMPARE(readTextFile(dataPath), QByteArray("earlier"));
}

void TestIsoTools::figuresByHand_data()
{
    QTest::addColumn<QVector<double>>("commanded");
    QTest::addColumn<QVector<double>>("attained");
    QTest::addColumn<double>("accuracy");
    QTest::addColumn<double>("repeatability");
    QTest::addColumn<double>("rms");
    QTest::addColumn<double>("stdDev");
    // Four positions 1 mm around (10, 0, 0): no spread of the distances.
    QTest::addRow("equal distances")
        << QVector<double>{0, 0, 0} << QVector<double>{11, 0, 0, 9, 0, 0, 10, 1, 0, 10, -1, 0}
        << 10.0 << 1.0 << 1.0 << 0.0;
    // Distances 3, 3, 1, 1: mean 2, S = sqrt(4/3), RP = 2 + 2 sqrt(3), RMS = sqrt(5).
    QTest::addRow("unequal distances")
        << QVector<double>{1, 2, 2} << QVector<double>{3, 0, 0, -3, 0, 0, 0, 1, 0, 0, -1, 0} << 3.0
        << 2.0 + 2.0 * std::sqrt(3.0) << std::sqrt(5.0) << std::sqrt(4.0 / 3.0);
    // Barycentre (0, 0, 2); distances 2, 0, 2: mean 4/3, S = sqrt(4/3), RMS = sqrt(8/3).
    QTest::addRow("spread along z only")
        << QVector<double>{0, 0, 0} << QVector<double>{0, 0, 0, 0, 0, 2, 0, 0, 4} << 2.0
        << 4.0 / 3.0 + 3.0 * std::sqrt(4.0 / 3.0) << std::sqrt(8.0 / 3.0) << std::sqrt(4.0 / 3.0);
    QTest::addRow("one sample") << QVector<double>{0, 0, 0} << QVector<double>{1, 2, 2} << 3.0
                                << 0.0 << 0.0 << 0.0;
    QTest::addRow("repeated position, 3-4-5 miss")
        << QVector<double>{1, 1, 1} << QVector<double>{4, 5, 1, 4, 5, 1, 4, 5, 1} << 5.0 << 0.0
        << 0.0 << 0.0;
}

void TestIsoTools::figuresByHand()
{
    QFETCH(QVector<double>, commanded);
    QFETCH(QVector<double>, attained);
    QFETCH(double, accuracy);
    QFETCH(double, repeatability);
    QFETCH(double, rms);
    QFETCH(double, stdDev);
    QVERIFY(writeTextFile(dataPath, measurementFile(commanded, attained)));
    const ToolRun reported = run(report);
    QVERIFY2(reported.exitCode == 0, qPrintable(reported.err));
    std::vector<IsoResult> results;
    QVERIFY(readIsoResults(results, resultPath.toStdString()));
    QCOMPARE(int(results.size()), 1);
    const IsoResult& r = results.front();
    QCOMPARE(r.name, std::string("P1"));
    const double expected[] = {accuracy, repeatability, rms, stdDev};
    const double found[] = {r.accuracy, r.repeatability, r.rms, r.stdDev};
    for (int i = 0; i < 4; ++i) {
        QVERIFY2(std::abs(found[i] - expected[i]) < 1e-12,
                 qPrintable(QStringLiteral("figure %1: %2 instead of %3")
                                .arg(i)
                                .arg(found[i], 0, 'g', 17)
                                .arg(expected[i], 0, 'g', 17)));
    }
}

void TestIsoTools::reportRefusals_data()
{
    QTest::addColumn<QByteArray>("measurements");
    QTest::addColumn<QByteArray>("resultFile");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QByteArray valid = measurementFile({0, 0, 0}, {1, 0, 0, 0, 1, 0});
    const QByteArray calibration = "{\"status\": 1}";
    QTest::addRow("no measurements") << QByteArray() << calibration << 4 << "run the ISO test";
    QTest::addRow("measurements not JSON") << QByteArray("[") << calibration << 4 << "not a JSON";
    QTest::addRow("point without attained positions")
        << measurementFile({0, 0, 0}, {}) << calibration << 4 << "P1 has no attained position";
    QTest::addRow("attained position of two numbers")
        << QByteArray(R"({"points":[{"name":"P1","commanded":[0,0,0,0,0,0],"attained":[[1,2]]}]})")
        << calibration << 4 << "not six numbers";
    QTest::addRow("result file not an object")
        << valid << QByteArray("[1, 2]") << 5 << "left as it is";
    QTest::addRow("result file torn")
        << valid << QByteArray("{\"status\": 1, \"dh_par") << 5 << "not valid JSON";
}

void TestIsoTools::reportRefusals()
{
    QFETCH(QByteArray, measurements);
    QFETCH(QByteArray, resultFile);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    if (!measurements.isNull())
        QVERIFY(writeTextFile(dataPath, measurements));
    QVERIFY(writeTextFile(resultPath, resultFile));
    const ToolRun refused = run(report);
    QCOMPARE(refused.status, QProcess::NormalExit);
    QCOMPARE(refused.exitCode, exitCode);
    QVERIFY2(refused.err.contains(message), qPrintable(refused.err));
    QCOMPARE(readTextFile(resultPath), resultFile);
    QVERIFY(!QFile::exists(reportPath));
}

void TestIsoTools::calibrationShowsInAccuracy_data()
{
    QTest::addColumn<QString>("robot");
    QTest::addColumn<quint64>("seed");
    QTest::addRow("LX6-900") << "LX6-900" << quint64(20260612);
    QTest::addRow("LX7-800") << "LX7-800" << quint64(7);
}

void TestIsoTools::calibrationShowsInAccuracy()
{
    QFETCH(QString, robot);
    QFETCH(quint64, seed);
    const auto meanAccuracy = [this](const sim::CellState& cell) {
        measureAndReport(cell, 5);
        std::vector<IsoResult> results;
        double sum = 0.0;
        if (readIsoResults(results, resultPath.toStdString())) {
            for (const IsoResult& r : results)
                sum += r.accuracy;
        }
        return results.size() == 5 ? sum / 5.0 : -1.0;
    };
    sim::CellState uncalibrated = sim::CellState::defaults(*sim::findRobotType(robot), seed);
    uncalibrated.sources = sim::ErrorSources::none();
    // A controller that knows the real robot exactly.
    sim::CellState calibrated = uncalibrated;
    calibrated.dh = sim::drawTruth(uncalibrated).dh;
    calibrated.zeroCompensation = sim::drawTruth(uncalibrated).zeroError;

    calib::CellFrames frames;
    frames.robotName = robot;
    const double before = meanAccuracy(uncalibrated);
    QVERIFY(writeTextFile(calib::cellFramesPath(root), calib::cellFramesToJson(frames)));
    const double after = meanAccuracy(calibrated);
    qInfo("%s: mean AP %.4f mm uncalibrated, %.4f mm calibrated", qPrintable(robot), before, after);
    QVERIFY(before > 0.2);
    QVERIFY(after >= 0.0 && after < 0.05);
    QVERIFY(before > 10.0 * after);
}

void TestIsoTools::defaultPoses_data()
{
    QTest::addColumn<QString>("robot");
    for (const sim::RobotType& type : sim::robotTypes())
        QTest::addRow("%s", qPrintable(type.name)) << type.name;
}

void TestIsoTools::defaultPoses()
{
    QFETCH(QString, robot);
    const sim::RobotType& type = *sim::findRobotType(robot);
    const IsoPoseMap poses = shippedPoses(robot);
    QCOMPARE(int(poses.size()), 5);
    std::vector<Eigen::Vector3d> positions;
    for (int index = 1; index <= 5; ++index) {
        const std::string name = "point" + std::to_string(index);
        QVERIFY2(poses.count(name), name.c_str());
        const std::vector<double> joints = commandedJoints(poses.at(name), type.axisCount);
        for (int j = 0; j < type.axisCount; ++j) {
            const sim::JointRange range = type.jointRanges[std::size_t(j)];
            QVERIFY2(joints[std::size_t(j)] > range.minDeg + 5.0 &&
                         joints[std::size_t(j)] < range.maxDeg - 5.0,
                     qPrintable(QStringLiteral("%1 joint %2").arg(name.c_str()).arg(j + 1)));
        }
        // Well away from singularities: the six driven joints move the flange in every
        // direction (orientation weighted at 500 mm per radian).
        const sim::Pose pose = sim::flangePose(type.nominalDh, joints);
        Eigen::Matrix<double, 6, 6> jacobian;
        for (int j = 0; j < 6; ++j) {
            std::vector<double> moved = joints;
            moved[std::size_t(j)] += 1e-4;
            const sim::Pose next = sim::flangePose(type.nominalDh, moved);
            const Eigen::AngleAxisd turn(pose.rotation.transpose() * next.rotation);
            jacobian.block<3, 1>(0, j) = (next.position - pose.position) / 1e-4;
            jacobian.block<3, 1>(3, j) = pose.rotation * turn.axis() * turn.angle() * 500.0 / 1e-4;
        }
        const Eigen::VectorXd singular =
            Eigen::JacobiSVD<Eigen::MatrixXd>(jacobian).singularValues();
        QVERIFY2(singular(0) / singular(5) < 20.0, qPrintable(QStringLiteral("%1: condition %2")
                                                                  .arg(name.c_str())
                                                                  .arg(singular(0) / singular(5))));
        positions.push_back(pose.position);
    }
    // P5 is the centre of the region that P1 to P4 span, and that region is not small.
    const Eigen::Vector3d centre = (positions[0] + positions[1] + positions[2] + positions[3]) / 4;
    QVERIFY((positions[4] - centre).norm() < 1.0);
    for (int i = 0; i < 4; ++i)
        QVERIFY((positions[std::size_t(i)] - centre).norm() > 100.0);
}

void TestIsoTools::copyRefusals_data()
{
    QTest::addColumn<QString>("savePath");
    QTest::addColumn<bool>("removeReport");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addRow("folder below a regular file")
        << "plain.txt/reports" << false << 5 << "cannot create the report folder";
    QTest::addRow("no report generated") << "saved" << true << 4 << "generate the report first";
    QTest::addRow("no report folder configured") << "" << false << 2 << "save_path";
}

void TestIsoTools::copyRefusals()
{
    QFETCH(QString, savePath);
    QFETCH(bool, removeReport);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    measureAndReport(sim::CellState::defaults(), 1);
    QVERIFY(writeTextFile(dir->filePath(QStringLiteral("plain.txt")), "not a folder"));
    QJsonObject job = readJson(jobPath);
    QJsonObject config = job.value(QStringLiteral("iso_config")).toObject();
    config.insert(QStringLiteral("save_path"),
                  savePath.isEmpty() ? savePath : dir->filePath(savePath));
    job.insert(QStringLiteral("iso_config"), config);
    QVERIFY(writeJson(jobPath, job));
    if (removeReport)
        QVERIFY(QFile::remove(reportPath));

    const ToolRun refused = run(copier);
    QCOMPARE(refused.status, QProcess::NormalExit);
    QCOMPARE(refused.exitCode, exitCode);
    QVERIFY2(refused.err.contains(message), qPrintable(refused.err));
    QVERIFY(!QFileInfo::exists(dir->filePath(QStringLiteral("saved"))));
}

void TestIsoTools::deleteWithNothingToDelete()
{
    const ToolRun emptyRoot = run(remover);
    QVERIFY2(emptyRoot.exitCode == 0, qPrintable(emptyRoot.err));
    QVERIFY(!QFile::exists(resultPath));

    // A result file without ISO figures is not rewritten.
    const QByteArray calibration = "{\"status\": 1,   \"avg_pos_error\": 0.5}";
    QVERIFY(writeTextFile(resultPath, calibration));
    const ToolRun noFigures = run(remover);
    QVERIFY2(noFigures.exitCode == 0, qPrintable(noFigures.err));
    QCOMPARE(readTextFile(resultPath), calibration);
}

LUMORA_TEST_MAIN(TestIsoTools)
#include "tst_isotools.moc"
