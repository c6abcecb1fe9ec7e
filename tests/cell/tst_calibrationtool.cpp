#include "faketools.h"
#include "programrun.h"
#include "resultfile.h"
#include "testmain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cellframes.h>
#include <future>
#include <instrument.h>
#include <measurementfile.h>
#include <sys/stat.h>
#include <workspace.h>

using lumora::test::readTextFile;
using lumora::test::writeTextFile;
using Rows = std::vector<calib::Measurement>;

namespace {

QByteArray jobFile(const QString& robot, int modelType, const char* locked = "[]")
{
    const QJsonObject profile{{"model_type", modelType}, {"robot_name", robot}};
    return QJsonDocument(
               QJsonObject{{"algorithm_constraints", QJsonDocument::fromJson(locked).array()},
                           {"file_type", "calib_info"},
                           {"robot_profile", profile}})
        .toJson();
}

// The model the result files describe, as the controller and the ISO test take it.
calib::CellModel resultModel(const QString& root, const sim::CellState& cell)
{
    std::map<std::string, DHParam> joints;
    std::vector<double> zeroPoints;
    const std::string path = (root + "/optimized_dh.json").toStdString();
    calib::CellModel model{cell.dh, {}};
    if (!readDHParameters(joints, path) || !readZeroPoints(zeroPoints, path))
        return model;
    for (std::size_t j = 0; j < zeroPoints.size(); ++j) {
        const DHParam& p = joints.at("joint_" + std::to_string(j + 1));
        const double values[] = {p.alpha, p.a, p.d, p.theta_offset};
        std::copy_n(values, 4, model.dh.begin() + long(4 * j));
        model.zeroOffsets.push_back(zeroPoints[j] - cell.zeroCompensation[j]);
    }
    const auto frames = calib::readCellFrames(calib::cellFramesPath(root), nullptr);
    model.placement = frames ? frames->placement : Eigen::Isometry3d::Identity();
    model.targetOffset = frames ? frames->targetOffset : Eigen::Vector3d::Constant(1e9);
    return model;
}

} // namespace

class TestCalibrationTool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void identifiesTheCell();
    void measurementFile_data();
    void measurementFile();
    void fileRunWithoutController();
    void failuresWriteNothing_data();
    void failuresWriteNothing();

private:
    // Calibrates a cell of every error source with its robot's every parameter free.
    void identifyOnce(int modelCode, std::uint64_t seed);
    // Runs the tool on root (arguments after a "-" as they stand) and the test's cell.
    lumora::test::ToolRun runTool(QStringList arguments = {});

    QScopedPointer<QTemporaryDir> dir;
    QString root, statePath;
};

void TestCalibrationTool::init()
{
    dir.reset(new QTemporaryDir);
    root = dir->filePath("root");
    statePath = dir->filePath("state.json");
    QVERIFY(QDir().mkpath(root) && sim::saveCellState(statePath, sim::CellState::defaults()));
}

lumora::test::ToolRun TestCalibrationTool::runTool(QStringList arguments)
{
    const QStringList path = arguments.removeAll("-") ? QStringList() : QStringList{"--path", root};
    return lumora::test::runCellProgram(CALIBRATION_TOOL, path + arguments, dir->path(), statePath);
}

void TestCalibrationTool::identifiesTheCell()
{
    for (const auto& [modelCode, seed] : {std::pair{6001, 3}, std::pair{7001, 4}})
        identifyOnce(modelCode, seed);
}

void TestCalibrationTool::identifyOnce(int modelCode, std::uint64_t seed)
{
    const sim::RobotType& type = *sim::findRobotType(modelCode);
    const sim::CellState cell = sim::CellState::defaults(type, seed);
    QVERIFY(sim::saveCellState(statePath, cell));
    QVERIFY(writeTextFile(root + "/calibInfo.json", jobFile(type.name, modelCode)));
    // The cell's best model takes seconds to find: found while the tool runs. The cell holds no
    // compensation, so the best compensation is the model's zero offsets.
    std::future<calib::CellModel> best = std::async(std::launch::async, [cell] {
        const sim::BestModel b = sim::Instrument(cell, 0).bestModel();
        return calib::CellModel{b.dh, b.zeroCompensation, b.baseToInstrument, b.targetOffset};
    });
    const lumora::test::ToolRun run = runTool();
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    // Measurement progress, the phase line, solver progress.
    const QStringList lines = run.out.split('\n');
    QCOMPARE(lines.value(0) + lines.value(199) + lines.value(200) + lines.value(201).left(13),
             "[PROGRESS] 1/200[PROGRESS] 200/200[PHASE] OPTIMIZATION[PROGRESS] 1/");
    QVERIFY(readTextFile(root + "/calibration_report.pdf").startsWith("%PDF"));

    // What the tool measured: 150 poses fitted, 50 others held out.
    Rows fit, check;
    const Rows all =
        *calib::parseMeasurementCsv(readTextFile(root + "/measurements.csv"), 0, nullptr);
    for (const calib::Measurement& m : all)
        (m.set == calib::Measurement::Check ? check : fit).push_back(m);
    QVERIFY(fit.size() == 150 && check.size() == 50);
    for (const calib::Measurement& held : check) {
        for (const calib::Measurement& fitted : fit)
            QVERIFY(held.jointsDeg != fitted.jointsDeg);
    }
    // The reported errors are the result files' model's on the held-out poses, within 1.2x of
    // the cell's best model there.
    const calib::CellModel model = resultModel(root, cell);
    AverageErrors reported;
    QVERIFY(readAverageErrors(reported, (root + "/optimized_dh.json").toStdString()));
    const calib::PoseErrors after = calib::poseErrors(model, check);
    QVERIFY(std::abs(reported.avgPosError - after.meanPositionMm) < 1e-9 &&
            std::abs(reported.avgAttError - after.meanOrientationDeg) < 1e-9);
    QVERIFY(after.meanPositionMm <= 1.2 * calib::poseErrors(best.get(), check).meanPositionMm);
    // Fitted to exactly the rows marked fit: their fit alone gives the same table (found while
    // the replay below runs).
    calib::IdentificationProblem problem;
    problem.start = calib::CellModel{cell.dh, cell.zeroCompensation};
    problem.start.placement = calib::registerPlacement(problem.start, fit);
    problem.locked.assign(cell.dh.size() - 4, false);
    problem.measurements = fit;
    std::future<std::vector<double>> fitAlone =
        std::async(std::launch::async, [problem] { return calib::identify(problem).model.dh; });

    // Replaying the recording gives the same result files.
    const QByteArray files =
        readTextFile(root + "/optimized_dh.json") + readTextFile(calib::cellFramesPath(root));
    QCOMPARE(runTool({"--measurements", root + "/measurements.csv"}).exitCode, 0);
    QCOMPARE(readTextFile(root + "/optimized_dh.json") + readTextFile(calib::cellFramesPath(root)),
             files);
    QVERIFY(fitAlone.get() == model.dh);
}

void TestCalibrationTool::measurementFile_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<QString>("expected"); // rows read, or where the fault lies
    const QByteArray h = "j1,j2,j3,j4,j5,j6,x,y,z,rx,ry,rz,set\n", joints = "j1,j2,j3,j4,j5,j6,";
    const QByteArray r = "1,2,3,4,5,6,0.30000000000000004,-2e2,3,0,0,4.5,CHECK\n";
    const auto row = [&h](const char* fields) { return h + "1,2,3,4,5,6," + fields + "\n"; };
    QTest::addRow("comments, BOM, CR LF") << "\xEF\xBB\xBF# x\r\n" + h + r + "  # y\n\n" + r << "2";
    QTest::addRow("any order, no rx, no set")
        << QByteArray("X,y,z,J6,j5,j4,j3,j2,j1\n1,2,3,4,5,6,7,8,+9") << "1";
    QTest::addRow("no header") << QByteArray("# nothing") << "line 1";
    QTest::addRow("j6 missing") << QByteArray("j1,j2,j3,j4,j5,x,y,z") << "line 1: the header";
    QTest::addRow("unknown column") << (joints + "x,y,z,w") << "line 1: column 10";
    QTest::addRow("column twice") << (joints + "x,y,z,x") << "line 1: column 10";
    QTest::addRow("joint j7") << (joints + "j7,x,y,z") << "line 1: column 7";
    QTest::addRow("rx alone") << (joints + "x,y,z,rx") << "line 1: columns";
    QTest::addRow("short row") << (h + "# c\n" + r + "1,2,3") << "line 4, column 4";
    QTest::addRow("text") << row("7,8,9,0,abc,0,fit") << "line 2, column 11 (ry)";
    QTest::addRow("infinite") << row("inf,8,9,0,0,0,fit") << "line 2, column 7 (x)";
    QTest::addRow("bad set") << row("7,8,9,0,0,0,test") << "line 2, column 13 (set)";
}

void TestCalibrationTool::measurementFile()
{
    QFETCH(QByteArray, text);
    QFETCH(QString, expected);
    QString error;
    const std::optional<Rows> rows = calib::parseMeasurementCsv(text, 6, &error);
    QVERIFY2(rows ? QString::number(rows->size()) == expected : error.startsWith(expected),
             qPrintable(error));
    if (!rows)
        return;
    const calib::Measurement& first = rows->front();
    QCOMPARE(first.jointsDeg.back() * 10 + first.set, text.contains("J6") ? 40.0 : 62.0);
    // Written back at full precision: the same numbers read again.
    const Rows again = *calib::parseMeasurementCsv(calib::measurementsToCsv(*rows), 6, nullptr);
    for (std::size_t i = 0; i < rows->size(); ++i)
        QVERIFY(again[i].jointsDeg == (*rows)[i].jointsDeg &&
                again[i].pose.position == (*rows)[i].pose.position &&
                again[i].pose.rotation.isApprox((*rows)[i].pose.rotation, 1e-15));
}

void TestCalibrationTool::fileRunWithoutController()
{
    // An export of a robot no cell simulates: flange positions in its base frame without
    // rotations, no set column, its controller's table and zero points in a file, and the job
    // locking joint 1, joint 3's zero and joint 6's a and zero.
    sim::CellState cell = sim::CellState::defaults(sim::defaultRobotType(), 21);
    cell.sources = sim::ErrorSources::none();
    const sim::CellTruth truth = sim::drawTruth(cell);
    cell.dh = truth.dh;
    cell.zeroCompensation = truth.zeroError;
    Rows rows = *sim::Instrument(cell, 2).measure(
        sim::sampleJointConfigurations(sim::defaultRobotType(), 90, 9), {}, nullptr);
    for (calib::Measurement& m : rows)
        m.hasRotation = false;
    QByteArray csv = calib::measurementsToCsv(rows).replace(",set\n", "\n").replace(",fit\n", "\n");
    QVariantList table(cell.dh.begin(), cell.dh.end());
    table += QVariantList(truth.zeroError.begin(), truth.zeroError.end());
    QVERIFY(writeTextFile(dir->filePath("export.csv"), csv) &&
            writeTextFile(dir->filePath("table.json"),
                          QJsonDocument(QJsonArray::fromVariantList(table)).toJson()) &&
            writeTextFile(root + "/kalvo_calib_cli/config.json",
                          R"({"flange": true, "instrument": {"position_sigma_mm": 0.01}})") &&
            writeTextFile(root + "/calibInfo.json", jobFile("RB-6 custom", 0, R"([
                              {"joint_index": 0, "locked_params": ["alpha", "a", "d", "theta"]},
                              {"joint_index": 2, "locked_params": ["theta"]},
                              {"joint_index": -1, "locked_params": ["a", "theta"]}])")));
    const lumora::test::ToolRun run =
        runTool({"--measurements", "export.csv", "--initial-dh", "table.json", "--base-frame"});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const calib::CellModel model = resultModel(root, cell);
    QVERIFY(calib::poseErrors(model, rows).meanPositionMm < 0.03);
    for (int p : {0, 1, 2, 3, 7, 11, 15, 19, 21, 23})
        QCOMPARE(model.dh[std::size_t(p)], cell.dh[std::size_t(p)]);
    QVERIFY(model.zeroOffsets[0] == 0.0 && model.zeroOffsets[2] == 0.0 &&
            model.zeroOffsets[5] == 0.0 && model.zeroOffsets[1] != 0.0 &&
            model.dh[5] != cell.dh[5]);
    QVERIFY(model.placement.isApprox(Eigen::Isometry3d::Identity()) && model.targetOffset.isZero());
    QVERIFY(!QFile::exists(root + "/measurements.csv"));
}

void TestCalibrationTool::failuresWriteNothing_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QStringList none, csv{"--measurements", "bad.csv"}, dh{"--initial-dh", "table.json"};
    QTest::addRow("no root given") << "" << QStringList{"-"} << 1 << "no calibration root";
    QTest::addRow("root missing") << "" << QStringList{"-", "--path", "no"} << 1 << "not found";
    QTest::addRow("job file missing") << "no job" << none << 2 << "calibInfo.json: not found";
    QTest::addRow("job file a pipe") << "pipe job" << none << 2 << "calibInfo.json: not a readable";
    QTest::addRow("constraint beyond the axes") << "joint 9" << none << 2 << "joint index 9";
    QTest::addRow("unknown robot") << "LX9-000" << none << 3 << "unknown robot \"LX9-000\"";
    QTest::addRow("name and code disagree") << "LX6-900 7001" << none << 3 << "unknown robot";
    QTest::addRow("another robot in the cell") << "LX7-800" << none << 3 << "cell holds LX6-900";
    QTest::addRow("broken state file") << "broken state" << none << 3 << "not a JSON object";
    QTest::addRow("bad measurement line") << "" << csv << 6 << "bad.csv, line 2, column 9 (z)";
    QTest::addRow("no table for another robot") << "LX9-000" << csv << 3 << "--initial-dh";
    QTest::addRow("table too short") << "" << dh << 6 << "28 numbers";
    QTest::addRow("misspelt configuration") << "config" << none << 6 << "\"measurement\"";
    QTest::addRow("result cannot be written") << "blocked" << none << 5 << "cannot write";
}

void TestCalibrationTool::failuresWriteNothing()
{
    QFETCH(QString, fault);
    QFETCH(QStringList, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QStringList robot = fault.startsWith("LX") ? fault.split(' ') : QStringList{"LX6-900"};
    const QByteArray job =
        jobFile(robot[0], robot.value(1, robot[0] == "LX6-900" ? "6001" : "0").toInt(),
                fault == "joint 9" ? R"([{"joint_index": 9, "locked_params": ["a"]}])" : "[]");
    QVERIFY(fault == "no job" ||
            (fault == "pipe job" ? mkfifo(QFile::encodeName(root + "/calibInfo.json"), 0600) == 0
                                 : writeTextFile(root + "/calibInfo.json", job)));
    QVERIFY(fault != "broken state" || writeTextFile(statePath, "{\"robot\": {"));
    QVERIFY(fault != "blocked" || QDir().mkpath(root + "/optimized_dh.json"));
    QVERIFY(fault != "config" ||
            writeTextFile(root + "/kalvo_calib_cli/config.json", R"({"measurement": "a"})"));
    QVERIFY(writeTextFile(dir->filePath("table.json"), "[-90, 150, 450, 0]") &&
            writeTextFile(dir->filePath("bad.csv"), "j1,j2,j3,j4,j5,j6,x,y,z\n1,2,3,4,5,6,7,8,z"));
    const QStringList before = QDir(root).entryList(QDir::Files);
    const lumora::test::ToolRun run = runTool(arguments);
    QVERIFY2(run.exitCode == exitCode && run.err.contains(message), qPrintable(run.err));
    QVERIFY((fault == "blocked" || QDir(root).entryList(QDir::Files) == before) &&
            !QFileInfo(root + "/optimized_dh.json").isFile());
}

LUMORA_TEST_MAIN(TestCalibrationTool)
#include "tst_calibrationtool.moc"
