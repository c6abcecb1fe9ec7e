#include "centerwidget.h"
#include "common.h"
#include "displayisowidget.h"
#include "faketools.h"
#include "isopanelhelpers.h"
#include "messageboxanswerer.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>

#include <memory>

using namespace lumora::test;

namespace {

const QString start = QStringLiteral("启动ISO");
const QString abortRun = QStringLiteral("中止运行ISO");
const QString generate = QStringLiteral("生成报告");

// A tool that leaves its arguments and working folder beside the job, then exits with code.
QString recordingTool(const QString& name, int code)
{
    return QStringLiteral("printf '%s\\n' \"$@\" > \"$2/%1.args\"\npwd > \"$2/%1.cwd\"\nexit %2")
        .arg(name)
        .arg(code);
}

QByteArray resultsFile(int entries)
{
    QByteArray items;
    for (int i = 1; i <= entries; ++i) {
        if (!items.isEmpty())
            items += ',';
        items += QStringLiteral(R"({"name": "P%1", "Accuracy": %1.1234, "Repeatability": 0.5,
                                   "RMS": %1, "StdDev": 0.0000004})")
                     .arg(i)
                     .toUtf8();
    }
    return R"({"status": "ok", "iso_results": [)" + items + "]}";
}

} // namespace

class TestDisplayIsoWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void fullCycle();
    void roundLines_data();
    void roundLines();
    void refusedStart_data();
    void refusedStart();
    void secondToolRefusedWhileOneRuns();
    void abortDuringTask_data();
    void abortDuringTask();
    void taskFailure();
    void reportGenerationFailure();
    void resultCells_data();
    void resultCells();
    void saveFailure();
    void giveUp_data();
    void giveUp();
    void pageClosedWhileTaskRuns();

private:
    QPushButton* button(const char* name) const { return page->findChild<QPushButton*>(name); }
    QString labelText(const char* name) const { return page->findChild<QLabel*>(name)->text(); }
    QGridLayout* grid() const { return page->findChild<QGridLayout*>("gridLayout"); }
    QString rootFile(const QString& name) const { return root->path() + QLatin1Char('/') + name; }
    // Every box so far answered and closed, and nothing of the panel still running.
    bool settled(int boxes) const;
    void invoke(const char* slot) { QVERIFY(QMetaObject::invokeMethod(panel, slot)); }
    void runToReport(const QByteArray& results);
    void checkButtons(const QString& caption, bool startOn, bool saveOn, bool giveUpOn) const;

    std::unique_ptr<centerWidget> page;
    std::unique_ptr<QTemporaryDir> root;
    std::unique_ptr<MessageBoxAnswerer> answerer;
    displayisowidget* panel = nullptr;
};

void TestDisplayIsoWidget::init()
{
    page = std::make_unique<centerWidget>();
    root = std::make_unique<QTemporaryDir>();
    QVERIFY(root->isValid());
    common::calibrationDir = root->path();
    panel = displayisowidget::instance();
    answerer = std::make_unique<MessageBoxAnswerer>();
}

void TestDisplayIsoWidget::cleanup()
{
    if (page)
        QTRY_VERIFY(settled(0));
    answerer.reset();
    page.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    root.reset();
}

bool TestDisplayIsoWidget::settled(int boxes) const
{
    if (answerer->count() < boxes || QApplication::activeModalWidget())
        return false;
    const QList<QProcess*> processes = panel->findChildren<QProcess*>();
    for (QProcess* process : processes) {
        if (process->state() != QProcess::NotRunning)
            return false;
    }
    return true;
}

void TestDisplayIsoWidget::checkButtons(const QString& caption, bool startOn, bool saveOn,
                                        bool giveUpOn) const
{
    QCOMPARE(button("startISO")->text(), caption);
    QCOMPARE(button("startISO")->isEnabled(), startOn);
    QCOMPARE(button("saveReport")->isEnabled(), saveOn);
    QCOMPARE(button("giveupBtn")->isEnabled(), giveUpOn);
}

void TestDisplayIsoWidget::runToReport(const QByteArray& results)
{
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), QStringLiteral("exit 0")));
    QVERIFY(writeFakeTool(isoReportPath(root->path()),
                          QStringLiteral("cat > \"$2/optimized_dh.json\" <<'EOF'\n") +
                              QString::fromUtf8(results) + QStringLiteral("\nEOF")));
    panel->startBtnEnable();
    button("startISO")->click();
    QTRY_VERIFY(settled(1));
    QCOMPARE(button("startISO")->text(), generate);
    button("startISO")->click();
    QTRY_VERIFY(settled(2));
    answerer->clear();
}

void TestDisplayIsoWidget::fullCycle()
{
    const QString rootPath = root->path();
    QVERIFY(writeFakeTool(isoTaskPath(rootPath),
                          "printf '[ROUND] 01/10\\n  [ROUND] 03/10  \\nnoise\\n'\n" +
                              recordingTool("task", 0)));
    QVERIFY(writeFakeTool(isoReportPath(rootPath),
                          QStringLiteral("cat > \"$2/optimized_dh.json\" <<'EOF'\n") +
                              QString::fromUtf8(resultsFile(5)) + QStringLiteral("\nEOF\n") +
                              recordingTool("report", 0)));
    QVERIFY(writeFakeTool(isoCopyPath(rootPath), recordingTool("copy", 0)));
    TraceCapture trace;

    panel->startBtnEnable();
    button("startISO")->click();
    checkButtons(abortRun, true, false, false);
    QTRY_VERIFY(settled(1));
    QCOMPARE(answerer->last().title, QStringLiteral("完成"));
    QCOMPARE(answerer->last().text, QStringLiteral("ISO 校准任务已成功完成。"));
    checkButtons(generate, true, false, false);
    QCOMPARE(labelText("label"), QStringLiteral("采集进度："));
    QCOMPARE(labelText("label_2"), QStringLiteral("03 / 10"));
    QVERIFY(trace.contains(QStringLiteral("ISO Round:  03 / 10")));
    QCOMPARE(readTextFile(rootFile("task.args")), "--path\n" + rootPath.toUtf8() + "\n");
    QCOMPARE(readTextFile(rootFile("task.cwd")).trimmed(), QDir::currentPath().toUtf8());

    button("startISO")->click();
    checkButtons(generate, false, false, false);
    QTRY_VERIFY(settled(2));
    QCOMPARE(answerer->last().text, QStringLiteral("PDF 报告已成功生成。"));
    checkButtons(start, false, true, true);
    QCOMPARE(readTextFile(rootFile("report.args")), "--path\n" + rootPath.toUtf8() + "\n");
    QCOMPARE(gridCellText(grid(), 2, 1), QStringLiteral("2.123400"));
    QCOMPARE(gridCellText(grid(), 5, 4), QStringLiteral("0.000000"));

    button("saveReport")->click();
    checkButtons(start, false, false, false);
    QCOMPARE(gridCellText(grid(), 2, 1), QString());
    QTRY_VERIFY(settled(3));
    QCOMPARE(answerer->last().text, QStringLiteral("PDF 报告已保存成功。"));
    checkButtons(start, false, false, false);
    QCOMPARE(readTextFile(rootFile("copy.args")), "--path\n" + rootPath.toUtf8() + "\n");

    // A new cycle starts with the next saved settings.
    panel->startBtnEnable();
    checkButtons(start, true, false, false);
    const QStringList lines = trace.lines();
    QCOMPARE(lines.count(QStringLiteral("startIso [in]")), 2);
    QCOMPARE(lines.count(QStringLiteral("startIso [out]")), 2);
    QCOMPARE(lines.count(QStringLiteral("saveReport [out]")), 1);
}

void TestDisplayIsoWidget::roundLines_data()
{
    QTest::addColumn<QString>("script");
    QTest::addColumn<QString>("progress");

    QTest::addRow("digits unchanged") << "printf '[ROUND] 03/10\\n'"
                                      << "03 / 10";
    QTest::addRow("blanks around") << "printf 'x [ROUND]  4 /  9 y\\r\\n'"
                                   << "4 / 9";
    QTest::addRow("last line wins") << "printf '[ROUND] 1/3\\n[ROUND] 2/3\\n[ROUND] 3/3\\nbye\\n'"
                                    << "3 / 3";
    QTest::addRow("split across reads") << "printf '[ROUND] 1'\nsleep 0.3\nprintf '2/20\\n'"
                                        << "12 / 20";
    QTest::addRow("no final line feed") << "printf '[ROUND] 5/6'"
                                        << "5 / 6";
    QTest::addRow("no round line") << "printf 'progress 5/6\\n[ROUND] /6\\n'"
                                   << "";
}

void TestDisplayIsoWidget::roundLines()
{
    QFETCH(QString, script);
    QFETCH(QString, progress);
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), script + "\nexit 0"));
    panel->startBtnEnable();

    button("startISO")->click();
    QTRY_VERIFY(settled(1));

    QCOMPARE(labelText("label_2"), progress);
    QCOMPARE(labelText("label"), progress.isEmpty() ? QString() : QStringLiteral("采集进度："));
}

void TestDisplayIsoWidget::refusedStart_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("executable");
    QTest::addColumn<QStringList>("texts");

    const QString missing = QStringLiteral("%1 不存在，请检查路径！");
    QTest::addRow("task missing") << "task" << true << QStringList{missing.arg("runIsoTask.exe")};
    QTest::addRow("report missing")
        << "report" << true << QStringList{missing.arg("iso_pdf_generate.exe")};
    QTest::addRow("saver missing")
        << "save" << true << QStringList{missing.arg("copy_calib_iso_results.exe")};
    QTest::addRow("remover missing")
        << "discard" << true
        << QStringList{"是否放弃iso结果？", missing.arg("delet_calib_iso_results.exe")};
    QTest::addRow("task not executable")
        << "task" << false << QStringList{"ISO启动失败：", "runIsoTask.exe 启动超时！"};
    QTest::addRow("report not executable")
        << "report" << false << QStringList{"ISO启动失败：", "iso_pdf_generate.exe 启动超时！"};
}

void TestDisplayIsoWidget::refusedStart()
{
    QFETCH(QString, step);
    QFETCH(bool, executable);
    QFETCH(QStringList, texts);

    if (!executable) {
        // Root runs anything with an execute bit, so the tool has none.
        const QString path =
            step == "task" ? isoTaskPath(root->path()) : isoReportPath(root->path());
        QVERIFY(writeTextFile(path, "#!/bin/sh\nexit 0\n"));
    }
    panel->startBtnEnable();
    if (step == "report")
        button("startISO")->setText(generate);

    if (step == "save") {
        invoke("saveReport");
    } else if (step == "discard") {
        answerer->queueButton(QStringLiteral("放弃"));
        invoke("resetAll");
    } else {
        button("startISO")->click();
    }
    QTRY_VERIFY(settled(texts.size()));

    QCOMPARE(answerer->count(), texts.size());
    for (int i = 0; i < texts.size(); ++i) {
        QVERIFY2(answerer->boxes().at(i).text.startsWith(texts.at(i)),
                 qPrintable(answerer->boxes().at(i).text));
    }
    QCOMPARE(answerer->last().title, QStringLiteral("错误"));
    QCOMPARE(answerer->last().icon, QMessageBox::Warning);
    checkButtons(start, true, false, false);
    QVERIFY(panel->findChildren<QProcess*>().size() <= 1);
}

void TestDisplayIsoWidget::secondToolRefusedWhileOneRuns()
{
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), QStringLiteral("exec sleep 30")));
    QVERIFY(writeFakeTool(isoCopyPath(root->path()), recordingTool("copy", 0)));
    panel->startBtnEnable();
    button("startISO")->click();
    QCOMPARE(button("startISO")->text(), abortRun);

    invoke("saveReport");
    QTRY_VERIFY(answerer->count() == 1 && !QApplication::activeModalWidget());
    QCOMPARE(answerer->last().title, QStringLiteral("提示"));
    QCOMPARE(answerer->last().text, QStringLiteral("任务已在运行中，请稍候..."));
    QCOMPARE(answerer->last().icon, QMessageBox::Information);
    checkButtons(abortRun, true, false, false);
    QVERIFY(!QFileInfo::exists(rootFile("copy.args")));

    button("startISO")->click();
    QTRY_VERIFY(settled(2));
    QCOMPARE(button("startISO")->text(), start);
}

void TestDisplayIsoWidget::abortDuringTask_data()
{
    QTest::addColumn<QString>("script");
    QTest::addRow("ends on terminate") << "printf '[ROUND] 02/10\\n'\nexec sleep 30";
    QTest::addRow("ignores terminate")
        << "trap '' TERM\nprintf '[ROUND] 02/10\\n'\nwhile :; do sleep 0.05; done";
}

void TestDisplayIsoWidget::abortDuringTask()
{
    QFETCH(QString, script);
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), script));
    panel->startBtnEnable();
    button("startISO")->click();
    QTRY_COMPARE(labelText("label_2"), QStringLiteral("02 / 10"));

    button("startISO")->click();

    // The task is gone by the time the click returns.
    QVERIFY(settled(0));
    QTRY_VERIFY(settled(1));
    checkButtons(start, true, false, false);
    bool failureShown = false;
    for (const SeenBox& box : answerer->boxes())
        failureShown =
            failureShown || box.text.startsWith(QStringLiteral("ISO 任务失败，退出码："));
    QVERIFY(failureShown);

    // The next run starts normally.
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), QStringLiteral("exit 0")));
    answerer->clear();
    button("startISO")->click();
    QTRY_VERIFY(settled(1));
    QCOMPARE(button("startISO")->text(), generate);
}

void TestDisplayIsoWidget::taskFailure()
{
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), QStringLiteral("exit 7")));
    panel->startBtnEnable();
    button("startISO")->click();
    QTRY_VERIFY(settled(1));
    QCOMPARE(answerer->last().title, QStringLiteral("错误"));
    QCOMPARE(answerer->last().text, QStringLiteral("ISO 任务失败，退出码：7"));
    checkButtons(start, true, false, false);
}

void TestDisplayIsoWidget::reportGenerationFailure()
{
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), QStringLiteral("exit 0")));
    QVERIFY(writeFakeTool(isoReportPath(root->path()), QStringLiteral("exit 3")));
    panel->startBtnEnable();
    button("startISO")->click();
    QTRY_VERIFY(settled(1));
    button("startISO")->click();
    QTRY_VERIFY(settled(2));
    QCOMPARE(answerer->last().title, QStringLiteral("错误"));
    QCOMPARE(answerer->last().text, QStringLiteral("报告生成失败，退出码：3"));
    checkButtons(start, true, false, false);
    QCOMPARE(gridCellText(grid(), 1, 1), QString());
}

void TestDisplayIsoWidget::resultCells_data()
{
    QTest::addColumn<QByteArray>("results");
    QTest::addColumn<int>("filledRows");

    QTest::addRow("two entries") << resultsFile(2) << 2;
    QTest::addRow("seven entries") << resultsFile(7) << 5;
    QTest::addRow("not JSON") << QByteArray("{\"iso_results\": [") << 0;
}

void TestDisplayIsoWidget::resultCells()
{
    QFETCH(QByteArray, results);
    QFETCH(int, filledRows);
    runToReport(results);
    checkButtons(start, false, true, true);
    for (int row = 1; row <= 5; ++row) {
        const bool filled = row <= filledRows;
        const QStringList expected =
            filled ? QStringList{QStringLiteral("%1.123400").arg(row), "0.500000",
                                 QStringLiteral("%1.000000").arg(row), "0.000000"}
                   : QStringList{"", "", "", ""};
        for (int column = 1; column <= 4; ++column) {
            QCOMPARE(gridCellText(grid(), row, column), expected.at(column - 1));
            QVERIFY(!gridCellWidget(grid(), row, column)->isEnabled());
        }
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // Cells are replaced, not piled up: header, names and twenty values.
    QCOMPARE(grid()->count(), 5 + 5 + 20);
}

void TestDisplayIsoWidget::saveFailure()
{
    runToReport(resultsFile(5));
    QVERIFY(writeFakeTool(isoCopyPath(root->path()), QStringLiteral("exit 2")));
    button("saveReport")->click();
    QTRY_VERIFY(settled(1));
    QCOMPARE(answerer->last().title, QStringLiteral("错误"));
    QCOMPARE(answerer->last().text, QStringLiteral("报告保存失败，退出码：2"));
    checkButtons(start, false, true, true);
    QCOMPARE(gridCellText(grid(), 1, 1), QString());
}

void TestDisplayIsoWidget::giveUp_data()
{
    QTest::addColumn<QString>("answer");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<bool>("saveOn");
    QTest::addColumn<bool>("giveUpOn");

    QTest::addRow("cancelled") << "取消" << 0 << true << true;
    QTest::addRow("closed with default") << "" << 0 << true << true;
    QTest::addRow("confirmed") << "放弃" << 0 << false << true;
    QTest::addRow("confirmed, remover fails") << "放弃" << 4 << true << true;
}

void TestDisplayIsoWidget::giveUp()
{
    QFETCH(QString, answer);
    QFETCH(int, exitCode);
    QFETCH(bool, saveOn);
    QFETCH(bool, giveUpOn);

    runToReport(resultsFile(5));
    QVERIFY(writeFakeTool(isoDeletePath(root->path()), recordingTool("remove", exitCode)));
    if (!answer.isEmpty())
        answerer->queueButton(answer);
    TraceCapture trace;

    button("giveupBtn")->click();
    const bool confirmed = answer == QStringLiteral("放弃");
    QTRY_VERIFY(settled(confirmed ? 2 : 1));

    const SeenBox question = answerer->boxes().first();
    QCOMPARE(question.title, QStringLiteral("提示"));
    QCOMPARE(question.text, QStringLiteral("是否放弃iso结果？"));
    QCOMPARE(question.icon, QMessageBox::Question);
    QVERIFY(question.buttons.contains(QStringLiteral("放弃")));
    QVERIFY(question.buttons.contains(QStringLiteral("取消")));
    QCOMPARE(question.pressed, confirmed ? QStringLiteral("放弃") : QStringLiteral("取消"));
    QCOMPARE(readTextFile(rootFile("remove.args")),
             confirmed ? "--path\n" + root->path().toUtf8() + "\n" : QByteArray());
    QCOMPARE(trace.contains(QStringLiteral("resetAll [out]")), confirmed);
    checkButtons(start, false, saveOn, giveUpOn);
    QCOMPARE(gridCellText(grid(), 1, 1), confirmed ? QString() : QStringLiteral("1.123400"));
    if (!confirmed)
        return;
    QCOMPARE(answerer->count(), 2);
    if (exitCode == 0) {
        QCOMPARE(answerer->last().title, QStringLiteral("完成"));
        QCOMPARE(answerer->last().text, QStringLiteral("结果已删除"));
    } else {
        QCOMPARE(answerer->last().title, QStringLiteral("错误"));
        QVERIFY(answerer->last().text.contains(QString::number(exitCode)));
    }
}

void TestDisplayIsoWidget::pageClosedWhileTaskRuns()
{
    QVERIFY(writeFakeTool(isoTaskPath(root->path()), QStringLiteral("exec sleep 30")));
    panel->startBtnEnable();
    button("startISO")->click();
    const QList<QProcess*> processes = panel->findChildren<QProcess*>();
    QCOMPARE(processes.size(), 1);
    const qint64 pid = processes.first()->processId();
    QVERIFY(pid > 0);

    page.reset();

    // Stopped and reaped with the panel: no orphan, no callback into a dead panel.
    QVERIFY(!QFileInfo::exists(QStringLiteral("/proc/%1").arg(pid)));
    QCOMPARE(answerer->count(), 0);
}

LUMORA_TEST_MAIN(TestDisplayIsoWidget)
#include "tst_displayisowidget.moc"
