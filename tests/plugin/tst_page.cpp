#include "calibrationwidget.h"
#include "lumoracalibration.h"
#include "setupwidget.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QBoxLayout>
#include <QJsonArray>
#include <QJsonObject>

#include <interfacemanager.h>
#include <malloc.h>
#include <pagecontainer.h>
#include <pluginregister.h>

#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer)
#include <sanitizer/allocator_interface.h>
// The sanitizer's allocator replaces malloc's and keeps its own count.
qint64 heapInUse()
{
    return qint64(__sanitizer_get_current_allocated_bytes());
}
#else
// Bytes the allocator has handed out and not got back, after returning what it can.
qint64 heapInUse()
{
    return malloc_trim(0), qint64(mallinfo2().uordblks);
}
#endif

using namespace lumora::test;

class TestPage : public QObject
{
    Q_OBJECT

private slots:
    void start_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QJsonValue>("data");
        QTest::addColumn<QJsonValue>("links");
        QTest::addColumn<int>("axes"); // -1: not read
        const QJsonArray seven{
            QJsonArray{0.5, 1, 2, 3}, 9, QJsonArray{1, "s"}, QJsonArray(), 5, 6, 7};
        QTest::addRow("links read")
            << "factory·get_dh_params_support" << QJsonValue(false) << QJsonValue(seven) << 1;
        QTest::addRow("data not a bool")
            << "factory·get_dh_params_support" << QJsonValue(1) << QJsonValue(seven) << -1;
        QTest::addRow("full stop in the key")
            << "factory.get_dh_params_support" << QJsonValue(true) << QJsonValue(seven) << -1;
    }

    // Created by the host under its id, init() reads the controller's links (appending the
    // numbers of the arrays among them) and hands over the page, whatever the probe said.
    void start()
    {
        QFETCH(QString, key);
        QFETCH(QJsonValue, data);
        QFETCH(QJsonValue, links);
        QFETCH(int, axes);
        ScriptedLink link;
        tavrin::tavrinInterface().setControllerLink(&link);
        link.setServiceData(key, QJsonObject{{"data", data}});
        link.setServiceData("factory.set_DH_params_link", links);
        common::originalDHParamsVec = {9};
        common::axisNum = -1;
        QObject host;
        tavrin::PluginBase* plugin = tavrin::tavrinFactory().create("lumoracalibration", &host);
        QVERIFY(qobject_cast<tavrin::LumoraCalibration*>(plugin));
        plugin->init();
        std::unique_ptr<QWidget> page(tavrin::centerWidget("lumoracalibration"));
        tavrin::tavrinInterface().setControllerLink(nullptr);
        const QVector<double> read{9, 0.5, 1, 2, 3, 1, 0};
        QCOMPARE(common::originalDHParamsVec, axes < 0 ? read.mid(0, 1) : read);
        QCOMPARE(common::axisNum, axes);
        QCOMPARE(page->metaObject()->className(), "centerWidget");
        QCOMPARE(common::calibrationDir,
                 QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration"));
    }

    // The setup panel takes three quarters of the left column, the runner one; the halves of
    // both tabs are equal.
    void layout()
    {
        WidgetFixture fx;
        QStringList layouts;
        for (const char* name : {"verticalLayout", "tab1_main_layout", "tab2_main_layout"})
            for (QBoxLayout* layout : fx.page->findChildren<QBoxLayout*>(name))
                if (layout->parentWidget()->objectName().startsWith("tab"))
                    layouts << QString("%1:%2").arg(layout->stretch(0)).arg(layout->stretch(1)) +
                                   layout->itemAt(1)->widget()->objectName();
        QCOMPARE(layouts.join(' '),
                 QStringLiteral("3:1calibrationWidget 1:1tab1Frame 1:1tab2RightFrame"));
    }

    // A thousand connections alternating six- and seven-axis robots, then a hundred page
    // lifetimes. The page's objects settle after one connection of each robot, the heap (caches
    // of styles and fonts) after a few hundred connections and ten pages.
    void soak()
    {
        auto fx = std::make_unique<WidgetFixture>();
        int objects[2] = {0, 0};
        qint64 heap = 0;
        for (int i = 0; i < 1000; ++i) {
            heap = i == 400 ? heapInUse() : heap;
            fx->connectRobot(28 + 4 * (i % 2), i % 2 ? "R7" : "R6");
            fx->link.calls.clear();
            const int count = fx->page->findChildren<QObject*>().size();
            objects[i % 2] = i < 2 ? count : objects[i % 2];
            QCOMPARE(count, objects[i % 2]);
        }
        QVERIFY(objects[1] > objects[0] && fx->answerer.count() == 0);
        QVERIFY2(heapInUse() - heap < 32 * 1024, qPrintable(QString::number(heapInUse() - heap)));
        for (int i = 0; i < 110; ++i) {
            fx.reset();
            heap = i == 10 ? heapInUse() : heap;
            fx = std::make_unique<WidgetFixture>();
            fx->connectRobot(28 + 4 * (i % 2), i % 2 ? "R7" : "R6");
            QCOMPARE(fx->answerer.count(), 0);
        }
        fx.reset();
        QVERIFY2(heapInUse() - heap < 32 * 1024, qPrintable(QString::number(heapInUse() - heap)));
    }
};

LUMORA_TEST_MAIN(TestPage)
#include "tst_page.moc"
