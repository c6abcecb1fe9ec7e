#include "faketools.h"
#include "isoposes.h"
#include "isoresults.h"
#include "programrun.h"
#include "testmain.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <cellframes.h>
#include <cellstate.h>
#include <sys/stat.h>

using lumora::test::readTextFile;
using lumora::test::writeTextFile;
using Numbers = QVector<double>;

namespace {

QJsonObject readJson(const QString& path)
{
    return QJsonDocument::fromJson(readTextFile(path)).object();
}

// A job file as the setup panels leave it, with the shipped poses of the robot.
QJsonObject isoJob(const QString& robot, int samples, const QString& savePath)
{
    QJsonObject poses;
    for (const auto& [name, v] : getDefaultIsoPoses(DEFAULT_POSES, robot.toStdString()))
        poses.insert(QString::fromStdString(name), QJsonArray{v[0], v[1], v[2], v[3], v[4], v[5]});
    const QJsonObject config{
        {"sample_times", samples}, {"save_path", savePath}, {"iso_poses", poses}};
    return {{"robot_profile", QJsonObject{{"robot_name", robot}, {"serial_number", "SN-ISO-7"}}},
            {"iso_config", config}};
}

} // namespace

class TestIsoTools : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void fullCycle_data();
    void fullCycle();
    void refusals_data();
    void refusals();
    void reportFigures_data();
    void reportFigures();

private:
    // Runs an ISO program on root (the task without waiting for moves) and the test's cell.
    lumora::test::ToolRun run(const QString& program, const QStringList& arguments = {});

    QScopedPointer<QTemporaryDir> dir;
    QString root, statePath, jobPath, resultPath, dataPath, reportPath;
};

void TestIsoTools::init()
{
    dir.reset(new QTemporaryDir);
    root = dir->filePath("root");
    statePath = dir->filePath("state.json");
    jobPath = root + "/calibInfo.json";
    resultPath = root + "/optimized_dh.json";
    dataPath = root + "/iso/data/measurements.json";
    reportPath = root + "/iso/report/iso_report.pdf";
    QVERIFY(QDir().mkpath(root) && sim::saveCellState(statePath, sim::CellState::defaults()));
}

lumora::test::ToolRun TestIsoTools::run(const QString& program, const QStringList& arguments)
{
    const QStringList standard = program == ISO_TASK ? QStringList{"--path", root, "--move-ms", "0"}
                                                     : QStringList{"--path", root};
    return lumora::test::runCellProgram(program, arguments.isEmpty() ? standard : arguments,
                                        dir->path(), statePath);
}

void TestIsoTools::fullCycle_data()
{
    QTest::addColumn<QString>("robot");
    QTest::addColumn<int>("samples");
    QTest::addColumn<QString>("pathArgument");
    QTest::addRow("LX6-900, 3 cycles") << "LX6-900" << 3 << "";
    QTest::addRow("LX7-800, 1 cycle, root relative to the site") << "LX7-800" << 1 << "root";
}

void TestIsoTools::fullCycle()
{
    QFETCH(QString, robot);
    QFETCH(int, samples);
    QFETCH(QString, pathArgument);
    QVERIFY(sim::saveCellState(statePath, sim::CellState::defaults(*sim::findRobotType(robot))));
    const QString saveDir = dir->filePath("reports/line 2/new");
    QVERIFY(writeTextFile(jobPath, QJsonDocument(isoJob(robot, samples, saveDir)).toJson()));
    // An earlier calibration result, which the ISO programs must leave as it is.
    const QJsonObject calibration{{"status", 1}, {"zero_points", QJsonArray{0.01, -0.02}}};
    QVERIFY(writeTextFile(resultPath, QJsonDocument(calibration).toJson()));
    const lumora::test::ToolRun measured =
        run(ISO_TASK, {"--path", pathArgument.isEmpty() ? root : pathArgument, "--move-ms", "0"});
    QVERIFY2(measured.exitCode == 0, qPrintable(measured.err));
    QStringList rounds;
    for (int k = 1; k <= samples; ++k)
        rounds << QString("[ROUND] %1/%2").arg(k).arg(samples);
    QCOMPARE(measured.out.split('\n').filter("[ROUND]"), rounds);

    QVERIFY(run(ISO_REPORT).exitCode == 0);
    std::vector<IsoResult> results;
    QVERIFY(readIsoResults(results, resultPath.toStdString()) && results.size() == 5);
    const QJsonArray figures = readJson(resultPath).value("iso_results").toArray();
    for (int i = 0; i < 5; ++i) {
        const IsoResult& r = results[std::size_t(i)];
        QCOMPARE(QString::fromStdString(r.name), QString("P%1").arg(i + 1));
        // The nominal tool is up to a millimetre off, the joints hundredths of a degree; the
        // robot repeats within hundredths of a millimetre.
        QVERIFY2(r.accuracy > 0.05 && r.accuracy < 5.0, qPrintable(QString::number(r.accuracy)));
        QVERIFY(r.repeatability < 0.2 && r.rms <= r.repeatability && r.stdDev <= r.rms);
        for (const char* member : {"AP_a", "AP_b", "AP_c", "RP_a", "RP_b", "RP_c"})
            QVERIFY(std::abs(figures[i].toObject().value(member).toDouble(9)) < 0.5);
    }
    const QByteArray pdf = readTextFile(reportPath);
    QVERIFY(pdf.startsWith("%PDF") && pdf.size() > 20000);

    QVERIFY(run(ISO_COPY).exitCode == 0);
    const QDir saved(saveDir);
    const QStringList files = saved.entryList(QDir::Files);
    QVERIFY(files.size() == 2 && saved.entryList({"iso_report_SN-ISO-7_*.pdf"}).size() == 1);
    QCOMPARE(readTextFile(saved.filePath(files.filter(".pdf").value(0))), pdf);
    QCOMPARE(readTextFile(saved.filePath(files.filter(".json").value(0))), readTextFile(dataPath));
    QVERIFY(run(ISO_DELETE).exitCode == 0 && !QFile::exists(reportPath) &&
            !QFile::exists(dataPath));
    QVERIFY(readJson(resultPath) == calibration && saved.entryList(QDir::Files) == files);
}

void TestIsoTools::refusals_data()
{
    // What runs first (nothing, the task, or the task and the report) and the member of the job
    // file changed (in iso_config, its poses, or the job); then the program refused.
    QTest::addColumn<QString>("setUp");
    QTest::addColumn<QJsonValue>("value");
    QTest::addColumn<QString>("arguments"); // the task's, or the program; none: --path ROOT
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    const QJsonValue five(QJsonArray{1, 2, 3, 4, 5}), far(QJsonArray{0, 95, 0, 0, 30, 0}),
        lx7(QJsonObject{{"robot_name", "LX7-800"}}), saved("saved"), below("plain.txt/r");
    QTest::addRow("sample_times 0") << "- sample_times" << QJsonValue(0) << "" << 2 << "is 0";
    QTest::addRow("sample_times 1001") << "- sample_times" << QJsonValue(1001) << "" << 2 << "1000";
    QTest::addRow("no job file") << "- none" << QJsonValue() << "" << 2 << "cannot read";
    QTest::addRow("job file a pipe") << "- pipe" << QJsonValue() << "" << 2 << "cannot read";
    QTest::addRow("no iso_config") << "- job iso_config" << QJsonValue(1) << "" << 2 << "no \"iso";
    QTest::addRow("pose of five") << "- iso_poses point2" << five << "" << 2 << "\"point2\" must";
    QTest::addRow("joint beyond travel") << "- iso_poses point3" << far << "" << 2 << "P3: joint 2";
    QTest::addRow("job of LX7") << "- job robot_profile" << lx7 << "" << 3 << "cell holds LX6-900";
    QTest::addRow("frames of LX7") << "- frames" << QJsonValue() << "" << 4 << "to robot LX7-800";
    QTest::addRow("no --path") << "- x" << QJsonValue() << "--move-ms 0" << 1 << "no calibration";
    QTest::addRow("root missing") << "- x" << QJsonValue() << "--path no/root" << 1 << "not found";
    QTest::addRow("below file") << "report save_path" << below << ISO_COPY << 5 << "cannot create";
    QTest::addRow("no report") << "task save_path" << saved << ISO_COPY << 4 << "no report at";
    QTest::addRow("no path") << "task save_path" << QJsonValue("") << ISO_COPY << 2 << "save_path";
    QTest::addRow("delete, no figures") << "task save_path" << saved << ISO_DELETE << 0 << "";
}

void TestIsoTools::refusals()
{
    QFETCH(QString, setUp);
    QFETCH(QJsonValue, value);
    QFETCH(QString, arguments);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    const QStringList step = setUp.split(' ');
    QJsonObject job = isoJob("LX6-900", 3, "/tmp/x");
    QJsonObject config = job.value("iso_config").toObject();
    QJsonObject poses = config.value("iso_poses").toObject();
    (step[1] == "job" ? job : step.size() == 3 ? poses : config).insert(step.last(), value);
    config.insert("iso_poses", poses);
    if (step[1] != "job")
        job.insert("iso_config", config);
    QVERIFY(step[1] == "none" ||
            (step[1] == "pipe" ? mkfifo(QFile::encodeName(jobPath), 0600) == 0
                               : writeTextFile(jobPath, QJsonDocument(job).toJson())));
    const QByteArray frames = calib::cellFramesToJson({}).replace("\"\"", "\"LX7-800\"");
    QVERIFY(step[1] != "frames" || writeTextFile(calib::cellFramesPath(root), frames));
    // A result file without ISO figures, which is never rewritten, and an earlier run's data,
    // which stays when a run is refused before it starts.
    const QByteArray calibration = "{\"status\": 1,   \"avg_pos_error\": 0.5}";
    QVERIFY(writeTextFile(dir->filePath("plain.txt"), "a file") &&
            writeTextFile(resultPath, calibration) && writeTextFile(dataPath, "earlier"));
    QVERIFY(step[0] == "-" ||
            (run(ISO_TASK).exitCode == 0 && (step[0] == "task" || run(ISO_REPORT).exitCode == 0)));
    const bool task = !arguments.endsWith(".exe");
    const lumora::test::ToolRun refused =
        task ? run(ISO_TASK, arguments.split(' ', Qt::SkipEmptyParts)) : run(arguments);
    QVERIFY2(refused.exitCode == exitCode && refused.err.contains(message),
             qPrintable(refused.err));
    QVERIFY(!refused.out.contains("[ROUND]") && !QFileInfo::exists(dir->filePath("saved")));
    QVERIFY((!task || readTextFile(dataPath) == "earlier") &&
            (step[0] == "report" || readTextFile(resultPath) == calibration));
}

void TestIsoTools::reportFigures_data()
{
    QTest::addColumn<QByteArray>("measurements");
    QTest::addColumn<QByteArray>("resultFile");
    // AP, RP, RMS, StdDev (mm), AP_a, AP_b, AP_c, RP_a, RP_b, RP_c (deg); or the refusal
    QTest::addColumn<Numbers>("expected");
    QTest::addColumn<QString>("message");
    const QByteArray empty = "{}";
    // One point P1: its commanded pose, its attained poses.
    const auto file = [](const char* commanded, const char* attained) {
        return QByteArray(R"({"points": [{"name": "P1", "commanded": [)") + commanded +
               "], \"attained\": [" + attained + "]}]}";
    };
    // Barycentre (0, 0, 1), distances 3, 3, 1, 1 along every axis: mean 2, S = sqrt(4/3), RMS
    // sqrt(5). Angle a 170 deg commanded, differences 11, 9, 12, 1 across the half turn: mean
    // 8.25, S^2 = 74.75 / 3; b and c off by 1 and 0.5 on average, S^2 = 2/3 and 5/3.
    const double s43 = std::sqrt(4.0 / 3), rp = 3 * std::sqrt(2.0 / 3);
    const Numbers spread{
        std::sqrt(6.0),           2 + 3 * s43, std::sqrt(5.0),        s43, 8.25, 1, 0.5,
        3 * std::sqrt(74.75 / 3), rp,          3 * std::sqrt(5.0 / 3)};
    QTest::addRow("spread positions, angles across 180 deg")
        << file("1, 2, 2, 170, 0, -90", "[2, 1, 3, -179, 2, -90], [-2, -1, -1, 179, 0, -89], "
                                        "[0, 1, 1, -178, 1, -91], [0, -1, 1, 171, 1, -88]")
        << empty << spread << "";
    // Half a turn off counts as +180; one sample has no spread.
    const Numbers one{3, 0, 0, 0, 0, 0, 180, 0, 0, 0};
    QTest::addRow("one sample") << file("0, 0, 0, 0, 0, 0", "[1, 2, 2, 0, 0, -180]") << empty << one
                                << "";
    const QByteArray valid = file("0, 0, 0, 0, 0, 0", "[1, 0, 0, 0, 0, 0]");
    QTest::addRow("no measurements") << QByteArray() << empty << Numbers() << "run the";
    QTest::addRow("no attained pose")
        << file("0, 0, 0, 0, 0, 0", "") << empty << Numbers() << "P1 has no attained";
    QTest::addRow("attained pose of two numbers")
        << file("0, 0, 0, 0, 0, 0", "[1, 2]") << empty << Numbers() << "not six numbers";
    QTest::addRow("result file not an object") << valid << QByteArray("[1]") << Numbers() << "left";
}

void TestIsoTools::reportFigures()
{
    QFETCH(QByteArray, measurements);
    QFETCH(QByteArray, resultFile);
    QFETCH(Numbers, expected);
    QFETCH(QString, message);
    QVERIFY((measurements.isNull() || writeTextFile(dataPath, measurements)) &&
            writeTextFile(resultPath, resultFile));
    const lumora::test::ToolRun reported = run(ISO_REPORT);
    QVERIFY2(reported.err.contains(message), qPrintable(reported.err));
    if (!message.isEmpty()) {
        QVERIFY(reported.exitCode == (resultFile == "{}" ? 4 : 5) && !QFile::exists(reportPath) &&
                readTextFile(resultPath) == resultFile);
        return;
    }
    const QJsonObject r = readJson(resultPath).value("iso_results").toArray().at(0).toObject();
    const char* members[] = {"Accuracy", "Repeatability", "RMS",  "StdDev", "AP_a",
                             "AP_b",     "AP_c",          "RP_a", "RP_b",   "RP_c"};
    for (int i = 0; i < 10; ++i)
        QVERIFY2(std::abs(r.value(members[i]).toDouble(-1e9) - expected[i]) < 1e-9, members[i]);
}

LUMORA_TEST_MAIN(TestIsoTools)
#include "tst_isotools.moc"
