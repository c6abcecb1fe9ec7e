#pragma once

#include "identification.h"

#include <QString>

#include <optional>
#include <vector>

namespace calib {

// The site's configuration of the calibration tool, kalvo_calib_cli/config.json below the
// calibration root. Every member is optional:
//   "measurements": a recorded measurement file to use instead of the simulated instrument
//   "initial_dh":   the starting DH table and zero points for a run without a controller
//   "base_frame":   true when the measurements are already in the robot's base frame
//   "flange":       true when they are of the flange itself rather than a target on a tool
//   "instrument":   {"position_sigma_mm", "position_sigma_mm_per_m", "orientation_sigma_deg"}
// Relative file names are taken from the calibration root.
struct SiteConfig
{
    QString measurements;
    QString initialDh;
    bool baseFrame = false;
    bool flange = false;
    InstrumentUncertainty uncertainty;
};

// The configuration below root, or the defaults when there is none; empty with a message when
// it is unreadable or malformed.
std::optional<SiteConfig> readSiteConfig(const QString& root, QString* error);

// A starting DH table and zero points in the controller's layout: one JSON array of four
// numbers per link for axisCount + 1 links, then optionally one zero point per axis (zeros when
// absent).
struct InitialModel
{
    std::vector<double> dh;
    std::vector<double> zeroPoints;
};
std::optional<InitialModel> readInitialDh(const QString& path, int axisCount, QString* error);

} // namespace calib
