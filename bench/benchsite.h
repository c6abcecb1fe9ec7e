#pragma once

#include <QString>
#include <QTemporaryDir>

#include <functional>
#include <memory>

class QPushButton;
class QWidget;

namespace sim {
class SimController;
}

namespace bench {

// Offscreen unless a platform is chosen, trace console off (records still go to the log file).
// Call before the application object is built.
void prepareProcess();

// A site folder of its own in a temporary directory, the process's working directory while it
// lives: the calibration root with the default poses below it, and one cell state per robot
// type, so the page, the trace and audit logs and the simulated controller all land in it.
class BenchSite
{
public:
    BenchSite();
    ~BenchSite();

    bool isValid() const { return ok; }
    QString path() const { return dir.path(); }
    QString calibrationRoot() const;

    // An in-process controller of the robot type (for example "LX6-900"), online.
    std::unique_ptr<sim::SimController> controller(const QString& robotType);

private:
    QTemporaryDir dir;
    QString previousDir;
    bool ok = false;
};

// The host's start-up of the plug-in: the object from the registry, then init(). The page is
// handed to the host and reachable through tavrin::centerWidget().
void startPlugin();
// Starts the plug-in on the controller, with the stand-in calibration tool (a program beside this
// one) installed under the real tool's name and a serial number entered; the page's calibration
// button, or null (with a message) when the tool cannot be installed.
QPushButton* openCalibrationPage(const BenchSite& site, sim::SimController& controller,
                                 const QString& standInTool);
// Destroys the page, its panels and the plug-in object, runs deferred deletions and empties the
// shared state that init() appends to.
void stopPlugin();

// Runs pending deferred deletions.
void flushDeferredDeletes();
// Processes events until done() holds or timeoutMs passed; false on timeout.
bool waitUntil(const std::function<bool()>& done, int timeoutMs);

} // namespace bench
