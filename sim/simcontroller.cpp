#include "simcontroller.h"

#include "cellpaths.h"
#include "jsonnumbers.h"

#include <QJsonObject>
#include <QTimer>
#include <QtDebug>

#include <cmath>

namespace sim {

namespace {

QVector<double> toVector(const std::vector<double>& values)
{
    return QVector<double>(values.begin(), values.end());
}

constexpr int refusedCode = 22;
constexpr int unknownCommandCode = 404;

} // namespace

SimController::SimController(QObject* parent)
    : SimController(defaultCellStatePath(), parent)
{}

SimController::SimController(const QString& statePath, QObject* parent)
    : ControllerLink(parent)
    , path(statePath)
    , state(CellState::defaults())
{
    reloadState();
}

void SimController::reloadState()
{
    CellState read;
    bool created = false;
    if (!loadOrCreateCellState(path, read, &error, &created)) {
        // Keep the last good state; a broken file is replaced at the next reboot.
        qWarning().noquote() << "simulated controller:" << error;
        return;
    }
    error.clear();
    state = read;
    if (created)
        qInfo().noquote() << QStringLiteral("simulated cell: a new robot %1, seed %2")
                                 .arg(state.robotName)
                                 .arg(state.seed);
}

QVector<double> SimController::dhParameters() const
{
    return toVector(state.dh);
}

QVector<double> SimController::zeroCompensation() const
{
    return toVector(state.zeroCompensation);
}

QJsonObject SimController::reply(bool success, int code, const QJsonValue& data) const
{
    QJsonObject answer{{QStringLiteral("success"), success}, {QStringLiteral("code"), code}};
    if (!data.isNull() && !data.isUndefined())
        answer.insert(QStringLiteral("data"), data);
    return answer;
}

QJsonObject SimController::refusal(const QString& message) const
{
    QJsonObject answer = reply(false, refusedCode);
    answer.insert(QStringLiteral("message"), message);
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
        for (std::size_t i = 0; i + 3 < state.dh.size(); i += 4)
            links.append(toJsonArray({state.dh.begin() + long(i), state.dh.begin() + long(i) + 4}));
        return links;
    }
    return QJsonValue(QJsonValue::Undefined);
}

QJsonValue SimController::execCommand(const QString& command, const QVariant& argument)
{
    if (!online)
        return QJsonValue(QJsonValue::Undefined);
    const RobotType* type = state.robotType();
    const int axes = type ? type->axisCount : int(state.zeroCompensation.size());
    const QJsonObject payload = QJsonValue::fromVariant(argument).toObject();

    if (command == QLatin1String("factory.get_DH_params_link"))
        return reply(true, 0,
                     QJsonObject{{QStringLiteral("DH_PARAMS_LINK"), toJsonArray(state.dh)}});

    if (command == QLatin1String("factory.set_DH_params_all")) {
        std::vector<double> values;
        if (!finiteNumbers(payload.value(QStringLiteral("DH_params_all")), values))
            return refusal(QStringLiteral("DH_params_all must be an array of finite numbers"));
        // The axis links alone, or the axis links and the flange link.
        const std::size_t axisValues = std::size_t(4 * axes);
        if (values.size() != axisValues && values.size() != axisValues + 4)
            return refusal(QStringLiteral("DH_params_all must hold %1 or %2 values, not %3")
                               .arg(axisValues)
                               .arg(axisValues + 4)
                               .arg(values.size()));
        stagedDh = values;
        return reply(true, 0);
    }

    if (command == QLatin1String("ethercat.set_precision_compensation_zero")) {
        std::vector<double> values;
        if (!finiteNumbers(payload.value(QStringLiteral("joint_angle_A")), values))
            return refusal(QStringLiteral("joint_angle_A must be an array of finite numbers"));
        if (values.size() != std::size_t(axes))
            return refusal(QStringLiteral("joint_angle_A must hold %1 values, not %2")
                               .arg(axes)
                               .arg(values.size()));
        stagedZero = values;
        return reply(true, 0);
    }
    return reply(false, unknownCommandCode);
}

void SimController::applyStaged()
{
    for (std::size_t i = 0; i < stagedDh.size() && i < state.dh.size(); ++i)
        state.dh[i] = stagedDh[i];
    if (!stagedZero.empty())
        state.zeroCompensation = stagedZero;
    stagedDh.clear();
    stagedZero.clear();
    if (saveCellState(path, state, &error))
        error.clear();
    else
        qWarning().noquote() << "simulated controller:" << error;
}

bool SimController::fullCommand(const QString& command, const QJsonValue&, int)
{
    if (!online || command != QLatin1String("system.controller.reboot"))
        return false;
    // Answer first, then go away: the reboot applies and persists the staged values.
    QTimer::singleShot(0, this, [this] {
        disconnectFromController();
        applyStaged();
        connectToController(rebootDelayMs);
    });
    return true;
}

QString SimController::robotIP()
{
    return online ? state.ip : QString();
}

QString SimController::robotType()
{
    return online ? state.robotName : QString();
}

int SimController::robotModelType()
{
    const RobotType* type = state.robotType();
    return online && type ? type->modelCode : 0;
}

void SimController::connectToController(int delayMs)
{
    const int generation = ++connectGeneration;
    QTimer::singleShot(delayMs, this, [this, generation] {
        if (generation != connectGeneration || online)
            return;
        reloadState();
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
