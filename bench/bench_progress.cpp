// Progress lines per second through the calibration runner's output handler, end to end: a
// stand-in tool writes N progress lines to its standard output, the runner shows and traces each
// one, and the clock runs from the press on the start button to the result reaching the result
// panel. Offscreen, trace console off: every progress record goes to the trace log file.
// Prints figures only.
//
//   bench_progress [lines] [runs] [--no-log-file]
// --no-log-file puts a plain file where the log folder belongs, so the trace records are built
// but not written: the difference is the cost of the trace writer's file output.

#include "benchsite.h"

#include <QApplication>
#include <QDate>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <calibrationwidget.h>
#include <common.h>
#include <cstdio>
#include <interfacemanager.h>
#include <pagecontainer.h>
#include <simcontroller.h>
#include <vector>

namespace {

const int runTimeoutMs = 300000;

QString toolSource()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/bench_progresstool");
}

QString traceLogPath()
{
    return QStringLiteral("log/tavrin/lumoracalibration/lumoracalibration_%1.log")
        .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")));
}

qint64 fileSize(const QString& path)
{
    return QFileInfo(path).size();
}

// The tool alone, its output read and dropped by a bare process object: the pipe's own pace.
double toolAloneSeconds(const QString& root)
{
    QProcess process;
    QObject::connect(&process, &QProcess::readyReadStandardOutput, &process,
                     [&process] { process.readAllStandardOutput(); });
    QElapsedTimer timer;
    timer.start();
    process.start(toolSource(), {QStringLiteral("--path"), root});
    process.waitForStarted();
    QEventLoop loop;
    QObject::connect(&process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), &loop,
                     &QEventLoop::quit);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    return timer.nsecsElapsed() / 1e9;
}

// One run from the press to the result panel's error texts; negative when the run failed.
double runOnce(QPushButton* start)
{
    calibrationWidget* runner = calibrationWidget::instance();
    QEventLoop loop;
    QObject::connect(runner, &calibrationWidget::calibrationDoneStr, &loop,
                     [&loop] { loop.exit(0); });
    // A failed run shows a box: close it so the run ends.
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, &loop, [&loop] {
        if (QWidget* box = QApplication::activeModalWidget())
            box->close();
        loop.exit(1);
    });
    watchdog.start(runTimeoutMs);
    QElapsedTimer timer;
    timer.start();
    start->click();
    const int outcome = loop.exec();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QObject::disconnect(runner, &calibrationWidget::calibrationDoneStr, &loop, nullptr);
    runner->resetAll();
    bench::flushDeferredDeletes();
    return outcome == 0 ? seconds : -1.0;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    bench::prepareProcess();
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments().mid(1);
    const bool noLogFile = arguments.removeAll(QStringLiteral("--no-log-file")) > 0;
    const long lines = arguments.value(0, QStringLiteral("300000")).toLong();
    const int runs = std::max(1, arguments.value(1, QStringLiteral("5")).toInt());
    qputenv("BENCH_PROGRESS_LINES", QByteArray::number(qlonglong(lines)));

    bench::BenchSite site;
    if (!site.isValid()) {
        std::fprintf(stderr, "bench_progress: cannot prepare a site folder\n");
        return 1;
    }
    if (noLogFile) {
        QFile blocker(QStringLiteral("log"));
        blocker.open(QIODevice::WriteOnly);
    }
    auto link = site.controller(QStringLiteral("LX6-900"));
    QPushButton* start =
        link ? bench::openCalibrationPage(site, *link, "bench_progresstool") : nullptr;
    if (!start)
        return 1;

    std::vector<double> alone;
    std::vector<double> handled;
    qint64 traced = 0;
    for (int run = 0; run < runs; ++run) {
        alone.push_back(toolAloneSeconds(common::calibrationDir));
        const qint64 before = fileSize(traceLogPath());
        const double seconds = runOnce(start);
        if (seconds < 0) {
            std::fprintf(stderr, "bench_progress: run %d failed\n", run + 1);
            return 1;
        }
        handled.push_back(seconds);
        traced = fileSize(traceLogPath()) - before;
    }

    const double aloneSeconds = median(alone);
    const double handledSeconds = median(handled);
    std::printf("progress lines per run: %ld, runs: %d, trace log file: %s\n", lines, runs,
                noLogFile ? "blocked" : "written");
    std::printf("tool alone, output dropped: %.3f s median, %.0f lines/s\n", aloneSeconds,
                lines / aloneSeconds);
    std::printf("through the runner's handler: %.3f s median, %.0f lines/s\n", handledSeconds,
                lines / handledSeconds);
    std::printf("trace log bytes of the last run: %lld (%.1f per progress line)\n",
                static_cast<long long>(traced), double(traced) / double(lines));

    bench::stopPlugin();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    return 0;
}
