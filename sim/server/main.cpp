#include "controllerserver.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QEventLoop>
#include <QTextStream>
#include <QTimer>

#include <cellpaths.h>
#include <cellresetoptions.h>
#include <memory>
#include <simcontroller.h>

namespace {

bool parseCount(const QString& text, int maximum, int* out)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0 || value > maximum)
        return false;
    *out = value;
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("robot-controller-sim"));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated robot controller served over TCP on the loopback address. "
                       "Fault names are a service data key, a command, \"identity\" or \"*\"."));
    parser.addHelpOption();
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Port to listen on (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("7788"));
    const QCommandLineOption stateOption(
        QStringLiteral("state"), QStringLiteral("The cell's state file."), QStringLiteral("file"));
    const QCommandLineOption rebootOption(
        QStringLiteral("reboot-delay"),
        QStringLiteral("How long the controller stays away during a reboot."), QStringLiteral("ms"),
        QStringLiteral("2000"));
    const QCommandLineOption delayOption(QStringLiteral("delay"),
                                         QStringLiteral("Hold every reply back this long."),
                                         QStringLiteral("ms"), QStringLiteral("0"));
    const QCommandLineOption dropBeforeOption(
        QStringLiteral("drop-before"),
        QStringLiteral("Cut the connection when this request arrives."), QStringLiteral("name"));
    const QCommandLineOption dropAfterOption(
        QStringLiteral("drop-after"),
        QStringLiteral("Close the connection after answering this request."),
        QStringLiteral("name"));
    const QCommandLineOption garbageOption(
        QStringLiteral("garbage"), QStringLiteral("Answer this request with a line of no JSON."),
        QStringLiteral("name"));
    const QCommandLineOption failOption(QStringLiteral("fail"),
                                        QStringLiteral("Answer this request {\"success\": false}."),
                                        QStringLiteral("name"));
    const QCommandLineOption tokenOption(
        QStringLiteral("token"),
        QStringLiteral("Serve only a client whose identity request carries this token (default: "
                       "the environment variable ROBOT_CONTROLLER_TOKEN)."),
        QStringLiteral("secret"));
    const sim::CellResetOptions cellOptions;
    parser.addOptions({portOption, stateOption, rebootOption, delayOption, dropBeforeOption,
                       dropAfterOption, garbageOption, failOption, tokenOption});
    parser.addOptions(cellOptions.options());
    parser.process(app);

    QTextStream out(stdout);
    QTextStream err(stderr);
    int port = 0;
    int rebootDelay = 0;
    sim::ServerFaults faults;
    if (!parseCount(parser.value(portOption), 65535, &port)) {
        err << "robot-controller-sim: --port needs a number from 0 to 65535\n";
        return 1;
    }
    if (!parseCount(parser.value(rebootOption), 3600000, &rebootDelay) ||
        !parseCount(parser.value(delayOption), 3600000, &faults.delayMs)) {
        err << "robot-controller-sim: --reboot-delay and --delay need milliseconds\n";
        return 1;
    }
    faults.dropBefore = parser.value(dropBeforeOption);
    faults.dropAfter = parser.value(dropAfterOption);
    faults.garbage = parser.value(garbageOption);
    faults.fail = parser.value(failOption);

    const QString statePath =
        parser.isSet(stateOption) ? parser.value(stateOption) : sim::defaultCellStatePath();
    QString why;
    if (cellOptions.anySet(parser) && !cellOptions.reset(parser, statePath, &why)) {
        err << "robot-controller-sim: " << why << '\n';
        return 1;
    }
    const auto controller = parser.isSet(stateOption)
                                ? std::make_unique<sim::SimController>(parser.value(stateOption))
                                : std::make_unique<sim::SimController>();
    controller->setRebootDelay(rebootDelay);
    {
        // Power the controller up before the first client can ask it anything.
        QEventLoop loop;
        QObject::connect(controller.get(), &tavrin::ControllerLink::connected, &loop,
                         &QEventLoop::quit);
        QTimer::singleShot(10000, &loop, &QEventLoop::quit);
        controller->connectToController(0);
        loop.exec();
    }
    if (!controller->isConnected()) {
        err << "robot-controller-sim: the simulated controller did not come up\n";
        return 1;
    }

    sim::ControllerServer server(controller.get());
    server.setFaults(faults);
    const QString token = parser.isSet(tokenOption)
                              ? parser.value(tokenOption)
                              : qEnvironmentVariable("ROBOT_CONTROLLER_TOKEN");
    server.setToken(token);
    if (token.isEmpty())
        err << "robot-controller-sim: no token set: any local process can drive this controller\n";
    if (!server.listen(QHostAddress::LocalHost, quint16(port))) {
        err << "robot-controller-sim: cannot listen on port " << port << ": "
            << server.errorString() << '\n';
        return 1;
    }
    out << "listening on " << server.serverPort() << '\n';
    out.flush();
    return app.exec();
}
