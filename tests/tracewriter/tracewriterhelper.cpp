// Writes numbered trace records from inside its event loop and then ends the process in the way
// its second argument names, so that a test can see which records reach the file.
//   tracewriterhelper FILEBASE exit|return COUNT

#include <QCoreApplication>
#include <QTimer>
#include <qflog.h>

#include <cstdlib>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 4)
        return 2;
    const QString base = QString::fromLocal8Bit(argv[1]);
    const QByteArray mode = argv[2];
    const int count = std::atoi(argv[3]);
    tavrin::QFLog::setConsoleEnabled(false);
    QTimer::singleShot(0, &app, [&] {
        for (int i = 0; i < count; ++i)
            tavrin::QFLog(QString(), QStringLiteral("[S|t]"), QString(), base,
                          QStringLiteral("log"))
                << "record" << i;
        if (mode == "exit")
            std::exit(0);
        app.quit();
    });
    return app.exec();
}
