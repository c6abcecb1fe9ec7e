#include "scriptedlink.h"

#include <QJsonArray>
#include <QJsonObject>

namespace lumora::test {

void ScriptedLink::setDhLinks(const QVector<double>& values)
{
    QJsonArray flat;
    QJsonArray links;
    for (int k = 0; k < values.size(); ++k) {
        flat.append(values[k]);
        if (k % 4 == 3)
            links.append(QJsonArray{values[k - 3], values[k - 2], values[k - 1], values[k]});
    }
    setServiceData(QString::fromUtf8("factory\xC2\xB7get_dh_params_support"),
                   QJsonObject{{QStringLiteral("data"), true}});
    setServiceData(QStringLiteral("factory.set_DH_params_link"), links);
    setCommandReply(QStringLiteral("factory.get_DH_params_link"),
                    QJsonObject{{QStringLiteral("success"), true},
                                {QStringLiteral("data"),
                                 QJsonObject{{QStringLiteral("DH_PARAMS_LINK"), flat}}}});
}

QJsonValue ScriptedLink::serviceData(const QString& key)
{
    calls.append({QStringLiteral("serviceData"), key, QVariant(), QJsonValue(), 0});
    return serviceAnswers.value(key, QJsonValue(QJsonValue::Undefined));
}

QJsonValue ScriptedLink::execCommand(const QString& command, const QVariant& argument)
{
    calls.append({QStringLiteral("execCommand"), command, argument, QJsonValue(), 0});
    return commandAnswers.value(command, QJsonValue(QJsonValue::Undefined));
}

bool ScriptedLink::fullCommand(const QString& command, const QJsonValue& params, int timeout)
{
    calls.append({QStringLiteral("fullCommand"), command, QVariant(), params, timeout});
    return fullCommandResults.value(command, false);
}

} // namespace lumora::test
