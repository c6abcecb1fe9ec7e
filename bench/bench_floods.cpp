// A calibration tool that floods the host: 1 GB on standard error, 1 GB on standard output in
// one line, and 1 GB of short lines. Prints, per flood, how long the run took, the longest time
// the GUI thread did not get round to a 5 ms timer while the tool ran (its stall; the failure box
// at the end is not counted), and the host's peak resident memory. Offscreen, trace console
// off. Prints figures only.
//
//   bench_floods [megabytes]      (default 1024)

#include "benchsite.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <common.h>
#include <cstdio>
#include <interfacemanager.h>
#include <pagecontainer.h>
#include <simcontroller.h>

namespace {

qint64 peakResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toLongLong();
    }
    return -1;
}

// One run from the press to the failure box, which is closed at once; the longest gap between
// two ticks of a 5 ms timer, less the 5 ms, is the stall.
void runOnce(QPushButton* start, const char* mode)
{
    qputenv("BENCH_FLOOD_MODE", mode);
    qint64 longestGapMs = 0;
    QElapsedTimer sinceTick;
    QTimer ticker;
    ticker.setTimerType(Qt::PreciseTimer);
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        const qint64 gap = sinceTick.restart();
        // The failure box ends the run; building it is no part of reading the flood.
        if (QWidget* box = QApplication::activeModalWidget()) {
            box->close();
            return;
        }
        longestGapMs = std::max(longestGapMs, gap);
    });
    QElapsedTimer clock;
    clock.start();
    sinceTick.start();
    ticker.start(5);
    start->click();
    bench::waitUntil([start] { return start->text() == QStringLiteral("启动标定"); }, 3600000);
    ticker.stop();
    std::printf("%-12s %8.1f s   longest stall %5lld ms   peak RSS %6lld kB\n", mode,
                clock.elapsed() / 1000.0,
                static_cast<long long>(std::max<qint64>(0, longestGapMs - 5)),
                static_cast<long long>(peakResidentKb()));
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    bench::prepareProcess();
    QApplication app(argc, argv);
    const long long megabytes =
        QCoreApplication::arguments().value(1, QStringLiteral("1024")).toLongLong();
    qputenv("BENCH_FLOOD_BYTES", QByteArray::number(megabytes * 1024 * 1024));

    bench::BenchSite site;
    if (!site.isValid()) {
        std::fprintf(stderr, "bench_floods: cannot prepare a site folder\n");
        return 1;
    }
    auto link = site.controller(QStringLiteral("LX6-900"));
    QPushButton* start =
        link ? bench::openCalibrationPage(site, *link, "bench_floodtool") : nullptr;
    if (!start)
        return 1;

    std::printf("flood of %lld MB per run; peak RSS before: %lld kB\n", megabytes,
                static_cast<long long>(peakResidentKb()));
    for (const char* mode : {"stderr", "line", "lines"})
        runOnce(start, mode);

    bench::stopPlugin();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    return 0;
}
