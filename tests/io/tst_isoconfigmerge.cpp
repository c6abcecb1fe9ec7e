#include "isoconfigmerge.h"
#include "testmain.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {

const IsoConfig sampleConfig{
    12, QStringLiteral("D:/报告/iso"), {{1, 2, 3, 4, 5, 6}, {-0.5, 0, 1e-7, 180, -180, 2.25}}};

const QByteArray sampleConfigJson = R"({"iso_poses": {"point1": [1, 2, 3, 4, 5, 6],
    "point2": [-0.5, 0, 1e-7, 180, -180, 2.25]}, "sample_times": 12, "save_path": "D:/报告/iso"})";

QJsonObject parsedObject(const QByteArray& text)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(text, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        qFatal("test data is not a JSON object: %s", text.constData());
    return document.object();
}

} // namespace

class TestIsoConfigMerge : public QObject
{
    Q_OBJECT

private slots:
    void jobFile_data();
    void jobFile();
    void config_data();
    void config();
    void writtenLayout();
};

// "kept" is the top-level object expected beside "iso_config"; empty when the merge must fail.
void TestIsoConfigMerge::jobFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("kept");

    const QByteArray fails;
    QTest::addRow("empty file") << QByteArray() << QByteArray("{}");
    QTest::addRow("whitespace only") << QByteArray(" \r\n") << fails;
    QTest::addRow("top level array")
        << QByteArray(R"([{"file_type": "calib_info"}])") << QByteArray("{}");
    QTest::addRow("top level number") << QByteArray("42") << fails;
    QTest::addRow("top level string") << QByteArray(R"("calib_info")") << fails;
    QTest::addRow("truncated") << QByteArray(R"({"file_type": "cal)") << fails;
    QTest::addRow("garbage after the object") << QByteArray(R"({"a": 1} x)") << fails;
    QTest::addRow("invalid UTF-8 in a string") << QByteArray("{\"a\": \"\xff\"}") << fails;
    QTest::addRow("number out of range") << QByteArray(R"({"a": 1e400})") << fails;
    QTest::addRow("byte order mark") << QByteArray("\xEF\xBB\xBF{\"file_type\": \"calib_info\"}")
                                     << QByteArray(R"({"file_type": "calib_info"})");
    QTest::addRow("job written by the setup panel")
        << QByteArray(R"({"algorithm_constraints": [{"joint_index": 0, "locked_params": ["a"]}],
                         "file_type": "calib_info",
                         "robot_profile": {"ip": "10.0.0.2", "model_type": 3}})")
        << QByteArray(R"({"algorithm_constraints": [{"joint_index": 0, "locked_params": ["a"]}],
                         "file_type": "calib_info",
                         "robot_profile": {"ip": "10.0.0.2", "model_type": 3}})");
    QTest::addRow("earlier configuration replaced whole")
        << QByteArray(R"({"iso_config": {"old": true, "sample_times": 3}, "z": null})")
        << QByteArray(R"({"z": null})");
    QTest::addRow("earlier configuration of another type")
        << QByteArray(R"({"iso_config": [1, 2], "a": []})") << QByteArray(R"({"a": []})");
    QTest::addRow("duplicate member, last wins")
        << QByteArray(R"({"a": 1, "a": 2})") << QByteArray(R"({"a": 2})");
    QTest::addRow("odd strings and numbers kept")
        << QByteArray(R"({"键": "\u0000\ud800", "big": 9007199254740992, "tiny": -1e-300})")
        << QByteArray(R"({"键": "\u0000\ud800", "big": 9007199254740992, "tiny": -1e-300})");
}

void TestIsoConfigMerge::jobFile()
{
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, kept);

    const IsoConfigMerge merged = mergeIsoConfig(content, sampleConfig);
    if (kept.isEmpty()) {
        QCOMPARE(merged.outcome, IsoConfigMerge::NotJson);
        QVERIFY(merged.document.isEmpty());
        return;
    }
    QCOMPARE(merged.outcome, IsoConfigMerge::Merged);
    QJsonObject written = parsedObject(merged.document);
    QCOMPARE(written.take(QStringLiteral("iso_config")),
             QJsonValue(parsedObject(sampleConfigJson)));
    QCOMPARE(written, parsedObject(kept));
}

void TestIsoConfigMerge::config_data()
{
    QTest::addColumn<int>("sampleTimes");
    QTest::addColumn<QString>("savePath");
    QTest::addColumn<QVector<QVector<double>>>("poses");
    QTest::addColumn<QByteArray>("expected");

    QTest::addRow("no poses") << 0 << QString() << QVector<QVector<double>>{}
                              << QByteArray(
                                     R"({"iso_poses": {}, "sample_times": 0, "save_path": ""})");
    QTest::addRow("five poses numbered from 1")
        << 30 << QStringLiteral("/srv/iso")
        << QVector<QVector<double>>{{1}, {2}, {3}, {4}, {5, 5.5}}
        << QByteArray(R"({"iso_poses": {"point1": [1], "point2": [2], "point3": [3], "point4": [4],
                          "point5": [5, 5.5]}, "sample_times": 30, "save_path": "/srv/iso"})");
    QTest::addRow("rows kept as they are")
        << -1 << QStringLiteral("C:\\报告 \"x\"")
        << QVector<QVector<double>>{{}, {1e308, -1e-308, 0.1}}
        << QByteArray(R"({"iso_poses": {"point1": [], "point2": [1e308, -1e-308, 0.1]},
                          "sample_times": -1, "save_path": "C:\\报告 \"x\""})");
}

void TestIsoConfigMerge::config()
{
    QFETCH(int, sampleTimes);
    QFETCH(QString, savePath);
    QFETCH(QVector<QVector<double>>, poses);
    QFETCH(QByteArray, expected);

    const IsoConfigMerge merged = mergeIsoConfig(QByteArray(R"({"file_type": "calib_info"})"),
                                                 {sampleTimes, savePath, poses});
    QCOMPARE(merged.outcome, IsoConfigMerge::Merged);
    const QJsonObject written = parsedObject(merged.document);
    QCOMPARE(written.value(QStringLiteral("iso_config")), QJsonValue(parsedObject(expected)));
    QCOMPARE(written.value(QStringLiteral("file_type")), QJsonValue(QStringLiteral("calib_info")));
}

// The external task reads this file: indented by four spaces, members in ascending order.
void TestIsoConfigMerge::writtenLayout()
{
    const IsoConfigMerge merged =
        mergeIsoConfig(QByteArray(R"({"z": 1, "a": true})"), {2, QStringLiteral("p"), {{1.5, -2}}});
    QCOMPARE(merged.document, QByteArray("{\n"
                                         "    \"a\": true,\n"
                                         "    \"iso_config\": {\n"
                                         "        \"iso_poses\": {\n"
                                         "            \"point1\": [\n"
                                         "                1.5,\n"
                                         "                -2\n"
                                         "            ]\n"
                                         "        },\n"
                                         "        \"sample_times\": 2,\n"
                                         "        \"save_path\": \"p\"\n"
                                         "    },\n"
                                         "    \"z\": 1\n"
                                         "}\n"));
}

LUMORA_TEST_MAIN(TestIsoConfigMerge)
#include "tst_isoconfigmerge.moc"
