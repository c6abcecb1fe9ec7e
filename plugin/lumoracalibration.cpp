#include "lumoracalibration.h"

#include "centerwidget.h"
#include "common.h"

#include <QDebug>
#include <QJsonArray>

#include <functional>
#include <interfacemanager.h>
#include <pagecontainer.h>
#include <pluginregister.h>

namespace {

const std::function<tavrin::PluginBase*(QObject*)> factory = [](QObject* parent) {
    return static_cast<tavrin::PluginBase*>(new tavrin::LumoraCalibration(parent));
};

[[maybe_unused]] const int registered =
    (tavrin::tavrinFactory().regist(QStringLiteral("lumoracalibration"), factory), 0);

} // namespace

namespace tavrin {

LumoraCalibration::LumoraCalibration(QObject* parent)
    : PluginBase(parent)
{}

LumoraCalibration::~LumoraCalibration() = default;

void LumoraCalibration::init()
{
    connect(&tavrinInterface(), &InterfaceManager::sigNetworkConnect, this,
            [] { qDebug() << "tavrin::TavrinDemo : Connect"; });
    connect(&tavrinInterface(), &InterfaceManager::sigNetworkDisConnect, this,
            [](bool) { qDebug() << "tavrin::TavrinDemo : DisConnect"; });

    // The separator in the support key is a middle dot, not a full stop.
    const QJsonValue support = tavrinInterface().getXServiceData(
        QString::fromUtf8("factory\xC2\xB7get_dh_params_support"));
    if (support[QStringLiteral("data")].isBool()) {
        const QJsonArray links = tavrinInterface()
                                     .getXServiceData(QStringLiteral("factory.set_DH_params_link"))
                                     .toArray();
        for (const QJsonValue& link : links) {
            if (!link.isArray())
                continue;
            for (const QJsonValue& value : link.toArray())
                common::originalDHParamsVec.append(value.toDouble());
        }
        common::axisNum = links.size() / 4;
    }

    auto* page = new ::centerWidget(nullptr);
    CreateCenterWidget(QStringLiteral("lumoracalibration"), page);
}

void LumoraCalibration::afterInit() {}

void LumoraCalibration::setup() {}

} // namespace tavrin
