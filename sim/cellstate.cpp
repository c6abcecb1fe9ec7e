#include "cellstate.h"

#include "atomicfile.h"
#include "jsonnumbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr int stateFormat = 1;
// Seeds travel as JSON numbers, which hold integers exactly only up to 2^53.
constexpr double largestSeed = 9007199254740991.0;

void setError(QString* error, const QString& text)
{
    if (error)
        *error = text;
}

bool nonNegative(const QJsonObject& object, const char* key, double& out)
{
    const QJsonValue value = object.value(QLatin1String(key));
    if (value.isUndefined())
        return true;
    if (!value.isDouble() || !(value.toDouble() >= 0.0) || !std::isfinite(value.toDouble()))
        return false;
    out = value.toDouble();
    return true;
}

} // namespace

CellState CellState::defaults(const RobotType& type, std::uint64_t seed)
{
    CellState state;
    state.robotName = type.name;
    state.serialNumber = type.name + QStringLiteral("-2309-0417");
    state.ip = QStringLiteral("192.168.10.101");
    state.seed = seed;
    state.dh = type.nominalDh;
    state.zeroCompensation.assign(std::size_t(type.axisCount), 0.0);
    return state;
}

const RobotType* CellState::robotType() const
{
    return findRobotType(robotName);
}

bool loadCellState(const QString& path, CellState& state, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        setError(error,
                 QStringLiteral("cannot read cell state %1: %2").arg(path, file.errorString()));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (!document.isObject()) {
        setError(error, QStringLiteral("cell state %1 is not a JSON object: %2")
                            .arg(path, parseError.errorString()));
        return false;
    }
    const QJsonObject root = document.object();
    const QJsonObject robot = root.value(QStringLiteral("robot")).toObject();
    const QJsonObject controller = root.value(QStringLiteral("controller")).toObject();
    const QJsonObject instrument = root.value(QStringLiteral("instrument")).toObject();

    CellState read;
    read.robotName = robot.value(QStringLiteral("type")).toString();
    read.serialNumber = robot.value(QStringLiteral("serial_number")).toString();
    read.ip = robot.value(QStringLiteral("ip")).toString();
    const RobotType* type = read.robotType();
    if (!type) {
        setError(error, QStringLiteral("cell state %1 names an unknown robot type \"%2\"")
                            .arg(path, read.robotName));
        return false;
    }
    const QJsonValue seed = robot.value(QStringLiteral("seed"));
    const double seedValue = seed.toDouble(-1.0);
    if (!seed.isDouble() || seedValue < 0.0 || seedValue > largestSeed ||
        seedValue != std::floor(seedValue)) {
        setError(
            error,
            QStringLiteral("cell state %1: \"seed\" must be a non-negative integer").arg(path));
        return false;
    }
    read.seed = std::uint64_t(seedValue);
    if (!finiteNumbers(controller.value(QStringLiteral("dh_params")), read.dh) ||
        read.dh.size() != type->nominalDh.size()) {
        setError(error, QStringLiteral("cell state %1: \"dh_params\" must hold %2 numbers")
                            .arg(path)
                            .arg(type->nominalDh.size()));
        return false;
    }
    if (!finiteNumbers(controller.value(QStringLiteral("zero_compensation")),
                       read.zeroCompensation) ||
        read.zeroCompensation.size() != std::size_t(type->axisCount)) {
        setError(error, QStringLiteral("cell state %1: \"zero_compensation\" must hold %2 numbers")
                            .arg(path)
                            .arg(type->axisCount));
        return false;
    }
    if (!nonNegative(instrument, "position_noise_mm", read.instrument.positionNoiseMm) ||
        !nonNegative(instrument, "orientation_noise_deg", read.instrument.orientationNoiseDeg) ||
        !nonNegative(instrument, "joint_jitter_deg", read.instrument.jointJitterDeg)) {
        setError(error,
                 QStringLiteral("cell state %1: instrument noise must be non-negative").arg(path));
        return false;
    }
    state = read;
    return true;
}

bool saveCellState(const QString& path, const CellState& state, QString* error)
{
    const QJsonObject robot{{QStringLiteral("type"), state.robotName},
                            {QStringLiteral("serial_number"), state.serialNumber},
                            {QStringLiteral("ip"), state.ip},
                            {QStringLiteral("seed"), double(state.seed)}};
    const QJsonObject controller{
        {QStringLiteral("dh_params"), toJsonArray(state.dh)},
        {QStringLiteral("zero_compensation"), toJsonArray(state.zeroCompensation)}};
    const QJsonObject instrument{
        {QStringLiteral("position_noise_mm"), state.instrument.positionNoiseMm},
        {QStringLiteral("orientation_noise_deg"), state.instrument.orientationNoiseDeg},
        {QStringLiteral("joint_jitter_deg"), state.instrument.jointJitterDeg}};
    const QJsonObject root{{QStringLiteral("format"), stateFormat},
                           {QStringLiteral("robot"), robot},
                           {QStringLiteral("controller"), controller},
                           {QStringLiteral("instrument"), instrument}};

    return writeFileAtomically(path, QJsonDocument(root).toJson(QJsonDocument::Indented), error);
}

bool loadOrCreateCellState(const QString& path, CellState& state, QString* error)
{
    if (QFileInfo::exists(path))
        return loadCellState(path, state, error);
    const CellState fresh = CellState::defaults();
    if (!saveCellState(path, fresh, error))
        return false;
    state = fresh;
    return true;
}

} // namespace sim
