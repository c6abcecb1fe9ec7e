#include "centerwidget.h"
#include "common.h"
#include "hostwindow.h"
#include "messageboxanswerer.h"
#include "scriptedlink.h"
#include "setupwidget.h"
#include "sitefolder.h"
#include "testmain.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>

#include <cellpaths.h>
#include <interfacemanager.h>

namespace {

// Nominal links moved by tenths of a millimetre and hundredths of a degree, as after a
// calibration: every value carries six significant digits ("-0.0167457", "449.985").
QVector<double> calibratedTable(const QVector<double>& nominal)
{
    QVector<double> values;
    for (int i = 0; i < nominal.size(); ++i)
        values.append(nominal.at(i) + (i % 2 ? 1 : -1) * (0.0123457 + 0.0011 * (i % 7)));
    return values;
}

bool writeFile(const QString& path, const QByteArray& content)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).absolutePath()) && file.open(QIODevice::WriteOnly) &&
           file.write(content) == content.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(missing)");
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private slots:
    void everyValueShowsWhole_data();
    void everyValueShowsWhole();
    void startsMaximisedOnSmallScreens_data();
    void startsMaximisedOnSmallScreens();
    void siteFolderFollowsTemplate();
};

void TestInstall::everyValueShowsWhole_data()
{
    QTest::addColumn<QString>("robot");
    QTest::addColumn<QVector<double>>("nominal");
    QTest::addRow("six axes") << QStringLiteral("LX6-900")
                              << QVector<double>{-90, 150, 450, 0,   0,   610, 0,   -90, -90, 120,
                                                 0,   0,   90,  0,   660, 0,   -90, 0,   0,   0,
                                                 0,   0,   115, 180, 0,   0,   0,   0};
    QTest::addRow("seven axes") << QStringLiteral("LX7-800")
                                << QVector<double>{-90, 0,  340, 0, 90,  0,   0, 0,   -90, 0,  400,
                                                   0,   90, 0,   0, 0,   -90, 0, 400, 0,   90, 0,
                                                   0,   0,  0,   0, 126, 0,   0, 0,   0,   0};
}

void TestInstall::everyValueShowsWhole()
{
    QFETCH(QString, robot);
    QFETCH(QVector<double>, nominal);
    QTemporaryDir root;
    QVERIFY(writeFile(root.filePath(QStringLiteral("iso/default_iso_poses.json")),
                      readFile(QStringLiteral(DEFAULT_POSES))));
    lumora::test::MessageBoxAnswerer answerer;
    lumora::test::ScriptedLink link;
    link.setIdentity(QStringLiteral("192.168.10.101"), robot, 0);
    link.setDhLinks(calibratedTable(nominal));
    tavrin::tavrinInterface().setControllerLink(&link);

    HostWindow window(&link);
    window.setPage(new centerWidget);
    common::calibrationDir = root.path();
    // As on a screen that holds the start size; the offscreen screen is smaller.
    window.resize(window.startSize());
    window.show();
    emit tavrin::tavrinInterface().sigNetworkConnect();
    QCoreApplication::processEvents();

    QStringList cut;
    int labels = 0;
    for (QCheckBox* box : setupWidget::instance()->findChildren<QCheckBox*>()) {
        const QLabel* label = box->parentWidget()->findChild<QLabel*>();
        const QFontMetrics metrics = label->fontMetrics();
        ++labels;
        if (metrics.horizontalAdvance(label->text()) > label->contentsRect().width() ||
            metrics.height() > label->contentsRect().height())
            cut << QStringLiteral("%1 in %2 px").arg(label->text()).arg(label->width());
    }
    QCOMPARE(labels, nominal.size() - 4);
    QVERIFY2(cut.isEmpty(), qPrintable(cut.join(QStringLiteral(", "))));
    QCOMPARE(answerer.count(), 0);
    tavrin::tavrinInterface().setControllerLink(nullptr);
}

void TestInstall::startsMaximisedOnSmallScreens_data()
{
    QTest::addColumn<QSize>("available");
    QTest::addColumn<bool>("maximised");
    const QSize start(1600, 900);
    QTest::addRow("holds it exactly") << start << false;
    QTest::addRow("larger") << QSize(1920, 1040) << false;
    QTest::addRow("one pixel narrower") << start - QSize(1, 0) << true;
    QTest::addRow("one pixel lower") << start - QSize(0, 1) << true;
}

void TestInstall::startsMaximisedOnSmallScreens()
{
    QFETCH(QSize, available);
    QFETCH(bool, maximised);
    QCOMPARE(HostWindow::startsMaximised(QSize(1600, 900), available), maximised);

    // The offscreen screen (800 by 600) is smaller than any start size.
    HostWindow window(nullptr);
    window.showAtStartSize();
    QVERIFY(window.isMaximized());
}

void TestInstall::siteFolderFollowsTemplate()
{
    QTemporaryDir installed;
    QTemporaryDir site;
    const QString tool = QStringLiteral("kalvo_calib_cli/bin/KalvoCalibrationTool.exe");
    const QString poses = QStringLiteral("iso/default_iso_poses.json");
    QVERIFY(writeFile(installed.filePath(tool), "#!/bin/sh\necho 1\n"));
    QVERIFY(QFile::setPermissions(installed.filePath(tool),
                                  QFile::permissions(installed.filePath(tool)) | QFile::ExeOwner));
    QVERIFY(writeFile(installed.filePath(poses), "{}"));
    const QDir root(site.filePath(sim::calibrationRootSuffix()));
    QString error;

    // First start: everything, programs still executable.
    QVERIFY2(prepareSiteFolder(site.path(), installed.path(), &error), qPrintable(error));
    QCOMPARE(readFile(root.filePath(tool)), QByteArray("#!/bin/sh\necho 1\n"));
    QVERIFY(QFileInfo(root.filePath(tool)).isExecutable());
    QCOMPARE(readFile(root.filePath(poses)), QByteArray("{}"));

    // An upgrade brings a new tool; the poses the integrator edited stay theirs.
    QVERIFY(writeFile(installed.filePath(tool), "#!/bin/sh\necho 22\n"));
    QVERIFY(writeFile(root.filePath(poses), "{\"edited\": true}"));
    QVERIFY2(prepareSiteFolder(site.path(), installed.path(), &error), qPrintable(error));
    QCOMPARE(readFile(root.filePath(tool)), QByteArray("#!/bin/sh\necho 22\n"));
    QCOMPARE(readFile(root.filePath(poses)), QByteArray("{\"edited\": true}"));

    // A site whose calibration root cannot be made.
    QVERIFY(writeFile(site.filePath(QStringLiteral("blocked/D:")), "not a folder"));
    QVERIFY(!prepareSiteFolder(site.filePath(QStringLiteral("blocked")), installed.path(), &error));
    QVERIFY2(error.contains(QStringLiteral("blocked/D:")), qPrintable(error));
}

LUMORA_TEST_MAIN(TestInstall)
#include "tst_install.moc"
