// The whole scripted operator session (two calibrations, two ISO runs of 30 cycles, reports) on
// fresh cells with every error source on, over seeds 1 to 5 and both robot types: mean ISO pose
// accuracy before and after calibration beside the cell's floor, the second calibration's
// corrections and the session's time. Runs tavrin-host from beside this program in a temporary
// copy of the build's site. Prints figures only.

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <cstdio>

namespace {

bool copyTree(const QString& from, const QString& to)
{
    QDirIterator it(from, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString source = it.next();
        const QString target = to + source.mid(from.size());
        QDir().mkpath(QFileInfo(target).absolutePath());
        if (!QFile::copy(source, target))
            return false;
        QFile::setPermissions(target, QFile::permissions(source));
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString bin = QCoreApplication::applicationDirPath();
    const QString host = bin + QStringLiteral("/tavrin-host");
    const QString siteTemplate = QDir(bin).filePath(QStringLiteral("../site/D:"));
    QTemporaryDir site;
    if (!site.isValid() || !copyTree(siteTemplate, site.filePath(QStringLiteral("D:")))) {
        std::fprintf(stderr, "bench_session: cannot copy the site of %s\n", qPrintable(bin));
        return 1;
    }
    const QRegularExpression line(QStringLiteral(
        R"(RESULT seed=(\S+) robot=(\S+) mean_ap_before=(\S+) mean_ap_after=(\S+) )"
        R"(mean_ap_floor=(\S+) second_dh_mm=(\S+) second_dh_deg=(\S+) second_zero_deg=(\S+) )"
        R"(time_s=(\S+))"));
    std::printf("| Robot | Seed | Mean AP before (mm) | after (mm) | floor (mm) | after / floor | "
                "before / after | 2nd calibration (mm, deg) | Session (s) |\n");
    std::printf("|---|---|---|---|---|---|---|---|---|\n");
    int failures = 0;
    for (const char* robot : {"LX6-900", "LX7-800"}) {
        for (int seed = 1; seed <= 5; ++seed) {
            QProcess session;
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
            environment.remove(QStringLiteral("LUMORA_CELL_STATE"));
            session.setProcessEnvironment(environment);
            session.start(host,
                          {QStringLiteral("--script"), QStringLiteral("demo"),
                           QStringLiteral("--site"), site.path(), QStringLiteral("--seed"),
                           QString::number(seed), QStringLiteral("--robot"), QLatin1String(robot)});
            session.waitForFinished(300000);
            const QRegularExpressionMatch m =
                line.match(QString::fromUtf8(session.readAllStandardOutput()));
            if (session.exitCode() != 0 || !m.hasMatch()) {
                std::printf("| %s | %d | session failed | | | | | | |\n", robot, seed);
                ++failures;
                continue;
            }
            const double before = m.captured(3).toDouble();
            const double after = m.captured(4).toDouble();
            const double floor = m.captured(5).toDouble();
            std::printf("| %s | %d | %.3f | %.4f | %.4f | %.2f | %.0f | %.4f, %.5f | %s |\n", robot,
                        seed, before, after, floor, after / floor, before / after,
                        m.captured(6).toDouble(),
                        std::max(m.captured(7).toDouble(), m.captured(8).toDouble()),
                        qPrintable(m.captured(9)));
            std::fflush(stdout);
        }
    }
    return failures == 0 ? 0 : 1;
}
