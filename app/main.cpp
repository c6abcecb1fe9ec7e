#include "hostwindow.h"
#include "pluginloader.h"
#include "scriptedsession.h"
#include "sitefolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QTimer>

#include <cellpaths.h>
#include <cellresetoptions.h>
#include <cstdio>
#include <interfacemanager.h>
#include <memory>
#include <pagecontainer.h>
#include <pluginbase.h>
#include <pluginregister.h>
#include <simcontroller.h>
#include <tcpcontrollerlink.h>

namespace {

const QString pluginId = QStringLiteral("lumoracalibration");

int listPlugins(const QStringList& libraries)
{
    QTextStream out(stdout);
    QTextStream err(stderr);
    if (libraries.isEmpty()) {
        err << "tavrin-host: --list-plugins needs at least one library\n";
        return 1;
    }
    for (const QString& path : libraries) {
        const PluginLoadResult result = loadPluginLibrary(path);
        if (!result.loaded) {
            err << "tavrin-host: cannot load plug-in library " << path << ": " << result.error
                << '\n';
            return 1;
        }
        for (const QString& id : result.newIds)
            out << id << '\n';
    }
    return 0;
}

// A scripted session needs no screen: without a display it runs offscreen.
void chooseHeadlessPlatform(int argc, char** argv)
{
    bool scripted = false;
    for (int i = 1; i < argc; ++i)
        scripted = scripted || QByteArray(argv[i]).startsWith("--script");
    if (scripted && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") &&
        qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

int main(int argc, char** argv)
{
    chooseHeadlessPlatform(argc, argv);
    // Without TZ, every local-time conversion (one per trace line) re-reads the zone file.
    if (qEnvironmentVariableIsEmpty("TZ"))
        qputenv("TZ", ":/etc/localtime");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tavrin-host"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Operator application hosting the calibration plug-in."));
    parser.addHelpOption();
    const QCommandLineOption listOption(QStringLiteral("list-plugins"),
                                        QStringLiteral("Load the libraries given as arguments and "
                                                       "print the plug-in ids they register."));
    const QCommandLineOption pluginOption(QStringLiteral("plugin"),
                                          QStringLiteral("Plug-in library to load."),
                                          QStringLiteral("path"), defaultPluginPath());
    const QCommandLineOption siteOption(
        QStringLiteral("site"),
        QStringLiteral("Site folder the host works in (default: the build's site folder, or the "
                       "per-user data folder of an installed host)."),
        QStringLiteral("folder"));
    const QCommandLineOption quitOption(QStringLiteral("quit-after"),
                                        QStringLiteral("Quit after this many seconds."),
                                        QStringLiteral("seconds"));
    const QCommandLineOption shotOption(QStringLiteral("screenshot"),
                                        QStringLiteral("Save a picture of the window on quitting."),
                                        QStringLiteral("file"));
    const QCommandLineOption controllerOption(
        QStringLiteral("controller"),
        QStringLiteral("The controller: \"sim\" (simulated in this process) or tcp://HOST:PORT."),
        QStringLiteral("link"), QStringLiteral("sim"));
    const QCommandLineOption scriptOption(
        QStringLiteral("script"),
        QStringLiteral("Run a whole operator session headless and print a summary (\"demo\")."),
        QStringLiteral("name"));
    const QCommandLineOption samplesOption(QStringLiteral("samples"),
                                           QStringLiteral("ISO cycles of the scripted session."),
                                           QStringLiteral("count"), QStringLiteral("30"));
    const QCommandLineOption reportsOption(
        QStringLiteral("reports"),
        QStringLiteral("Folder for the scripted session's ISO reports (default: site/reports)."),
        QStringLiteral("folder"));
    const sim::CellResetOptions cellOptions;
    parser.addOptions({listOption, pluginOption, siteOption, quitOption, shotOption,
                       controllerOption, scriptOption, samplesOption, reportsOption});
    parser.addOptions(cellOptions.options());
    parser.process(app);

    if (parser.isSet(listOption))
        return listPlugins(parser.positionalArguments());
    if (parser.isSet(scriptOption) && parser.value(scriptOption) != QLatin1String("demo")) {
        QTextStream(stderr) << "tavrin-host: unknown script " << parser.value(scriptOption)
                            << " (known: demo)\n";
        return 1;
    }

    QTextStream err(stderr);
    const QString controllerChoice = parser.value(controllerOption);
    const bool simulatedController = controllerChoice == QLatin1String("sim");
    QString controllerHost;
    quint16 controllerPort = 0;
    if (!simulatedController && !tavrin::TcpControllerLink::parseAddress(
                                    controllerChoice, &controllerHost, &controllerPort)) {
        err << "tavrin-host: --controller takes sim or tcp://HOST:PORT, not " << controllerChoice
            << '\n';
        return 1;
    }
    const QString siteTemplate = installedSiteTemplate();
    const QString siteChoice =
        parser.isSet(siteOption) ? parser.value(siteOption) : defaultSiteFolder(siteTemplate);
    const QString site = QDir(siteChoice).absolutePath();
    if (siteChoice.isEmpty() || !QDir().mkpath(site) || !QDir::setCurrent(site)) {
        err << "tavrin-host: cannot work in site folder " << site << '\n';
        return 1;
    }
    QString siteError;
    if (!siteTemplate.isEmpty() && !prepareSiteFolder(site, siteTemplate, &siteError)) {
        err << "tavrin-host: cannot lay out the calibration tools in " << site << ": " << siteError
            << '\n';
        return 1;
    }
    const QString screenshot =
        parser.isSet(shotOption) ? QDir().absoluteFilePath(parser.value(shotOption)) : QString();

    const PluginLoadResult loaded = loadPluginLibrary(parser.value(pluginOption));
    if (!loaded.loaded) {
        err << "tavrin-host: cannot load plug-in library " << parser.value(pluginOption) << ": "
            << loaded.error << '\n';
        return 1;
    }

    std::unique_ptr<sim::SimController> simulated;
    std::unique_ptr<tavrin::TcpControllerLink> remote;
    tavrin::ControllerLink* link;
    if (simulatedController) {
        // The demonstration starts from an uncalibrated robot every time.
        QString why;
        if ((parser.isSet(scriptOption) || cellOptions.anySet(parser)) &&
            !cellOptions.reset(parser, sim::defaultCellStatePath(), &why)) {
            err << "tavrin-host: " << why << '\n';
            return 1;
        }
        simulated = std::make_unique<sim::SimController>();
        link = simulated.get();
    } else {
        remote = std::make_unique<tavrin::TcpControllerLink>();
        // From the environment rather than the command line, where every local user can read it.
        remote->setToken(qEnvironmentVariable("ROBOT_CONTROLLER_TOKEN"));
        link = remote.get();
    }
    tavrin::tavrinInterface().setControllerLink(link);
    // The plug-in probes the controller while it starts, so the link is up before init().
    if (simulated) {
        simulated->connectToController(0);
        QCoreApplication::processEvents();
    } else {
        remote->connectToController(controllerHost, controllerPort);
        if (!remote->waitForConnected(remote->callTimeout()))
            err << "tavrin-host: no controller at " << controllerChoice << " yet, still trying\n";
        err.flush();
    }

    tavrin::PluginBase* plugin = tavrin::tavrinFactory().create(pluginId, &app);
    if (!plugin) {
        err << "tavrin-host: the library registered no plug-in " << pluginId << '\n';
        return 1;
    }
    // The window stands before the plug-in starts, as in the operator application, so the
    // one-time font and style set-up is not counted against the plug-in's start-up.
    HostWindow window(link);
    plugin->init();
    window.setPage(tavrin::centerWidget(pluginId));
    QObject::connect(&window, &HostWindow::connectRequested, link, [&] {
        if (simulated)
            simulated->connectToController(500);
        else
            remote->connectToController(controllerHost, controllerPort);
    });
    QObject::connect(&window, &HostWindow::disconnectRequested, link, [&] {
        if (simulated)
            simulated->disconnectFromController();
        else
            remote->disconnectFromController();
    });
    window.showAtStartSize();
    // The host reports the connection once the page stands; a network link that is not up yet
    // reports it itself when it comes up.
    QTimer::singleShot(300, link, [&remote] {
        if (!remote || remote->isConnected())
            emit tavrin::tavrinInterface().sigNetworkConnect();
    });

    std::unique_ptr<ScriptedSession> session;
    if (parser.isSet(scriptOption)) {
        ScriptedSession::Options options;
        options.sampleTimes = parser.value(samplesOption).toInt();
        options.reportFolder = parser.isSet(reportsOption)
                                   ? QDir().absoluteFilePath(parser.value(reportsOption))
                                   : QDir(site).filePath(QStringLiteral("reports"));
        session = std::make_unique<ScriptedSession>(tavrin::centerWidget(pluginId), options, link);
        QObject::connect(session.get(), &ScriptedSession::finished, &app,
                         [&window, screenshot](int code) {
                             if (!screenshot.isEmpty())
                                 window.grab().save(screenshot);
                             QCoreApplication::exit(code);
                         });
        QTimer::singleShot(0, session.get(), &ScriptedSession::start);
    }

    if (parser.isSet(quitOption)) {
        const int ms = int(parser.value(quitOption).toDouble() * 1000);
        QTimer::singleShot(ms, &app, [&window, screenshot] {
            if (!screenshot.isEmpty())
                window.grab().save(screenshot);
            QApplication::quit();
        });
    }
    return app.exec();
}
