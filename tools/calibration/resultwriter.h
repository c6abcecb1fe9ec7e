#pragma once

#include "calibrationjob.h"
#include "identification.h"

#include <QString>

#include <cellstate.h>

namespace calib {

// Everything one calibration run leaves behind.
struct CalibrationOutcome
{
    CalibrationJob job;
    sim::CellState cell;
    std::vector<bool> locked;
    IdentificationResult identification;
    // Zero compensation that cancels the identified zero errors.
    std::vector<double> zeroPoints;
    PoseErrors before;
    PoseErrors after;
    int poses = 0;
    int validationPoses = 0;
};

// Writes the result file afresh, atomically; false with a message on failure.
bool writeResultFile(const QString& path, const CalibrationOutcome& outcome, QString* error);
// Writes the operator's report, atomically.
bool writeReport(const QString& path, const CalibrationOutcome& outcome, QString* error);

} // namespace calib
