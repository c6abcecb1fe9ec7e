#include "benchsite.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <qflog.h>

#include <cellpaths.h>
#include <cellstate.h>
#include <common.h>
#include <cstdio>
#include <interfacemanager.h>
#include <pagecontainer.h>
#include <pluginbase.h>
#include <pluginregister.h>
#include <robottypes.h>
#include <simcontroller.h>

namespace bench {

namespace {

const QString pluginId = QStringLiteral("lumoracalibration");

QPointer<tavrin::PluginBase> plugin;

} // namespace

void prepareProcess()
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    // As the host sets it: a fixed zone spares a zone-file check per local-time conversion.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    tavrin::QFLog::setConsoleEnabled(false);
}

BenchSite::BenchSite()
    : previousDir(QDir::currentPath())
{
    if (!dir.isValid())
        return;
    const QString root = calibrationRoot();
    if (!QDir().mkpath(root + QStringLiteral("/iso")))
        return;
    QFile::remove(root + QStringLiteral("/iso/default_iso_poses.json"));
    if (!QFile::copy(QStringLiteral(LUMORA_DEFAULT_POSES),
                     root + QStringLiteral("/iso/default_iso_poses.json")))
        return;
    ok = QDir::setCurrent(dir.path());
}

BenchSite::~BenchSite()
{
    QDir::setCurrent(previousDir);
}

QString BenchSite::calibrationRoot() const
{
    return dir.filePath(sim::calibrationRootSuffix());
}

std::unique_ptr<sim::SimController> BenchSite::controller(const QString& robotType)
{
    const sim::RobotType* type = sim::findRobotType(robotType);
    if (!type)
        return nullptr;
    const QString statePath = dir.filePath(QStringLiteral("cell/%1.json").arg(robotType));
    if (!sim::saveCellState(statePath, sim::CellState::defaults(*type, 7)))
        return nullptr;
    auto link = std::make_unique<sim::SimController>(statePath);
    link->setRebootDelay(0);
    link->connectToController(0);
    sim::SimController* raw = link.get();
    if (!waitUntil([raw] { return raw->isConnected(); }, 5000))
        return nullptr;
    return link;
}

void startPlugin()
{
    plugin = tavrin::tavrinFactory().create(pluginId, nullptr);
    plugin->init();
}

QPushButton* openCalibrationPage(const BenchSite& site, sim::SimController& controller,
                                 const QString& standInTool)
{
    tavrin::tavrinInterface().setControllerLink(&controller);
    startPlugin();
    emit tavrin::tavrinInterface().sigNetworkConnect();
    common::calibrationDir = site.calibrationRoot();
    const QString folder = common::calibrationDir + QStringLiteral("/kalvo_calib_cli/bin");
    const QString target = folder + QStringLiteral("/KalvoCalibrationTool.exe");
    QDir().mkpath(folder);
    QFile::remove(target);
    if (!QFile::copy(QCoreApplication::applicationDirPath() + '/' + standInTool, target) ||
        !QFile::setPermissions(target, QFile::permissions(target) | QFile::ExeOwner)) {
        std::fprintf(stderr, "cannot install the stand-in tool %s\n", qPrintable(standInTool));
        return nullptr;
    }
    QWidget* page = tavrin::centerWidget(pluginId);
    page->findChild<QLineEdit*>(QStringLiteral("snLineEdit"))->setText(QStringLiteral("BENCH-1"));
    return page->findChild<QPushButton*>(QStringLiteral("runCalibrationBtn"));
}

void stopPlugin()
{
    delete tavrin::centerWidget(pluginId);
    delete plugin.data();
    flushDeferredDeletes();
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();
    common::axisNum = 0;
}

void flushDeferredDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

bool waitUntil(const std::function<bool()>& done, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    // Wakes the wait below now and then, so the deadline is seen without spinning.
    QTimer tick;
    tick.start(5);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}

} // namespace bench
