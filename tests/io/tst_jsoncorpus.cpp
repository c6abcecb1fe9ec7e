#include "cerrcapture.h"
#include "faketools.h"
#include "isoposes.h"
#include "isoresults.h"
#include "resultfile.h"
#include "testmain.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <exception>
#include <stdexcept>

using lumora::test::CerrCapture;

namespace {

QString corpusDir()
{
    const QString shared = lumora::test::sharedTestDataDir();
    return shared.isEmpty() ? QString() : shared + QStringLiteral("/json-test-suite/test_parsing");
}

// Feeds a file to every reader: each must come back with a plain result (the pose reader: a map
// or std::runtime_error), never another exception. Returns an empty string or what went wrong.
QString readEverything(const std::string& path)
{
    try {
        std::map<std::string, DHParam> joints;
        AverageErrors errors;
        std::vector<double> points;
        std::vector<IsoResult> results;
        readOptimizationStatus(path);
        readDHParameters(joints, path);
        readAverageErrors(errors, path);
        readZeroPoints(points, path);
        readIsoResults(results, path);
    } catch (const std::exception& e) {
        return QStringLiteral("result reader threw: ") + QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("result reader threw a non-standard exception");
    }
    try {
        getDefaultIsoPoses(path, "LR-7");
    } catch (const std::runtime_error&) {
    } catch (const std::exception& e) {
        return QStringLiteral("pose reader threw: ") + QString::fromUtf8(e.what());
    } catch (...) {
        return QStringLiteral("pose reader threw a non-standard exception");
    }
    return QString();
}

// Documents that put a value where the readers expect particular types.
QList<QByteArray> embeddings(const QByteArray& v)
{
    const QByteArray six = "[" + v + "," + v + "," + v + "," + v + "," + v + "," + v + "]";
    return {
        "{\"status\": " + v + ", \"dh_parameters\": " + v + ", \"avg_pos_error\": " + v +
            ", \"avg_att_error\": " + v + ", \"zero_points\": " + v + ", \"iso_results\": " + v +
            "}",
        "{\"dh_parameters\": {\"joint_1\": " + v + "}, \"iso_results\": [" + v +
            ", {\"name\": " + v + ", \"Accuracy\": " + v + ", \"Repeatability\": " + v +
            ", \"RMS\": " + v + ", \"StdDev\": " + v + "}]}",
        "{\"dh_parameters\": {\"joint_1\": {\"alpha\": " + v + ", \"a\": " + v + ", \"d\": " + v +
            ", \"theta_offset\": " + v + "}}, \"zero_points\": [" + v + "]}",
        "{\"configs\": " + v + "}",
        "{\"configs\": [" + v + ", {\"robots\": " + v + ", \"iso_poses\": " + v +
            "}, {\"robots\": [\"LR-7\"], \"iso_poses\": " + v + "}]}",
        "{\"configs\": [{\"robots\": [" + v + ", \"LR-7\"], \"iso_poses\": {}}]}",
        "{\"configs\": [{\"robots\": [\"LR-7\"], \"iso_poses\": {\"p\": " + v + "}}]}",
        "{\"configs\": [{\"robots\": [\"LR-7\"], \"iso_poses\": {\"p\": " + six + "}}]}",
    };
}

} // namespace

class TestJsonCorpus : public QObject
{
    Q_OBJECT

private slots:
    void corpus_data();
    void corpus();
};

void TestJsonCorpus::corpus_data()
{
    QTest::addColumn<QString>("path");
    const QString dir = corpusDir();
    if (dir.isEmpty() || !QFileInfo(dir).isDir())
        QSKIP("the shared JSON test corpus is not beside the checkout");
    const QStringList files = QDir(dir).entryList(QDir::Files, QDir::Name);
    QVERIFY(!files.isEmpty());
    for (const QString& file : files)
        QTest::addRow("%s", qPrintable(file)) << QDir(dir).filePath(file);
}

void TestJsonCorpus::corpus()
{
    QFETCH(QString, path);
    const std::string file = path.toStdString();
    const bool mustParse = QFileInfo(path).fileName().startsWith(QLatin1String("y_"));

    CerrCapture cerr;
    const bool parsed = loadJsonFile(file).has_value();
    if (mustParse)
        QVERIFY(parsed);
    // Parse reports: none for a document, one per loader call otherwise.
    const QStringList lines = cerr.lines();
    QCOMPARE(lines.size(), parsed ? 0 : 1);
    if (!parsed)
        QVERIFY2(lines.first().startsWith(QLatin1String("JSON Parsing Error: ")),
                 qPrintable(lines.first()));

    cerr.clear();
    const QString failure = readEverything(file);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    QCOMPARE(cerr.lines().size(), parsed ? 0 : 5);

    if (!mustParse)
        return;
    QFile source(path);
    QVERIFY(source.open(QIODevice::ReadOnly));
    const QByteArray value = source.readAll();
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QString embedded = dir.filePath(QStringLiteral("embedded.json"));
    const QList<QByteArray> documents = embeddings(value);
    for (const QByteArray& document : documents) {
        QVERIFY(lumora::test::writeTextFile(embedded, document));
        cerr.clear();
        const QString embeddedFailure = readEverything(embedded.toStdString());
        QVERIFY2(embeddedFailure.isEmpty(), qPrintable(embeddedFailure + "\n" + document));
        QVERIFY2(cerr.lines().isEmpty(), qPrintable(cerr.lines().join('\n') + "\n" + document));
    }
}

LUMORA_TEST_MAIN(TestJsonCorpus)
#include "tst_jsoncorpus.moc"
