#include "lumoracalibration.h"
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
        QTest::addColumn<QString>("key"); // of the probe, which answers false
        QTest::addColumn<bool>("read");
        QTest::addRow("links read") << "factory·get_dh_params_support" << true;
        QTest::addRow("full stop in the key") << "factory.get_dh_params_support" << false;
    }

    // Created by the host under its id, init() reads the controller's links (appending the
    // numbers of the arrays among them) and hands over the page, whatever the probe said.
    void start()
    {
        QFETCH(QString, key);
        QFETCH(bool, read);
        ScriptedLink link;
        tavrin::tavrinInterface().setControllerLink(&link);
        link.setServiceData(key, QJsonObject{{"data", false}});
        link.setServiceData(
            "factory.set_DH_params_link",
            QJsonArray{QJsonArray{0.5, 1, 2, 3}, 9, QJsonArray{1, "s"}, QJsonArray(), 5, 6, 7});
        common::originalDHParamsVec = {9};
        common::axisNum = -1;
        QObject host;
        tavrin::PluginBase* plugin = tavrin::tavrinFactory().create("lumoracalibration", &host);
        QVERIFY(qobject_cast<tavrin::LumoraCalibration*>(plugin));
        plugin->init();
        std::unique_ptr<QWidget> page(tavrin::centerWidget("lumoracalibration"));
        tavrin::tavrinInterface().setControllerLink(nullptr);
        const QVector<double> links{9, 0.5, 1, 2, 3, 1, 0};
        QCOMPARE(common::originalDHParamsVec, read ? links : links.mid(0, 1));
        QCOMPARE(common::axisNum, read ? 1 : -1);
        QCOMPARE(page->metaObject()->className(), "centerWidget");
        QCOMPARE(common::calibrationDir,
                 QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration"));
    }
};

LUMORA_TEST_MAIN(TestPage)
#include "tst_page.moc"
