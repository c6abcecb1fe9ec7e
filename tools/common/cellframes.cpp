#include "cellframes.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <atomicfile.h>
#include <cmath>

namespace calib {

namespace {

constexpr qint64 maxBytes = 64 * 1024;

QJsonArray toJson(const Eigen::Vector3d& v)
{
    return {v.x(), v.y(), v.z()};
}

bool toVector(const QJsonValue& value, Eigen::Vector3d& out)
{
    const QJsonArray numbers = value.toArray();
    if (numbers.size() != 3)
        return false;
    for (int k = 0; k < 3; ++k) {
        if (!numbers[k].isDouble() || !std::isfinite(numbers[k].toDouble()))
            return false;
        out[k] = numbers[k].toDouble();
    }
    return true;
}

} // namespace

QString cellFramesPath(const QString& root)
{
    return root + QStringLiteral("/optimized_cell.json");
}

QByteArray cellFramesToJson(const CellFrames& frames)
{
    QJsonArray rotation;
    for (int row = 0; row < 3; ++row)
        rotation.append(toJson(frames.placement.linear().row(row).transpose()));
    const QJsonObject root{
        {QStringLiteral("file_type"), QStringLiteral("calib_cell")},
        {QStringLiteral("robot_name"), frames.robotName},
        {QStringLiteral("serial_number"), frames.serialNumber},
        {QStringLiteral("instrument_placement"),
         QJsonObject{{QStringLiteral("rotation"), rotation},
                     {QStringLiteral("translation_mm"), toJson(frames.placement.translation())},
                     {QStringLiteral("fixed"), frames.placementFixed}}},
        {QStringLiteral("target_offset"),
         QJsonObject{{QStringLiteral("offset_mm"), toJson(frames.targetOffset)},
                     {QStringLiteral("fixed"), frames.targetFixed}}}};
    return QJsonDocument(root).toJson(QJsonDocument::Indented);
}

std::optional<CellFrames> readCellFrames(const QString& path, QString* error)
{
    const QFileInfo info(path);
    if (!info.exists()) {
        if (error)
            error->clear();
        return std::nullopt;
    }
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    };
    const std::optional<QByteArray> content = sim::readRegularFile(path, maxBytes);
    if (!content)
        return fail(QStringLiteral("not a readable file of at most 64 KiB"));
    const QJsonObject root = QJsonDocument::fromJson(*content).object();
    if (root.value(QStringLiteral("file_type")).toString() != QLatin1String("calib_cell"))
        return fail(QStringLiteral("not a calibration side file (\"file_type\" \"calib_cell\")"));
    const QJsonObject placement = root.value(QStringLiteral("instrument_placement")).toObject();
    const QJsonObject target = root.value(QStringLiteral("target_offset")).toObject();
    CellFrames frames;
    frames.robotName = root.value(QStringLiteral("robot_name")).toString();
    frames.serialNumber = root.value(QStringLiteral("serial_number")).toString();
    const QJsonArray rows = placement.value(QStringLiteral("rotation")).toArray();
    Eigen::Matrix3d rotation;
    Eigen::Vector3d row;
    for (int r = 0; r < 3; ++r) {
        if (!toVector(rows.at(r), row))
            return fail(QStringLiteral("\"rotation\" must be three rows of three numbers"));
        rotation.row(r) = row.transpose();
    }
    if ((rotation.transpose() * rotation - Eigen::Matrix3d::Identity()).norm() > 1e-6 ||
        rotation.determinant() < 0.0)
        return fail(QStringLiteral("\"rotation\" is not a rotation"));
    Eigen::Vector3d translation;
    if (!toVector(placement.value(QStringLiteral("translation_mm")), translation) ||
        !toVector(target.value(QStringLiteral("offset_mm")), frames.targetOffset))
        return fail(QStringLiteral("\"translation_mm\" and \"offset_mm\" must hold three numbers"));
    frames.placement.linear() = rotation;
    frames.placement.translation() = translation;
    frames.placementFixed = placement.value(QStringLiteral("fixed")).toBool();
    frames.targetFixed = target.value(QStringLiteral("fixed")).toBool();
    return frames;
}

} // namespace calib
