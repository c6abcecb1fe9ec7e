#include "controllerreply.h"

#include <QJsonDocument>
#include <QJsonObject>

bool controllerReplySucceeded(const QJsonValue& reply)
{
    switch (reply.type()) {
    case QJsonValue::Bool:
        return reply.toBool();
    case QJsonValue::Double:
        return reply.toDouble() == 0.0;
    case QJsonValue::Object: {
        const QJsonObject object = reply.toObject();
        const QJsonValue success = object.value(QStringLiteral("success"));
        if (success.isBool())
            return success.toBool();
        const QJsonValue code = object.value(QStringLiteral("code"));
        // A code that is not a whole number in int range reads as the default: a non-zero
        // default keeps such a code from passing as success.
        if (code.isDouble())
            return code.toInt(1) == 0;
        return true;
    }
    case QJsonValue::String:
    case QJsonValue::Array:
        return true;
    case QJsonValue::Null:
    case QJsonValue::Undefined:
        break;
    }
    return false;
}

QString jsonValueToText(const QJsonValue& value)
{
    switch (value.type()) {
    case QJsonValue::Object:
        return QString::fromUtf8(QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact));
    case QJsonValue::Array:
        return QString::fromUtf8(QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact));
    case QJsonValue::Bool:
        return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
    case QJsonValue::Double:
        return QString::number(value.toDouble(), 'g', 15);
    case QJsonValue::String:
        return value.toString();
    case QJsonValue::Null:
        return QStringLiteral("null");
    case QJsonValue::Undefined:
        break;
    }
    return QStringLiteral("undefined");
}

QJsonArray dhParamsLinkArray(const QJsonValue& answer)
{
    return answer[QLatin1String("data")][QLatin1String("DH_PARAMS_LINK")].toArray();
}

QVector<double> dhParamsLinkValues(const QJsonArray& links)
{
    QVector<double> values;
    values.reserve(links.size());
    for (const QJsonValue& value : links)
        values.append(value.toDouble());
    return values;
}
