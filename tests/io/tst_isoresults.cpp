#include "cerrcapture.h"
#include "faketools.h"
#include "isoresults.h"
#include "testmain.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace {

const QByteArray missingFile = QByteArrayLiteral("<no file>");

QString resultsText(const std::vector<IsoResult>& results)
{
    QStringList rows;
    for (const IsoResult& r : results) {
        QStringList figures;
        for (double value : {r.accuracy, r.repeatability, r.rms, r.stdDev})
            figures << QString::number(value, 'g', 15);
        rows << QString::fromStdString(r.name) + QLatin1Char('=') + figures.join(QLatin1Char(','));
    }
    return rows.join(QLatin1Char(';'));
}

} // namespace

class TestIsoResults : public QObject
{
    Q_OBJECT

private slots:
    void read_data();
    void read();
};

// "expected" is the results read, or "false" when the read fails (out must keep its content).
void TestIsoResults::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    QTest::addColumn<int>("parseLines");

    const QString no = QStringLiteral("false");
    QTest::addRow("file missing") << missingFile << no << 0;
    QTest::addRow("empty file") << QByteArray() << no << 1;
    QTest::addRow("truncated") << QByteArray(R"({"iso_results": [{"name": "P1", "Accu)") << no << 1;
    QTest::addRow("top level array") << QByteArray(R"([{"iso_results": []}])") << no << 0;
    QTest::addRow("member absent") << QByteArray(R"({"status": 1, "zero_points": []})") << no << 0;
    QTest::addRow("member object") << QByteArray(R"({"iso_results": {"name": "P1"}})") << no << 0;
    QTest::addRow("member null") << QByteArray(R"({"iso_results": null})") << no << 0;
    QTest::addRow("member string") << QByteArray(R"({"iso_results": "P1"})") << no << 0;
    QTest::addRow("empty array") << QByteArray(R"({"iso_results": []})") << QString() << 0;
    QTest::addRow("no objects") << QByteArray(R"({"iso_results": [1, "P1", null, [2]]})")
                                << QString() << 0;
    QTest::addRow("three objects and a number")
        << QByteArray(R"({"iso_results": [
               {"name": "P1", "Accuracy": 0.1, "Repeatability": 0.02, "RMS": 0.03, "StdDev": 0.004},
               7,
               {"name": "P2", "Accuracy": 1, "Repeatability": 2, "RMS": 3, "StdDev": 4},
               {"name": "P3", "Accuracy": 1.5e-1, "Repeatability": 2E-2, "RMS": 0, "StdDev": -4}]})")
        << "P1=0.1,0.02,0.03,0.004;P2=1,2,3,4;P3=0.15,0.02,0,-4" << 0;
    QTest::addRow("name only") << QByteArray(R"({"iso_results": [{"name": "P1"}]})") << "P1=0,0,0,0"
                               << 0;
    QTest::addRow("figures only") << QByteArray(R"({"iso_results": [{"RMS": 0.5}]})")
                                  << "=0,0,0.5,0" << 0;
    QTest::addRow("lower-case keys are other members")
        << QByteArray(R"({"iso_results": [{"name": "P1", "accuracy": 9, "rms": 9}]})")
        << "P1=0,0,0,0" << 0;
    QTest::addRow("with the calibration members")
        << QByteArray(R"({"status": 1, "dh_parameters": {"joint_1": {"a": 1}}, "zero_points": [1],
                          "avg_pos_error": 0.1, "iso_results": [{"name": "P5", "Accuracy": 2}]})")
        << "P5=2,0,0,0" << 0;
    QTest::addRow("stray text after the document")
        << QByteArray(R"({"iso_results": [{"name": "P1", "StdDev": 1}]}} [)") << "P1=0,0,0,1" << 0;
    // Members of the wrong type read as absent; the element keeps its row.
    QTest::addRow("name a number")
        << QByteArray(R"({"iso_results": [{"name": 1, "Accuracy": 1}, {"name": "P2"}]})")
        << "=1,0,0,0;P2=0,0,0,0" << 0;
    QTest::addRow("figure a string")
        << QByteArray(R"({"iso_results": [{"name": "P1", "Accuracy": "0.1", "RMS": 3}]})")
        << "P1=0,0,3,0" << 0;
    QTest::addRow("figures null, boolean, array, object")
        << QByteArray(R"({"iso_results": [{"name": "P1", "Accuracy": null, "Repeatability": true,
                                           "RMS": [1], "StdDev": {"v": 1}}]})")
        << "P1=0,0,0,0" << 0;
}

void TestIsoResults::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    QFETCH(int, parseLines);

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString path = dir.filePath(QStringLiteral("optimized_dh.json"));
    if (content != missingFile)
        QVERIFY(lumora::test::writeTextFile(path, content));

    IsoResult sentinel;
    sentinel.name = "sentinel";
    sentinel.accuracy = -1.0;
    std::vector<IsoResult> results{sentinel};
    lumora::test::CerrCapture cerr;
    const bool read = readIsoResults(results, path.toStdString());

    QCOMPARE(read ? resultsText(results) : QStringLiteral("false"), expected);
    if (!read)
        QCOMPARE(resultsText(results), resultsText({sentinel}));
    const QStringList lines = cerr.lines();
    QCOMPARE(lines.size(), parseLines);
    for (const QString& line : lines)
        QVERIFY2(line.startsWith(QLatin1String("JSON Parsing Error: ")), qPrintable(line));
}

LUMORA_TEST_MAIN(TestIsoResults)
#include "tst_isoresults.moc"
