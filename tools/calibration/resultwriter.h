#pragma once

#include "calibrationjob.h"
#include "identification.h"

#include <QString>

namespace calib {

// Everything one calibration run leaves behind.
struct CalibrationOutcome
{
    CalibrationJob job;
    QString robotName;
    // Where the measurements came from.
    QString source;
    // The model the run started from: the controller's table, the registered placement.
    CellModel start;
    // The controller's zero compensation when the run started.
    std::vector<double> compensation;
    std::vector<bool> locked;
    bool placementFixed = false;
    bool targetFixed = false;
    IdentificationResult identification;
    // Zero compensation that cancels the identified zero errors.
    std::vector<double> zeroPoints;
    std::vector<Measurement> fit;
    std::vector<Measurement> check;
    // On the held-out poses.
    PoseErrors before;
    PoseErrors after;
};

// Writes the result file afresh, atomically; false with a message on failure.
bool writeResultFile(const QString& path, const CalibrationOutcome& outcome, QString* error);
// Writes the side file with the placement and target offset, atomically.
bool writeCellFrames(const QString& path, const CalibrationOutcome& outcome, QString* error);
// Writes the operator's PDF report, atomically.
bool writeReport(const QString& path, const CalibrationOutcome& outcome, QString* error);

} // namespace calib
