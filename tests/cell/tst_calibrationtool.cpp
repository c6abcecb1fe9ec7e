#include "faketools.h"
#include "programrun.h"
#include "resultfile.h"
#include "testmain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cellrandom.h>
#include <cellstate.h>
#include <celltruth.h>
#include <cmath>
#include <fstream>
#include <instrument.h>
#include <robottypes.h>

using lumora::test::readTextFile;
using lumora::test::runCellProgram;
using lumora::test::ToolRun;
using lumora::test::writeTextFile;

namespace {

QJsonObject jobFile(const QString& robotName, int modelType, const QJsonArray& constraints)
{
    return {{QStringLiteral("algorithm_constraints"), constraints},
            {QStringLiteral("file_type"), QStringLiteral("calib_info")},
            {QStringLiteral("robot_profile"),
             QJsonObject{{QStringLiteral("ip"), QStringLiteral("192.168.10.101")},
                         {QStringLiteral("model_type"), modelType},
                         {QStringLiteral("robot_name"), robotName},
                         {QStringLiteral("serial_number"), QStringLiteral("SN-TEST-1")}}}};
}

QJsonObject constraint(int joint, const QStringList& names)
{
    return {{QStringLiteral("joint_index"), joint},
            {QStringLiteral("locked_params"), QJsonArray::fromStringList(names)}};
}

// Parameter names as the result file lists them: "joint_2.d".
QString parameterName(int joint, int kind)
{
    static const char* const kinds[] = {"alpha", "a", "d", "zero"};
    return QStringLiteral("joint_%1.%2").arg(joint + 1).arg(QLatin1String(kinds[kind]));
}

} // namespace

class TestCalibrationTool : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void identifiesTheHiddenRobot_data();
    void identifiesTheHiddenRobot();
    void lockedParametersStayExactly();
    void failuresExitNonZero_data();
    void failuresExitNonZero();

private:
    ToolRun runTool(const QStringList& arguments);
    void writeJob(const QJsonObject& job);

    QScopedPointer<QTemporaryDir> dir;
    QString root;
    QString statePath;
};

void TestCalibrationTool::init()
{
    dir.reset(new QTemporaryDir);
    root = dir->filePath(QStringLiteral("root"));
    statePath = dir->filePath(QStringLiteral("state.json"));
    QVERIFY(QDir().mkpath(root));
}

ToolRun TestCalibrationTool::runTool(const QStringList& arguments)
{
    return runCellProgram(QStringLiteral(CALIBRATION_TOOL), arguments,
                          QFileInfo(QStringLiteral(CALIBRATION_TOOL)).absolutePath(), statePath);
}

void TestCalibrationTool::writeJob(const QJsonObject& job)
{
    QVERIFY(writeTextFile(root + QStringLiteral("/calibInfo.json"),
                          QJsonDocument(job).toJson(QJsonDocument::Indented)));
}

void TestCalibrationTool::identifiesTheHiddenRobot_data()
{
    QTest::addColumn<int>("modelCode");
    QTest::addColumn<quint64>("seed");
    QTest::addRow("LX6-900, default seed") << 6001 << quint64(20260612);
    QTest::addRow("LX6-900, seed 99") << 6001 << quint64(99);
    QTest::addRow("LX7-800, seed 7") << 7001 << quint64(7);
}

void TestCalibrationTool::identifiesTheHiddenRobot()
{
    QFETCH(int, modelCode);
    QFETCH(quint64, seed);
    const sim::RobotType& type = *sim::findRobotType(modelCode);
    sim::CellState cell = sim::CellState::defaults(type, seed);
    cell.sources = sim::ErrorSources::none();
    QVERIFY(sim::saveCellState(statePath, cell));
    writeJob(jobFile(type.name, modelCode, QJsonArray()));

    const ToolRun run = runTool({QStringLiteral("--path"), root});
    QCOMPARE(run.status, QProcess::NormalExit);
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));

    // Measurement progress, then the phase line, then solver progress, one line each.
    const QStringList lines = run.out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    const int phase = lines.indexOf(QStringLiteral("[PHASE] OPTIMIZATION"));
    QCOMPARE(phase, 200);
    const QRegularExpression progress(QStringLiteral(R"(\[PROGRESS\]\s*(\d+)\s*/\s*(\d+))"));
    for (int i = 0; i < phase; ++i)
        QCOMPARE(lines[i], QStringLiteral("[PROGRESS] %1/200").arg(i + 1));
    QVERIFY(progress.match(lines.value(phase + 1)).hasMatch());

    // The plug-in's readers take the result.
    const std::string result = (root + QStringLiteral("/optimized_dh.json")).toStdString();
    QVERIFY(readOptimizationStatus(result));
    std::map<std::string, DHParam> joints;
    QVERIFY(readDHParameters(joints, result));
    QCOMPARE(int(joints.size()), type.axisCount);
    AverageErrors errors;
    QVERIFY(readAverageErrors(errors, result));
    QVERIFY2(errors.avgPosError < 0.05, qPrintable(QString::number(errors.avgPosError)));
    QVERIFY2(errors.avgAttError < 0.005, qPrintable(QString::number(errors.avgAttError)));
    std::vector<double> zeroPoints;
    QVERIFY(readZeroPoints(zeroPoints, result));
    QCOMPARE(int(zeroPoints.size()), type.axisCount);

    // Close to the hidden truth; a held parameter's error shows up in its partners.
    const QJsonObject held = QJsonDocument::fromJson(readTextFile(QString::fromStdString(result)))
                                 .object()
                                 .value("held_parameters")
                                 .toObject();
    QMap<QString, double> expected;
    const std::vector<double> truth = sim::drawTruth(cell).dh;
    const std::vector<double> zeroError = sim::drawTruth(cell).zeroError;
    for (int j = 0; j < type.axisCount; ++j) {
        for (int k = 0; k < 3; ++k)
            expected[parameterName(j, k)] = truth[std::size_t(4 * j + k)];
        expected[parameterName(j, 3)] = zeroError[std::size_t(j)];
    }
    for (auto it = held.begin(); it != held.end(); ++it) {
        const int joint =
            it.key().section(QLatin1Char('_'), 1).section(QLatin1Char('.'), 0, 0).toInt() - 1;
        const QString kind = it.key().section(QLatin1Char('.'), 1);
        const int k = QStringList{"alpha", "a", "d", "zero"}.indexOf(kind);
        QVERIFY(joint >= 0 && k >= 0);
        const double hiddenError =
            k == 3 ? zeroError[std::size_t(joint)]
                   : truth[std::size_t(4 * joint + k)] - type.nominalDh[std::size_t(4 * joint + k)];
        const QJsonObject partners = it.value().toObject();
        for (auto p = partners.begin(); p != partners.end(); ++p)
            expected[p.key()] += p.value().toDouble() * hiddenError;
        expected.remove(it.key());
    }
    QVERIFY(!expected.isEmpty());
    for (int j = 0; j < type.axisCount; ++j) {
        const DHParam found = joints.at("joint_" + std::to_string(j + 1));
        const double values[] = {found.alpha, found.a, found.d, zeroPoints[std::size_t(j)]};
        const double tolerances[] = {0.003, 0.02, 0.02, 0.003};
        for (int k = 0; k < 4; ++k) {
            const QString name = parameterName(j, k);
            if (!expected.contains(name))
                continue;
            QVERIFY2(std::abs(values[k] - expected[name]) < tolerances[k],
                     qPrintable(QStringLiteral("%1: %2 instead of %3")
                                    .arg(name)
                                    .arg(values[k], 0, 'f', 6)
                                    .arg(expected[name], 0, 'f', 6)));
        }
        QCOMPARE(found.theta_offset, type.nominalDh[std::size_t(4 * j + 3)]);
    }

    QVERIFY(readTextFile(root + "/calibration_report.pdf").startsWith("%PDF"));
}

void TestCalibrationTool::lockedParametersStayExactly()
{
    sim::CellState cell = sim::CellState::defaults();
    cell.sources = sim::ErrorSources::none();
    cell.dh[1] = 150.0123456789; // joint 1 a
    cell.dh[21] = 0.0987654321;  // joint 6 a
    cell.dh[7] = -90.000001;     // joint 2 theta
    cell.zeroCompensation = {0.0111111111, 0.02, -0.0333333333, 0.0, 0.0, 0.0066666666};
    QVERIFY(sim::saveCellState(statePath, cell));
    writeJob(jobFile(QStringLiteral("LX6-900"), 6001,
                     QJsonArray{constraint(0, {"alpha", "a", "d", "theta"}),
                                constraint(2, {"theta"}), constraint(-1, {"a", "theta"})}));

    const ToolRun run = runTool({QStringLiteral("--path"), root});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const std::string result = (root + QStringLiteral("/optimized_dh.json")).toStdString();
    std::map<std::string, DHParam> joints;
    std::vector<double> zeroPoints;
    QVERIFY(readDHParameters(joints, result));
    QVERIFY(readZeroPoints(zeroPoints, result));

    QCOMPARE(joints.at("joint_1").alpha, cell.dh[0]);
    QCOMPARE(joints.at("joint_1").a, cell.dh[1]);
    QCOMPARE(joints.at("joint_1").d, cell.dh[2]);
    QCOMPARE(joints.at("joint_6").a, cell.dh[21]);
    for (int j : {0, 2, 5})
        QCOMPARE(zeroPoints[std::size_t(j)], cell.zeroCompensation[std::size_t(j)]);
    for (int j = 0; j < 6; ++j)
        QCOMPARE(joints.at("joint_" + std::to_string(j + 1)).theta_offset,
                 cell.dh[std::size_t(4 * j + 3)]);
    // Unlocked parameters of the same joints did move.
    QVERIFY(joints.at("joint_6").alpha != cell.dh[20]);
    QVERIFY(zeroPoints[1] != cell.zeroCompensation[1]);
}

void TestCalibrationTool::failuresExitNonZero_data()
{
    QTest::addColumn<QString>("situation");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::addRow("no root given") << "no path" << 1 << "no calibration root";
    QTest::addRow("root missing") << "missing root" << 1 << "not found";
    QTest::addRow("job file missing") << "no job" << 2 << "calibInfo.json: not found";
    QTest::addRow("job file not JSON") << "torn job" << 2 << "not valid JSON";
    QTest::addRow("constraint beyond the axes") << "joint 9" << 2 << "joint index 9";
    QTest::addRow("unknown locked parameter") << "bad name" << 2 << "unknown locked parameter";
    QTest::addRow("unknown robot") << "unknown robot" << 3 << "unknown robot \"LX9-000\"";
    QTest::addRow("no identity yet") << "empty identity" << 3 << "unknown robot";
    QTest::addRow("name and code disagree") << "mixed identity" << 3 << "unknown robot";
    QTest::addRow("another robot in the cell") << "other robot" << 3 << "cell holds LX6-900";
    QTest::addRow("broken state file") << "broken state" << 3 << "not a JSON object";
    QTest::addRow("result cannot be written") << "blocked result" << 5 << "cannot write";
}

void TestCalibrationTool::failuresExitNonZero()
{
    QFETCH(QString, situation);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    QStringList arguments{QStringLiteral("--path"), root};
    QJsonObject job = jobFile(QStringLiteral("LX6-900"), 6001, QJsonArray());
    if (situation == "no path")
        arguments.clear();
    else if (situation == "missing root")
        arguments[1] = root + QStringLiteral("/nowhere");
    else if (situation == "joint 9")
        job = jobFile(QStringLiteral("LX6-900"), 6001, {constraint(9, {"a"})});
    else if (situation == "bad name")
        job = jobFile(QStringLiteral("LX6-900"), 6001, {constraint(1, {"beta"})});
    else if (situation == "unknown robot")
        job = jobFile(QStringLiteral("LX9-000"), 9001, QJsonArray());
    else if (situation == "empty identity")
        job = jobFile(QString(), 0, QJsonArray());
    else if (situation == "mixed identity")
        job = jobFile(QStringLiteral("LX6-900"), 7001, QJsonArray());
    else if (situation == "other robot")
        job = jobFile(QStringLiteral("LX7-800"), 7001, QJsonArray());
    else if (situation == "broken state")
        QVERIFY(writeTextFile(statePath, "{\"robot\": {"));
    else if (situation == "blocked result")
        QVERIFY(QDir().mkpath(root + QStringLiteral("/optimized_dh.json")));
    if (situation != "no job")
        writeJob(job);
    if (situation == "torn job")
        QVERIFY(writeTextFile(root + QStringLiteral("/calibInfo.json"), "{\"robot_profile\": {"));

    const ToolRun run = runTool(arguments);
    QCOMPARE(run.status, QProcess::NormalExit);
    QCOMPARE(run.exitCode, exitCode);
    QVERIFY2(run.err.contains(message), qPrintable(run.err));
    QVERIFY(!QFileInfo(root + QStringLiteral("/optimized_dh.json")).isFile());
}

LUMORA_TEST_MAIN(TestCalibrationTool)
#include "tst_calibrationtool.moc"
