#include "calibrationwidget.h"
#include "centerwidget.h"
#include "common.h"
#include "dhparameterwidget.h"
#include "messageboxanswerer.h"
#include "setupwidget.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QBoxLayout>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <qflog.h>

#include <memory>

using lumora::test::MessageBoxAnswerer;
using lumora::test::TraceCapture;

namespace {

// Every widget the grid holds at a cell (labels may lie over placeholders).
QList<QWidget*> widgetsAt(QGridLayout* grid, int row, int column)
{
    QList<QWidget*> found;
    for (int i = 0; i < grid->count(); ++i) {
        int r = 0, c = 0, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(i, &r, &c, &rowSpan, &columnSpan);
        if (r == row && c == column && grid->itemAt(i)->widget())
            found.append(grid->itemAt(i)->widget());
    }
    return found;
}

// The enabled label at a cell: the value label, never a placeholder.
QLabel* valueLabel(QGridLayout* grid, int row, int column)
{
    QLabel* label = nullptr;
    for (QWidget* widget : widgetsAt(grid, row, column)) {
        if (auto* candidate = qobject_cast<QLabel*>(widget); candidate && candidate->isEnabled())
            label = candidate;
    }
    return label;
}

QString cellText(QGridLayout* grid, int row, int column)
{
    QLabel* label = valueLabel(grid, row, column);
    return label ? label->text() : QStringLiteral("<none>");
}

QVector<double> sequence(int count, double offset)
{
    QVector<double> values;
    for (int i = 0; i < count; ++i)
        values << offset + i * 1.5;
    return values;
}

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

class TestDhResult : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void form();
    void placeholders();
    void initialHalf_data();
    void initialHalf();
    void initialHalfTwiceKeepsOneLabelPerCell();
    void optimisedHalf_data();
    void optimisedHalf();
    void repeatedRebuildsDoNotAccumulate_data();
    void repeatedRebuildsDoNotAccumulate();
    void runnerSignalsReachThePanel();
    void setupSignalReachesThePanel();
    void giveUpResetsOthersFirst();
    void refusedApplyChangesNothing();

private:
    QGridLayout* table() const { return panel->findChild<QGridLayout*>("tableLayout"); }
    int labelCount() const { return panel->findChildren<QLabel*>().size(); }

    std::unique_ptr<centerWidget> page;
    dhparameterWidget* panel = nullptr;
};

void TestDhResult::init()
{
    common::axisNum = 0;
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::zeroPointsVec.clear();
    page = std::make_unique<centerWidget>();
    panel = dhparameterWidget::instance();
}

void TestDhResult::cleanup()
{
    page.reset();
    flushDeletes();
}

void TestDhResult::form()
{
    QCOMPARE(panel->objectName(), QStringLiteral("dhparameterWidget"));
    QCOMPARE(panel->windowTitle(), QStringLiteral("Form"));
    QCOMPARE(panel->sizePolicy().horizontalPolicy(), QSizePolicy::Expanding);
    QCOMPARE(panel->sizePolicy().verticalPolicy(), QSizePolicy::Expanding);

    auto* outer = panel->findChild<QVBoxLayout*>("verticalLayout_2");
    QVERIFY(outer);
    QCOMPARE(outer->count(), 5);
    const QList<int> stretches{1, 8, 1, 1, 1};
    for (int i = 0; i < stretches.size(); ++i)
        QCOMPARE(outer->stretch(i), stretches.at(i));
    QCOMPARE(outer->itemAt(1)->layout(), table());

    QCOMPARE(panel->findChild<QLabel*>("calibResLabel")->text(),
             QStringLiteral("标定结果(DH Paramters)"));
    auto* posLabel = panel->findChild<QLabel*>("averagePosErrorLabel");
    QCOMPARE(posLabel->text(), QStringLiteral("平均位置误差(mm)："));
    QCOMPARE(posLabel->alignment() & (Qt::AlignRight | Qt::AlignVCenter),
             Qt::AlignRight | Qt::AlignVCenter);
    QCOMPARE(panel->findChild<QLabel*>("averagePoseErrorLabel")->text(),
             QStringLiteral("平均姿态误差(°):"));
    for (const char* name : {"averagePosErrorText", "averagePoseErrorText"}) {
        auto* edit = panel->findChild<QLineEdit*>(name);
        QVERIFY2(edit, name);
        QVERIFY(edit->isReadOnly());
        QVERIFY(edit->text().isEmpty());
    }
    const QStringList captions{QStringLiteral("放弃"), QStringLiteral("应用")};
    const char* names[] = {"giveUpBtn", "confirmBtn"};
    for (int i = 0; i < 2; ++i) {
        auto* button = panel->findChild<QPushButton*>(names[i]);
        QVERIFY2(button, names[i]);
        QCOMPARE(button->text(), captions.at(i));
        QVERIFY(button->isEnabled());
        QCOMPARE(button->minimumSize(), QSize(200, 25));
        QCOMPARE(button->maximumSize(), QSize(300, 75));
    }

    QCOMPARE(cellText(table(), 0, 0), QStringLiteral("Joint"));
    QCOMPARE(cellText(table(), 0, 1), QStringLiteral("初始参数"));
    QCOMPARE(cellText(table(), 0, 5), QStringLiteral("优化后参数"));
    QCOMPARE(valueLabel(table(), 0, 5)->styleSheet(),
             QStringLiteral("QLabel { font-weight: bold; }"));
    const QStringList heads{"Alpha(°)", "a(mm)", "d(mm)", "Theta(°)"};
    for (int j = 0; j < 4; ++j) {
        QCOMPARE(cellText(table(), 1, 1 + j), heads.at(j));
        QCOMPARE(cellText(table(), 1, 5 + j), heads.at(j));
        QVERIFY(valueLabel(table(), 1, 1 + j)->styleSheet().isEmpty());
    }
}

void TestDhResult::placeholders()
{
    QCOMPARE(table()->rowCount(), 8);
    QCOMPARE(table()->columnCount(), 9);
    for (int row = 2; row < 8; ++row) {
        for (int column = 0; column < 9; ++column) {
            const QList<QWidget*> cell = widgetsAt(table(), row, column);
            QCOMPARE(cell.size(), 1);
            auto* label = qobject_cast<QLabel*>(cell.first());
            QVERIFY(label);
            QVERIFY(!label->isEnabled());
            QVERIFY(label->text().isEmpty());
            QCOMPARE(label->styleSheet(), QStringLiteral("border: none;"));
        }
    }
}

void TestDhResult::initialHalf_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("rowCount");

    QTest::addRow("six axes") << 6 << 28 << 8;
    QTest::addRow("seven axes, row below the placeholders") << 7 << 32 << 9;
    QTest::addRow("ten axes") << 10 << 44 << 12;
    QTest::addRow("vector shorter than the axes claim") << 6 << 13 << 8;
    QTest::addRow("no axes") << 0 << 4 << 8;
}

void TestDhResult::initialHalf()
{
    QFETCH(int, axes);
    QFETCH(int, values);
    QFETCH(int, rowCount);

    common::axisNum = axes;
    common::originalDHParamsVec = sequence(values, -90.25);
    panel->initTableWithData();
    flushDeletes();

    QCOMPARE(table()->rowCount(), rowCount);
    for (int i = 0; i < axes; ++i) {
        QCOMPARE(cellText(table(), i + 2, 0), common::jointNames[i]);
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * i + j;
            const QString expected =
                k < values ? QString::number(common::originalDHParamsVec[k], 'g', 6) : QString();
            QCOMPARE(cellText(table(), i + 2, 1 + j), expected);
        }
    }
    // The initial half's placeholders are gone, whatever the axis count.
    for (int row = 2 + axes; row < table()->rowCount(); ++row) {
        for (int column = 0; column <= 4; ++column)
            QVERIFY(widgetsAt(table(), row, column).isEmpty());
    }
    for (int row = 0; row <= axes + 1; ++row)
        QCOMPARE(table()->rowStretch(row), 1);
}

void TestDhResult::initialHalfTwiceKeepsOneLabelPerCell()
{
    common::axisNum = 6;
    common::originalDHParamsVec = sequence(28, 1.0);
    panel->initTableWithData();
    common::originalDHParamsVec = sequence(28, 1000.25);
    panel->initTableWithData();
    flushDeletes();

    for (int row = 2; row < 8; ++row) {
        for (int column = 0; column <= 4; ++column)
            QCOMPARE(widgetsAt(table(), row, column).size(), 1);
    }
    QCOMPARE(cellText(table(), 2, 1), QStringLiteral("1000.25"));
    QCOMPARE(cellText(table(), 7, 4), QString::number(1000.25 + 23 * 1.5, 'g', 6));
    // Form labels 3, headers 11, placeholders of the optimised half 24, captions and values 30.
    QCOMPARE(labelCount(), 3 + 11 + 24 + 30);
}

void TestDhResult::optimisedHalf_data()
{
    QTest::addColumn<int>("axes");
    QTest::addColumn<int>("values");
    QTest::addColumn<bool>("isReset");
    QTest::addColumn<int>("filled");

    QTest::addRow("complete") << 6 << 24 << false << 24;
    QTest::addRow("last axis missing") << 6 << 20 << false << 20;
    QTest::addRow("partial axis") << 6 << 22 << false << 22;
    QTest::addRow("reset ignores values") << 6 << 24 << true << 0;
    QTest::addRow("seven axes") << 7 << 28 << false << 28;
    QTest::addRow("no axes") << 0 << 24 << false << 0;
    QTest::addRow("negative axis count") << -1 << 24 << false << 0;
}

void TestDhResult::optimisedHalf()
{
    QFETCH(int, axes);
    QFETCH(int, values);
    QFETCH(bool, isReset);
    QFETCH(int, filled);

    common::axisNum = axes;
    common::optimizedDHParamsVec = sequence(values, 0.123456789);
    TraceCapture trace;
    panel->writeDHResLabls(isReset);
    flushDeletes();

    int seen = 0;
    for (int i = 0; i < std::max(axes, 0); ++i) {
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * i + j;
            const QString text = cellText(table(), i + 2, 5 + j);
            if (k < filled) {
                QCOMPARE(text, QString::number(common::optimizedDHParamsVec[k], 'g', 6));
                ++seen;
            } else {
                QCOMPARE(text, QString());
            }
        }
    }
    QCOMPARE(seen, filled);
    QVERIFY(valueLabel(table(), std::max(axes, 0) + 2, 5) == nullptr);
    QVERIFY(trace.lines().contains(QStringLiteral("common::axisNum :  %1").arg(axes)));
}

void TestDhResult::repeatedRebuildsDoNotAccumulate_data()
{
    QTest::addColumn<bool>("isReset");
    QTest::addRow("reset") << true;
    QTest::addRow("filled") << false;
}

void TestDhResult::repeatedRebuildsDoNotAccumulate()
{
    QFETCH(bool, isReset);
    common::axisNum = 6;
    common::optimizedDHParamsVec = sequence(24, 3.0);
    panel->writeDHResLabls(isReset);
    flushDeletes();
    const int once = labelCount();
    const int items = table()->count();
    for (int i = 0; i < 5; ++i)
        panel->writeDHResLabls(isReset);
    flushDeletes();

    QCOMPARE(labelCount(), once);
    QCOMPARE(table()->count(), items);
    for (int row = 2; row < 8; ++row) {
        for (int column = 5; column <= 8; ++column) {
            // The placeholder and exactly one result label.
            QCOMPARE(widgetsAt(table(), row, column).size(), 2);
            QCOMPARE(cellText(table(), row, column).isEmpty(), isReset);
        }
    }
}

void TestDhResult::runnerSignalsReachThePanel()
{
    calibrationWidget* runner = calibrationWidget::instance();
    common::axisNum = 6;
    common::optimizedDHParamsVec = sequence(24, 7.0);

    QMetaObject::invokeMethod(runner, "changeBtnsStatus", Q_ARG(bool, false));
    QVERIFY(!panel->findChild<QPushButton*>("giveUpBtn")->isEnabled());
    QVERIFY(!panel->findChild<QPushButton*>("confirmBtn")->isEnabled());
    QMetaObject::invokeMethod(runner, "calibrationDoneVec", Q_ARG(bool, false));
    QCOMPARE(cellText(table(), 7, 8), QString::number(7.0 + 23 * 1.5, 'g', 6));
    QMetaObject::invokeMethod(runner, "calibrationDoneStr", Q_ARG(QString, "0.5000"),
                              Q_ARG(QString, "1.2346"));
    QCOMPARE(panel->findChild<QLineEdit*>("averagePosErrorText")->text(), QStringLiteral("0.5000"));
    QCOMPARE(panel->findChild<QLineEdit*>("averagePoseErrorText")->text(),
             QStringLiteral("1.2346"));
    QMetaObject::invokeMethod(runner, "changeBtnsStatus", Q_ARG(bool, true));
    QVERIFY(panel->findChild<QPushButton*>("giveUpBtn")->isEnabled());
    QVERIFY(panel->findChild<QPushButton*>("confirmBtn")->isEnabled());
}

void TestDhResult::setupSignalReachesThePanel()
{
    common::axisNum = 6;
    common::originalDHParamsVec = sequence(28, 2.0);
    QMetaObject::invokeMethod(setupWidget::instance(), "dhParamsReady");
    QCOMPARE(cellText(table(), 2, 0), QStringLiteral("J1"));
    QCOMPARE(cellText(table(), 7, 4), QString::number(2.0 + 23 * 1.5, 'g', 6));
}

void TestDhResult::giveUpResetsOthersFirst()
{
    common::axisNum = 6;
    common::originalDHParamsVec = sequence(28, 5.0);
    common::optimizedDHParamsVec = sequence(24, 9.0);
    common::zeroPointsVec = {0.1, 0.2, 0.3, 0.4, 0.5, 0.6};
    panel->initTableWithData();
    panel->writeDHResLabls(false);
    panel->updateErrorLabels(QStringLiteral("0.1000"), QStringLiteral("0.2000"));
    auto* runnerLabel = calibrationWidget::instance()->findChild<QLabel*>("calibrationLabel");
    runnerLabel->setText(QStringLiteral("请检查右侧数据并应用参数"));

    // Connected after the page's connections: runs once both panels have reset.
    QString runnerLabelSeen;
    int originalSeen = -1;
    int optimisedSeen = -1;
    connect(panel, &dhparameterWidget::giveupBtnSignals, this, [&] {
        runnerLabelSeen = runnerLabel->text();
        originalSeen = common::originalDHParamsVec.size();
        optimisedSeen = common::optimizedDHParamsVec.size();
    });
    QSignalSpy confirmed(panel, &dhparameterWidget::confirmBtnSingals);
    TraceCapture trace;
    QTest::mouseClick(panel->findChild<QPushButton*>("giveUpBtn"), Qt::LeftButton);
    flushDeletes();

    QCOMPARE(runnerLabelSeen, QString());
    QCOMPARE(originalSeen, 28);
    QCOMPARE(optimisedSeen, 24);
    QCOMPARE(confirmed.count(), 0);

    const QStringList lines = trace.lines();
    QVERIFY(!lines.isEmpty());
    QCOMPARE(lines.first(), QStringLiteral("enter giveupBtnClicked"));
    QCOMPARE(lines.last(), QStringLiteral("leave giveupBtnClicked"));
    const int setupReset = lines.indexOf(QStringLiteral("resetAll [in]"));
    const int rebuild = lines.indexOf(QStringLiteral("common::axisNum :  6"));
    QVERIFY2(setupReset > 0, "the setup panel resets inside the signal");
    QVERIFY(rebuild > setupReset);

    QVERIFY(common::originalDHParamsVec.isEmpty());
    QVERIFY(common::optimizedDHParamsVec.isEmpty());
    QCOMPARE(common::zeroPointsVec.size(), size_t(6));
    QVERIFY(panel->findChild<QLineEdit*>("averagePosErrorText")->text().isEmpty());
    QVERIFY(panel->findChild<QLineEdit*>("averagePoseErrorText")->text().isEmpty());
    // The initial half keeps its values until the controller is read again.
    QCOMPARE(cellText(table(), 2, 1), QString::number(5.0, 'g', 6));
    for (int row = 2; row < 8; ++row) {
        for (int column = 5; column <= 8; ++column)
            QCOMPARE(cellText(table(), row, column), QString());
    }
}

void TestDhResult::refusedApplyChangesNothing()
{
    // Nothing to apply: the procedure refuses, and nothing is reset.
    common::axisNum = 6;
    common::optimizedDHParamsVec = sequence(24, 9.0);
    panel->writeDHResLabls(false);
    panel->updateErrorLabels(QStringLiteral("0.1000"), QStringLiteral("0.2000"));
    MessageBoxAnswerer answerer;
    QSignalSpy confirmed(panel, &dhparameterWidget::confirmBtnSingals);
    QSignalSpy gaveUp(panel, &dhparameterWidget::giveupBtnSignals);
    QTest::mouseClick(panel->findChild<QPushButton*>("confirmBtn"), Qt::LeftButton);

    QCOMPARE(confirmed.count(), 0);
    QCOMPARE(gaveUp.count(), 0);
    QCOMPARE(common::optimizedDHParamsVec.size(), 24);
    QCOMPARE(panel->findChild<QLineEdit*>("averagePosErrorText")->text(), QStringLiteral("0.1000"));
    QCOMPARE(cellText(table(), 2, 5), QString::number(9.0, 'g', 6));
}

LUMORA_TEST_MAIN(TestDhResult)
#include "tst_dhresult.moc"
