#include "hostwindow.h"
#include "setupwidget.h"
#include "sitefolder.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QCheckBox>
#include <QLabel>

#include <cellpaths.h>
#include <cmath>
#include <interfacemanager.h>
#include <robottypes.h>

using namespace lumora::test;

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    // Seven axes: the widest table.
    void everyValueShowsWhole()
    {
        // The nominal links moved as by a calibration, down to where six significant digits
        // are widest: a nominal 0 becomes "-1.23457e-05", "0.000123457" or "-0.00123457".
        QVector<double> values;
        const std::vector<double>& nominal = sim::findRobotType("LX7-800")->nominalDh;
        for (int i = 0; i < int(nominal.size()); ++i)
            values.append(nominal.at(i) + (i % 2 ? 1 : -1) * 1.23457e-5 * std::pow(10, i % 3));
        WidgetFixture fx;
        QVERIFY(writeTextFile(fx.path("iso/default_iso_poses.json"), readTextFile(DEFAULT_POSES)));
        fx.link.setIdentity(QStringLiteral("192.168.10.101"), QStringLiteral("LX7-800"), 0);
        fx.link.setDhLinks(values);
        HostWindow window(&fx.link);
        window.setPage(fx.page.release());
        // As on a screen that holds the start size; the offscreen screen is smaller.
        window.resize(window.startSize());
        window.show();
        emit tavrin::tavrinInterface().sigNetworkConnect();
        QCoreApplication::processEvents();

        QStringList cut;
        const QList<QCheckBox*> boxes = setupWidget::instance()->findChildren<QCheckBox*>();
        for (QCheckBox* box : boxes) {
            const QLabel* label = box->parentWidget()->findChild<QLabel*>();
            const QFontMetrics metrics = label->fontMetrics();
            if (metrics.horizontalAdvance(label->text()) > label->contentsRect().width() ||
                metrics.height() > label->contentsRect().height())
                cut << QStringLiteral("%1 in %2 px").arg(label->text()).arg(label->width());
        }
        QCOMPARE(boxes.size(), values.size() - 4);
        QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
        QCOMPARE(fx.boxes(), QString());
    }

    void startsMaximisedOnSmallScreens()
    {
        const QSize start(1600, 900);
        QVERIFY(!HostWindow::startsMaximised(start, start) &&
                HostWindow::startsMaximised(start, start - QSize(1, 0)) &&
                HostWindow::startsMaximised(start, start - QSize(0, 1)));
        // The offscreen screen (800 by 600) is smaller than any start size.
        HostWindow window(nullptr);
        window.showAtStartSize();
        QVERIFY(window.isMaximized());
    }

    void siteFolderFollowsTemplate()
    {
        QTemporaryDir installed;
        QTemporaryDir site;
        const QString tool = QStringLiteral("kalvo_calib_cli/bin/KalvoCalibrationTool.exe");
        const QString poses = QStringLiteral("iso/default_iso_poses.json");
        QVERIFY(writeFakeTool(installed.filePath(tool), "echo 1"));
        QVERIFY(writeTextFile(installed.filePath(poses), "{}"));
        const QDir root(site.filePath(sim::calibrationRootSuffix()));
        const auto laidOut = [&] {
            QString error;
            return prepareSiteFolder(site.path(), installed.path(), &error)
                       ? readTextFile(root.filePath(tool)) + readTextFile(root.filePath(poses))
                       : error.toUtf8();
        };

        // First start: everything (the package test runs the programs laid out).
        QCOMPARE(laidOut(), QByteArray("#!/bin/sh\necho 1\n{}"));

        // An upgrade brings a new tool; the poses the integrator edited stay theirs.
        QVERIFY(writeFakeTool(installed.filePath(tool), "echo 22"));
        QVERIFY(writeTextFile(root.filePath(poses), "{\"edited\": true}"));
        QCOMPARE(laidOut(), QByteArray("#!/bin/sh\necho 22\n{\"edited\": true}"));
    }
};

LUMORA_TEST_MAIN(TestInstall)
#include "tst_install.moc"
