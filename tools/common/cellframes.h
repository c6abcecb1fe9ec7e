#pragma once

#include <QByteArray>
#include <QString>

#include <Eigen/Geometry>
#include <optional>

namespace calib {

// Where the instrument stands and where the target sits on the flange, as the last calibration
// found them: the file beside the result file that the ISO test takes its measured point from.
// The plug-in does not read it.
struct CellFrames
{
    QString robotName;
    QString serialNumber;
    // Takes points of the robot's base frame into the instrument's frame.
    Eigen::Isometry3d placement = Eigen::Isometry3d::Identity();
    // Flange frame, mm.
    Eigen::Vector3d targetOffset = Eigen::Vector3d::Zero();
    // Held by the calibration: the data were in the base frame, or of the flange itself.
    bool placementFixed = false;
    bool targetFixed = false;
};

// <root>/optimized_cell.json
QString cellFramesPath(const QString& root);

QByteArray cellFramesToJson(const CellFrames& frames);
// Empty with a message when the file is unreadable or malformed; empty with an empty message
// when there is none.
std::optional<CellFrames> readCellFrames(const QString& path, QString* error);

} // namespace calib
