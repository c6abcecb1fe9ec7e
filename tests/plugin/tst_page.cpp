#include "calibrationwidget.h"
#include "lumoracalibration.h"
#include "setupwidget.h"
#include "testmain.h"
#include "widgetfixture.h"

#include <QJsonArray>
#include <QJsonObject>

#include <interfacemanager.h>
#include <pagecontainer.h>
#include <pluginregister.h>

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
};

LUMORA_TEST_MAIN(TestPage)
#include "tst_page.moc"
