#include "calibrationjob.h"

#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomicfile.h>
#include <cmath>

namespace calib {

namespace {

constexpr qint64 maxJobBytes = 1024 * 1024;
const QStringList parameterNames{QStringLiteral("alpha"), QStringLiteral("a"), QStringLiteral("d"),
                                 QStringLiteral("theta")};

bool isInteger(const QJsonValue& value)
{
    return value.isDouble() && std::floor(value.toDouble()) == value.toDouble() &&
           std::abs(value.toDouble()) < 1e9;
}

std::optional<CalibrationJob> fail(QString* error, const QString& path, const QString& why)
{
    if (error)
        *error = QStringLiteral("job file %1: %2").arg(path, why);
    return std::nullopt;
}

} // namespace

std::vector<bool> CalibrationJob::lockMask(int axisCount, QString* error) const
{
    std::vector<bool> mask(std::size_t(4 * axisCount), false);
    for (const JointConstraint& constraint : constraints) {
        const int joint = constraint.jointIndex == -1 ? axisCount - 1 : constraint.jointIndex;
        if (joint < 0 || joint >= axisCount) {
            if (error)
                *error = QStringLiteral("joint index %1 does not exist on a robot with %2 axes")
                             .arg(constraint.jointIndex)
                             .arg(axisCount);
            return {};
        }
        for (const QString& name : constraint.lockedParams)
            mask[std::size_t(4 * joint + parameterNames.indexOf(name))] = true;
    }
    return mask;
}

std::optional<CalibrationJob> readCalibrationJob(const QString& path, QString* error)
{
    if (!QFileInfo::exists(path))
        return fail(error, path, QStringLiteral("not found"));
    const std::optional<QByteArray> content = sim::readRegularFile(path, maxJobBytes);
    if (!content)
        return fail(error, path, QStringLiteral("not a readable file of at most 1 MiB"));
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(*content, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(error, path, QStringLiteral("not valid JSON: ") + parseError.errorString());
    if (!document.isObject())
        return fail(error, path, QStringLiteral("the top level is not an object"));
    const QJsonObject root = document.object();

    const QJsonValue profileValue = root.value(QStringLiteral("robot_profile"));
    if (!profileValue.isObject())
        return fail(error, path, QStringLiteral("\"robot_profile\" is missing or not an object"));
    const QJsonObject profile = profileValue.toObject();
    CalibrationJob job;
    job.robotName = profile.value(QStringLiteral("robot_name")).toString();
    job.serialNumber = profile.value(QStringLiteral("serial_number")).toString();
    job.ip = profile.value(QStringLiteral("ip")).toString();
    const QJsonValue model = profile.value(QStringLiteral("model_type"));
    if (!model.isUndefined() && !isInteger(model))
        return fail(error, path, QStringLiteral("\"model_type\" is not an integer"));
    job.modelType = model.toInt();

    const QJsonValue constraintsValue = root.value(QStringLiteral("algorithm_constraints"));
    if (!constraintsValue.isArray())
        return fail(error, path,
                    QStringLiteral("\"algorithm_constraints\" is missing or not an array"));
    for (const QJsonValue& item : constraintsValue.toArray()) {
        const QJsonObject object = item.toObject();
        const QJsonValue index = object.value(QStringLiteral("joint_index"));
        const QJsonValue names = object.value(QStringLiteral("locked_params"));
        if (!item.isObject() || !isInteger(index) || !names.isArray())
            return fail(error, path,
                        QStringLiteral("every constraint needs an integer \"joint_index\" and "
                                       "an array \"locked_params\""));
        JointConstraint constraint;
        constraint.jointIndex = index.toInt();
        for (const QJsonValue& name : names.toArray()) {
            if (!parameterNames.contains(name.toString()))
                return fail(
                    error, path,
                    QStringLiteral("unknown locked parameter %1")
                        .arg(QString::fromUtf8(
                            QJsonDocument(QJsonArray{name}).toJson(QJsonDocument::Compact))));
            constraint.lockedParams.append(name.toString());
        }
        job.constraints.push_back(constraint);
    }
    return job;
}

} // namespace calib
