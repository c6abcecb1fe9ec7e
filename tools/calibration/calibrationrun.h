#pragma once

#include "identification.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <ostream>

namespace calib {

// Exit codes of the calibration tool.
enum ExitCode {
    ExitSuccess = 0,
    ExitUsage = 1,
    ExitJobFile = 2,
    ExitCell = 3,
    ExitSolver = 4,
    ExitWrite = 5,
    ExitInput = 6,
};

struct ToolOptions
{
    // Absolute calibration root: job file, result files and report lie directly inside it.
    QString root;
    int poses = 150;
    int validationPoses = 50;
    int maxIterations = 50;
    // Seed of the simulated instrument's noise; every run of a real instrument sees fresh
    // noise, so by default each run draws its own.
    std::optional<std::uint64_t> noiseSeed;
    // Override the site configuration.
    QString measurements;
    QString initialDh;
    bool baseFrame = false;
    bool flange = false;
};

// One calibration below options.root: reads the job file and the site configuration, takes
// the measurements (from the simulated instrument, recording them in measurements.csv, or from
// a recorded file), identifies, writes optimized_dh.json, optimized_cell.json and the report.
// Progress lines go to out, failures to err; returns an ExitCode.
int runCalibration(const ToolOptions& options, std::ostream& out, std::ostream& err);

// The tool's command line: "--path <root>" and options; toolFolder anchors a relative root.
int calibrationToolMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                        std::ostream& err);

} // namespace calib
