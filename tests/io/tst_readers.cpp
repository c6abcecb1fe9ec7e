#include "controllerreply.h"
#include "faketools.h"
#include "isoconfigmerge.h"
#include "isoposes.h"
#include "isoresults.h"
#include "lineassembler.h"
#include "resultfile.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QtTest>

#include <iostream>
#include <sstream>

namespace {

const QByteArray missing = QByteArrayLiteral("<no file>");

// What the readers gave, as text.
struct Text
{
    static QString of(double value) { return QString::number(value, 'g', 15); }
    static QString of(const std::string& name) { return QString::fromStdString(name); }
    static QString of(const AverageErrors& e)
    {
        return of(e.avgPosError) + ',' + of(e.avgAttError);
    }
    static QString of(const DHParam& p)
    {
        return of(std::vector{p.alpha, p.a, p.d, p.theta_offset});
    }
    static QString of(const IsoResult& r)
    {
        return of(r.name) + '=' + of(std::vector{r.accuracy, r.repeatability, r.rms, r.stdDev});
    }
    template <typename V> static QString of(const std::pair<const std::string, V>& entry)
    {
        return of(entry.first) + '=' + of(entry.second);
    }
    template <typename C> static QString of(const C& items)
    {
        QStringList parts;
        for (const auto& item : items)
            parts << of(item);
        return parts.join(std::is_arithmetic_v<typename C::value_type> ? ',' : ';');
    }
};

// "false" when the reader failed and left out as it was, "untouched" when it succeeded without
// changing out, else what it read.
template <typename T>
QString outcome(bool (*reader)(T&, const std::string&), T out, const std::string& path)
{
    const QString before = Text::of(out);
    const bool read = reader(out, path);
    if (Text::of(out) == before)
        return read ? QStringLiteral("untouched") : QStringLiteral("false");
    return read ? Text::of(out) : QStringLiteral("touched");
}

// Test data in single quotes, which JSON would need escaped.
QByteArray json(QByteArray quoted)
{
    return quoted.replace('\'', '"');
}

QJsonValue parsed(const QByteArray& text)
{
    return QJsonDocument::fromJson("[" + text + "]").array().first();
}

} // namespace

class TestReaders : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;
    QString write(const QByteArray& content)
    {
        const QString path = dir.filePath(QStringLiteral("input.json"));
        QFile::remove(path);
        return content == missing || lumora::test::writeTextFile(path, content) ? path : QString();
    }

private slots:
    // Status | joints | average errors | zero points | ISO results; "*" skips one.
    void resultFile_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");

        for (const char* status : {"1", "1.9", "10e-1", "true"})
            QTest::addRow("status %s", status) << json("{'status': ") + status + "}"
                                               << "1|*|*|*|*";
        for (const char* status : {"2", "0.99", "-1.5", "false", "4294967297", "-4294967295",
                                   "18446744073709551617", "1e300", "'1'"})
            QTest::addRow("status %s", status) << json("{'status': ") + json(status) + "}"
                                               << "0|*|*|*|*";
        for (const char* broken :
             {"<no file>", "", "{'status': 1, 'zero_points': [1", "{'status': 1 /* ok */}",
              "{'status': 1, 'avg_pos_error': 1e999}"})
            QTest::addRow("no document: %s", broken) << json(broken) << "0|false|false|false|false";
        QTest::addRow("complete")
            << json(R"({'status': 1, 'avg_pos_error': 0.125, 'avg_att_error': 0.5, 'dh_parameters':
                   {'joint_2': {'alpha': -90, 'a': 260, 'd': 1, 'theta_offset': -9e1, 'x': 'y'},
                    'joint_10': {'alpha': 90, 'd': 342.5}, 'joint_1': {}}, 'iso_results': [],
                   'zero_points': [0.01, -2]} } stray text [)")
            << "1|joint_1=0,0,0,0;joint_10=90,0,342.5,0;joint_2=-90,260,1,-90|0.125,0.5|0.01,-2|";
        QTest::addRow("status and empty zero points")
            << json("\xEF\xBB\xBF{'status': 1, 'zero_points': [], 'dh_parameters': {}}")
            << "1||0,0||false";
        QTest::addRow("other container types")
            << json("{'avg_pos_error': 1.5, 'dh_parameters': [{'a': 1}], 'zero_points': {}, "
                    "'iso_results': {}}")
            << "0|untouched|1.5,0|false|false";
        const char* const bad[] = {"'90'", "true", "null", "[1]"};
        const char* const dhFields[] = {"alpha", "a", "d", "theta_offset"};
        const char* const isoFields[] = {"Accuracy", "Repeatability", "RMS", "StdDev"};
        for (int i = 0; i < 4; ++i) {
            // A member of the wrong type fails its reader (a zero point too: skipping it would
            // move the later offsets to the wrong joints), except in the ISO results, where it
            // reads as absent so that the rows after it keep their places.
            QTest::addRow("%s as a number", bad[i])
                << json(QStringLiteral(
                            "{'%1': %2, 'dh_parameters': {'joint_1': {'a': 1}, 'joint_2': "
                            "{'%3': %2}}, 'zero_points': [%2, 2], 'iso_results': [%2, "
                            "{'name': [%2], '%4': %2}, {'name': 'P'}]}")
                            .arg(i % 2 ? "avg_att_error" : "avg_pos_error", bad[i], dhFields[i],
                                 isoFields[i])
                            .toUtf8())
                << "0|false|false|false|=0,0,0,0;P=0,0,0,0";
        }
        QTest::addRow("iso results")
            << json(R"({'iso_results': [{'name': 'P1', 'Accuracy': 0.1, 'Repeatability': 0.02,
                   'RMS': 0.03, 'StdDev': 4e-3, 'rms': 9}, {'name': 'P2', 'RMS': 3}]})")
            << "*|*|*|*|P1=0.1,0.02,0.03,0.004;P2=0,0,3,0";
    }
    void resultFile()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        const QString file = write(content);
        QVERIFY(!file.isEmpty());
        const std::string path = file.toStdString();
        // The parse reports on the console are not the subject here.
        std::ostringstream errors;
        std::streambuf* const previous = std::cerr.rdbuf(errors.rdbuf());
        IsoResult someResult;
        someResult.name = "s";
        QStringList actual{
            QString::number(readOptimizationStatus(path)),
            outcome(readDHParameters, std::map<std::string, DHParam>{{"s", {1, 2, 3, 4}}}, path),
            outcome(readAverageErrors, AverageErrors{-7, -8}, path),
            outcome(readZeroPoints, std::vector<double>{-9}, path),
            outcome(readIsoResults, std::vector<IsoResult>{someResult}, path)};
        std::cerr.rdbuf(previous);

        for (int i = 0; i < actual.size(); ++i)
            actual[i] = expected.split('|').at(i) == "*" ? "*" : actual.at(i);
        QCOMPARE(actual.join('|'), expected);
    }
    // The poses read for "LR-7", or "error: " and the message; a trailing '*' stands for the
    // parser's own words.
    void isoPoses_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("result");
        const auto configs = [](const QByteArray& groups) {
            return json("{'version': 2, 'configs': [" + groups + "]}");
        };
        const auto lr7 = [&](const QByteArray& poses) {
            return configs("{'robots': ['LR-7'], 'iso_poses': " + poses + "}");
        };

        QTest::addRow("missing") << missing << "error: Failed to open JSON file: %path";
        QTest::addRow("empty") << QByteArray() << "error: JSON parse error: *";
        for (const char* top :
             {"[{'configs': []}]", "{'configs': {'robots': ['LR-7']}}", "{'config': []}"})
            QTest::addRow("%s", top)
                << json(top) << "error: Invalid JSON structure: missing 'configs' array";
        QTest::addRow("first listing group wins, names in byte order")
            << configs(R"({'robots': ['LR-3', 'LR-7'], 'iso_poses': {'point2': [2, 0, 0, 0, 0, 0],
                       'point10': [1, 2, 3.5, -4e1, 18446744073709551615, 6], 'P5': [5, 0, 0, 0, 0, 0]}},
                       {'robots': ['LR-7'], 'iso_poses': {}})")
            << "P5=5,0,0,0,0,0;point10=1,2,3.5,-40,1.84467440737096e+19,6;point2=2,0,0,0,0,0";
        QTest::addRow("others passed over, later ones not examined")
            << configs(R"({'robot': ['LR-7'], 'iso_poses': {}}, {'robots': ['LR-7']}, 5, ['LR-7'],
                       {'robots': ['lr-7', 'LR-7 '], 'iso_poses': {}}, {'robots': ['LR-3'],
                       'iso_poses': {'p': [true]}}, {'robots': ['LR-7'], 'iso_poses': {'point1':
                       [0, 0, 0, 0, 0, 0]}, 'x': 1}, {'robots': [5], 'iso_poses': 'bad'}, 7)") +
                   "]} x"
            << "point1=0,0,0,0,0,0";
        QTest::addRow("none with robots and poses") << configs("{'robots': ['LR-7'], 'poses': {}}")
                                                    << "error: Robot not found in config: LR-7";
        QTest::addRow("iso_poses null") << lr7("null") << "";
        QTest::addRow("iso_poses array")
            << lr7("[[0]]") << "error: Invalid JSON structure: 'iso_poses' is not an object";
        for (const char* pose : {"[1, 2, 3, 4, 5]", "[1, 2, 3, 4, 5, 6, 7]", "{'x': 1}"})
            QTest::addRow("pose %s", pose)
                << lr7("{'point1': [0, 0, 0, 0, 0, 0], 'spare': " + QByteArray(pose) + "}")
                << "error: Invalid point data for spare: expected 6 elements";
        QTest::addRow("pose element a string")
            << lr7("{'p': [0, 0, 0, 0, 0, '1']}")
            << "error: Invalid point data for p: expected numbers";
        QTest::addRow("robot name a number")
            << configs("{'robots': [7, 'LR-7'], 'iso_poses': {}}")
            << "error: Invalid robot name in config: expected a string";
    }
    void isoPoses()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, result);
        const QString path = write(content);
        QVERIFY(!path.isEmpty());
        result.replace(QLatin1String("%path"), path);
        QString actual;
        try {
            QStringList parts;
            for (const auto& [name, v] : getDefaultIsoPoses(path.toStdString(), "LR-7"))
                parts << QString::fromStdString(name) + '=' + Text::of(v);
            actual = parts.join(';');
        } catch (const std::runtime_error& e) {
            actual = QStringLiteral("error: ") + e.what();
        }
        QCOMPARE(result.endsWith('*') ? actual.left(result.size() - 1) + '*' : actual, result);
    }
    // What the job file keeps beside "iso_config"; empty when the merge must fail.
    void jobFileMerge_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("kept");
        QTest::addRow("empty file") << QByteArray() << QByteArray("{}");
        for (const char* bad :
             {" \t ", "42", "{'a': 'cal", "{'a': 1} x", "{'a': '\xff'}", "{'a': 1e400}"})
            QTest::addRow("no document: %s", bad) << json(bad) << QByteArray();
        QTest::addRow("job file kept, earlier configuration replaced, last duplicate wins")
            << json("\xEF\xBB\xBF"
                    R"({'algorithm_constraints': [{'joint_index': -1, 'locked_params': ['a']}],
                   'file_type': 'calib_info', 'iso_config': {'old': true, 'sample_times': 3},
                   'robot_profile': {'ip': '10.0.0.2', 'model_type': 3}, 'z': 1, 'z': null})")
            << json(R"({'algorithm_constraints': [{'joint_index': -1, 'locked_params': ['a']}],
                   'file_type': 'calib_info', 'robot_profile': {'ip': '10.0.0.2', 'model_type': 3},
                   'z': null})");
    }
    void jobFileMerge()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, kept);
        const IsoConfigMerge merged =
            mergeIsoConfig(content, {12,
                                     QStringLiteral("D:/报告"),
                                     {{1, 2, 3, 4, 5, 6}, {-0.5, 0, 1e-7, 180, -180, 2.25}}});
        QCOMPARE(merged.outcome, kept.isEmpty() ? IsoConfigMerge::NotJson : IsoConfigMerge::Merged);
        if (kept.isEmpty()) {
            QVERIFY(merged.document.isEmpty());
            return;
        }
        const QJsonDocument written = QJsonDocument::fromJson(merged.document);
        // The external task reads this file: four-space indentation, members in ascending order.
        QCOMPARE(merged.document, written.toJson(QJsonDocument::Indented));
        QJsonObject object = written.object();
        QCOMPARE(
            object.take("iso_config"),
            parsed(json(R"({'iso_poses': {'point1': [1, 2, 3, 4, 5, 6], 'point2': [-0.5, 0, 1e-7,
                        180, -180, 2.25]}, 'sample_times': 12, 'save_path': 'D:/报告'})")));
        QCOMPARE(QJsonValue(object), parsed(kept));
    }
    // The replies judged wrongly.
    void controllerReply()
    {
        QStringList wrong;
        const auto judge = [&wrong](bool success, std::initializer_list<const char*> replies) {
            for (const char* reply : replies) {
                const QJsonValue value = parsed(json(reply));
                // The DH answer reads from the same replies: only data.DH_PARAMS_LINK as an
                // array counts.
                if (controllerReplySucceeded(value) != success ||
                    !dhParamsLinkArray(value).isEmpty())
                    wrong << reply;
            }
        };
        judge(true,
              {"{'code': 0e5}", "{'code': '3'}", "{'success': null, 'code': 0}", "{'success': 0}",
               "{'Success': false, 'CODE': 1}", "{'data': {'success': false}}",
               "{'success': true, 'code': 5}", "true", "'false'", "[false]",
               "{'data': [{'DH_PARAMS_LINK': [1]}], 'DH_PARAMS_LINK': [1]}"});
        judge(false, {"{'success': false, 'code': 0}", "{'code': 1e-300}", "{'code': -1}",
                      "{'code': 2147483648}", "{'code': 4294967296}",
                      "{'success': null, 'code': 1}", "false", "1e-300", "null"});
        QCOMPARE(wrong, QStringList());
        const QJsonArray links = dhParamsLinkArray(parsed(
            json("{'data': {'DH_PARAMS_LINK': [null, '2', [3], {'4': 4}, false, 1e308, -0.5]}}")));
        QCOMPARE(dhParamsLinkValues(links), (QVector<double>{0, 0, 0, 0, 0, 1e308, -0.5}));
    }
    // A tool's output: a line of the most bytes is kept; one byte more is dropped and reported
    // once, however many reads it spans, and the line after it still counts.
    void outputLines()
    {
        lumora::test::TraceCapture trace;
        const QByteArray most(LineAssembler::maxLineBytes, 'x');
        LineAssembler assembler;
        QByteArrayList lines;
        for (const QByteArray& read :
             {most.left(10), most.mid(10) + "\n", most,
              QByteArray("y[PROGRESS] 5/9\n[PROGRESS] 1/2\n"), most, most, most, most})
            lines += assembler.feed(read);
        QStringList seen;
        for (const QByteArray& line : lines + assembler.flush())
            seen << (line.size() > 99 ? QString::number(line.size()) : QString(line));
        const QString dropped = QStringLiteral("Output line longer than 1048576 bytes dropped");
        QCOMPARE((seen + trace.lines().filter("Output line")).join('|'),
                 "1048576|[PROGRESS] 1/2|" + dropped + '|' + dropped);
    }
};

LUMORA_TEST_MAIN(TestReaders)
#include "tst_readers.moc"
