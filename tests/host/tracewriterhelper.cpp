// Writes numbered trace records of about 1 KiB from inside its event loop, then ends the process in
// the way its second argument names: exit() from the loop, a busy loop that ends the process once
// the writer's timer has put the records in the file (exit code 3 if it never does), or, for a
// burst, exit code 0 when the burst waited in memory until 64 KiB had gathered (4 when not, 10 when
// the burst took too long to tell). One more record comes from an exit handler that runs after the
// trace writer's own.
//   tracewriterhelper FILEBASE exit|busy|burst COUNT

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
        QElapsedTimer clock;
        clock.start();
        int early = -1;
        for (int i = 0; i < count; ++i) {
            tavrin::QFLog(QString(), "[S|t]", QString(), base, "log")
                << "record" << i << QString(1000, 'x');
            if (i == 49)
                early = logged().size();
        }
        // The writer's timer takes records older than 100 ms.
        if (mode == "burst")
            std::exit(clock.elapsed() >= 90 ? 10 : early == 0 && logged().size() >= 65536 ? 0 : 4);
        for (QDeadlineTimer patience(mode == "busy" ? 20000 : 0); !patience.hasExpired();) {
            if (logged().count('\n') == count)
                std::exit(0);
        }
        std::exit(mode == "busy" ? 3 : 0);
    });
    return app.exec();
}
