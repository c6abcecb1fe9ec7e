#include "calibrationwidget.h"
#include "centerwidget.h"
#include "common.h"
#include "displayisowidget.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QDir>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <interfacemanager.h>
#include <memory>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace lumora::test;

namespace {

const QString dhWrite = QStringLiteral("factory.set_DH_params_all");
// The tool floods its standard error, then leaves a helper behind it, as a real tool's solver or
// shell pipeline would.
const QString withGrandchild = QStringLiteral("head -c 20000000 /dev/zero | tr '\\0' e >&2\n"
                                              "sleep 3600 & echo $! > grandchild.pid\n"
                                              "printf '[PROGRESS] 1/2\\n[ROUND] 1/2\\n'\nwait\n");

long dhWrites(const ScriptedLink& link)
{
    return std::count_if(link.calls.begin(), link.calls.end(),
                         [](const LinkCall& call) { return call.name == dhWrite; });
}

// Whether the process whose id the file holds still runs (an unreaped zombie has ended).
bool running(const QString& pidFile)
{
    const QByteArray pid = readTextFile(pidFile).trimmed();
    QFile stat(QStringLiteral("/proc/%1/stat").arg(QString(pid)));
    const QByteArray fields =
        !pid.isEmpty() && stat.open(QIODevice::ReadOnly) ? stat.readAll() : "() Z";
    return !QByteArray("ZX").contains(fields.at(fields.lastIndexOf(')') + 2));
}

// Opens the pipe's writing end after three seconds, so that a reader blocked on it gets an end
// of file instead of hanging the suite; rescued tells that it had to.
struct PipeRescue
{
    std::atomic<bool> done{false};
    std::atomic<bool> rescued{false};
    std::thread thread;
    explicit PipeRescue(const QByteArray& path)
        : thread([this, path] {
            for (int waited = 0; !done; waited += 50) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                const int fd = waited < 3000 ? -1 : ::open(path.constData(), O_WRONLY | O_NONBLOCK);
                rescued = rescued || (fd >= 0 && ::close(fd) == 0);
            }
        })
    {}
    ~PipeRescue()
    {
        done = true;
        thread.join();
    }
};

} // namespace

// The page against tools, files, disks and controllers that misbehave on purpose.
class TestHostilePage : public QObject
{
    Q_OBJECT

private slots:
    void pageRefuses_data();
    void pageRefuses();
    void groupEnds_data();
    void groupEnds();
    void applyRefused_data();
    void applyRefused();
};

namespace {

// The page on a six-axis robot with a serial number, no box seen yet.
struct Fixture : WidgetFixture
{
    Fixture()
    {
        connectRobot(28);
        find<QLineEdit>("snLineEdit")->setText(QStringLiteral("SN-1"));
        answerer.clear();
    }
    QString root() const { return dir.path(); }
};

} // namespace

void TestHostilePage::pageRefuses_data()
{
    QTest::addColumn<QString>("prepare");   // shell lines run in the root first
    QTest::addColumn<QString>("tool");      // the calibration tool, run in the root
    QTest::addColumn<QString>("action");    // run, cancel, connect N (DH values), save [full]
    QTest::addColumn<QString>("pipe");      // a named pipe the action must not wait on
    QTest::addColumn<QStringList>("boxes"); // the start of each box, ROOT for the root
    const auto row = [](const char* name, const QString& prepare, const QString& tool,
                        const QString& action, const QString& pipe, const QStringList& boxes) {
        QTest::addRow("%s", name) << prepare << tool << action << pipe << boxes;
    };

    const QString zeros = "printf '{\"status\":1,\"zero_points\":[%1]}' > optimized_dh.json";
    const QString padded = "{ printf '{\"status\":1,\"zero_points\":[0,0,0,0,0,0],\"pad\":\"'\n"
                           "head -c %1 /dev/zero | tr '\\0' x; printf '\"}'; } > optimized_dh.json";
    const QStringList noResult{"ERROR: Can't Find OptimizedDH.json File"};
    const QStringList noZeroPoints{"Error: Failed to read zero position data"};
    const QString noPoses = QStringLiteral("Warning: get default iso parameters error");
    const QString tableRefused = "Warning: 控制器返回的DH参数无法使用：%1 个数值";
    row("job file cannot be written", "mkdir -p calibInfo.json/old", "", "run", "",
        {"ERROR: Can't Write Job File: ROOT/calibInfo.json\n"});
    row("result of an earlier run", zeros.arg("0,0,0,0,0,0"), "", "run", "", noResult);
    row("result file beyond 16 MiB", "", padded.arg(17000000), "run", "", noResult);
    row("result file within 16 MiB", "", padded.arg(16000000), "run", "", {});
    row("zero points with a string and a null", "", zeros.arg("0.1,\"x\",0.2,null,0.3,0.4,0.5,0.6"),
        "run", "", noZeroPoints);
    row("five zero points for six axes", "", zeros.arg("0,0,0,0,0"), "run", "", noZeroPoints);
    // The tool leaves the pipe, so the page cannot take it for an earlier run's file.
    row("result file a pipe", "", "mkfifo optimized_dh.json", "run", "optimized_dh.json", noResult);
    row("default poses a pipe", "rm iso/*.json && mkfifo iso/default_iso_poses.json", "",
        "connect 28", "iso/default_iso_poses.json", {noPoses});
    row("job file a pipe", "mkfifo calibInfo.json", "", "save", "calibInfo.json",
        {"提示: 打开文件失败"});
    row("DH table of sixteen axes", "", "", "connect 68", "", {});
    row("DH table of seventeen axes", "", "", "connect 72", "", {tableRefused.arg(72)});
    row("DH table of no whole number of links", "", "", "connect 27", "", {tableRefused.arg(27)});
}

void TestHostilePage::pageRefuses()
{
    QFETCH(QString, prepare);
    QFETCH(QString, tool);
    QFETCH(QString, action);
    QFETCH(QString, pipe);
    QFETCH(QStringList, boxes);

    Fixture fx;
    const auto root = [&fx] { return fx.root(); };
    QVERIFY(writeFakeTool(calibrationToolPath(root()), "cd \"$2\"\n" + tool));
    QCOMPARE(QProcess::execute("/bin/sh", {"-c", "cd \"$0\" || exit 1\n" + prepare, root()}), 0);
    std::unique_ptr<PipeRescue> rescue(
        pipe.isEmpty() ? nullptr : new PipeRescue(QFile::encodeName(root() + '/' + pipe)));
    common::isoReportPath = root();
    QPushButton* run = fx.button("runCalibrationBtn");
    if (action.startsWith(QLatin1String("connect")))
        fx.connectRobot(action.mid(8).toInt());
    else
        fx.button(action == QLatin1String("save") ? "saveBtn" : "runCalibrationBtn")->click();
    QTRY_VERIFY_WITH_TIMEOUT(run->text() != QStringLiteral("取消标定"), 20000);
    if (action == QLatin1String("run"))
        QCOMPARE(run->text(),
                 boxes.isEmpty() ? QStringLiteral("标定完成") : QStringLiteral("启动标定"));
    const QStringList seen = fx.boxes().split('|', Qt::SkipEmptyParts);
    QCOMPARE(seen.size(), boxes.size());
    for (int i = 0; i < seen.size(); ++i)
        QVERIFY2(seen.at(i).startsWith(boxes[i].replace("ROOT", root())), qPrintable(seen.at(i)));
    QVERIFY(!rescue || !rescue->rescued);
}

void TestHostilePage::groupEnds_data()
{
    QTest::addColumn<bool>("iso");
    QTest::addColumn<QString>("ending");

    QTest::addRow("calibration cancelled") << false << "press";
    QTest::addRow("calibration timed out") << false << "onTimeout";
    QTest::addRow("calibration page destroyed") << false << "destroy";
    QTest::addRow("ISO task aborted") << true << "press";
    QTest::addRow("ISO task timed out") << true << "onIsoTimeout";
    QTest::addRow("ISO page destroyed") << true << "destroy";
}

// However a tool ends, nothing it started lives on; while it runs, its standard error is read as
// it comes (or not taken at all) rather than gathered in the host.
void TestHostilePage::groupEnds()
{
    QFETCH(bool, iso);
    QFETCH(QString, ending);

    Fixture fx;
    const auto root = [&fx] { return fx.root(); };
    QObject* panel =
        iso ? static_cast<QObject*>(displayisowidget::instance()) : calibrationWidget::instance();
    writeFakeTool(iso ? isoTaskPath(root()) : calibrationToolPath(root()),
                  "cd \"$2\"\n" + withGrandchild);
    displayisowidget::instance()->startBtnEnable();
    QPushButton* start = fx.button(iso ? "startISO" : "runCalibrationBtn");
    start->click();
    QTRY_VERIFY_WITH_TIMEOUT(running(root() + "/grandchild.pid"), 20000);
    QVERIFY(panel->findChild<QProcess*>()->readAllStandardError().size() < 65536);

    if (ending == QLatin1String("press"))
        start->click();
    else if (ending == QLatin1String("destroy"))
        fx.page.reset();
    else
        QVERIFY(QMetaObject::invokeMethod(panel, ending.toLatin1().constData()));
    QTRY_VERIFY_WITH_TIMEOUT(!running(root() + "/grandchild.pid"), 10000);
    if (ending == QLatin1String("onIsoTimeout"))
        QCOMPARE(fx.answerer.last().text,
                 "runIsoTask.exe 运行超时（600 秒），已终止，请检查外部程序是否正常运行");
}

void TestHostilePage::applyRefused_data()
{
    QTest::addColumn<int>("zeroPoints");
    QTest::addColumn<bool>("diskFull");
    QTest::addColumn<QString>("box");

    QTest::addRow("five zero points for six axes")
        << 5 << false << "错误: 零点数量与轴数不符，未应用参数！";
    QTest::addRow("audit file cannot take a line")
        << 6 << true << "错误: 审计日志写入失败，未下发DH参数、零点和重启！";
}

void TestHostilePage::applyRefused()
{
    QFETCH(int, zeroPoints);
    QFETCH(bool, diskFull);
    QFETCH(QString, box);

    Fixture fx;
    const QString audit = QDir::currentPath() + "/logs/audit-dev-" +
                          QDate::currentDate().toString("yyyy-MM-dd") + ".log";
    const QByteArray torn = "[输入到达] planId=p000000 时间=12/06 08:59:59.000 torn";
    QVERIFY(writeTextFile(audit, torn));
    common::optimizedDHParamsVec = QVector<double>(24, 0.5);
    common::zeroPointsVec.assign(size_t(zeroPoints), 0.01);
    auto full = diskFull ? limitFileSize(torn.size() + 20) : nullptr;
    fx.button("confirmBtn")->click();
    full.reset();
    QCOMPARE(fx.boxes(), box);
    QCOMPARE(dhWrites(fx.link), 0);
    QCOMPARE(readTextFile(audit).left(torn.size() + 1), diskFull ? torn : torn + '\n');
    if (diskFull) {
        // Once the disk has room again, the next record starts on a line of its own.
        fx.button("confirmBtn")->click();
        QCOMPARE(dhWrites(fx.link), 1);
        QVERIFY(readTextFile(audit).startsWith(torn + "\n[输入到达] planId="));
    }
}

LUMORA_TEST_MAIN(TestHostilePage)
#include "tst_hostilepage.moc"
