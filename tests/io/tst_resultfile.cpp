#include "cerrcapture.h"
#include "faketools.h"
#include "resultfile.h"
#include "testmain.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

using lumora::test::CerrCapture;

namespace {

const QByteArray missingFile = QByteArrayLiteral("<no file>");

QString numberText(double value)
{
    return QString::number(value, 'g', 15);
}

QString zerosText(const std::vector<double>& values)
{
    QStringList parts;
    for (double value : values)
        parts << numberText(value);
    return parts.join(QLatin1Char(','));
}

QString jointsText(const std::map<std::string, DHParam>& joints)
{
    QStringList parts;
    for (const auto& [name, p] : joints) {
        parts << QString::fromStdString(name) + QLatin1Char('=') +
                     QStringList{numberText(p.alpha), numberText(p.a), numberText(p.d),
                                 numberText(p.theta_offset)}
                         .join(QLatin1Char(','));
    }
    return parts.join(QLatin1Char(';'));
}

std::map<std::string, DHParam> sentinelJoints()
{
    return {{"sentinel", DHParam{1.0, 2.0, 3.0, 4.0}}};
}

bool isSentinel(const std::map<std::string, DHParam>& joints)
{
    return jointsText(joints) == jointsText(sentinelJoints());
}

} // namespace

class TestResultFile : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void failureTable_data();
    void failureTable();
    void status_data();
    void status();
    void dhParameters_data();
    void dhParameters();
    void averageErrors_data();
    void averageErrors();
    void zeroPoints_data();
    void zeroPoints();

private:
    std::string writeResult(const QByteArray& content);

    std::unique_ptr<QTemporaryDir> dir;
};

void TestResultFile::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestResultFile::cleanup()
{
    dir.reset();
}

std::string TestResultFile::writeResult(const QByteArray& content)
{
    const QString path = dir->filePath(QStringLiteral("optimized_dh.json"));
    if (content != missingFile && !lumora::test::writeTextFile(path, content))
        return {};
    return path.toStdString();
}

// Every reader against one file. A false result must leave out as it was; "joints" is the
// table after the read ("untouched" when the sentinel survived).
void TestResultFile::failureTable_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("parseError");
    QTest::addColumn<bool>("status");
    QTest::addColumn<bool>("dhResult");
    QTest::addColumn<QString>("joints");
    QTest::addColumn<QString>("errors");
    QTest::addColumn<QString>("zeros");

    const QString no = QStringLiteral("false");
    const QString untouched = QStringLiteral("untouched");

    QTest::addRow("file missing") << missingFile << false << false << false << untouched << no
                                  << no;
    QTest::addRow("empty file") << QByteArray() << true << false << false << untouched << no << no;
    QTest::addRow("truncated inside an object")
        << QByteArray(R"({"status": 1, "dh_parameters": {"joint_1": {"alpha": 9)") << true << false
        << false << untouched << no << no;
    QTest::addRow("not json") << QByteArray("status = 1") << true << false << false << untouched
                              << no << no;
    QTest::addRow("comment") << QByteArray("{\"status\": 1 /* done */, \"zero_points\": []}")
                             << true << false << false << untouched << no << no;
    QTest::addRow("number beyond double range")
        << QByteArray(R"({"status": 1, "avg_pos_error": 1e999, "zero_points": []})") << true
        << false << false << untouched << no << no;
    QTest::addRow("top level array") << QByteArray(R"([{"status": 1, "zero_points": [1]}])")
                                     << false << false << true << untouched << "0,0" << no;
    QTest::addRow("top level number")
        << QByteArray("1") << false << false << true << untouched << "0,0" << no;
    QTest::addRow("status and empty zero points only")
        << QByteArray(R"({"status": 1, "zero_points": []})") << false << true << true << untouched
        << "0,0" << QString();
    QTest::addRow("complete") << QByteArray(
                                     R"({"status": 1, "avg_pos_error": 0.125, "avg_att_error": 0.5,
                          "dh_parameters": {"joint_1": {"alpha": 0, "a": 0, "d": 342.5,
                                                        "theta_offset": 0},
                                            "joint_2": {"alpha": -90, "a": 260,
                                                        "d": 0, "theta_offset": -90}},
                          "zero_points": [0.01, -0.02], "iso_results": []})")
                              << false << true << true
                              << "joint_1=0,0,342.5,0;joint_2=-90,260,0,-90"
                              << "0.125,0.5"
                              << "0.01,-0.02";
    QTest::addRow("stray text after the document")
        << QByteArray(R"({"status": 1, "zero_points": [3]} } garbage [)") << false << true << true
        << untouched << "0,0"
        << "3";
    QTest::addRow("byte order mark")
        << QByteArray("\xEF\xBB\xBF{\"status\": true, \"zero_points\": [1]}") << false << true
        << true << untouched << "0,0"
        << "1";
    QTest::addRow("table of wrong container type")
        << QByteArray(R"({"status": 0, "dh_parameters": [{"alpha": 1}], "zero_points": {}})")
        << false << false << true << untouched << "0,0" << no;
    QTest::addRow("joint entry not an object")
        << QByteArray(R"({"dh_parameters": {"joint_1": {"alpha": 1}, "joint_2": 5}})") << false
        << false << false << untouched << "0,0" << no;
    QTest::addRow("average error not a number")
        << QByteArray(R"({"status": 1, "avg_pos_error": "0.1", "zero_points": [2]})") << false
        << true << true << untouched << no << "2";
    QTest::addRow("status string") << QByteArray(R"({"status": "1", "zero_points": [1]})") << false
                                   << false << true << untouched << "0,0"
                                   << "1";
}

void TestResultFile::failureTable()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, parseError);
    QFETCH(bool, status);
    QFETCH(bool, dhResult);
    QFETCH(QString, joints);
    QFETCH(QString, errors);
    QFETCH(QString, zeros);

    const std::string path = writeResult(content);
    QVERIFY(!path.empty());
    CerrCapture cerr;

    QCOMPARE(readOptimizationStatus(path), status);

    std::map<std::string, DHParam> table = sentinelJoints();
    QCOMPARE(readDHParameters(table, path), dhResult);
    QCOMPARE(isSentinel(table) ? QStringLiteral("untouched") : jointsText(table), joints);

    AverageErrors average{-7.0, -8.0};
    const bool averageRead = readAverageErrors(average, path);
    QCOMPARE(averageRead ? numberText(average.avgPosError) + QLatin1Char(',') +
                               numberText(average.avgAttError)
                         : QStringLiteral("false"),
             errors);
    if (!averageRead) {
        QCOMPARE(average.avgPosError, -7.0);
        QCOMPARE(average.avgAttError, -8.0);
    }

    std::vector<double> points{-9.0};
    const bool pointsRead = readZeroPoints(points, path);
    QCOMPARE(pointsRead ? zerosText(points) : QStringLiteral("false"), zeros);
    if (!pointsRead)
        QCOMPARE(points, std::vector<double>{-9.0});

    // One line per reader call, each a parse report; nothing otherwise.
    const QStringList lines = cerr.lines();
    QCOMPARE(lines.size(), parseError ? 4 : 0);
    for (const QString& line : lines) {
        QVERIFY2(line.startsWith(QLatin1String("JSON Parsing Error: ")), qPrintable(line));
        QVERIFY(line.size() > 20);
    }
    QCOMPARE(loadJsonFile(path).has_value(), content != missingFile && !parseError);
}

void TestResultFile::status_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("passes");

    QTest::addRow("1") << QByteArray("1") << true;
    QTest::addRow("1.0") << QByteArray("1.0") << true;
    QTest::addRow("1.9") << QByteArray("1.9") << true;
    QTest::addRow("1.999999") << QByteArray("1.999999") << true;
    QTest::addRow("exponent 10e-1") << QByteArray("10e-1") << true;
    QTest::addRow("exponent 0.15E1") << QByteArray("0.15E1") << true;
    QTest::addRow("true") << QByteArray("true") << true;
    QTest::addRow("0") << QByteArray("0") << false;
    QTest::addRow("2") << QByteArray("2") << false;
    QTest::addRow("2.0") << QByteArray("2.0") << false;
    QTest::addRow("0.99") << QByteArray("0.99") << false;
    QTest::addRow("-1") << QByteArray("-1") << false;
    QTest::addRow("-1.5") << QByteArray("-1.5") << false;
    QTest::addRow("false") << QByteArray("false") << false;
    QTest::addRow("2^32 + 1") << QByteArray("4294967297") << false;
    QTest::addRow("1 - 2^32") << QByteArray("-4294967295") << false;
    QTest::addRow("2^64 + 1") << QByteArray("18446744073709551617") << false;
    QTest::addRow("1 + 2^64 as float") << QByteArray("1.8446744073709552e19") << false;
    QTest::addRow("huge float") << QByteArray("1e300") << false;
    QTest::addRow("huge negative float") << QByteArray("-1e300") << false;
    QTest::addRow("most negative integer") << QByteArray("-9223372036854775808") << false;
    QTest::addRow("string") << QByteArray("\"1\"") << false;
    QTest::addRow("null") << QByteArray("null") << false;
    QTest::addRow("array") << QByteArray("[1]") << false;
    QTest::addRow("object") << QByteArray("{\"status\": 1}") << false;
}

void TestResultFile::status()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, passes);
    QCOMPARE(readOptimizationStatus(writeResult("{\"status\": " + value + "}")), passes);
}

void TestResultFile::dhParameters_data()
{
    QTest::addColumn<QByteArray>("table");
    QTest::addColumn<QString>("expected");

    const QString no = QStringLiteral("false");
    const QString untouched = QStringLiteral("untouched");

    QTest::addRow("alpha and d only")
        << QByteArray(R"({"joint_1": {"alpha": 90, "d": 342.5}})") << "joint_1=90,0,342.5,0";
    QTest::addRow("exponents and other members")
        << QByteArray(R"({"joint_3": {"alpha": -9e1, "a": 1.5E2, "d": 0, "theta_offset": -25e-2,
                                      "note": "x", "beta": null}})")
        << "joint_3=-90,150,0,-0.25";
    QTest::addRow("empty joint") << QByteArray(R"({"joint_1": {}})") << "joint_1=0,0,0,0";
    QTest::addRow("text order of names")
        << QByteArray(R"({"joint_2": {"a": 2}, "joint_10": {"a": 10}, "joint_1": {"a": 1}})")
        << "joint_1=0,1,0,0;joint_10=0,10,0,0;joint_2=0,2,0,0";
    QTest::addRow("largest unsigned")
        << QByteArray(R"({"j": {"d": 18446744073709551615}})") << "j=0,0,1.84467440737096e+19,0";
    QTest::addRow("empty table clears") << QByteArray("{}") << QString();
    QTest::addRow("array") << QByteArray(R"([{"alpha": 1}])") << untouched;
    QTest::addRow("string") << QByteArray("\"joint_1\"") << untouched;
    QTest::addRow("null") << QByteArray("null") << untouched;
    QTest::addRow("joint number") << QByteArray(R"({"joint_1": 5})") << no;
    QTest::addRow("joint array") << QByteArray(R"({"joint_1": [0, 0, 342.5, 0]})") << no;
    QTest::addRow("joint null") << QByteArray(R"({"joint_1": null})") << no;
    QTest::addRow("bad joint after good")
        << QByteArray(R"({"joint_1": {"a": 1}, "joint_2": "x"})") << no;
    QTest::addRow("alpha string") << QByteArray(R"({"joint_1": {"alpha": "90"}})") << no;
    QTest::addRow("a boolean") << QByteArray(R"({"joint_1": {"a": true}})") << no;
    QTest::addRow("d null") << QByteArray(R"({"joint_1": {"d": null}})") << no;
    QTest::addRow("theta_offset array")
        << QByteArray(R"({"joint_1": {"theta_offset": [1]}})") << no;
}

void TestResultFile::dhParameters()
{
    QFETCH(QByteArray, table);
    QFETCH(QString, expected);
    std::map<std::string, DHParam> joints = sentinelJoints();
    const bool read =
        readDHParameters(joints, writeResult("{\"status\": 1, \"dh_parameters\": " + table + "}"));
    if (!read)
        QVERIFY(isSentinel(joints));
    const QString actual = !read                ? QStringLiteral("false")
                           : isSentinel(joints) ? QStringLiteral("untouched")
                                                : jointsText(joints);
    QCOMPARE(actual, expected);
}

void TestResultFile::averageErrors_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("expected");

    QTest::addRow("both") << QByteArray(R"({"avg_pos_error": 0.042, "avg_att_error": 0.013})")
                          << "0.042,0.013";
    QTest::addRow("position only") << QByteArray(R"({"avg_pos_error": 1.5})") << "1.5,0";
    QTest::addRow("attitude only") << QByteArray(R"({"avg_att_error": 2})") << "0,2";
    QTest::addRow("neither") << QByteArray(R"({"status": 1})") << "0,0";
    QTest::addRow("exponents") << QByteArray(R"({"avg_pos_error": 2.5e-3, "avg_att_error": 1E1})")
                               << "0.0025,10";
    QTest::addRow("negative integer") << QByteArray(R"({"avg_pos_error": -3})") << "-3,0";
    QTest::addRow("position string") << QByteArray(R"({"avg_pos_error": "0.1"})") << "false";
    QTest::addRow("attitude null")
        << QByteArray(R"({"avg_pos_error": 1, "avg_att_error": null})") << "false";
    QTest::addRow("position boolean") << QByteArray(R"({"avg_pos_error": true})") << "false";
    QTest::addRow("attitude object") << QByteArray(R"({"avg_att_error": {"v": 1}})") << "false";
    QTest::addRow("top level string") << QByteArray("\"avg_pos_error\"") << "0,0";
}

void TestResultFile::averageErrors()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, expected);
    AverageErrors errors{-7.0, -8.0};
    const bool read = readAverageErrors(errors, writeResult(document));
    if (!read) {
        QCOMPARE(errors.avgPosError, -7.0);
        QCOMPARE(errors.avgAttError, -8.0);
    }
    QCOMPARE(read ? numberText(errors.avgPosError) + QLatin1Char(',') +
                        numberText(errors.avgAttError)
                  : QStringLiteral("false"),
             expected);
}

void TestResultFile::zeroPoints_data()
{
    QTest::addColumn<QByteArray>("points");
    QTest::addColumn<QString>("expected");

    QTest::addRow("numbers among others") << QByteArray("[0.1, \"x\", null, 2]") << "false";
    QTest::addRow("empty") << QByteArray("[]") << QString();
    QTest::addRow("booleans refused") << QByteArray("[true, false, 1]") << "false";
    QTest::addRow("containers refused") << QByteArray("[[1], {\"a\": 2}, 3]") << "false";
    QTest::addRow("number forms") << QByteArray(
                                         "[-1e-3, 1E2, 18446744073709551615, -9223372036854775808]")
                                  << "-0.001,100,1.84467440737096e+19,-9.22337203685478e+18";
    QTest::addRow("object") << QByteArray("{\"a\": 1}") << "false";
    QTest::addRow("number") << QByteArray("5") << "false";
    QTest::addRow("null") << QByteArray("null") << "false";
    QTest::addRow("string") << QByteArray("\"1,2\"") << "false";
}

void TestResultFile::zeroPoints()
{
    QFETCH(QByteArray, points);
    QFETCH(QString, expected);
    std::vector<double> values{-9.0};
    const bool read = readZeroPoints(values, writeResult("{\"zero_points\": " + points + "}"));
    if (!read)
        QCOMPARE(values, std::vector<double>{-9.0});
    QCOMPARE(read ? zerosText(values) : QStringLiteral("false"), expected);
}

LUMORA_TEST_MAIN(TestResultFile)
#include "tst_resultfile.moc"
