#pragma once

#include <QDateTime>
#include <QString>

#include <Eigen/Core>
#include <array>
#include <cellstate.h>
#include <optional>
#include <vector>

namespace iso {

// The positions measured at one test pose: where the controller believes the flange is, and
// where the instrument saw it in each cycle (mm, robot base frame).
struct PointMeasurements
{
    QString name;
    std::array<double, 6> joints{};
    Eigen::Vector3d commanded = Eigen::Vector3d::Zero();
    std::vector<Eigen::Vector3d> attained;
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
    sim::InstrumentSettings instrument;
    std::vector<PointMeasurements> points;
};

QByteArray measurementsToJson(const MeasurementRecord& record);
// Parses and checks a measurement file: at least one point, each with a name, a commanded
// position and at least one attained position of finite numbers.
std::optional<MeasurementRecord> measurementsFromJson(const QByteArray& json, QString* error);

} // namespace iso
