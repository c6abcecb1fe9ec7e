#include "common.h"
#include "lumoracalibration.h"
#include "scriptedlink.h"
#include "testmain.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QWidget>

#include <interfacemanager.h>
#include <pagecontainer.h>
#include <pluginbase.h>
#include <pluginregister.h>

using lumora::test::ScriptedLink;

namespace {

const QString supportKey = QString::fromUtf8("factory\xC2\xB7get_dh_params_support");
const QString linksKey = QStringLiteral("factory.set_DH_params_link");

QJsonArray arrayOfArrays(int count)
{
    QJsonArray outer;
    for (int i = 0; i < count; ++i)
        outer.append(QJsonArray{i * 4 + 0.5, i * 4 + 1, i * 4 + 2, i * 4 + 3});
    return outer;
}

QJsonArray flatNumbers(int count)
{
    QJsonArray outer;
    for (int i = 0; i < count; ++i)
        outer.append(i);
    return outer;
}

} // namespace

class TestPlugin : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void registeredUnderItsId();
    void initThroughBase_data();
    void initThroughBase();
    void valuesAreAppendedNotReplaced();
    void dotKeyIsNotTheSupportKey();

private:
    void runInit();
    ScriptedLink* link = nullptr;
};

void TestPlugin::init()
{
    link = new ScriptedLink;
    tavrin::tavrinInterface().setControllerLink(link);
    common::originalDHParamsVec.clear();
    common::axisNum = 0;
}

void TestPlugin::cleanup()
{
    delete tavrin::centerWidget(QStringLiteral("lumoracalibration"));
    tavrin::tavrinInterface().setControllerLink(nullptr);
    delete link;
    link = nullptr;
}

void TestPlugin::runInit()
{
    QObject owner;
    tavrin::PluginBase* plugin =
        tavrin::tavrinFactory().create(QStringLiteral("lumoracalibration"), &owner);
    QVERIFY(plugin);
    plugin->init();
}

void TestPlugin::registeredUnderItsId()
{
    QVERIFY(tavrin::tavrinFactory().ids().contains(QStringLiteral("lumoracalibration")));
    QObject owner;
    tavrin::PluginBase* plugin =
        tavrin::tavrinFactory().create(QStringLiteral("lumoracalibration"), &owner);
    QVERIFY(plugin);
    QCOMPARE(plugin->parent(), &owner);
    QCOMPARE(plugin->metaObject()->className(), "tavrin::LumoraCalibration");
    QVERIFY(qobject_cast<tavrin::LumoraCalibration*>(plugin));
    QVERIFY(plugin->inherits("tavrin::PluginBase"));
}

void TestPlugin::initThroughBase_data()
{
    QTest::addColumn<QJsonValue>("probe");
    QTest::addColumn<QJsonValue>("links");
    QTest::addColumn<int>("values");
    QTest::addColumn<int>("axes");
    QTest::addColumn<bool>("linksAsked");

    const QJsonValue yes = QJsonObject{{QStringLiteral("data"), true}};
    QTest::addRow("data true, 7 arrays of 4")
        << yes << QJsonValue(arrayOfArrays(7)) << 28 << 1 << true;
    QTest::addRow("data false counts as support")
        << QJsonValue(QJsonObject{{QStringLiteral("data"), false}}) << QJsonValue(arrayOfArrays(7))
        << 28 << 1 << true;
    QTest::addRow("24 numbers, no arrays") << yes << QJsonValue(flatNumbers(24)) << 0 << 6 << true;
    QTest::addRow("empty outer array") << yes << QJsonValue(QJsonArray()) << 0 << 0 << true;
    QTest::addRow("outer not an array") << yes << QJsonValue(QStringLiteral("x")) << 0 << 0 << true;
    QTest::addRow("mixed members")
        << yes
        << QJsonValue(QJsonArray{QJsonArray{1, QStringLiteral("s"), QJsonValue()}, 5,
                                 QJsonArray{2, 3}, QJsonObject{}, QJsonArray{}})
        << 5 << 1 << true;
    QTest::addRow("no data member") << QJsonValue(QJsonObject{{QStringLiteral("other"), true}})
                                    << QJsonValue(arrayOfArrays(7)) << 0 << 0 << false;
    QTest::addRow("data a number") << QJsonValue(QJsonObject{{QStringLiteral("data"), 1}})
                                   << QJsonValue(arrayOfArrays(7)) << 0 << 0 << false;
    QTest::addRow("data a string") << QJsonValue(QJsonObject{{QStringLiteral("data"), "true"}})
                                   << QJsonValue(arrayOfArrays(7)) << 0 << 0 << false;
    QTest::addRow("data null") << QJsonValue(QJsonObject{{QStringLiteral("data"), QJsonValue()}})
                               << QJsonValue(arrayOfArrays(7)) << 0 << 0 << false;
    QTest::addRow("probe undefined")
        << QJsonValue(QJsonValue::Undefined) << QJsonValue(arrayOfArrays(7)) << 0 << 0 << false;
}

void TestPlugin::initThroughBase()
{
    QFETCH(QJsonValue, probe);
    QFETCH(QJsonValue, links);
    QFETCH(int, values);
    QFETCH(int, axes);
    QFETCH(bool, linksAsked);

    link->setServiceData(supportKey, probe);
    link->setServiceData(linksKey, links);
    runInit();

    QCOMPARE(common::originalDHParamsVec.size(), values);
    QCOMPARE(common::axisNum, axes);
    QCOMPARE(!link->callsNamed(linksKey).isEmpty(), linksAsked);
    QCOMPARE(link->calls.first().name, supportKey);
    // The page is handed to the host whatever the probe said.
    QWidget* page = tavrin::centerWidget(QStringLiteral("lumoracalibration"));
    QVERIFY(page);
    QCOMPARE(page->metaObject()->className(), "centerWidget");
    QCOMPARE(common::calibrationDir, QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration"));
}

void TestPlugin::valuesAreAppendedNotReplaced()
{
    common::originalDHParamsVec = {9, 9};
    link->setServiceData(supportKey, QJsonObject{{QStringLiteral("data"), true}});
    // Built by append: a braced array holding one array is a copy of it for some compilers.
    QJsonArray links;
    links.append(QJsonArray{1.5, -2, 3e2, 4});
    link->setServiceData(linksKey, links);
    runInit();
    QCOMPARE(common::originalDHParamsVec, QVector<double>({9, 9, 1.5, -2, 300, 4}));
    QCOMPARE(common::axisNum, 0);
}

void TestPlugin::dotKeyIsNotTheSupportKey()
{
    // The support key's separator is a middle dot; a full stop key is another key.
    link->setServiceData(QStringLiteral("factory.get_dh_params_support"),
                         QJsonObject{{QStringLiteral("data"), true}});
    link->setServiceData(linksKey, arrayOfArrays(7));
    runInit();
    QVERIFY(common::originalDHParamsVec.isEmpty());
    QCOMPARE(link->calls.first().name.toUtf8(), QByteArray("factory\xC2\xB7get_dh_params_support"));
}

LUMORA_TEST_MAIN(TestPlugin)
#include "tst_plugin.moc"
