#pragma once

#include "identification.h"

#include <QString>
#include <QStringList>

#include <cellstate.h>
#include <cstdint>
#include <optional>
#include <ostream>
#include <vector>

namespace calib {

// Exit codes of the calibration tool.
enum ExitCode {
    ExitSuccess = 0,
    ExitUsage = 1,
    ExitJobFile = 2,
    ExitCell = 3,
    ExitSolver = 4,
    ExitWrite = 5,
};

struct ToolOptions
{
    // Absolute calibration root: job file, result file and report lie directly inside it.
    QString root;
    int poses = 60;
    int validationPoses = 30;
    int maxIterations = 50;
    // Seed of the instrument's noise; every run of a real instrument sees fresh noise, so by
    // default each run draws its own.
    std::optional<std::uint64_t> noiseSeed;
};

// One calibration on the cell below options.root: reads the job file, measures, identifies,
// writes optimized_dh.json and calibration_report.txt. Progress lines go to out, failures to
// err; returns an ExitCode.
int runCalibration(const ToolOptions& options, std::ostream& out, std::ostream& err);

// The tool's command line: "--path <root>" and options; toolFolder anchors a relative root.
int calibrationToolMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                        std::ostream& err);

} // namespace calib
