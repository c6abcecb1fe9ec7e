#pragma once

#include "resultwriter.h"

#include <QByteArray>

namespace calib {

// The operator's PDF report of one calibration: robot and run, position error before and after
// per pose for the fitted and the held-out poses, their histogram, and the parameter table
// with standard deviations, held parameters and strong correlations flagged. Needs a
// QGuiApplication.
QByteArray calibrationReport(const CalibrationOutcome& outcome);

} // namespace calib
