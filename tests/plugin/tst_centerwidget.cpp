#include "calibrationwidget.h"
#include "centerwidget.h"
#include "common.h"
#include "dhparameterwidget.h"
#include "displayisowidget.h"
#include "setupisowidget.h"
#include "setupwidget.h"
#include "testmain.h"

#include <QBoxLayout>
#include <QFrame>
#include <QTabWidget>

#include <memory>

Q_DECLARE_METATYPE(QMargins)

namespace {

// A layout of the page's own form; panels carry layouts of the same names.
QBoxLayout* pageLayout(QWidget* page, const QString& name)
{
    for (QBoxLayout* layout : page->findChildren<QBoxLayout*>(name)) {
        QWidget* owner = layout->parentWidget();
        if (owner == page || owner->objectName().startsWith(QLatin1String("tab")))
            return layout;
    }
    return nullptr;
}

} // namespace

class TestCenterWidget : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void formAndStyle();
    void layoutNumbers_data();
    void layoutNumbers();
    void panelsArePlaced();
    void calibrationRootIsSet();
    void accessorRules();
    void destroyedPanelsAreCreatedAfresh();

private:
    std::unique_ptr<centerWidget> page;
};

void TestCenterWidget::init()
{
    common::calibrationDir.clear();
    page = std::make_unique<centerWidget>();
}

void TestCenterWidget::cleanup()
{
    page.reset();
}

void TestCenterWidget::formAndStyle()
{
    QCOMPARE(page->objectName(), QStringLiteral("centerWidget"));
    QCOMPARE(page->size(), QSize(843, 592));
    QCOMPARE(page->windowTitle(), QStringLiteral("Form"));
    const QString style = QStringLiteral(
        "QWidget#centerWidget {\n    background-color: #f0f0f0;  \n}\nQTabWidget::pane {\n"
        "    border: 1px solid #ccc;\n    background: white;\n}\nQTabBar::tab {\n"
        "    background: #e0e0e0;\n    padding: 8px 16px;\n    margin-right: 2px;\n}\n"
        "QTabBar::tab:selected {\n    background: white;\n    border-bottom: 2px solid "
        "#0078d7;\n}");
    QCOMPARE(page->styleSheet(), style);

    auto* tabs = page->findChild<QTabWidget*>(QStringLiteral("tabWidget"));
    QVERIFY(tabs);
    QVERIFY(tabs->tabsClosable());
    QCOMPARE(tabs->count(), 2);
    QCOMPARE(tabs->currentIndex(), 0);
    QCOMPARE(tabs->tabText(0), QStringLiteral("机器人设置"));
    QCOMPARE(tabs->tabText(1), QStringLiteral("ISO设置"));
    QCOMPARE(tabs->widget(0)->objectName(), QStringLiteral("tab1"));
    QCOMPARE(tabs->widget(1)->objectName(), QStringLiteral("tab2"));
    for (const char* name : {"tab1Frame", "tab2LeftFrame", "tab2RightFrame"}) {
        auto* frame = page->findChild<QFrame*>(QLatin1String(name));
        QVERIFY2(frame, name);
        QCOMPARE(frame->lineWidth(), 2);
    }
    // Closing a tab is offered but does nothing.
    emit tabs->tabCloseRequested(0);
    QCOMPARE(tabs->count(), 2);
}

void TestCenterWidget::layoutNumbers_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("spacing");
    QTest::addColumn<QMargins>("margins");
    QTest::addColumn<QList<int>>("stretches");

    QTest::addRow("horizontalLayout")
        << "horizontalLayout" << 0 << QMargins(0, 0, 0, 0) << QList<int>{0};
    QTest::addRow("tab1_main_layout")
        << "tab1_main_layout" << 10 << QMargins(-1, -1, -1, -1) << QList<int>{1, 1};
    QTest::addRow("verticalLayout")
        << "verticalLayout" << 40 << QMargins(20, 20, 10, 20) << QList<int>{3, 1};
    QTest::addRow("frameLayout") << "frameLayout" << 5 << QMargins(10, 20, 20, 20) << QList<int>{0};
    QTest::addRow("tab2_main_layout")
        << "tab2_main_layout" << 20 << QMargins(20, 20, 20, 20) << QList<int>{1, 1};
    QTest::addRow("tab2LeftFrameLayout")
        << "tab2LeftFrameLayout" << 10 << QMargins(10, 10, 10, 10) << QList<int>{0};
    QTest::addRow("tab2RightFrameLayout")
        << "tab2RightFrameLayout" << 10 << QMargins(10, 10, 10, 10) << QList<int>{0};
}

void TestCenterWidget::layoutNumbers()
{
    QFETCH(QString, name);
    QFETCH(int, spacing);
    QFETCH(QMargins, margins);
    QFETCH(QList<int>, stretches);

    auto* layout = pageLayout(page.get(), name);
    QVERIFY2(layout, qPrintable(name));
    QCOMPARE(layout->spacing(), spacing);
    if (margins.left() >= 0)
        QCOMPARE(layout->contentsMargins(), margins);
    QCOMPARE(layout->count(), stretches.size());
    for (int i = 0; i < stretches.size(); ++i)
        QCOMPARE(layout->stretch(i), stretches.at(i));
}

void TestCenterWidget::panelsArePlaced()
{
    auto* column = pageLayout(page.get(), QStringLiteral("verticalLayout"));
    QCOMPARE(column->itemAt(0)->widget(), setupWidget::instance());
    QCOMPARE(column->itemAt(1)->widget(), calibrationWidget::instance());
    auto* frame = pageLayout(page.get(), QStringLiteral("frameLayout"));
    QCOMPARE(frame->itemAt(0)->widget(), dhparameterWidget::instance());
    auto* left = pageLayout(page.get(), QStringLiteral("tab2LeftFrameLayout"));
    QCOMPARE(left->itemAt(0)->widget(), setupisowidget::instance());
    auto* right = pageLayout(page.get(), QStringLiteral("tab2RightFrameLayout"));
    QCOMPARE(right->itemAt(0)->widget(), displayisowidget::instance());
    for (QWidget* panel : std::initializer_list<QWidget*>{
             setupWidget::instance(), calibrationWidget::instance(), dhparameterWidget::instance(),
             setupisowidget::instance(), displayisowidget::instance()})
        QVERIFY(page->isAncestorOf(panel));
}

void TestCenterWidget::calibrationRootIsSet()
{
    QCOMPARE(common::calibrationDir, QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration"));
}

void TestCenterWidget::accessorRules()
{
    setupWidget* panel = setupWidget::instance();
    QWidget* parent = panel->parentWidget();
    // A null parent returns the panel unchanged.
    QCOMPARE(setupWidget::instance(nullptr), panel);
    QCOMPARE(panel->parentWidget(), parent);
    // Another parent re-parents it.
    QWidget other;
    QCOMPARE(setupWidget::instance(&other), panel);
    QCOMPARE(panel->parentWidget(), &other);
    // The same parent again changes nothing.
    QCOMPARE(setupWidget::instance(&other), panel);
    QCOMPARE(panel->parentWidget(), &other);
    panel->setParent(parent);
}

void TestCenterWidget::destroyedPanelsAreCreatedAfresh()
{
    QPointer<setupWidget> first = setupWidget::instance();
    page.reset();
    QVERIFY(first.isNull());
    page = std::make_unique<centerWidget>();
    QVERIFY(setupWidget::instance());
    QVERIFY(page->isAncestorOf(setupWidget::instance()));
}

LUMORA_TEST_MAIN(TestCenterWidget)
#include "tst_centerwidget.moc"
