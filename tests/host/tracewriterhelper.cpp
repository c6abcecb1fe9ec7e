// Writes numbered trace records from inside its event loop and then ends the process in the way
// its second argument names; one more record comes from an exit handler that runs after the
// trace writer's own. A test reads which records reached the file.
//   tracewriterhelper FILEBASE exit|return COUNT

#include <QCoreApplication>
#include <QTimer>
#include <qflog.h>

#include <cstdlib>

namespace {
QString base;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    base = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode = argv[2];
    const int count = std::atoi(argv[3]);
    tavrin::QFLog::setConsoleEnabled(false);
    // Registered before the writer exists, so it runs after the writer's exit flush.
    std::atexit([] { tavrin::QFLog(QString(), "[S|t]", QString(), base, "log") << "late" << 0; });
    QTimer::singleShot(0, &app, [&] {
        for (int i = 0; i < count; ++i)
            tavrin::QFLog(QString(), "[S|t]", QString(), base, "log") << "record" << i;
        if (mode == "exit")
            std::exit(0);
        app.quit();
    });
    return app.exec();
}
