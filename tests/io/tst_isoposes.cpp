#include "faketools.h"
#include "isoposes.h"
#include "testmain.h"

#include <QStringList>
#include <QTemporaryDir>

#include <memory>
#include <stdexcept>

namespace {

const QByteArray missingFile = QByteArrayLiteral("<no file>");
const QByteArray sixZeros = QByteArrayLiteral("[0, 0, 0, 0, 0, 0]");

QString posesText(const IsoPoseMap& poses)
{
    QStringList parts;
    for (const auto& [name, values] : poses) {
        QStringList numbers;
        for (double value : values)
            numbers << QString::number(value, 'g', 15);
        parts << QString::fromStdString(name) + QLatin1Char('=') + numbers.join(QLatin1Char(','));
    }
    return parts.join(QLatin1Char(';'));
}

// One group of "configs".
QByteArray group(const QByteArray& robots, const QByteArray& poses)
{
    return "{\"robots\": " + robots + ", \"iso_poses\": " + poses + "}";
}

QByteArray configs(const QList<QByteArray>& groups)
{
    QByteArrayList list(groups);
    return "{\"configs\": [" + list.join(", ") + "]}";
}

} // namespace

class TestIsoPoses : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void read_data();
    void read();

private:
    std::unique_ptr<QTemporaryDir> dir;
};

void TestIsoPoses::init()
{
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
}

void TestIsoPoses::cleanup()
{
    dir.reset();
}

// "result" is either the poses read or "error: " and the message; a message ending in '*' is
// compared up to the star (the parser's own words follow it). "%path" stands for the file.
void TestIsoPoses::read_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("robot");
    QTest::addColumn<QString>("result");

    const QString robot = QStringLiteral("LR-7");
    const QByteArray lr7 = QByteArrayLiteral("[\"LR-7\"]");
    const QString zeros = QStringLiteral("point1=0,0,0,0,0,0");
    const QString notFound = QStringLiteral("error: Robot not found in config: LR-7");
    const QString structure =
        QStringLiteral("error: Invalid JSON structure: missing 'configs' array");

    QTest::addRow("file missing") << missingFile << robot
                                  << "error: Failed to open JSON file: %path";
    QTest::addRow("empty file") << QByteArray() << robot << "error: JSON parse error: *";
    QTest::addRow("truncated") << QByteArray(R"({"configs": [{"robots": ["LR-7"], "iso_p)") << robot
                               << "error: JSON parse error: *";
    QTest::addRow("number beyond double range")
        << configs({group(lr7, R"({"point1": [1e999, 0, 0, 0, 0, 0]})")}) << robot
        << "error: JSON parse error: *";
    QTest::addRow("top level array") << QByteArray(R"([{"configs": []}])") << robot << structure;
    QTest::addRow("configs missing") << QByteArray(R"({"config": []})") << robot << structure;
    QTest::addRow("configs object")
        << QByteArray(R"({"configs": {"robots": ["LR-7"]}})") << robot << structure;
    QTest::addRow("configs null") << QByteArray(R"({"configs": null})") << robot << structure;
    QTest::addRow("configs empty") << QByteArray(R"({"configs": []})") << robot << notFound;

    QTest::addRow("single group") << configs({group(lr7, R"({"point1": [1, 2, 3, 4, 5, 6]})")})
                                  << robot << "point1=1,2,3,4,5,6";
    QTest::addRow("first group wins")
        << configs({group(R"(["LR-3", "LR-7"])", R"({"point1": [1, 1, 1, 1, 1, 1]})"),
                    group(lr7, R"({"point1": [2, 2, 2, 2, 2, 2]})")})
        << robot << "point1=1,1,1,1,1,1";
    QTest::addRow("later groups not examined")
        << configs({group(lr7, "{\"point1\": " + sixZeros + "}"),
                    group("[5]", R"({"point1": "bad"})"), QByteArray("7")})
        << robot << zeros;
    QTest::addRow("letter case differs")
        << configs({group(R"(["lr-7"])", "{\"point1\": " + sixZeros + "}")}) << robot << notFound;
    QTest::addRow("trailing blank")
        << configs({group(R"(["LR-7 "])", "{\"point1\": " + sixZeros + "}")}) << robot << notFound;
    QTest::addRow("robot name with trailing blank")
        << configs({group(lr7, "{\"point1\": " + sixZeros + "}")}) << QStringLiteral("LR-7 ")
        << "error: Robot not found in config: LR-7 ";
    QTest::addRow("utf-8 name") << configs({group(R"(["协作臂-7"])", "{\"p\": " + sixZeros + "}")})
                                << QStringLiteral("协作臂-7") << "p=0,0,0,0,0,0";
    QTest::addRow("group without robots passed over")
        << configs({"{\"robot\": [\"LR-7\"], \"iso_poses\": {\"point1\": [1,1,1,1,1,1]}}",
                    group(lr7, "{\"point1\": " + sixZeros + "}")})
        << robot << zeros;
    QTest::addRow("group without iso_poses, none later")
        << configs({"{\"robots\": [\"LR-7\"], \"poses\": {\"point1\": [1,1,1,1,1,1]}}"}) << robot
        << notFound;
    QTest::addRow("entries that are not objects skipped")
        << configs({"5", "\"LR-7\"", "null", "[\"LR-7\"]",
                    group(lr7, "{\"point1\": " + sixZeros + "}")})
        << robot << zeros;
    QTest::addRow("empty iso_poses") << configs({group(lr7, "{}")}) << robot << QString();
    QTest::addRow("null iso_poses") << configs({group(lr7, "null")}) << robot << QString();
    QTest::addRow("empty array iso_poses") << configs({group(lr7, "[]")}) << robot << QString();

    QTest::addRow("integers") << configs({group(lr7, "{\"point1\": " + sixZeros + "}")}) << robot
                              << zeros;
    QTest::addRow("number forms")
        << configs({group(lr7, R"({"p": [-1.5e2, 2E-1, 18446744073709551615, -7, 0.0, 1e308]})")})
        << robot << "p=-150,0.2,1.84467440737096e+19,-7,0,1e+308";
    QTest::addRow("name order")
        << configs({group(lr7, "{\"point2\": [2,0,0,0,0,0], \"point10\": [10,0,0,0,0,0], "
                               "\"point1\": [1,0,0,0,0,0], \"P5\": [5,0,0,0,0,0]}")})
        << robot << "P5=5,0,0,0,0,0;point1=1,0,0,0,0,0;point10=10,0,0,0,0,0;point2=2,0,0,0,0,0";
    QTest::addRow("stray text after the document")
        << configs({group(lr7, "{\"point1\": " + sixZeros + "}")}) + " ]} trailing" << robot
        << zeros;
    QTest::addRow("other members ignored")
        << QByteArray(R"({"version": 2, "configs": [{"name": "x", "robots": ["LR-7"],
                          "iso_poses": {"point1": [0, 0, 0, 0, 0, 0]}, "speed": "fast"}]})")
        << robot << zeros;

    const QString pointData =
        QStringLiteral("error: Invalid point data for %1: expected 6 elements");
    QTest::addRow("five numbers") << configs({group(lr7, R"({"point3": [1, 2, 3, 4, 5]})")})
                                  << robot << pointData.arg(QLatin1String("point3"));
    QTest::addRow("seven numbers") << configs({group(lr7, R"({"point3": [1, 2, 3, 4, 5, 6, 7]})")})
                                   << robot << pointData.arg(QLatin1String("point3"));
    QTest::addRow("pose as object")
        << configs({group(lr7, R"({"point2": {"x": 1, "y": 2, "z": 3, "a": 4, "b": 5, "c": 6}})")})
        << robot << pointData.arg(QLatin1String("point2"));
    QTest::addRow("pose as number") << configs({group(lr7, R"({"point4": 6})")}) << robot
                                    << pointData.arg(QLatin1String("point4"));
    QTest::addRow("pose as null") << configs({group(lr7, R"({"point4": null})")}) << robot
                                  << pointData.arg(QLatin1String("point4"));
    QTest::addRow("bad pose outside point1 to point5")
        << configs({group(lr7, "{\"point1\": " + sixZeros + ", \"spare\": [1]}")}) << robot
        << pointData.arg(QLatin1String("spare"));
    QTest::addRow("first bad pose by name order")
        << configs({group(lr7, R"({"zeta": [1], "alpha": [true, 0, 0, 0, 0, 0]})")}) << robot
        << "error: Invalid point data for alpha: expected numbers";
    QTest::addRow("boolean element")
        << configs({group(lr7, R"({"p": [0, 0, 0, false, 0, 0]})")}) << robot
        << "error: Invalid point data for p: expected numbers";
    QTest::addRow("string element") << configs({group(lr7, R"({"p": [0, 0, "1", 0, 0, 0]})")})
                                    << robot << "error: Invalid point data for p: expected numbers";
    QTest::addRow("null element") << configs({group(lr7, R"({"p": [0, 0, 0, 0, 0, null]})")})
                                  << robot << "error: Invalid point data for p: expected numbers";
    QTest::addRow("array element") << configs({group(lr7, R"({"p": [[0], 0, 0, 0, 0, 0]})")})
                                   << robot << "error: Invalid point data for p: expected numbers";
    QTest::addRow("bad poses of another group ignored")
        << configs({group(R"(["LR-3"])", R"({"p": [true]})"),
                    group(lr7, "{\"point1\": " + sixZeros + "}")})
        << robot << zeros;

    const QString robotName =
        QStringLiteral("error: Invalid robot name in config: expected a string");
    QTest::addRow("number as robot name")
        << configs({group("[7, \"LR-7\"]", "{}")}) << robot << robotName;
    QTest::addRow("null as robot name") << configs({group("[null]", "{}")}) << robot << robotName;
    QTest::addRow("bad name in an earlier group")
        << configs({group("[\"LR-3\", {}]", "{}"), group(lr7, "{}")}) << robot << robotName;
    QTest::addRow("bad name after the match")
        << configs({group("[\"LR-7\", 7]", "{\"point1\": " + sixZeros + "}")}) << robot << zeros;
    QTest::addRow("robots a number") << configs({group("5", "{}")}) << robot << robotName;

    const QString posesType =
        QStringLiteral("error: Invalid JSON structure: 'iso_poses' is not an object");
    QTest::addRow("iso_poses array")
        << configs({group(lr7, "[" + sixZeros + "]")}) << robot << posesType;
    QTest::addRow("iso_poses number") << configs({group(lr7, "0")}) << robot << posesType;
    QTest::addRow("iso_poses string") << configs({group(lr7, "\"\"")}) << robot << posesType;
    QTest::addRow("iso_poses boolean") << configs({group(lr7, "false")}) << robot << posesType;
}

void TestIsoPoses::read()
{
    QFETCH(QByteArray, content);
    QFETCH(QString, robot);
    QFETCH(QString, result);

    const QString path = dir->filePath(QStringLiteral("iso/default_iso_poses.json"));
    if (content != missingFile)
        QVERIFY(lumora::test::writeTextFile(path, content));
    result.replace(QLatin1String("%path"), path);

    QString actual;
    try {
        actual = posesText(getDefaultIsoPoses(path.toStdString(), robot.toStdString()));
    } catch (const std::runtime_error& e) {
        actual = QStringLiteral("error: ") + QString::fromStdString(e.what());
    } catch (const std::exception& e) {
        QFAIL(qPrintable(QStringLiteral("escaped exception: ") + QString::fromUtf8(e.what())));
    }
    if (result.endsWith(QLatin1Char('*'))) {
        result.chop(1);
        QVERIFY2(actual.startsWith(result) && actual.size() > result.size(), qPrintable(actual));
    } else {
        QCOMPARE(actual, result);
    }
}

LUMORA_TEST_MAIN(TestIsoPoses)
#include "tst_isoposes.moc"
