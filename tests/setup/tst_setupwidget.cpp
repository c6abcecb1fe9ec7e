#include "common.h"
#include "dhparameterwidget.h"
#include "setupfixture.h"
#include "setupwidget.h"
#include "testmain.h"
#include "tracecapture.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>

#include <memory>

using lumora::test::SetupFixture;
using lumora::test::TraceCapture;

namespace {

const QString all = QStringLiteral("全选");
const QString none = QStringLiteral("全不选");

} // namespace

class TestSetupWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void formAndHeader();
    void rebuild_data();
    void rebuild();
    void valueFormat();
    void repeatedConnections_data();
    void repeatedConnections();
    void identityAndSignalOrder();
    void toggles_data();
    void toggles();
    void isAllOptionsSelect_data();
    void isAllOptionsSelect();
    void isSNEmpty_data();
    void isSNEmpty();
    void reset_data();
    void reset();
    void resetKeepsCellsBeyondTheVector();

private:
    std::unique_ptr<SetupFixture> fx;
};

void TestSetupWidget::init()
{
    fx = std::make_unique<SetupFixture>();
}

void TestSetupWidget::cleanup()
{
    fx.reset();
}

void TestSetupWidget::formAndHeader()
{
    // Only what the operator reads and what the rebuild relies on: the header rows and six
    // empty, disabled rows before the controller has been read.
    setupWidget* panel = fx->panel();
    QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("robotSettingLabel"))->text(),
             QStringLiteral("机器人配置(Setup)"));
    QCOMPARE(panel->findChild<QLabel*>(QStringLiteral("label_2"))->text(),
             QStringLiteral("SERIAL NUMBER(SN)"));

    QGridLayout* grid = fx->grid();
    int row, column, rowSpan, columnSpan;
    grid->getItemPosition(grid->indexOf(grid->itemAtPosition(0, 0)->widget()), &row, &column,
                          &rowSpan, &columnSpan);
    QCOMPARE(QList<int>({row, column, rowSpan, columnSpan}), QList<int>({0, 0, 1, 5}));
    QCOMPARE(qobject_cast<QLabel*>(grid->itemAtPosition(0, 0)->widget())->text(),
             QStringLiteral("DH参数配置"));
    QCOMPARE(fx->selectAll()->text(), all);

    const QStringList captions = {"J", "α(Alpha)", "a(Length)", "d(Offset)", "θ(Theta)", "操作"};
    QStringList header;
    for (int c = 0; c < 6; ++c)
        header << qobject_cast<QLabel*>(grid->itemAtPosition(1, c)->widget())->text();
    QCOMPARE(header, captions);

    QCOMPARE(grid->rowCount(), 8);
    for (int r = 2; r < 8; ++r) {
        for (int c = 0; c < 6; ++c) {
            auto* placeholder = qobject_cast<QLabel*>(grid->itemAtPosition(r, c)->widget());
            QVERIFY(placeholder && placeholder->text().isEmpty() && !placeholder->isEnabled());
        }
    }
}

void TestSetupWidget::rebuild_data()
{
    QTest::addColumn<int>("valueCount");
    QTest::addColumn<int>("axes");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("captions");
    QTest::addColumn<QString>("selectAll");

    QTest::addRow("6 axes") << 28 << 6 << "0000 1111 1111 1111 1111 0000"
                            << "全选 全不选 全不选 全不选 全不选 全选" << all;
    QTest::addRow("7 axes") << 32 << 7 << "0000 1111 1111 1111 1111 1111 0000"
                            << "全选 全不选 全不选 全不选 全不选 全不选 全选" << all;
    QTest::addRow("4 axes") << 20 << 4 << "0000 1111 1111 0000"
                            << "全选 全不选 全不选 全选" << all;
    QTest::addRow("1 axis") << 8 << 1 << "0000"
                            << "全选" << all;
    QTest::addRow("0 axes") << 4 << 0 << ""
                            << "" << none;
    QTest::addRow("-1 axes") << 0 << -1 << ""
                             << "" << none;
}

void TestSetupWidget::rebuild()
{
    QFETCH(int, valueCount);
    QFETCH(int, axes);
    QFETCH(QString, ticks);
    QFETCH(QString, captions);
    QFETCH(QString, selectAll);

    fx->connectRobot(valueCount);

    const QVector<double> values = SetupFixture::sampleValues(valueCount);
    QCOMPARE(common::axisNum, axes);
    QCOMPARE(common::originalDHParamsVec, values);
    const QList<lumora::test::LinkCall> calls =
        fx->link.callsNamed(QStringLiteral("factory.get_DH_params_link"));
    QCOMPARE(calls.size(), 1);
    QCOMPARE(calls.first().argument.userType(), int(QMetaType::QString));
    QVERIFY(calls.first().argument.toString().isEmpty());

    QCOMPARE(fx->ticks(axes), ticks);
    QCOMPARE(fx->rowCaptions(axes), captions);
    QCOMPARE(fx->selectAll()->text(), selectAll);

    QGridLayout* grid = fx->grid();
    QCOMPARE(grid->rowCount(), qMax(8, axes + 2));
    for (int axis = 0; axis < axes; ++axis) {
        auto* caption = qobject_cast<QLabel*>(grid->itemAtPosition(axis + 2, 0)->widget());
        QVERIFY(caption);
        QCOMPARE(caption->text(), QStringLiteral("J%1").arg(axis + 1));
        for (int param = 0; param < 4; ++param)
            QCOMPARE(fx->value(axis, param)->text(),
                     QString::number(values.at(4 * axis + param), 'g', 6));
        QCOMPARE(grid->itemAtPosition(axis + 2, 5)->alignment(), Qt::AlignCenter);
    }
    // Placeholder rows without an axis are emptied, not refilled.
    for (int r = qMax(2, axes + 2); r < grid->rowCount(); ++r) {
        for (int c = 0; c < 6; ++c)
            QVERIFY2(!grid->itemAtPosition(r, c),
                     qPrintable(QStringLiteral("%1,%2").arg(r).arg(c)));
    }
    for (int r = 0; r <= axes + 1; ++r) {
        QCOMPARE(grid->rowStretch(r), 0);
        QCOMPARE(grid->rowMinimumHeight(r), 25);
    }
    for (int c = 0; c < 6; ++c)
        QCOMPARE(grid->columnMinimumWidth(c), 60);
}

void TestSetupWidget::valueFormat()
{
    fx->connectRobot(
        {1234567.891, -90, 0.000123456789, 3.14159265358979, 0, 1e-7, 100000, 1e21, 0, 0, 0, 0});
    const QStringList expected = {"1.23457e+06", "-90",   "0.000123457", "3.14159",
                                  "0",           "1e-07", "100000",      "1e+21"};
    for (int k = 0; k < expected.size(); ++k)
        QCOMPARE(fx->value(k / 4, k % 4)->text(), expected.at(k));
}

void TestSetupWidget::repeatedConnections_data()
{
    QTest::addColumn<QList<int>>("valueCounts");
    QTest::addRow("6 three times") << QList<int>{28, 28, 28};
    QTest::addRow("7 then 4") << QList<int>{32, 20};
    QTest::addRow("4 then 7") << QList<int>{20, 32};
    QTest::addRow("6, none, 6") << QList<int>{28, 3, 28};
}

void TestSetupWidget::repeatedConnections()
{
    QFETCH(QList<int>, valueCounts);
    for (int count : valueCounts)
        fx->connectRobot(count);
    const int axes = valueCounts.last() / 4 - 1;

    // Header (2 + 6 items) and six items per axis row: one widget per cell, nothing left over.
    QCOMPARE(fx->grid()->count(), 8 + 6 * axes);
    QCOMPARE(fx->panel()->findChildren<QCheckBox*>().size(), 4 * axes);
    QCOMPARE(fx->panel()->findChildren<QPushButton*>().size(), 1 + axes);

    // One click toggles the table once: everything ticked, not back to the defaults.
    QVERIFY(fx->run(QStringLiteral("all")));
    QCOMPARE(fx->ticks(axes), QStringLiteral("1111 ").repeated(axes).trimmed());
    QCOMPARE(fx->selectAll()->text(), none);
    QVERIFY(fx->run(QStringLiteral("row 0")));
    QCOMPARE(fx->ticks(1), QStringLiteral("0000"));
}

void TestSetupWidget::identityAndSignalOrder()
{
    fx->link.setIdentity(QStringLiteral("10.0.0.7"), QStringLiteral("RB-7"), 12);
    fx->panel()->findChild<QLineEdit*>(QStringLiteral("snLineEdit"))->setText("SN-77");

    QStringList seen;
    QObject::connect(fx->panel(), &setupWidget::dhParamsReady, fx->panel(), [&seen] {
        seen << QStringLiteral("dh %1 %2 [%3]")
                    .arg(common::axisNum)
                    .arg(common::originalDHParamsVec.size())
                    .arg(common::robotIP);
    });
    QObject::connect(fx->panel(), &setupWidget::setupWidgetReady, fx->panel(), [&seen] {
        seen << QStringLiteral("ready %1 %2 %3 %4")
                    .arg(common::robotIP, common::robotName)
                    .arg(common::modelType)
                    .arg(common::serialNumber);
    });
    fx->connectRobot(28);
    // The table stands before the identity is copied; the identity before the ISO side hears.
    QCOMPARE(seen, QStringList({"dh 6 28 []", "ready 10.0.0.7 RB-7 12 SN-77"}));
}

void TestSetupWidget::toggles_data()
{
    QTest::addColumn<int>("valueCount");
    QTest::addColumn<QString>("steps");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("captions");
    QTest::addColumn<QString>("selectAll");

    const QString defaults = QStringLiteral("0000 1111 1111 1111 1111 0000");
    const QString defaultCaptions = QStringLiteral("全选 全不选 全不选 全不选 全不选 全选");
    const QString allTicked = QStringLiteral("1111 1111 1111 1111 1111 1111");
    const QString noneTicked = QStringLiteral("0000 0000 0000 0000 0000 0000");
    const QString allNone = QStringLiteral("全不选 全不选 全不选 全不选 全不选 全不选");
    const QString allAll = QStringLiteral("全选 全选 全选 全选 全选 全选");

    QTest::addRow("row: unticked row ticks, select-all untouched")
        << 28 << "row 0"
        << "1111 1111 1111 1111 1111 0000"
        << "全不选 全不选 全不选 全不选 全不选 全选" << all;
    QTest::addRow("row: twice restores")
        << 28 << "row 0; row 0" << defaults << defaultCaptions << all;
    QTest::addRow("row: ticked row unticks") << 28 << "row 1"
                                             << "0000 0000 1111 1111 1111 0000"
                                             << "全选 全选 全不选 全不选 全不选 全选" << all;
    QTest::addRow("row: one unticked box ticks the row")
        << 28 << "untick 1 3; row 1" << defaults << defaultCaptions << all;
    QTest::addRow("row: one ticked box in an unticked row")
        << 28 << "tick 5 2; row 5"
        << "0000 1111 1111 1111 1111 1111"
        << "全选 全不选 全不选 全不选 全不选 全不选" << all;
    QTest::addRow("all: defaults tick all") << 28 << "all" << allTicked << allNone << none;
    QTest::addRow("all: twice unticks all") << 28 << "all; all" << noneTicked << allAll << all;
    QTest::addRow("all: rows ticked one by one, then all unticks")
        << 28 << "row 0; row 5; all" << noneTicked << allAll << all;
    QTest::addRow("all: one box unticked ticks all")
        << 28 << "all; untick 3 0; all" << allTicked << allNone << none;
    QTest::addRow("all: one box ticked ticks all")
        << 28 << "all; all; tick 2 2; all" << allTicked << allNone << none;
    QTest::addRow("all: four axes") << 20 << "all"
                                    << "1111 1111 1111 1111"
                                    << "全不选 全不选 全不选 全不选" << none;
    QTest::addRow("all: no boxes, nothing happens") << 3 << "all; all"
                                                    << ""
                                                    << "" << none;
}

void TestSetupWidget::toggles()
{
    QFETCH(int, valueCount);
    QFETCH(QString, steps);
    QFETCH(QString, ticks);
    QFETCH(QString, captions);
    QFETCH(QString, selectAll);

    fx->connectRobot(valueCount);
    const int axes = common::axisNum;
    QVERIFY(fx->run(steps));
    QCOMPARE(fx->ticks(axes), ticks);
    QCOMPARE(fx->rowCaptions(axes), captions);
    QCOMPARE(fx->selectAll()->text(), selectAll);
}

void TestSetupWidget::isAllOptionsSelect_data()
{
    QTest::addColumn<int>("valueCount"); // 0: no connection
    QTest::addColumn<QString>("steps");
    QTest::addColumn<bool>("initial");
    QTest::addColumn<bool>("expected");

    QTest::addRow("before connection, false stays") << 0 << "" << false << false;
    QTest::addRow("before connection, true stays") << 0 << "" << true << true;
    QTest::addRow("default ticks") << 28 << "" << false << true;
    QTest::addRow("all unticked") << 28 << "all; all" << false << false;
    QTest::addRow("all unticked never sets false") << 28 << "all; all" << true << true;
    QTest::addRow("only a last-row box ticked") << 28 << "all; all; tick 5 3" << false << true;
    QTest::addRow("only a first-row box ticked") << 28 << "all; all; tick 0 0" << false << true;
    QTest::addRow("no axes") << 3 << "" << false << false;
    QTest::addRow("one axis, unticked") << 8 << "" << false << false;
}

void TestSetupWidget::isAllOptionsSelect()
{
    QFETCH(int, valueCount);
    QFETCH(QString, steps);
    QFETCH(bool, initial);
    QFETCH(bool, expected);

    if (valueCount)
        fx->connectRobot(valueCount);
    QVERIFY(fx->run(steps));
    TraceCapture trace;
    bool selected = initial;
    fx->panel()->isAllOptionsSelect(selected);
    QCOMPARE(selected, expected);
    QCOMPARE(trace.lines(), QStringList({"isAllOptionsSelect [in]", "isAllOptionsSelect [out]"}));
}

void TestSetupWidget::isSNEmpty_data()
{
    QTest::addColumn<QString>("text");
    QTest::addRow("empty") << QString();
    QTest::addRow("plain") << QStringLiteral("SN-2024-0001");
    QTest::addRow("non-ASCII") << QStringLiteral("序列号7");
}

void TestSetupWidget::isSNEmpty()
{
    QFETCH(QString, text);
    common::serialNumber = QStringLiteral("stale");
    fx->panel()->findChild<QLineEdit*>(QStringLiteral("snLineEdit"))->setText(text);
    TraceCapture trace;
    fx->panel()->isSNEmpty();
    QCOMPARE(common::serialNumber, text);
    QVERIFY(!common::serialNumber.isNull());
    QCOMPARE(trace.lines(), QStringList({"isSNEmpty [in]", "isSNEmpty [out]"}));
}

void TestSetupWidget::reset_data()
{
    QTest::addColumn<int>("valueCount");
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("ticks");
    QTest::addColumn<QString>("captions");

    QTest::addRow("6 axes, give up") << 28 << false << "0000 1111 1111 1111 1111 0000"
                                     << "全选 全不选 全不选 全不选 全不选 全选";
    QTest::addRow("6 axes, confirm") << 28 << true << "0000 1111 1111 1111 1111 0000"
                                     << "全选 全不选 全不选 全不选 全不选 全选";
    // The fourth axis is the last one: locked as after a rebuild.
    QTest::addRow("4 axes, give up") << 20 << false << "0000 1111 1111 0000"
                                     << "全选 全不选 全不选 全选";
    QTest::addRow("7 axes, give up") << 32 << false << "0000 1111 1111 1111 1111 1111 0000"
                                     << "全选 全不选 全不选 全不选 全不选 全不选 全选";
    QTest::addRow("1 axis, give up") << 8 << false << "0000"
                                     << "全选";
}

void TestSetupWidget::reset()
{
    QFETCH(int, valueCount);
    QFETCH(bool, confirm);
    QFETCH(QString, ticks);
    QFETCH(QString, captions);

    fx->connectRobot(valueCount);
    const int axes = common::axisNum;
    QVERIFY(fx->run(QStringLiteral("all; untick 0 1")));
    auto* sn = fx->panel()->findChild<QLineEdit*>(QStringLiteral("snLineEdit"));
    sn->setText(QStringLiteral("SN-9"));
    fx->panel()->isSNEmpty();
    // Values come back from the shared vector as it stands at the reset.
    for (double& v : common::originalDHParamsVec)
        v = v * 2 + 0.5;

    TraceCapture trace;
    dhparameterWidget* results = dhparameterWidget::instance();
    if (confirm)
        emit results->confirmBtnSingals();
    else
        emit results->giveupBtnSignals();

    QCOMPARE(fx->ticks(axes), ticks);
    QCOMPARE(fx->rowCaptions(axes), captions);
    for (int k = 0; k < 4 * axes; ++k)
        QCOMPARE(fx->value(k / 4, k % 4)->text(),
                 QString::number(common::originalDHParamsVec.at(k), 'g', 6));
    QVERIFY(sn->text().isEmpty());
    QCOMPARE(common::serialNumber, QStringLiteral("SN-9"));
    // The select-all caption is left as the last click set it.
    QCOMPARE(fx->selectAll()->text(), none);
    QCOMPARE(fx->grid()->count(), 8 + 6 * axes);
    QVERIFY(trace.contains(QStringLiteral("resetAll [in]")));
    QVERIFY(trace.contains(QStringLiteral("resetAll [out]")));
    QVERIFY(!trace.lines().join('\n').contains(QStringLiteral("Invalid parameter index")));
}

void TestSetupWidget::resetKeepsCellsBeyondTheVector()
{
    // Before any connection the placeholders hold no boxes: nothing to restore.
    TraceCapture trace;
    fx->panel()->resetAll();
    QCOMPARE(trace.lines(), QStringList({"resetAll [in]", "resetAll [out]"}));
    QCOMPARE(fx->grid()->count(), 8 + 6 * 6);

    fx->connectRobot(28);
    QVERIFY(fx->run(QStringLiteral("all")));
    common::originalDHParamsVec.resize(10);
    const QString before = fx->value(2, 2)->text();
    trace.clear();
    fx->panel()->resetAll();

    QCOMPARE(fx->ticks(6), QStringLiteral("0000 1111 1111 1111 1111 1111"));
    QCOMPARE(fx->value(2, 2)->text(), before);
    QCOMPARE(fx->value(2, 1)->text(), QString::number(common::originalDHParamsVec.at(9), 'g', 6));
    QVERIFY(trace.contains(
        QStringLiteral("Invalid parameter index :  10  for joint :  2  column :  3")));
    QVERIFY(trace.contains(
        QStringLiteral("Invalid parameter index :  23  for joint :  5  column :  4")));
    QCOMPARE(trace.lines().filter(QStringLiteral("Invalid parameter index")).size(), 14);
}

LUMORA_TEST_MAIN(TestSetupWidget)
#include "tst_setupwidget.moc"
