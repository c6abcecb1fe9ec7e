#include "testmain.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace {

// Copies the calibration root the build laid out (tools and pose data) into a fresh site.
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

// The whole operator session on the simulated cell and the reference tools, as the host's
// scripted mode runs it.
class TestOperatorSession : public QObject
{
    Q_OBJECT

private slots:
    void calibrationImprovesAccuracy_data();
    void calibrationImprovesAccuracy();
};

void TestOperatorSession::calibrationImprovesAccuracy_data()
{
    QTest::addColumn<bool>("overTcp");
    QTest::addRow("embedded controller") << false;
    QTest::addRow("controller simulator over TCP") << true;
}

void TestOperatorSession::calibrationImprovesAccuracy()
{
    QFETCH(bool, overTcp);
    QTemporaryDir site;
    QVERIFY(site.isValid());
    const QString root = QStringLiteral("/D:");
    QVERIFY(copyTree(QStringLiteral(SITE_TEMPLATE) + root, site.path() + root));
    QVERIFY(QFileInfo::exists(site.filePath(
        QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration/iso/bin/runIsoTask.exe"))));

    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.remove(QStringLiteral("LUMORA_CELL_STATE"));
    QStringList arguments{QStringLiteral("--script"), QStringLiteral("demo"),
                          QStringLiteral("--site"),   site.path(),
                          QStringLiteral("--seed"),   QStringLiteral("20260612")};

    // Over TCP the stand-alone simulator serves the cell whose state the tools read too.
    QProcess simulator;
    if (overTcp) {
        simulator.setProcessEnvironment(environment);
        simulator.start(QStringLiteral(SIMULATOR_PROGRAM),
                        {QStringLiteral("--port"), QStringLiteral("0"), QStringLiteral("--state"),
                         site.filePath(QStringLiteral("cell/state.json")), QStringLiteral("--seed"),
                         QStringLiteral("20260612")});
        QVERIFY(simulator.waitForStarted());
        QByteArray greeting;
        while (!(greeting.contains("listening") && greeting.endsWith('\n')) &&
               simulator.waitForReadyRead(10000))
            greeting += simulator.readAllStandardOutput();
        const QRegularExpressionMatch port =
            QRegularExpression(QStringLiteral(R"(listening on (\d+))"))
                .match(QString::fromUtf8(greeting));
        QVERIFY2(port.hasMatch(), greeting.constData());
        arguments << QStringLiteral("--controller")
                  << QStringLiteral("tcp://127.0.0.1:%1").arg(port.captured(1));
    }

    QProcess host;
    host.setProcessEnvironment(environment);
    host.start(QStringLiteral(HOST_PROGRAM), arguments);
    const bool ended = host.waitForFinished(240000);
    if (!ended) {
        host.kill();
        host.waitForFinished();
    }
    if (simulator.state() != QProcess::NotRunning) {
        simulator.kill();
        simulator.waitForFinished();
    }
    QVERIFY(ended);
    const QString output = QString::fromUtf8(host.readAllStandardOutput());
    const QString errors = QString::fromUtf8(host.readAllStandardError());
    QVERIFY2(host.exitStatus() == QProcess::NormalExit && host.exitCode() == 0,
             qPrintable(output.right(2000) + errors.right(2000)));

    const QRegularExpression resultLine(QStringLiteral(
        R"(RESULT seed=20260612 robot=LX6-900 mean_ap_before=(\S+) mean_ap_after=(\S+) )"
        R"(mean_ap_floor=(\S+) second_dh_mm=(\S+) second_dh_deg=(\S+) second_zero_deg=(\S+))"));
    const QRegularExpressionMatch result = resultLine.match(output);
    QVERIFY2(result.hasMatch(), qPrintable(output.right(2000)));
    const double before = result.captured(1).toDouble();
    const double after = result.captured(2).toDouble();
    const double floor = result.captured(3).toDouble();
    const double secondMm = result.captured(4).toDouble();
    const double secondDeg = result.captured(5).toDouble();
    const double secondZeroDeg = result.captured(6).toDouble();
    qInfo("mean ISO pose accuracy: %.4f mm before, %.4f mm after, floor %.4f mm; second run "
          "corrections %.4f mm, %.5f deg, %.5f deg",
          before, after, floor, secondMm, secondDeg, secondZeroDeg);

    QVERIFY(after > 0.0);
    QVERIFY2(after <= 0.05, qPrintable(QString::number(after)));
    QVERIFY2(after * 10.0 <= before, qPrintable(QStringLiteral("%1 %2").arg(before).arg(after)));
    QVERIFY2(floor > 0.0 && after <= 1.5 * floor,
             qPrintable(QStringLiteral("%1 %2").arg(after).arg(floor)));
    QVERIFY(secondMm < 0.02);
    QVERIFY(secondDeg < 0.002);
    QVERIFY(secondZeroDeg < 0.002);

    // The reports were saved where the operator chose, and the audit trail records the apply.
    QVERIFY(!QDir(site.filePath(QStringLiteral("reports/before")))
                 .entryList({QStringLiteral("*.pdf")}, QDir::Files)
                 .isEmpty());
    QVERIFY(!QDir(site.filePath(QStringLiteral("reports/after")))
                 .entryList({QStringLiteral("*.pdf")}, QDir::Files)
                 .isEmpty());
    const QStringList audit =
        QDir(site.filePath(QStringLiteral("logs"))).entryList({QStringLiteral("audit-dev-*.log")});
    QCOMPARE(audit.size(), 1);
    QFile auditFile(site.filePath(QStringLiteral("logs/") + audit.first()));
    QVERIFY(auditFile.open(QIODevice::ReadOnly));
    QVERIFY(
        QString::fromUtf8(auditFile.readAll()).contains(QStringLiteral("[输出] planId=p000001")));
}

LUMORA_TEST_MAIN(TestOperatorSession)
#include "tst_operatorsession.moc"
