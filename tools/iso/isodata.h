#pragma once

#include <QDateTime>
#include <QString>

#include <Eigen/Core>
#include <array>
#include <optional>
#include <vector>

namespace iso {

// The poses measured at one test pose: where the controller believes the target is, and where
// the instrument saw it in each cycle, in the robot's base frame: positions in mm, attitudes as
// the angles a, b, c (degrees) of rotations about the base's x, y and z axes.
struct PointMeasurements
{
    QString name;
    std::array<double, 6> joints{};
    Eigen::Vector3d commanded = Eigen::Vector3d::Zero();
    Eigen::Vector3d commandedAttitude = Eigen::Vector3d::Zero();
    std::vector<Eigen::Vector3d> attained;
    std::vector<Eigen::Vector3d> attainedAttitude;
};

// One ISO test run as the task leaves it for the report generator.
struct MeasurementRecord
{
    QString robotName;
    QString serialNumber;
    QString ip;
    QDateTime date;
    int sampleTimes = 0;
    QString savePath;
    // How the measured point reached the base frame, for the report.
    QString measuredPoint;
    std::vector<PointMeasurements> points;
};

QByteArray measurementsToJson(const MeasurementRecord& record);
// Parses and checks a measurement file: at least one point, each with a name, a commanded pose
// and at least one attained pose of six finite numbers (position, then attitude).
std::optional<MeasurementRecord> measurementsFromJson(const QByteArray& json, QString* error);

} // namespace iso
