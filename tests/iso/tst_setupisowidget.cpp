#include "centerwidget.h"
#include "common.h"
#include "displayisowidget.h"
#include "faketools.h"
#include "isopanelhelpers.h"
#include "messageboxanswerer.h"
#include "scriptedlink.h"
#include "setupisowidget.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QCheckBox>
#include <QDir>
#include <QDoubleValidator>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <interfacemanager.h>
#include <memory>

#ifdef Q_OS_UNIX
#include <csignal>
#include <sys/resource.h>
#endif

using namespace lumora::test;

using PoseTable = QVector<QVector<double>>;
Q_DECLARE_METATYPE(PoseTable)

class TestSetupIsoWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void modeClicks_data();
    void modeClicks();
    void defaultModeSaveBeforeConnection();
    void loadDefaults_data();
    void loadDefaults();
    void secondRobotReplacesEveryLabel();
    void loadFailureKeepsState_data();
    void loadFailureKeepsState();
    void connectionAnnouncedByHost();
    void sampleCount_data();
    void sampleCount();
    void customSave_data();
    void customSave();
    void saveRefused_data();
    void saveRefused();
    void saveMergesIntoJobFile_data();
    void saveMergesIntoJobFile();
    void failedWriteKeepsJobFile();
    void folderChoice_data();
    void folderChoice();
    void clearButtonRestoresStart();
    void jsonSuiteFilesAsJobFile();

private:
    QGridLayout* grid(const char* name) const { return page->findChild<QGridLayout*>(name); }
    QCheckBox* defaultBox() const;
    QCheckBox* customBox() const;
    QLineEdit* customEdit(int row, int column) const;
    QLineEdit* sampleEdit() const { return page->findChild<QLineEdit*>("collectLineEdit"); }
    QPushButton* button(const char* name) const { return page->findChild<QPushButton*>(name); }
    QString jobPath() const { return root->path() + QStringLiteral("/calibInfo.json"); }
    QString posesPath() const
    {
        return root->path() + QStringLiteral("/iso/default_iso_poses.json");
    }
    void loadPoses(const QString& robot, const QByteArray& file);
    void fillCustomEdits();
    QJsonObject savedConfig() const
    {
        return readJsonObject(jobPath()).value(QStringLiteral("iso_config")).toObject();
    }

    std::unique_ptr<centerWidget> page;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    setupisowidget* panel = nullptr;
};

void TestSetupIsoWidget::init()
{
    common::robotName.clear();
    common::isoPoses.clear();
    common::defaultIsoPoses.clear();
    common::sampleTimes = 0;
    common::isoReportPath.clear();
    page = std::make_unique<centerWidget>();
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    common::calibrationDir = root->path();
    panel = setupisowidget::instance();
    answerer = std::make_unique<MessageBoxAnswerer>();
}

void TestSetupIsoWidget::cleanup()
{
    answerer.reset();
    page.reset();
    tavrin::tavrinInterface().setControllerLink(nullptr);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    root.reset();
}

QCheckBox* TestSetupIsoWidget::defaultBox() const
{
    return qobject_cast<QCheckBox*>(gridCellWidget(grid("defaultLayout"), 0, 1));
}

QCheckBox* TestSetupIsoWidget::customBox() const
{
    return qobject_cast<QCheckBox*>(gridCellWidget(grid("customizeLayout"), 0, 1));
}

QLineEdit* TestSetupIsoWidget::customEdit(int row, int column) const
{
    return qobject_cast<QLineEdit*>(gridCellWidget(grid("customizeLayout"), row, column));
}

void TestSetupIsoWidget::loadPoses(const QString& robot, const QByteArray& file)
{
    QVERIFY(writeTextFile(posesPath(), file));
    common::robotName = robot;
    panel->handleNetworkConnected();
}

void TestSetupIsoWidget::fillCustomEdits()
{
    for (int row = 1; row <= 5; ++row) {
        for (int column = 1; column <= 6; ++column)
            customEdit(row, column)->setText(QStringLiteral("%1.%2").arg(row).arg(column));
    }
}

void TestSetupIsoWidget::modeClicks_data()
{
    QTest::addColumn<QString>("clicks");
    QTest::addColumn<bool>("defaultOn");
    QTest::addColumn<bool>("defaultsCopied");

    // D: default box, C: custom box.
    QTest::addRow("default while checked") << "D" << false << true;
    QTest::addRow("custom") << "C" << false << false;
    QTest::addRow("custom twice") << "CC" << true << false;
    QTest::addRow("default twice") << "DD" << true << true;
    QTest::addRow("custom then default") << "CD" << true << true;
}

void TestSetupIsoWidget::modeClicks()
{
    QFETCH(QString, clicks);
    QFETCH(bool, defaultOn);
    QFETCH(bool, defaultsCopied);

    const PoseTable defaults(5, QVector<double>{1, 2, 3, 4, 5, 6});
    const PoseTable marker{{9}};
    common::defaultIsoPoses = defaults;
    common::isoPoses = marker;
    displayisowidget::instance()->startBtnEnable();
    QSignalSpy changed(panel, &setupisowidget::isChanged);

    for (QChar click : clicks)
        (click == QLatin1Char('D') ? defaultBox() : customBox())->click();

    QCOMPARE(defaultBox()->isChecked(), defaultOn);
    QCOMPARE(customBox()->isChecked(), !defaultOn);
    for (int row = 1; row <= 5; ++row) {
        for (int column = 1; column <= 6; ++column)
            QCOMPARE(customEdit(row, column)->isEnabled(), !defaultOn);
    }
    QCOMPARE(common::isoPoses, defaultsCopied ? defaults : marker);
    QCOMPARE(changed.count(), clicks.size());
    QVERIFY(!button("startISO")->isEnabled());
}

void TestSetupIsoWidget::defaultModeSaveBeforeConnection()
{
    QVERIFY(writeTextFile(jobPath(), R"({"serial_number": "SN-1"})"));
    common::isoReportPath = QStringLiteral("/reports/iso");
    QSignalSpy saved(panel, &setupisowidget::saveAll);
    TraceCapture trace;

    button("saveBtn")->click();

    QCOMPARE(saved.count(), 1);
    QCOMPARE(answerer->count(), 0);
    const QJsonObject config = savedConfig();
    QCOMPARE(config.value("iso_poses").toObject(), QJsonObject());
    QCOMPARE(config.value("sample_times").toInt(-1), 0);
    QCOMPARE(config.value("save_path").toString(), QStringLiteral("/reports/iso"));
    QVERIFY(button("startISO")->isEnabled());
    QVERIFY(trace.contains(QStringLiteral("saveFivePoints [out]")));
}

void TestSetupIsoWidget::loadDefaults_data()
{
    QTest::addColumn<QJsonObject>("poses");
    QTest::addColumn<PoseTable>("expected");
    QTest::addColumn<QStringList>("firstRowTexts");

    PoseTable five;
    for (int k = 1; k <= 5; ++k)
        five.append(
            {10.0 * k, 10.0 * k + 1, 10.0 * k + 2, 10.0 * k + 3, 10.0 * k + 4, 10.0 * k + 5});
    QTest::addRow("five poses") << fivePoses() << five
                                << QStringList{"10", "11", "12", "13", "14", "15"};

    QJsonObject noPoint3 = fivePoses();
    noPoint3.remove("point3");
    PoseTable zeros = five;
    zeros[2] = QVector<double>(6, 0.0);
    QTest::addRow("point3 missing")
        << noPoint3 << zeros << QStringList{"10", "11", "12", "13", "14", "15"};

    QJsonObject precise = fivePoses();
    precise.insert("point1", QJsonArray{123.456789, -0.000012345678, 1e-7, 1234567.0, 0.5, -2});
    PoseTable unrounded = five;
    unrounded[0] = {123.456789, -0.000012345678, 1e-7, 1234567.0, 0.5, -2};
    QTest::addRow("shown in six digits")
        << precise << unrounded
        << QStringList{"123.457", "-1.23457e-05", "1e-07", "1.23457e+06", "0.5", "-2"};

    QJsonObject extra = fivePoses();
    extra.insert("point0", sixValues(-1));
    extra.insert("point10", sixValues(-1));
    extra.insert("zenith", sixValues(-1));
    QTest::addRow("other names ignored")
        << extra << five << QStringList{"10", "11", "12", "13", "14", "15"};
}

void TestSetupIsoWidget::loadDefaults()
{
    QFETCH(QJsonObject, poses);
    QFETCH(PoseTable, expected);
    QFETCH(QStringList, firstRowTexts);
    common::isoPoses = {{7}};
    TraceCapture trace;

    loadPoses(QStringLiteral("R-7"), posesFile({posesGroup({"R-7"}, poses)}));

    QCOMPARE(answerer->count(), 0);
    QCOMPARE(common::defaultIsoPoses, expected);
    QCOMPARE(common::isoPoses, expected);
    QGridLayout* defaults = grid("defaultLayout");
    for (int row = 1; row <= 5; ++row) {
        for (int column = 1; column <= 6; ++column) {
            const QString text = row == 1 ? firstRowTexts.at(column - 1)
                                          : QString::number(expected[row - 1][column - 1]);
            QCOMPARE(gridCellText(defaults, row, column), text);
            QWidget* cell = gridCellWidget(defaults, row, column);
            QVERIFY(cell->isEnabled());
            QVERIFY(cell->styleSheet().isEmpty());
        }
    }
    QVERIFY(trace.contains(QStringLiteral("handleNetworkConnected [out]")));

    // The file gets the values as read, not as shown.
    QVERIFY(writeTextFile(jobPath(), "{}"));
    common::isoReportPath = QStringLiteral("/r");
    button("saveBtn")->click();
    const QJsonObject saved = savedConfig().value("iso_poses").toObject();
    QCOMPARE(saved.size(), 5);
    for (int row = 0; row < 5; ++row) {
        const QJsonArray values = saved.value(QStringLiteral("point%1").arg(row + 1)).toArray();
        QCOMPARE(values.size(), 6);
        for (int column = 0; column < 6; ++column)
            QCOMPARE(values.at(column).toDouble(), expected[row][column]);
    }
}

void TestSetupIsoWidget::secondRobotReplacesEveryLabel()
{
    QJsonObject second;
    for (int k = 1; k <= 5; ++k)
        second.insert(QStringLiteral("point%1").arg(k), sixValues(100 * k + 0.25));
    const QByteArray file =
        posesFile({posesGroup({"first"}, fivePoses()), posesGroup({"second"}, second)});
    loadPoses(QStringLiteral("first"), file);
    loadPoses(QStringLiteral("second"), file);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);

    QGridLayout* defaults = grid("defaultLayout");
    QCOMPARE(defaults->count(), 2 + 5 + 30);
    for (int row = 1; row <= 5; ++row) {
        for (int column = 1; column <= 6; ++column)
            QCOMPARE(gridCellText(defaults, row, column),
                     QString::number(100 * row + 0.25 + column - 1));
    }
    QCOMPARE(common::defaultIsoPoses.size(), 5);
    // No label of the first robot survives anywhere in the panel.
    for (QLabel* label : panel->findChildren<QLabel*>())
        QVERIFY2(label->text() != QStringLiteral("11"), "a label of the first robot is left");
}

void TestSetupIsoWidget::loadFailureKeepsState_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("robot");
    QTest::addColumn<QString>("errorStart");

    const QByteArray good = posesFile({posesGroup({"R1"}, fivePoses())});
    QTest::addRow("robot not listed") << good << "r1"
                                      << "Runtime error:  Robot not found in config: r1";
    QTest::addRow("not JSON") << QByteArray("{\"configs\": [") << "R1"
                              << "Runtime error:  JSON parse error: ";
    QTest::addRow("robot name not a string")
        << QByteArray(R"({"configs": [{"robots": [5], "iso_poses": {}}]})") << "R1"
        << "Runtime error:  ";
}

void TestSetupIsoWidget::loadFailureKeepsState()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, robot);
    QFETCH(QString, errorStart);

    loadPoses(QStringLiteral("R1"), posesFile({posesGroup({"R1"}, fivePoses())}));
    const PoseTable before = common::defaultIsoPoses;
    common::isoPoses = {{3}};
    TraceCapture trace;

    loadPoses(robot, file);

    QCOMPARE(answerer->count(), 1);
    QCOMPARE(answerer->last().title, QStringLiteral("Warning"));
    QCOMPARE(answerer->last().text, QStringLiteral("get default iso parameters error"));
    QCOMPARE(common::defaultIsoPoses, before);
    QCOMPARE(common::isoPoses, PoseTable{{3}});
    QCOMPARE(gridCellText(grid("defaultLayout"), 5, 6), QStringLiteral("55"));
    const QStringList lines = trace.lines();
    QCOMPARE(lines.size(), 4);
    QCOMPARE(lines.at(0), QStringLiteral("handleNetworkConnected [in]"));
    QVERIFY2(lines.at(1).startsWith(errorStart), qPrintable(lines.at(1)));
    QCOMPARE(lines.at(2), QStringLiteral("getDefaultIsoPoses path :  ") + posesPath());
    QCOMPARE(lines.at(3), QStringLiteral("getDefaultIsoPoses robotname :  ") + robot);
}

void TestSetupIsoWidget::connectionAnnouncedByHost()
{
    QVERIFY(writeTextFile(posesPath(), posesFile({posesGroup({"LR-6"}, fivePoses())})));
    ScriptedLink link;
    link.setIdentity(QStringLiteral("10.0.0.9"), QStringLiteral("LR-6"), 6);
    link.setDhLinks(QVector<double>(28, 1.0));
    tavrin::tavrinInterface().setControllerLink(&link);

    emit tavrin::tavrinInterface().sigNetworkConnect();

    QCOMPARE(common::robotName, QStringLiteral("LR-6"));
    QCOMPARE(common::defaultIsoPoses.size(), 5);
    QCOMPARE(common::isoPoses, common::defaultIsoPoses);
    QCOMPARE(gridCellText(grid("defaultLayout"), 3, 2), QStringLiteral("31"));
}

void TestSetupIsoWidget::sampleCount_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<bool>("typed");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("red");
    QTest::addColumn<int>("value");

    QTest::addRow("emptied") << "" << true << "" << true << 0;
    QTest::addRow("zero") << "0" << true << "0" << false << 0;
    QTest::addRow("thirty") << "30" << true << "30" << false << 30;
    QTest::addRow("minus refused") << "-7" << true << "7" << false << 7;
    QTest::addRow("two digits beyond thirty") << "45" << true << "45" << true << 45;
    QTest::addRow("third digit refused") << "456" << true << "45" << true << 45;
    QTest::addRow("letters refused") << "x1" << true << "1" << false << 1;
    QTest::addRow("set beyond range") << "99" << false << "99" << true << 99;
}

void TestSetupIsoWidget::sampleCount()
{
    QFETCH(QString, input);
    QFETCH(bool, typed);
    QFETCH(QString, text);
    QFETCH(bool, red);
    QFETCH(int, value);

    QLineEdit* edit = sampleEdit();
    edit->clear();
    if (typed)
        QTest::keyClicks(edit, input);
    else
        edit->setText(input);

    QCOMPARE(edit->text(), text);
    QCOMPARE(common::sampleTimes, value);
    QCOMPARE(edit->styleSheet(),
             red ? QStringLiteral("QLineEdit { border: 2px solid red; }") : QString());
    QCOMPARE(edit->toolTip(), red ? QStringLiteral("请输入 0 到 30 之间的整数") : QString());

    // A red field is no reason to refuse the save.
    QVERIFY(writeTextFile(jobPath(), "{}"));
    common::isoReportPath = QStringLiteral("/r");
    QSignalSpy saved(panel, &setupisowidget::saveAll);
    button("saveBtn")->click();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(savedConfig().value("sample_times").toInt(-1), value);
}

void TestSetupIsoWidget::customSave_data()
{
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("column");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("saved");

    QTest::addRow("lone minus is 0") << 2 << 3 << "-" << true;
    QTest::addRow("lone point is 0") << 4 << 6 << "." << true;
    QTest::addRow("empty in P3") << 3 << 2 << "" << false;
    QTest::addRow("empty first field") << 1 << 1 << "" << false;
    QTest::addRow("empty last field") << 5 << 6 << "" << false;
}

void TestSetupIsoWidget::customSave()
{
    QFETCH(int, row);
    QFETCH(int, column);
    QFETCH(QString, text);
    QFETCH(bool, saved);

    const QByteArray job = R"({"ip": "10.0.0.1"})";
    QVERIFY(writeTextFile(jobPath(), job));
    common::isoReportPath = QStringLiteral("/r");
    customBox()->click();
    fillCustomEdits();
    customEdit(row, column)->setText(text);
    QSignalSpy saveAll(panel, &setupisowidget::saveAll);

    button("saveBtn")->click();

    PoseTable expected;
    for (int r = 1; r <= 5; ++r) {
        QVector<double> pose;
        for (int c = 1; c <= 6; ++c)
            pose.append(r == row && c == column ? 0.0 : r + c / 10.0);
        expected.append(pose);
    }
    if (saved) {
        QCOMPARE(saveAll.count(), 1);
        QCOMPARE(common::isoPoses, expected);
        const QJsonObject poses = savedConfig().value("iso_poses").toObject();
        QCOMPARE(poses.value(QStringLiteral("point%1").arg(row)).toArray().at(column - 1),
                 QJsonValue(0.0));
        QCOMPARE(poses.value("point5").toArray().at(5), QJsonValue(5.6));
        return;
    }
    QCOMPARE(saveAll.count(), 0);
    QCOMPARE(answerer->last().text, QStringLiteral("Please input parameters"));
    QCOMPARE(common::isoPoses, expected.mid(0, row - 1));
    QCOMPARE(readTextFile(jobPath()), job);
}

void TestSetupIsoWidget::saveRefused_data()
{
    QTest::addColumn<QString>("jobFile"); // "absent", "folder" or the content
    QTest::addColumn<bool>("folderChosen");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("text");

    QTest::addRow("no report folder") << "{}" << false << "Warning"
                                      << "Please input parameters";
    QTest::addRow("job file absent") << "absent" << true << "提示"
                                     << "打开文件失败";
    QTest::addRow("job path is a folder") << "folder" << true << "提示"
                                          << "打开文件失败";
    QTest::addRow("not JSON") << R"({"ip": )" << true << "提示"
                              << "文件转为json失败";
    QTest::addRow("text after the document") << R"({"ip": 1} x)" << true << "提示"
                                             << "文件转为json失败";
}

void TestSetupIsoWidget::saveRefused()
{
    QFETCH(QString, jobFile);
    QFETCH(bool, folderChosen);
    QFETCH(QString, title);
    QFETCH(QString, text);

    if (jobFile == QLatin1String("folder"))
        QVERIFY(QDir().mkpath(jobPath()));
    else if (jobFile != QLatin1String("absent"))
        QVERIFY(writeTextFile(jobPath(), jobFile.toUtf8()));
    if (folderChosen)
        common::isoReportPath = QStringLiteral("/r");
    QSignalSpy saved(panel, &setupisowidget::saveAll);
    TraceCapture trace;

    button("saveBtn")->click();

    QCOMPARE(answerer->count(), 1);
    QCOMPARE(answerer->last().title, title);
    QCOMPARE(answerer->last().text, text);
    QCOMPARE(answerer->last().buttons, QStringList{QStringLiteral("OK")});
    QCOMPARE(saved.count(), 0);
    QVERIFY(!trace.contains(QStringLiteral("saveFivePoints [out]")));
    if (jobFile == QLatin1String("absent"))
        QVERIFY(!QFileInfo::exists(jobPath()));
    else if (jobFile != QLatin1String("folder"))
        QCOMPARE(readTextFile(jobPath()), jobFile.toUtf8());
}

void TestSetupIsoWidget::saveMergesIntoJobFile_data()
{
    QTest::addColumn<QByteArray>("job");
    QTest::addColumn<QStringList>("keys");

    QTest::addRow("members kept in ascending order")
        << QByteArray(R"({"zeta": 1, "serial_number": "SN", "alpha": {"x": [1, 2]},
                         "iso_config": {"old": true}})")
        << QStringList{"alpha", "iso_config", "serial_number", "zeta"};
    QTest::addRow("empty file") << QByteArray() << QStringList{"iso_config"};
    QTest::addRow("top level array") << QByteArray("[1, 2]") << QStringList{"iso_config"};
}

void TestSetupIsoWidget::saveMergesIntoJobFile()
{
    QFETCH(QByteArray, job);
    QFETCH(QStringList, keys);

    QVERIFY(writeTextFile(jobPath(), job));
    common::isoReportPath = QStringLiteral("/reports");
    common::sampleTimes = 12;
    QSignalSpy saved(panel, &setupisowidget::saveAll);
    button("saveBtn")->click();
    button("saveBtn")->click();
    QCOMPARE(saved.count(), 2);

    const QByteArray written = readTextFile(jobPath());
    QCOMPARE(written.count("\"iso_config\""), 1);
    int previous = -1;
    for (const QString& key : keys) {
        const int at = written.indexOf("\n    \"" + key.toUtf8() + "\": ");
        QVERIFY2(at > previous, qPrintable(key));
        previous = at;
    }
    const QJsonObject top = QJsonDocument::fromJson(written).object();
    QCOMPARE(top.keys(), keys);
    if (top.contains("alpha")) {
        QCOMPARE(top.value("alpha").toObject().value("x").toArray(), (QJsonArray{1, 2}));
        QCOMPARE(top.value("serial_number").toString(), QStringLiteral("SN"));
    }
    QCOMPARE(top.value("iso_config").toObject().keys(),
             (QStringList{"iso_poses", "sample_times", "save_path"}));
    QCOMPARE(savedConfig().value("sample_times").toInt(), 12);
}

void TestSetupIsoWidget::failedWriteKeepsJobFile()
{
#ifdef Q_OS_UNIX
    // Root writes anywhere; a file size limit still makes the write itself fail.
    const QByteArray job = R"({"serial_number": "SN"})";
    QVERIFY(writeTextFile(jobPath(), job));
    common::isoReportPath = QStringLiteral("/reports");
    QSignalSpy saved(panel, &setupisowidget::saveAll);
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral(
                             R"(^Cannot open file for writing: ".*/calibInfo\.json"$)")));

    rlimit previous{};
    QCOMPARE(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit tight = previous;
    tight.rlim_cur = 8;
    QCOMPARE(setrlimit(RLIMIT_FSIZE, &tight), 0);
    button("saveBtn")->click();
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);

    QCOMPARE(saved.count(), 0);
    QCOMPARE(answerer->count(), 1);
    QVERIFY(answerer->last().text.startsWith(QStringLiteral("保存失败：") + jobPath()));
    QCOMPARE(readTextFile(jobPath()), job);
    QCOMPARE(QDir(root->path()).entryList(QDir::Files), QStringList{"calibInfo.json"});
#else
    QSKIP("needs a file size limit");
#endif
}

void TestSetupIsoWidget::folderChoice_data()
{
    QTest::addColumn<bool>("choose");
    QTest::addRow("cancelled") << false;
    QTest::addRow("chosen") << true;
}

void TestSetupIsoWidget::folderChoice()
{
    QFETCH(bool, choose);
    const QString folder = root->path() + QStringLiteral("/reports");
    QVERIFY(QDir().mkpath(folder));
    common::isoReportPath = QStringLiteral("/earlier");
    answerer->queueFolder(choose ? folder : QString());
    displayisowidget::instance()->startBtnEnable();
    QSignalSpy changed(panel, &setupisowidget::isChanged);

    button("selectPathBtn")->click();

    QCOMPARE(answerer->last().title, QStringLiteral("选择报告保存目录"));
    QCOMPARE(answerer->last().className, QStringLiteral("QFileDialog"));
    QCOMPARE(changed.count(), 1);
    QVERIFY(!button("startISO")->isEnabled());
    QCOMPARE(common::isoReportPath, choose ? folder : QStringLiteral("/earlier"));
    QCOMPARE(page->findChild<QLabel*>("pathLabel")->text(), choose ? folder : QString());
}

void TestSetupIsoWidget::clearButtonRestoresStart()
{
    customBox()->click();
    fillCustomEdits();
    QLineEdit* old = customEdit(1, 1);
    common::isoPoses = {{1, 2}};
    common::defaultIsoPoses = {{4}};
    common::sampleTimes = 7;
    common::isoReportPath = QStringLiteral("/kept");
    QSignalSpy changed(panel, &setupisowidget::isChanged);
    QSignalSpy saved(panel, &setupisowidget::saveAll);
    TraceCapture trace;

    qobject_cast<QPushButton*>(gridCellWidget(grid("customizeLayout"), 0, 5))->click();

    QVERIFY(defaultBox()->isChecked());
    QVERIFY(!customBox()->isChecked());
    QVERIFY(customEdit(1, 1) != old);
    for (int row = 1; row <= 5; ++row) {
        for (int column = 1; column <= 6; ++column) {
            QLineEdit* edit = customEdit(row, column);
            QVERIFY(edit->text().isEmpty());
            QVERIFY(!edit->isEnabled());
            QCOMPARE(edit->placeholderText(), QStringLiteral("输入值%1").arg(column));
            auto* validator = qobject_cast<const QDoubleValidator*>(edit->validator());
            QVERIFY(validator);
            QCOMPARE(validator->decimals(), 6);
            QCOMPARE(validator->notation(), QDoubleValidator::StandardNotation);
        }
    }
    QVERIFY(common::isoPoses.isEmpty());
    QCOMPARE(common::defaultIsoPoses, PoseTable{{4}});
    QCOMPARE(common::sampleTimes, 7);
    QCOMPARE(common::isoReportPath, QStringLiteral("/kept"));
    QCOMPARE(changed.count(), 0);
    QCOMPARE(saved.count(), 0);
    QCOMPARE(trace.lines(), (QStringList{"resetAll [in]", "resetAll [out]"}));

    // The fresh edits are the ones custom mode switches on and a save reads.
    customBox()->click();
    QVERIFY(customEdit(5, 6)->isEnabled());
    fillCustomEdits();
    QVERIFY(writeTextFile(jobPath(), "{}"));
    button("saveBtn")->click();
    QCOMPARE(saved.count(), 1);
    QCOMPARE(common::isoPoses.size(), 5);
}

void TestSetupIsoWidget::jsonSuiteFilesAsJobFile()
{
    const QString shared = sharedTestDataDir();
    if (shared.isEmpty())
        QSKIP("the shared test corpora are not beside this checkout");
    const QDir suite(shared + QStringLiteral("/json-test-suite/test_parsing"));
    const QStringList files = suite.entryList({QStringLiteral("*.json")}, QDir::Files);
    QVERIFY(files.size() > 100);
    common::isoReportPath = QStringLiteral("/r");
    QSignalSpy saved(panel, &setupisowidget::saveAll);

    for (const QString& name : files) {
        const QByteArray content = readTextFile(suite.filePath(name));
        QVERIFY(writeTextFile(jobPath(), content));
        const int boxesBefore = answerer->count();
        const int savesBefore = saved.count();
        button("saveBtn")->click();
        const bool boxShown = answerer->count() == boxesBefore + 1;
        const bool savedNow = saved.count() == savesBefore + 1;
        QVERIFY2(boxShown != savedNow, qPrintable(name));
        if (savedNow) {
            const QJsonObject top = readJsonObject(jobPath());
            QVERIFY2(top.value("iso_config").isObject(), qPrintable(name));
        } else {
            QCOMPARE(answerer->last().text, QStringLiteral("文件转为json失败"));
            QVERIFY2(readTextFile(jobPath()) == content, qPrintable(name));
        }
    }
}

LUMORA_TEST_MAIN(TestSetupIsoWidget)
#include "tst_setupisowidget.moc"
