#include "scriptedlink.h"

#include <QJsonArray>
#include <QJsonObject>

namespace lumora::test {

ScriptedLink::ScriptedLink(QObject* parent)
    : ControllerLink(parent)
{}

void ScriptedLink::setServiceData(const QString& key, const QJsonValue& answer)
{
    serviceAnswers.insert(key, answer);
}

void ScriptedLink::setCommandReply(const QString& command, const QJsonValue& answer)
{
    commandAnswers.insert(command, answer);
}

void ScriptedLink::queueCommandReply(const QString& command, const QJsonValue& answer)
{
    queuedCommandAnswers[command].enqueue(answer);
}

void ScriptedLink::setFullCommandResult(const QString& command, bool result)
{
    fullCommandResults.insert(command, result);
}

void ScriptedLink::setIdentity(const QString& newIp, const QString& newType, int newModel)
{
    ip = newIp;
    type = newType;
    model = newModel;
}

void ScriptedLink::setDhLinks(const QVector<double>& values)
{
    QJsonArray flat;
    QJsonArray links;
    QJsonArray link;
    for (double value : values) {
        flat.append(value);
        link.append(value);
        if (link.size() == 4) {
            links.append(link);
            link = QJsonArray();
        }
    }
    setServiceData(QString::fromUtf8("factory\xC2\xB7get_dh_params_support"),
                   QJsonObject{{QStringLiteral("data"), true}});
    setServiceData(QStringLiteral("factory.set_DH_params_link"), links);
    setCommandReply(QStringLiteral("factory.get_DH_params_link"),
                    QJsonObject{{QStringLiteral("success"), true},
                                {QStringLiteral("data"),
                                 QJsonObject{{QStringLiteral("DH_PARAMS_LINK"), flat}}}});
}

QList<LinkCall> ScriptedLink::callsNamed(const QString& name) const
{
    QList<LinkCall> out;
    for (const LinkCall& call : calls) {
        if (call.name == name)
            out.append(call);
    }
    return out;
}

void ScriptedLink::record(const LinkCall& call)
{
    calls.append(call);
    if (onCall)
        onCall(call);
}

QJsonValue ScriptedLink::serviceData(const QString& key)
{
    record({QStringLiteral("serviceData"), key, QVariant(), QJsonValue(), 0});
    return serviceAnswers.value(key, QJsonValue(QJsonValue::Undefined));
}

QJsonValue ScriptedLink::execCommand(const QString& command, const QVariant& argument)
{
    record({QStringLiteral("execCommand"), command, argument, QJsonValue(), 0});
    auto queued = queuedCommandAnswers.find(command);
    if (queued != queuedCommandAnswers.end() && !queued->isEmpty())
        return queued->dequeue();
    return commandAnswers.value(command, QJsonValue(QJsonValue::Undefined));
}

bool ScriptedLink::fullCommand(const QString& command, const QJsonValue& params, int timeout)
{
    record({QStringLiteral("fullCommand"), command, QVariant(), params, timeout});
    return fullCommandResults.value(command, false);
}

} // namespace lumora::test
