#include "faketools.h"
#include "testmain.h"

#include <QDir>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// The whole operator session on the simulated cell with every error source on and the
// reference tools, as the host's scripted mode runs it.
class TestOperatorSession : public QObject
{
    Q_OBJECT

private slots:
    void sessionsMeetTheirTargets();
};

void TestOperatorSession::sessionsMeetTheirTargets()
{
    // The embedded controller and the controller simulator over TCP, both sessions at once: they
    // spend their time waiting on the cell, not computing.
    QTemporaryDir sites[2];
    QProcess simulator, hosts[2];
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.remove("LUMORA_CELL_STATE");
    const QStringList robot{"--seed", "20260612"};
    for (int overTcp : {0, 1}) {
        // A fresh site with the calibration root the build laid out (tools and pose data).
        const QTemporaryDir& site = sites[overTcp];
        QCOMPARE(QProcess::execute("cp", {"-a", SITE_TEMPLATE "/D:", site.path()}), 0);
        QStringList arguments = QStringList{"--script", "demo", "--site", site.path()} + robot;
        // Over TCP the stand-alone simulator serves the cell whose state the tools read too.
        if (overTcp) {
            simulator.setProcessEnvironment(environment);
            simulator.start(
                SIMULATOR_PROGRAM,
                QStringList{"--port", "0", "--state", site.filePath("cell/state.json")} + robot);
            QByteArray greeting;
            while (!greeting.contains("listening on") || !greeting.endsWith('\n')) {
                QVERIFY(simulator.waitForReadyRead(10000));
                greeting += simulator.readAllStandardOutput();
            }
            arguments +=
                {"--controller", "tcp://127.0.0.1:" + greeting.split(' ').last().trimmed()};
        }
        hosts[overTcp].setProcessEnvironment(environment);
        hosts[overTcp].start(HOST_PROGRAM, arguments);
    }
    for (int overTcp : {0, 1}) {
        QProcess& host = hosts[overTcp];
        const bool ended = host.waitForFinished(240000);
        host.kill();
        host.waitForFinished();
        const QString output = QString::fromUtf8(host.readAllStandardOutput());
        QVERIFY2(ended && host.exitCode() == 0,
                 qPrintable(output.right(2000) + host.readAllStandardError().right(2000)));

        // RESULT seed=... robot=... mean_ap_before=... mean_ap_after=... mean_ap_floor=...
        // second_dh_mm=... second_dh_deg=... second_zero_deg=... time_s=...
        const QString line = QRegularExpression("RESULT .*").match(output).captured(0);
        QMap<QString, double> f;
        for (const QString& pair : line.split(' ').mid(3))
            f[pair.section('=', 0, 0)] = pair.section('=', 1).toDouble();
        QVERIFY2(line.startsWith("RESULT seed=20260612 robot=LX6-900 ") && f.size() == 7,
                 qPrintable(output.right(2000)));
        const double after = f["mean_ap_after"];
        QVERIFY2(after > 0.0 && after <= 0.05 && after * 10.0 <= f["mean_ap_before"] &&
                     after <= 1.5 * f["mean_ap_floor"] && f["second_dh_mm"] < 0.02 &&
                     f["second_dh_deg"] < 0.002 && f["second_zero_deg"] < 0.002,
                 qPrintable(line));

        // The reports were saved where the operator chose, and the audit trail records the apply.
        const QTemporaryDir& site = sites[overTcp];
        for (const char* folder : {"reports/before", "reports/after"})
            QCOMPARE(QDir(site.filePath(folder)).entryList({"*.pdf"}, QDir::Files).size(), 1);
        const QStringList audit = QDir(site.filePath("logs")).entryList({"audit-dev-*.log"});
        QVERIFY(audit.size() == 1 &&
                QString::fromUtf8(lumora::test::readTextFile(site.filePath("logs/" + audit[0])))
                    .contains("[输出] planId=p000001"));
    }
    simulator.kill();
    simulator.waitForFinished();
}

LUMORA_TEST_MAIN(TestOperatorSession)
#include "tst_operatorsession.moc"
