#include "isoconfig.h"

#include "isofiles.h"

#include <QJsonArray>

#include <cmath>

namespace iso {

namespace {

std::optional<QJsonObject> isoSection(const QString& jobPath, const std::optional<QJsonObject>& job,
                                      QString* error)
{
    if (!job)
        return std::nullopt;
    const QJsonValue section = job->value(QStringLiteral("iso_config"));
    if (!section.isObject()) {
        if (error)
            *error =
                QStringLiteral("%1 holds no \"iso_config\" object: save the ISO settings first")
                    .arg(jobPath);
        return std::nullopt;
    }
    return section.toObject();
}

bool readSampleTimes(const QJsonValue& value, int& out, QString* error)
{
    const double number = value.toDouble(-1.0);
    if (!value.isDouble() || number != std::floor(number) || number < 0.0 ||
        number > maxSampleTimes) {
        if (error)
            *error = QStringLiteral("\"sample_times\" must be a whole number from 1 to %1")
                         .arg(maxSampleTimes);
        return false;
    }
    if (number == 0.0) {
        if (error)
            *error = QStringLiteral("\"sample_times\" is 0: the test needs at least one sample per "
                                    "point; set the samples per point and save again");
        return false;
    }
    out = int(number);
    return true;
}

bool readPose(const QJsonObject& poses, int index, TestPose& out, QString* error)
{
    const QString key = QStringLiteral("point%1").arg(index);
    const QJsonValue value = poses.value(key);
    const QJsonArray numbers = value.toArray();
    bool ok = value.isArray() && numbers.size() == 6;
    for (int i = 0; ok && i < 6; ++i) {
        ok = numbers[i].isDouble() && std::isfinite(numbers[i].toDouble());
        if (ok)
            out.joints[std::size_t(i)] = numbers[i].toDouble();
    }
    if (!ok) {
        if (error)
            *error =
                value.isUndefined()
                    ? QStringLiteral("\"iso_poses\" lacks %1: five test poses are needed").arg(key)
                    : QStringLiteral("\"iso_poses\".\"%1\" must hold six numbers").arg(key);
        return false;
    }
    out.name = QStringLiteral("P%1").arg(index);
    return true;
}

} // namespace

std::optional<IsoConfig> readIsoConfig(const QString& jobPath, QString* error)
{
    const std::optional<QJsonObject> job = readJsonObject(jobPath, error);
    const std::optional<QJsonObject> section = isoSection(jobPath, job, error);
    if (!section)
        return std::nullopt;
    IsoConfig config;
    if (!readSampleTimes(section->value(QStringLiteral("sample_times")), config.sampleTimes, error))
        return std::nullopt;
    config.savePath = section->value(QStringLiteral("save_path")).toString();
    const QJsonObject poses = section->value(QStringLiteral("iso_poses")).toObject();
    for (int index = 1; index <= 5; ++index) {
        TestPose pose;
        if (!readPose(poses, index, pose, error))
            return std::nullopt;
        config.poses.push_back(pose);
    }
    const QJsonObject profile = job->value(QStringLiteral("robot_profile")).toObject();
    config.robotName = profile.value(QStringLiteral("robot_name")).toString();
    config.serialNumber = profile.value(QStringLiteral("serial_number")).toString();
    return config;
}

std::optional<QString> readSavePath(const QString& jobPath, QString* error)
{
    const std::optional<QJsonObject> section =
        isoSection(jobPath, readJsonObject(jobPath, error), error);
    if (!section)
        return std::nullopt;
    const QString path = section->value(QStringLiteral("save_path")).toString();
    if (path.isEmpty()) {
        if (error)
            *error = QStringLiteral("\"iso_config\" names no report folder (\"save_path\")");
        return std::nullopt;
    }
    return path;
}

} // namespace iso
