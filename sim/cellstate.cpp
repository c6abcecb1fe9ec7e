#include "cellstate.h"

#include "atomicfile.h"
#include "jsonnumbers.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <algorithm>
#include <cmath>

namespace sim {

namespace {

constexpr int stateFormat = 2;
constexpr qint64 maxStateBytes = 1024 * 1024;
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

bool ErrorSources::operator==(const ErrorSources& other) const
{
    return placement == other.placement && targetOffset == other.targetOffset &&
           gravity == other.gravity && transmission == other.transmission &&
           distanceNoise == other.distanceNoise;
}

QStringList ErrorSources::names()
{
    return {QStringLiteral("placement"), QStringLiteral("target_offset"), QStringLiteral("gravity"),
            QStringLiteral("transmission"), QStringLiteral("distance_noise")};
}

bool* ErrorSources::find(const QString& name)
{
    bool* switches[] = {&placement, &targetOffset, &gravity, &transmission, &distanceNoise};
    const int index = names().indexOf(name);
    return index < 0 ? nullptr : switches[index];
}

ErrorSources ErrorSources::none()
{
    ErrorSources off;
    for (const QString& name : names())
        *off.find(name) = false;
    return off;
}

std::optional<ErrorSources> ErrorSources::parse(const QString& text, QString* error)
{
    const QString trimmed = text.trimmed();
    if (trimmed == QLatin1String("all"))
        return ErrorSources();
    ErrorSources sources = none();
    if (trimmed == QLatin1String("none"))
        return sources;
    for (const QString& name : trimmed.split(QLatin1Char(','))) {
        bool* source = sources.find(name.trimmed());
        if (!source) {
            setError(error, QStringLiteral("unknown error source \"%1\" (known: all, none, %2)")
                                .arg(name.trimmed(), names().join(QStringLiteral(", "))));
            return std::nullopt;
        }
        *source = true;
    }
    return sources;
}

CellState CellState::defaults(const RobotType& type, std::uint64_t seed)
{
    CellState state;
    state.robotName = type.name;
    state.serialNumber = type.name + QStringLiteral("-2309-0417");
    state.ip = QStringLiteral("192.168.10.101");
    state.seed = seed;
    state.dh = type.nominalDh;
    state.zeroCompensation.assign(std::size_t(type.axisCount), 0.0);
    state.linkMassesKg = type.linkMassesKg;
    state.payloadKg = type.payloadKg;
    return state;
}

CellState CellState::fresh(const RobotType& type, std::optional<std::uint64_t> seed)
{
    // Seeds short enough to read out and type in again.
    return defaults(type, seed ? *seed : QRandomGenerator::system()->bounded(1u, 1000000000u));
}

std::optional<CellReset> CellReset::fromOptions(const QString& robot, const QString& seed,
                                                const QString& sources, QString* error)
{
    CellReset reset;
    if (!robot.isEmpty()) {
        reset.type = findRobotType(robot);
        if (!reset.type) {
            QStringList known;
            for (const RobotType& type : robotTypes())
                known << type.name;
            setError(error, QStringLiteral("unknown robot \"%1\" (known: %2)")
                                .arg(robot, known.join(QStringLiteral(", "))));
            return std::nullopt;
        }
    }
    if (!seed.isEmpty()) {
        bool ok = false;
        reset.seed = seed.toULongLong(&ok);
        if (!ok || double(*reset.seed) > largestSeed) {
            setError(error, QStringLiteral("the seed must be a whole number from 0 to 2^53 - 1"));
            return std::nullopt;
        }
    }
    if (!sources.isEmpty()) {
        const std::optional<ErrorSources> parsed = ErrorSources::parse(sources, error);
        if (!parsed)
            return std::nullopt;
        reset.sources = *parsed;
    }
    return reset;
}

CellState CellReset::state() const
{
    CellState state = CellState::fresh(*type, seed);
    state.sources = sources;
    return state;
}

const RobotType* CellState::robotType() const
{
    return findRobotType(robotName);
}

bool loadCellState(const QString& path, CellState& state, QString* error)
{
    const std::optional<QByteArray> content = readRegularFile(path, maxStateBytes);
    if (!content) {
        setError(error, QStringLiteral("cannot read cell state %1: not a readable regular file of "
                                       "at most 1 MiB")
                            .arg(path));
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*content, &parseError);
    if (!document.isObject()) {
        setError(error, QStringLiteral("cell state %1 is not a JSON object: %2")
                            .arg(path, parseError.errorString()));
        return false;
    }
    const QJsonObject root = document.object();
    const QJsonObject robot = root.value(QStringLiteral("robot")).toObject();
    const QJsonObject controller = root.value(QStringLiteral("controller")).toObject();
    const QJsonObject instrument = root.value(QStringLiteral("instrument")).toObject();
    const QJsonObject sources = root.value(QStringLiteral("error_sources")).toObject();
    const auto fail = [&](const QString& why) {
        setError(error, QStringLiteral("cell state %1: %2").arg(path, why));
        return false;
    };

    CellState read;
    read.robotName = robot.value(QStringLiteral("type")).toString();
    read.serialNumber = robot.value(QStringLiteral("serial_number")).toString();
    read.ip = robot.value(QStringLiteral("ip")).toString();
    const RobotType* type = read.robotType();
    if (!type)
        return fail(QStringLiteral("unknown robot type \"%1\"").arg(read.robotName));
    const QJsonValue seed = robot.value(QStringLiteral("seed"));
    const double seedValue = seed.toDouble(-1.0);
    if (!seed.isDouble() || seedValue < 0.0 || seedValue > largestSeed ||
        seedValue != std::floor(seedValue))
        return fail(QStringLiteral("\"seed\" must be a non-negative integer"));
    read.seed = std::uint64_t(seedValue);
    if (!finiteNumbers(controller.value(QStringLiteral("dh_params")), read.dh) ||
        read.dh.size() != type->nominalDh.size())
        return fail(
            QStringLiteral("\"dh_params\" must hold %1 numbers").arg(type->nominalDh.size()));
    if (!finiteNumbers(controller.value(QStringLiteral("zero_compensation")),
                       read.zeroCompensation) ||
        read.zeroCompensation.size() != std::size_t(type->axisCount))
        return fail(
            QStringLiteral("\"zero_compensation\" must hold %1 numbers").arg(type->axisCount));

    // Members a cell of an earlier format lacks take the robot type's values.
    read.linkMassesKg = type->linkMassesKg;
    read.payloadKg = type->payloadKg;
    const QJsonValue masses = robot.value(QStringLiteral("link_masses_kg"));
    if (!masses.isUndefined() &&
        (!finiteNumbers(masses, read.linkMassesKg) ||
         read.linkMassesKg.size() != std::size_t(type->axisCount) ||
         *std::min_element(read.linkMassesKg.begin(), read.linkMassesKg.end()) < 0.0))
        return fail(QStringLiteral("\"link_masses_kg\" must hold %1 non-negative numbers")
                        .arg(type->axisCount));
    if (!nonNegative(robot, "payload_kg", read.payloadKg))
        return fail(QStringLiteral("\"payload_kg\" must be a non-negative number"));
    if (!nonNegative(instrument, "position_noise_mm", read.instrument.positionNoiseMm) ||
        !nonNegative(instrument, "position_noise_mm_per_m", read.instrument.positionNoiseMmPerM) ||
        !nonNegative(instrument, "orientation_noise_deg", read.instrument.orientationNoiseDeg) ||
        !nonNegative(instrument, "joint_jitter_deg", read.instrument.jointJitterDeg))
        return fail(QStringLiteral("instrument noise must be non-negative"));
    for (auto it = sources.begin(); it != sources.end(); ++it) {
        bool* source = read.sources.find(it.key());
        if (!source || !it.value().isBool())
            return fail(QStringLiteral("\"error_sources\" holds switches (true or false) of %1")
                            .arg(ErrorSources::names().join(QStringLiteral(", "))));
        *source = it.value().toBool();
    }
    state = read;
    return true;
}

bool saveCellState(const QString& path, const CellState& state, QString* error)
{
    const QJsonObject robot{{QStringLiteral("type"), state.robotName},
                            {QStringLiteral("serial_number"), state.serialNumber},
                            {QStringLiteral("ip"), state.ip},
                            {QStringLiteral("seed"), double(state.seed)},
                            {QStringLiteral("link_masses_kg"), toJsonArray(state.linkMassesKg)},
                            {QStringLiteral("payload_kg"), state.payloadKg}};
    const QJsonObject controller{
        {QStringLiteral("dh_params"), toJsonArray(state.dh)},
        {QStringLiteral("zero_compensation"), toJsonArray(state.zeroCompensation)}};
    const QJsonObject instrument{
        {QStringLiteral("position_noise_mm"), state.instrument.positionNoiseMm},
        {QStringLiteral("position_noise_mm_per_m"), state.instrument.positionNoiseMmPerM},
        {QStringLiteral("orientation_noise_deg"), state.instrument.orientationNoiseDeg},
        {QStringLiteral("joint_jitter_deg"), state.instrument.jointJitterDeg}};
    QJsonObject sources;
    ErrorSources switches = state.sources;
    for (const QString& name : ErrorSources::names())
        sources.insert(name, *switches.find(name));
    const QJsonObject root{{QStringLiteral("format"), stateFormat},
                           {QStringLiteral("robot"), robot},
                           {QStringLiteral("controller"), controller},
                           {QStringLiteral("instrument"), instrument},
                           {QStringLiteral("error_sources"), sources}};

    return writeFileAtomically(path, QJsonDocument(root).toJson(QJsonDocument::Indented), error);
}

bool loadOrCreateCellState(const QString& path, CellState& state, QString* error, bool* created)
{
    if (created)
        *created = false;
    if (QFileInfo::exists(path))
        return loadCellState(path, state, error);
    const CellState fresh = CellState::fresh(defaultRobotType());
    if (!saveCellState(path, fresh, error))
        return false;
    state = fresh;
    if (created)
        *created = true;
    return true;
}

} // namespace sim
