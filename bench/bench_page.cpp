// The page's start-up (the init() path), its rebuild on a controller connection and one apply
// press, on the in-process simulated controller. Offscreen, trace console off (trace records
// still go to the log file), Qt debug messages dropped as a host's log handler would. Prints
// figures only.

#include "benchsite.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <benchmark/benchmark.h>
#include <common.h>
#include <cstdio>
#include <dhparameterwidget.h>
#include <interfacemanager.h>
#include <pagecontainer.h>
#include <simcontroller.h>

namespace {

bench::BenchSite* site = nullptr;

const QString pluginId = QStringLiteral("lumoracalibration");

QString robotFor(int axes)
{
    return axes == 7 ? QStringLiteral("LX7-800") : QStringLiteral("LX6-900");
}

// The first start-up in a process pays for fonts, styles and the first widgets: it is the one an
// operator sees, so it is measured on its own, before the repeated runs warm everything up. With
// BENCH_WARM_QT set, a small form is built first, to tell Qt's first-use costs from the page's.
void printFirstStart()
{
    auto link = site->controller(robotFor(6));
    tavrin::tavrinInterface().setControllerLink(link.get());
    QElapsedTimer timer;
    timer.start();
    if (qEnvironmentVariableIsSet("BENCH_WARM_QT")) {
        // Qt's own first-use costs (fonts, style, style sheets), paid by any first form.
        QWidget form;
        auto* button = new QPushButton(QStringLiteral("启动标定"), &form);
        button->setStyleSheet(QStringLiteral("QPushButton { border: none; }"));
        new QLabel(QStringLiteral("机器人配置(Setup)"), &form);
        form.ensurePolished();
        button->sizeHint();
        std::printf("a first small form in the process: %.2f ms\n", timer.nsecsElapsed() / 1e6);
        timer.restart();
    }
    bench::startPlugin();
    const qint64 initNs = timer.nsecsElapsed();
    QWidget* page = tavrin::centerWidget(pluginId);
    page->resize(1280, 800);
    page->show();
    QCoreApplication::sendPostedEvents();
    page->grab();
    const qint64 shownNs = timer.nsecsElapsed();
    std::printf("first init() in the process: %.2f ms; with the first frame of the page: %.2f ms\n",
                initNs / 1e6, shownNs / 1e6);
    bench::stopPlugin();
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

void pageInit(benchmark::State& state)
{
    auto link = site->controller(robotFor(6));
    tavrin::tavrinInterface().setControllerLink(link.get());
    for (auto _ : state) {
        bench::startPlugin();
        state.PauseTiming();
        bench::stopPlugin();
        state.ResumeTiming();
    }
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

// range(0): axes; range(1): 1 when the page is shown, so that the layout, the deferred deletions
// and the repaint the rebuild causes are included.
void rebuildOnConnection(benchmark::State& state)
{
    const int axes = int(state.range(0));
    const bool shown = state.range(1) != 0;
    auto link = site->controller(robotFor(axes));
    tavrin::tavrinInterface().setControllerLink(link.get());
    bench::startPlugin();
    QWidget* page = tavrin::centerWidget(pluginId);
    if (shown) {
        page->resize(1280, 800);
        page->show();
        QCoreApplication::sendPostedEvents();
    }
    for (auto _ : state) {
        emit tavrin::tavrinInterface().sigNetworkConnect();
        if (shown) {
            QCoreApplication::sendPostedEvents();
            page->repaint();
        } else {
            state.PauseTiming();
            bench::flushDeferredDeletes();
            state.ResumeTiming();
        }
    }
    if (common::axisNum != axes)
        state.SkipWithError("the controller's table did not arrive");
    bench::stopPlugin();
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

// The controller's table with a small change, as a finished calibration run leaves it.
void stageResult(int axes)
{
    common::optimizedDHParamsVec = common::originalDHParamsVec.mid(0, 4 * axes);
    for (double& value : common::optimizedDHParamsVec)
        value += 0.001;
    common::zeroPointsVec.assign(std::size_t(axes), 0.01);
}

void applyPress(benchmark::State& state)
{
    const int axes = int(state.range(0));
    auto link = site->controller(robotFor(axes));
    sim::SimController* controller = link.get();
    tavrin::tavrinInterface().setControllerLink(controller);
    bench::startPlugin();
    emit tavrin::tavrinInterface().sigNetworkConnect();
    dhparameterWidget* panel = dhparameterWidget::instance();
    for (auto _ : state) {
        state.PauseTiming();
        stageResult(axes);
        state.ResumeTiming();
        panel->confirmBtnClicked();
        state.PauseTiming();
        // Success empties both vectors; the controller then reboots and the rebuild on its
        // reconnection reads the table again.
        if (!common::optimizedDHParamsVec.isEmpty()) {
            state.SkipWithError("the apply procedure refused or failed");
            break;
        }
        if (!bench::waitUntil(
                [controller] {
                    return controller->isConnected() && !common::originalDHParamsVec.isEmpty();
                },
                5000)) {
            state.SkipWithError("the controller did not come back after its reboot");
            break;
        }
        state.ResumeTiming();
    }
    bench::stopPlugin();
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

void dropDebugMessages(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    // The offscreen platform's note on size hints would repeat on every shown rebuild.
    if (type != QtDebugMsg && type != QtInfoMsg &&
        !message.startsWith(QLatin1String("This plugin does not support")))
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

} // namespace

BENCHMARK(pageInit)
    ->Unit(benchmark::kMillisecond)
    ->MinTime(0.2)
    ->Repetitions(10)
    ->ReportAggregatesOnly();
BENCHMARK(rebuildOnConnection)
    ->ArgsProduct({{6, 7}, {0, 1}})
    ->ArgNames({"axes", "shown"})
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.2)
    ->Repetitions(10)
    ->ReportAggregatesOnly();
BENCHMARK(applyPress)
    ->Arg(6)
    ->Arg(7)
    ->ArgName("axes")
    ->Unit(benchmark::kMicrosecond)
    ->MinTime(0.2)
    ->Repetitions(10)
    ->ReportAggregatesOnly();

int main(int argc, char** argv)
{
    bench::prepareProcess();
    qInstallMessageHandler(dropDebugMessages);
    QApplication app(argc, argv);
    bench::BenchSite benchSite;
    if (!benchSite.isValid()) {
        std::fprintf(stderr, "bench_page: cannot prepare a site folder\n");
        return 1;
    }
    site = &benchSite;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    printFirstStart();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
