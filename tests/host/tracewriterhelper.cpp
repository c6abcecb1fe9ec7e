// Writes numbered trace records of about 1 KiB from inside its event loop, then ends the process in
// the way its second argument names: exit() from the loop, or a busy loop that ends the process
// once the writer's timer has put the records in the file (exit code 3 if it never does). One more
// record comes from an exit handler that runs after the trace writer's own.
//   tracewriterhelper FILEBASE exit|busy COUNT

#include <QtCore>
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
    const auto logged = [] {
        QFile file(base + QDate::currentDate().toString("_yyyy-MM-dd.log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    QTimer::singleShot(0, &app, [&] {
        for (int i = 0; i < count; ++i)
            tavrin::QFLog(QString(), "[S|t]", QString(), base, "log")
                << "record" << i << QString(1000, 'x');
        // The writer's timer takes records older than 100 ms.
        for (QDeadlineTimer patience(mode == "busy" ? 20000 : 0); !patience.hasExpired();) {
            if (logged().count('\n') == count)
                std::exit(0);
        }
        std::exit(mode == "busy" ? 3 : 0);
    });
    return app.exec();
}
