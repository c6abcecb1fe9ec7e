#include "common.h"
#include "faketools.h"
#include "setupfixture.h"
#include "setupwidget.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>

#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using lumora::test::readTextFile;
using lumora::test::SetupFixture;
using lumora::test::TraceCapture;
using lumora::test::writeTextFile;

namespace {

const QString jobName = QStringLiteral("/calibInfo.json");
const QString leaveLine =
    QStringLiteral("Leave writeIntoJson=====================================");

QJsonObject readJob(const QString& path)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(readTextFile(path), &error);
    return error.error == QJsonParseError::NoError ? doc.object() : QJsonObject();
}

#ifdef Q_OS_UNIX
// Caps the size of files this process writes, so that a write fails even for root.
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        active = setrlimit(RLIMIT_FSIZE, &limited) == 0;
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    bool active = false;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};
#endif

} // namespace

class TestCalibInfo : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void readDHParams_data();
    void readDHParams();
    void lockedParams_data();
    void lockedParams();
    void exactText();
    void emptyIdentityBeforeConnection();
    void secondWriteReplacesWholeFile();
    void missingFoldersAreCreated();
    void folderThatCannotBeCreated();
    void failedWriteRemovesEarlierJob();

private:
    void setIdentity();
    QString jobPath() const { return common::calibrationDir + jobName; }
    std::unique_ptr<SetupFixture> fx;
};

void TestCalibInfo::init()
{
    fx = std::make_unique<SetupFixture>();
}

void TestCalibInfo::cleanup()
{
    fx.reset();
}

void TestCalibInfo::setIdentity()
{
    fx->link.setIdentity(QStringLiteral("192.168.10.20"), QStringLiteral("机械臂-7"), 7);
    fx->panel()->findChild<QLineEdit*>(QStringLiteral("snLineEdit"))->setText("SN 0042");
}

void TestCalibInfo::readDHParams_data()
{
    QTest::addColumn<QByteArray>("reply"); // empty: the controller does not answer
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<int>("axes");

    QTest::addRow("no answer") << QByteArray() << QVector<double>{} << -1;
    QTest::addRow("no data") << QByteArray(R"({"success":false})") << QVector<double>{} << -1;
    QTest::addRow("data is an array")
        << QByteArray(R"({"data":[1,2,3,4,5,6,7,8]})") << QVector<double>{} << -1;
    QTest::addRow("links are an object")
        << QByteArray(R"({"data":{"DH_PARAMS_LINK":{"0":1}}})") << QVector<double>{} << -1;
    QTest::addRow("links are a string")
        << QByteArray(R"({"data":{"DH_PARAMS_LINK":"1,2,3,4"}})") << QVector<double>{} << -1;
    QTest::addRow("non-numbers read as 0")
        << QByteArray(R"({"data":{"DH_PARAMS_LINK":["1.5",true,null,{"x":1},[2],-3.25,0,7e2]}})")
        << QVector<double>{0, 0, 0, 0, 0, -3.25, 0, 700} << 1;
    QTest::addRow("three values") << QByteArray(R"({"data":{"DH_PARAMS_LINK":[1,2,3]}})")
                                  << QVector<double>{} << -1;
    QTest::addRow("one link") << QByteArray(R"({"data":{"DH_PARAMS_LINK":[1,2,3,4]}})")
                              << QVector<double>{1, 2, 3, 4} << 0;
    QVector<double> partial;
    for (int k = 0; k < 27; ++k)
        partial.append(k * 0.5);
    QJsonArray partialJson;
    for (double v : partial)
        partialJson.append(v);
    QTest::addRow("27 values refused")
        << QJsonDocument(QJsonObject{{"data", QJsonObject{{"DH_PARAMS_LINK", partialJson}}}})
               .toJson(QJsonDocument::Compact)
        << QVector<double>{} << -1;
}

void TestCalibInfo::readDHParams()
{
    QFETCH(QByteArray, reply);
    QFETCH(QVector<double>, values);
    QFETCH(int, axes);

    common::originalDHParamsVec = {9, 9, 9, 9, 9, 9, 9, 9};
    common::axisNum = 1;
    if (!reply.isEmpty())
        fx->link.setCommandReply(QStringLiteral("factory.get_DH_params_link"),
                                 QJsonDocument::fromJson(reply).object());
    TraceCapture trace;
    fx->announce();

    QCOMPARE(common::originalDHParamsVec, values);
    QCOMPARE(common::axisNum, axes);
    QVERIFY(trace.contains(QStringLiteral("common::axisNum :  %1").arg(axes)));
    QVERIFY(trace.lines().first().startsWith(QStringLiteral("get_DH_params_link :  ")));
    // Axis rows exist exactly for the axes read, and the next row is empty.
    for (int axis = 0; axis < qMax(axes, 0); ++axis)
        QVERIFY(fx->rowButton(axis));
    QVERIFY(!fx->rowButton(qMax(axes, 0)));
}

void TestCalibInfo::lockedParams_data()
{
    QTest::addColumn<int>("valueCount");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QByteArray>("constraints");

    const QByteArray allFour = R"(["alpha","a","d","theta"])";
    QTest::addRow("6 axes, default ticks")
        << 28 << ""
        << R"([{"joint_index":0,"locked_params":)" + allFour +
               R"(},{"joint_index":-1,"locked_params":)" + allFour + "}]";
    QTest::addRow("all ticked") << 28 << "all" << QByteArray("[]");
    QTest::addRow("only J3 theta unticked")
        << 28 << "all; untick 2 3"
        << QByteArray(R"([{"joint_index":2,"locked_params":["theta"]}])");
    QTest::addRow("rows top to bottom, columns in order, last row -1")
        << 32 << "all; untick 6 1; untick 4 3; untick 1 2; untick 4 0"
        << QByteArray(R"([{"joint_index":1,"locked_params":["d"]},)"
                      R"({"joint_index":4,"locked_params":["alpha","theta"]},)"
                      R"({"joint_index":-1,"locked_params":["a"]}])");
    QTest::addRow("4 axes, default ticks")
        << 20 << ""
        << R"([{"joint_index":0,"locked_params":)" + allFour +
               R"(},{"joint_index":-1,"locked_params":)" + allFour + "}]";
    QTest::addRow("1 axis is the last axis")
        << 8 << ""
        << R"([{"joint_index":-1,"locked_params":)" + allFour + "}]";
    QTest::addRow("no axes") << 4 << "" << QByteArray("[]");
}

void TestCalibInfo::lockedParams()
{
    QFETCH(int, valueCount);
    QFETCH(QString, steps);
    QFETCH(QByteArray, constraints);

    setIdentity();
    fx->connectRobot(valueCount);
    QVERIFY(fx->run(steps));
    TraceCapture trace;
    fx->panel()->writeIntoJson();

    const QJsonObject job = readJob(jobPath());
    QCOMPARE(job.keys(), QStringList({"algorithm_constraints", "file_type", "robot_profile"}));
    QCOMPARE(job.value("file_type").toString(), QStringLiteral("calib_info"));
    QCOMPARE(job.value("algorithm_constraints").toArray(),
             QJsonDocument::fromJson(constraints).array());
    const QJsonObject profile{{"ip", "192.168.10.20"},
                              {"model_type", 7},
                              {"robot_name", QStringLiteral("机械臂-7")},
                              {"serial_number", "SN 0042"}};
    QCOMPARE(job.value("robot_profile").toObject(), profile);
    QCOMPARE(trace.lines(),
             QStringList({"writeIntoJson [in]", "common::modelType :  7",
                          "===============================================", leaveLine}));
}

void TestCalibInfo::exactText()
{
    setIdentity();
    fx->connectRobot(28);
    fx->panel()->writeIntoJson();

    const QByteArray expected = u8R"({
    "algorithm_constraints": [
        {
            "joint_index": 0,
            "locked_params": [
                "alpha",
                "a",
                "d",
                "theta"
            ]
        },
        {
            "joint_index": -1,
            "locked_params": [
                "alpha",
                "a",
                "d",
                "theta"
            ]
        }
    ],
    "file_type": "calib_info",
    "robot_profile": {
        "ip": "192.168.10.20",
        "model_type": 7,
        "robot_name": "机械臂-7",
        "serial_number": "SN 0042"
    }
}
)";
    QCOMPARE(readTextFile(jobPath()), expected);
    // Nothing but the job file is left in the folder (no temporary copies).
    QCOMPARE(QDir(common::calibrationDir).entryList(QDir::Files), QStringList{"calibInfo.json"});
}

void TestCalibInfo::emptyIdentityBeforeConnection()
{
    // As after the plug-in's start-up read: an axis count, but no table rows yet.
    common::axisNum = 6;
    fx->panel()->writeIntoJson();

    const QJsonObject job = readJob(jobPath());
    QCOMPARE(job.value("algorithm_constraints").toArray(), QJsonArray());
    const QJsonObject profile = job.value("robot_profile").toObject();
    QCOMPARE(profile.keys(), QStringList({"ip", "model_type", "robot_name", "serial_number"}));
    for (const char* key : {"ip", "robot_name", "serial_number"}) {
        QVERIFY2(profile.value(key).isString(), key);
        QVERIFY2(profile.value(key).toString().isEmpty(), key);
    }
    QVERIFY(profile.value("model_type").isDouble());
    QCOMPARE(profile.value("model_type").toDouble(), 0.0);
}

void TestCalibInfo::secondWriteReplacesWholeFile()
{
    QByteArray earlier = R"({"iso_config":{"sample_times":3,"save_path":"/r"},"file_type":"x",)"
                         R"("padding":")" +
                         QByteArray(4000, 'p') + "\"}";
    QVERIFY(writeTextFile(jobPath(), earlier));

    fx->connectRobot(28);
    fx->panel()->writeIntoJson();
    QJsonObject job = readJob(jobPath());
    QCOMPARE(job.keys(), QStringList({"algorithm_constraints", "file_type", "robot_profile"}));
    QCOMPARE(job.value("algorithm_constraints").toArray().size(), 2);
    QCOMPARE(QFileInfo(jobPath()).size(), qint64(QJsonDocument(job).toJson().size()));

    QVERIFY(fx->run(QStringLiteral("all")));
    fx->panel()->writeIntoJson();
    job = readJob(jobPath());
    QCOMPARE(job.value("algorithm_constraints").toArray(), QJsonArray());
    QCOMPARE(QFileInfo(jobPath()).size(), qint64(QJsonDocument(job).toJson().size()));
}

void TestCalibInfo::missingFoldersAreCreated()
{
    common::calibrationDir = fx->root.path() + QStringLiteral("/site/D:/Calibration");
    fx->connectRobot(28);
    TraceCapture trace;
    fx->panel()->writeIntoJson();
    QCOMPARE(readJob(jobPath()).value("file_type").toString(), QStringLiteral("calib_info"));
    QVERIFY(trace.contains(leaveLine));
}

void TestCalibInfo::folderThatCannotBeCreated()
{
    QVERIFY(writeTextFile(fx->root.path() + QStringLiteral("/blocker"), "not a folder"));
    common::calibrationDir = fx->root.path() + QStringLiteral("/blocker/Calibration");
    fx->connectRobot(28);
    TraceCapture trace;
    fx->panel()->writeIntoJson();
    QVERIFY(!QFileInfo::exists(jobPath()));
    QVERIFY(trace.contains(QStringLiteral("writeIntoJson [in]")));
    QVERIFY(!trace.contains(leaveLine));
    QCOMPARE(readTextFile(fx->root.path() + QStringLiteral("/blocker")),
             QByteArray("not a folder"));
}

void TestCalibInfo::failedWriteRemovesEarlierJob()
{
#ifdef Q_OS_UNIX
    fx->connectRobot(28);
    fx->panel()->writeIntoJson();
    QVERIFY(QFileInfo::exists(jobPath()));
    QVERIFY(fx->run(QStringLiteral("all")));

    TraceCapture trace;
    {
        FileSizeLimit limit(64);
        if (!limit.active)
            QSKIP("cannot limit the file size here");
        fx->panel()->writeIntoJson();
    }
    // Neither the earlier job nor a torn new one is left for the tool.
    QVERIFY(!QFileInfo::exists(jobPath()));
    QCOMPARE(QDir(common::calibrationDir).entryList(QDir::Files), QStringList());
    QVERIFY(!trace.contains(leaveLine));

    // The next write succeeds again.
    fx->panel()->writeIntoJson();
    QCOMPARE(readJob(jobPath()).value("algorithm_constraints").toArray(), QJsonArray());
#else
    QSKIP("needs a file size limit");
#endif
}

LUMORA_TEST_MAIN(TestCalibInfo)
#include "tst_calibinfo.moc"
