#include "isodata.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cmath>

namespace iso {

namespace {

QJsonArray toJson(const Eigen::Vector3d& position, const Eigen::Vector3d& attitude)
{
    return {position.x(), position.y(), position.z(), attitude.x(), attitude.y(), attitude.z()};
}

bool toPose(const QJsonValue& value, Eigen::Vector3d& position, Eigen::Vector3d& attitude)
{
    const QJsonArray numbers = value.toArray();
    if (!value.isArray() || numbers.size() != 6)
        return false;
    for (int i = 0; i < 6; ++i) {
        if (!numbers[i].isDouble() || !std::isfinite(numbers[i].toDouble()))
            return false;
        (i < 3 ? position : attitude)[i % 3] = numbers[i].toDouble();
    }
    return true;
}

bool readPoint(const QJsonValue& value, PointMeasurements& point, QString& problem)
{
    const QJsonObject object = value.toObject();
    point.name = object.value(QStringLiteral("name")).toString();
    if (point.name.isEmpty()) {
        problem = QStringLiteral("a point has no name");
        return false;
    }
    const QJsonArray joints = object.value(QStringLiteral("joints")).toArray();
    for (int i = 0; i < 6 && i < joints.size(); ++i)
        point.joints[std::size_t(i)] = joints[i].toDouble();
    if (!toPose(object.value(QStringLiteral("commanded")), point.commanded,
                point.commandedAttitude)) {
        problem = QStringLiteral("%1 has no commanded pose of six numbers").arg(point.name);
        return false;
    }
    const QJsonArray attained = object.value(QStringLiteral("attained")).toArray();
    for (const QJsonValue& item : attained) {
        Eigen::Vector3d position;
        Eigen::Vector3d attitude;
        if (!toPose(item, position, attitude)) {
            problem =
                QStringLiteral("%1 holds an attained pose that is not six numbers").arg(point.name);
            return false;
        }
        point.attained.push_back(position);
        point.attainedAttitude.push_back(attitude);
    }
    if (point.attained.empty()) {
        problem = QStringLiteral("%1 has no attained pose").arg(point.name);
        return false;
    }
    return true;
}

} // namespace

QByteArray measurementsToJson(const MeasurementRecord& record)
{
    QJsonArray points;
    for (const PointMeasurements& point : record.points) {
        QJsonArray joints;
        for (double angle : point.joints)
            joints.append(angle);
        QJsonArray attained;
        for (std::size_t i = 0; i < point.attained.size(); ++i)
            attained.append(toJson(point.attained[i], point.attainedAttitude[i]));
        points.append(QJsonObject{
            {QStringLiteral("name"), point.name},
            {QStringLiteral("joints"), joints},
            {QStringLiteral("commanded"), toJson(point.commanded, point.commandedAttitude)},
            {QStringLiteral("attained"), attained}});
    }
    const QJsonObject root{
        {QStringLiteral("format"), 2},
        {QStringLiteral("robot"),
         QJsonObject{{QStringLiteral("type"), record.robotName},
                     {QStringLiteral("serial_number"), record.serialNumber},
                     {QStringLiteral("ip"), record.ip}}},
        {QStringLiteral("date"), record.date.toString(Qt::ISODate)},
        {QStringLiteral("sample_times"), record.sampleTimes},
        {QStringLiteral("save_path"), record.savePath},
        {QStringLiteral("measured_point"), record.measuredPoint},
        {QStringLiteral("points"), points},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<MeasurementRecord> measurementsFromJson(const QByteArray& json, QString* error)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    const QJsonObject root = document.object();
    const QJsonArray points = root.value(QStringLiteral("points")).toArray();
    QString problem;
    if (!document.isObject())
        problem = QStringLiteral("not a JSON object (%1)").arg(parseError.errorString());
    else if (points.isEmpty())
        problem = QStringLiteral("no measured points");

    MeasurementRecord record;
    for (int i = 0; problem.isEmpty() && i < points.size(); ++i) {
        PointMeasurements point;
        if (readPoint(points[i], point, problem))
            record.points.push_back(point);
    }
    if (!problem.isEmpty()) {
        if (error)
            *error = problem;
        return std::nullopt;
    }
    const QJsonObject robot = root.value(QStringLiteral("robot")).toObject();
    record.robotName = robot.value(QStringLiteral("type")).toString();
    record.serialNumber = robot.value(QStringLiteral("serial_number")).toString();
    record.ip = robot.value(QStringLiteral("ip")).toString();
    record.date = QDateTime::fromString(root.value(QStringLiteral("date")).toString(), Qt::ISODate);
    record.sampleTimes = root.value(QStringLiteral("sample_times")).toInt();
    record.savePath = root.value(QStringLiteral("save_path")).toString();
    record.measuredPoint = root.value(QStringLiteral("measured_point")).toString();
    return record;
}

} // namespace iso
