#include "calibrationrun.h"

#include "calibrationjob.h"
#include "resultwriter.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <cellframes.h>
#include <cellpaths.h>
#include <measurementsource.h>
#include <robottypes.h>
#include <workspace.h>

namespace calib {

namespace {

// Measurements of one run differ from the hidden deviations' random stream.
constexpr std::uint64_t sampleStream = 0x9a5e5ULL;

std::ostream& operator<<(std::ostream& stream, const QString& text)
{
    return stream << text.toStdString();
}

// The cell's robot, when the job names it (by name, model code or both, consistently).
const sim::RobotType* jobRobot(const CalibrationJob& job, const sim::CellState& cell,
                               QString& error)
{
    const sim::RobotType* byName =
        job.robotName.isEmpty() ? nullptr : sim::findRobotType(job.robotName);
    const sim::RobotType* byCode = sim::findRobotType(job.modelType);
    if ((!job.robotName.isEmpty() && !byName) || (!byName && !byCode) ||
        (byName && byCode && byName != byCode) || (byName && !byCode && job.modelType != 0)) {
        error = QStringLiteral("unknown robot \"%1\" (model type %2)")
                    .arg(job.robotName)
                    .arg(job.modelType);
        return nullptr;
    }
    const sim::RobotType* type = byName ? byName : byCode;
    if (type != cell.robotType()) {
        error = QStringLiteral("the job names robot %1 but the cell holds %2")
                    .arg(type->name, cell.robotName);
        return nullptr;
    }
    return type;
}

} // namespace

int runCalibration(const ToolOptions& options, std::ostream& out, std::ostream& err)
{
    const QDir root(options.root);
    QString error;
    const std::optional<CalibrationJob> job =
        readCalibrationJob(root.filePath(QStringLiteral("calibInfo.json")), &error);
    if (!job) {
        err << "calibration failed: " << error << std::endl;
        return ExitJobFile;
    }

    CalibrationOutcome outcome;
    outcome.job = *job;
    sim::CellState cell;
    const QString statePath = sim::cellStatePathForRoot(options.root);
    if (!sim::loadOrCreateCellState(statePath, cell, &error)) {
        err << "calibration failed: " << error << std::endl;
        return ExitCell;
    }
    const sim::RobotType* type = jobRobot(*job, cell, error);
    if (!type) {
        err << "calibration failed: " << error << std::endl;
        return ExitCell;
    }
    outcome.robotName = type->name;
    outcome.locked = job->lockMask(type->axisCount, &error);
    if (outcome.locked.empty()) {
        err << "calibration failed: " << error << std::endl;
        return ExitJobFile;
    }

    const int total = options.poses + options.validationPoses;
    const auto configurations = sim::sampleJointConfigurations(*type, total, sampleStream);
    const auto printProgress = [&out](int done, int all) {
        out << "[PROGRESS] " << done << "/" << all << std::endl;
    };
    const std::unique_ptr<sim::MeasurementSource> source = sim::openSimulatedInstrument(
        cell, options.noiseSeed.value_or(QRandomGenerator::system()->generate64()));
    outcome.source = source->description();
    std::optional<std::vector<Measurement>> taken =
        source->measure(configurations, printProgress, &error);
    if (!taken) {
        err << "calibration failed: " << error << std::endl;
        return ExitCell;
    }
    outcome.fit.assign(taken->begin(), taken->begin() + options.poses);
    outcome.check.assign(taken->begin() + options.poses, taken->end());

    out << "[PHASE] OPTIMIZATION" << std::endl;
    outcome.start.dh = cell.dh;
    outcome.start.zeroOffsets.assign(std::size_t(type->axisCount), 0.0);
    outcome.start.placement = registerPlacement(outcome.start, outcome.fit);
    outcome.compensation = cell.zeroCompensation;
    IdentificationProblem problem;
    problem.start = outcome.start;
    problem.locked = outcome.locked;
    problem.measurements = outcome.fit;
    problem.maxIterations = options.maxIterations;
    problem.onIteration = printProgress;
    outcome.identification = identify(problem);
    if (!outcome.identification.ok) {
        err << "calibration failed: " << outcome.identification.error << std::endl;
        return ExitSolver;
    }
    out << "[PROGRESS] " << options.maxIterations << "/" << options.maxIterations << std::endl;

    outcome.before = poseErrors(outcome.start, outcome.check);
    outcome.after = poseErrors(outcome.identification.model, outcome.check);
    for (int j = 0; j < type->axisCount; ++j)
        outcome.zeroPoints.push_back(outcome.compensation[std::size_t(j)] +
                                     outcome.identification.model.zeroOffsets[std::size_t(j)]);

    // The side file first: the ISO test must not pair a new result with an old placement.
    if (!writeCellFrames(cellFramesPath(options.root), outcome, &error) ||
        !writeResultFile(root.filePath(QStringLiteral("optimized_dh.json")), outcome, &error) ||
        !writeReport(root.filePath(QStringLiteral("calibration_report.txt")), outcome, &error)) {
        err << "calibration failed: " << error << std::endl;
        return ExitWrite;
    }
    out << "held-out position error " << outcome.before.meanPositionMm << " mm -> "
        << outcome.after.meanPositionMm << " mm" << std::endl;
    return ExitSuccess;
}

int calibrationToolMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                        std::ostream& err)
{
    static const char usage[] =
        "usage: KalvoCalibrationTool.exe --path <calibration root> [--poses N] "
        "[--validation N] [--iterations N] [--seed N]\n"
        "exit codes: 0 success, 1 usage, 2 job file, 3 cell or robot, 4 solver, 5 writing\n";
    ToolOptions options;
    QString path;
    for (int i = 1; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            out << usage;
            return ExitSuccess;
        }
        const bool hasValue = i + 1 < arguments.size();
        int* count = argument == QLatin1String("--poses")        ? &options.poses
                     : argument == QLatin1String("--validation") ? &options.validationPoses
                     : argument == QLatin1String("--iterations") ? &options.maxIterations
                                                                 : nullptr;
        if (argument == QLatin1String("--path") && hasValue) {
            path = arguments[++i];
        } else if (argument == QLatin1String("--seed") && hasValue) {
            bool ok = false;
            options.noiseSeed = arguments[++i].toULongLong(&ok);
            if (!ok) {
                err << "calibration failed: --seed needs a whole number\n" << usage;
                return ExitUsage;
            }
        } else if (count && hasValue) {
            bool ok = false;
            *count = arguments[++i].toInt(&ok);
            if (!ok || *count < 1 || *count > 100000) {
                err << "calibration failed: " << argument << " needs a positive count\n" << usage;
                return ExitUsage;
            }
        } else {
            err << "calibration failed: unexpected argument " << argument << "\n" << usage;
            return ExitUsage;
        }
    }
    if (path.isEmpty()) {
        err << "calibration failed: no calibration root given\n" << usage;
        return ExitUsage;
    }
    options.root = sim::resolveCalibrationRoot(path, toolFolder);
    if (options.root.isEmpty()) {
        err << "calibration failed: calibration root " << path << " not found" << std::endl;
        return ExitUsage;
    }
    return runCalibration(options, out, err);
}

} // namespace calib
