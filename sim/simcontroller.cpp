#include "simcontroller.h"

#include <QJsonObject>
#include <QTimer>

namespace sim {

namespace {

// Nominal DH table of the six-axis arm (alpha deg, a mm, d mm, theta deg); the last link is
// the flange.
const double nominalDh[] = {
    -90, 150, 450, 0,   //
    0,   610, 0,   -90, //
    -90, 120, 0,   0,   //
    90,  0,   660, 0,   //
    -90, 0,   0,   0,   //
    0,   0,   115, 180, //
    0,   0,   0,   0,
};

QVector<double> numbers(const QJsonValue& value)
{
    QVector<double> out;
    for (const QJsonValue& item : value.toArray())
        out.append(item.toDouble());
    return out;
}

QJsonArray toArray(const QVector<double>& values)
{
    QJsonArray out;
    for (double value : values)
        out.append(value);
    return out;
}

} // namespace

SimController::SimController(QObject* parent)
    : ControllerLink(parent)
    , dh(std::begin(nominalDh), std::end(nominalDh))
    , zero(6, 0.0)
{}

QJsonObject SimController::reply(bool success, int code, const QJsonValue& data) const
{
    QJsonObject answer{{QStringLiteral("success"), success}, {QStringLiteral("code"), code}};
    if (!data.isNull() && !data.isUndefined())
        answer.insert(QStringLiteral("data"), data);
    return answer;
}

QJsonValue SimController::serviceData(const QString& key)
{
    if (!online)
        return QJsonValue(QJsonValue::Undefined);
    if (key == QString::fromUtf8("factory\xC2\xB7get_dh_params_support"))
        return QJsonObject{{QStringLiteral("data"), true}};
    if (key == QLatin1String("factory.set_DH_params_link")) {
        QJsonArray links;
        for (int i = 0; i + 3 < dh.size(); i += 4)
            links.append(toArray(dh.mid(i, 4)));
        return links;
    }
    return QJsonValue(QJsonValue::Undefined);
}

QJsonValue SimController::execCommand(const QString& command, const QVariant& argument)
{
    if (!online)
        return QJsonValue(QJsonValue::Undefined);
    const QJsonObject payload = QJsonValue::fromVariant(argument).toObject();
    if (command == QLatin1String("factory.get_DH_params_link"))
        return reply(true, 0, QJsonObject{{QStringLiteral("DH_PARAMS_LINK"), toArray(dh)}});
    if (command == QLatin1String("factory.set_DH_params_all")) {
        const QVector<double> values = numbers(payload.value(QStringLiteral("DH_params_all")));
        if (values.size() < 4 || values.size() > dh.size())
            return reply(false, 22);
        stagedDh = values;
        return reply(true, 0);
    }
    if (command == QLatin1String("ethercat.set_precision_compensation_zero")) {
        stagedZero = numbers(payload.value(QStringLiteral("joint_angle_A")));
        return reply(true, 0);
    }
    return reply(false, 404);
}

bool SimController::fullCommand(const QString& command, const QJsonValue&, int)
{
    if (!online || command != QLatin1String("system.controller.reboot"))
        return false;
    // Answer first, then go away: the reboot applies the staged values.
    QTimer::singleShot(0, this, [this] {
        disconnectFromController();
        for (int i = 0; i < stagedDh.size(); ++i)
            dh[i] = stagedDh[i];
        if (!stagedZero.isEmpty())
            zero = stagedZero;
        stagedDh.clear();
        stagedZero.clear();
        connectToController(rebootDelayMs);
    });
    return true;
}

QString SimController::robotIP()
{
    return online ? QStringLiteral("192.168.10.101") : QString();
}

QString SimController::robotType()
{
    return online ? QStringLiteral("LX6-900") : QString();
}

int SimController::robotModelType()
{
    return online ? 6001 : 0;
}

void SimController::connectToController(int delayMs)
{
    const int generation = ++connectGeneration;
    QTimer::singleShot(delayMs, this, [this, generation] {
        if (generation != connectGeneration || online)
            return;
        online = true;
        emit connected();
    });
}

void SimController::disconnectFromController()
{
    ++connectGeneration;
    if (!online)
        return;
    online = false;
    emit disconnected(true);
}

} // namespace sim
