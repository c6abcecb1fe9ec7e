#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

namespace calib {

// Parameters the operator wants left alone on one joint; joint index -1 is the last axis.
struct JointConstraint
{
    int jointIndex = 0;
    QStringList lockedParams;
};

// The calibration job file as the plug-in writes it.
struct CalibrationJob
{
    QString robotName;
    int modelType = 0;
    QString serialNumber;
    QString ip;
    std::vector<JointConstraint> constraints;

    // Four lock flags per joint (alpha, a, d, theta-as-zero-offset); empty with a message when a
    // constraint names a joint or parameter the robot does not have.
    std::vector<bool> lockMask(int axisCount, QString* error) const;
};

// Reads <root>/calibInfo.json; empty with a message when it is missing or malformed.
std::optional<CalibrationJob> readCalibrationJob(const QString& path, QString* error);

} // namespace calib
