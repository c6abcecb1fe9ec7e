#include "calibrationrun.h"

#include "calibrationjob.h"
#include "measurementfile.h"
#include "resultwriter.h"
#include "siteconfig.h"

#include <QDir>
#include <QRandomGenerator>

#include <algorithm>
#include <atomicfile.h>
#include <cellframes.h>
#include <cellpaths.h>
#include <cellstate.h>
#include <measurementsource.h>
#include <robottypes.h>
#include <workspace.h>

namespace calib {

namespace {

// The poses of a simulated run are the same in every run: only the noise is new.
constexpr std::uint64_t sampleStream = 0x9a5e5ULL;

std::ostream& operator<<(std::ostream& stream, const QString& text)
{
    return stream << text.toStdString();
}

// A run's failure: its exit code and what to tell the operator.
struct Failure
{
    int code = ExitSuccess;
    QString message;
};

// The simulated robot the job names (by name, model code or both, consistently), or null.
const sim::RobotType* simulatedRobot(const CalibrationJob& job)
{
    const sim::RobotType* byName =
        job.robotName.isEmpty() ? nullptr : sim::findRobotType(job.robotName);
    const sim::RobotType* byCode = sim::findRobotType(job.modelType);
    if ((!job.robotName.isEmpty() && !byName) || (!byName && !byCode) ||
        (byName && byCode && byName != byCode) || (byName && !byCode && job.modelType != 0))
        return nullptr;
    return byName ? byName : byCode;
}

QString unknownRobot(const CalibrationJob& job)
{
    return QStringLiteral("unknown robot \"%1\" (model type %2)")
        .arg(job.robotName)
        .arg(job.modelType);
}

// The cell below root, when it holds the job's robot.
std::optional<sim::CellState> jobCell(const ToolOptions& options, const CalibrationJob& job,
                                      const sim::RobotType* type, Failure& failure)
{
    failure.code = ExitCell;
    if (!type) {
        failure.message = unknownRobot(job);
        return std::nullopt;
    }
    sim::CellState cell;
    if (!sim::loadOrCreateCellState(sim::cellStatePathForRoot(options.root), cell,
                                    &failure.message))
        return std::nullopt;
    if (cell.robotType() != type) {
        failure.message = QStringLiteral("the job names robot %1 but the cell holds %2")
                              .arg(type->name, cell.robotName);
        return std::nullopt;
    }
    return cell;
}

// Fit and check sets: as recorded, or every third measurement held out.
void split(const std::vector<Measurement>& all, CalibrationOutcome& outcome)
{
    const bool recorded = std::any_of(all.begin(), all.end(), [](const Measurement& m) {
        return m.set != Measurement::Unassigned;
    });
    for (std::size_t i = 0; i < all.size(); ++i) {
        const bool check = recorded ? all[i].set == Measurement::Check : i % 3 == 2;
        (check ? outcome.check : outcome.fit).push_back(all[i]);
    }
}

int fail(std::ostream& err, const Failure& failure)
{
    err << "calibration failed: " << failure.message << std::endl;
    return failure.code;
}

} // namespace

int runCalibration(const ToolOptions& options, std::ostream& out, std::ostream& err)
{
    const QDir root(options.root);
    Failure failure{ExitJobFile, QString()};
    const std::optional<CalibrationJob> job =
        readCalibrationJob(root.filePath(QStringLiteral("calibInfo.json")), &failure.message);
    if (!job)
        return fail(err, failure);
    std::optional<SiteConfig> config = readSiteConfig(options.root, &failure.message);
    if (!config)
        return fail(err, {ExitInput, failure.message});
    if (!options.measurements.isEmpty())
        config->measurements = options.measurements;
    if (!options.initialDh.isEmpty())
        config->initialDh = options.initialDh;
    const bool recorded = !config->measurements.isEmpty();
    const sim::RobotType* type = simulatedRobot(*job);

    CalibrationOutcome outcome;
    outcome.job = *job;
    outcome.robotName = type ? type->name : job->robotName;
    outcome.placementFixed = options.baseFrame || config->baseFrame;
    outcome.targetFixed = options.flange || config->flange;
    int axes = type ? type->axisCount : 0;
    if (recorded && !type && config->initialDh.isEmpty())
        return fail(
            err, {ExitCell, unknownRobot(*job) + QStringLiteral(": give its starting DH table with "
                                                                "--initial-dh or \"initial_dh\"")});
    if (recorded && !type) {
        axes = measurementFileAxes(config->measurements, &failure.message);
        if (axes == 0)
            return fail(err, {ExitInput, failure.message});
    }

    // The starting model: the controller's, or the integrator's file.
    std::optional<sim::CellState> cell;
    if (!recorded || config->initialDh.isEmpty()) {
        cell = jobCell(options, *job, type, failure);
        if (!cell)
            return fail(err, failure);
        outcome.start.dh = cell->dh;
        outcome.compensation = cell->zeroCompensation;
    }
    if (!config->initialDh.isEmpty()) {
        const std::optional<InitialModel> initial =
            readInitialDh(config->initialDh, axes, &failure.message);
        if (!initial)
            return fail(err, {ExitInput, failure.message});
        outcome.start.dh = initial->dh;
        outcome.compensation = initial->zeroPoints;
    }
    outcome.start.zeroOffsets.assign(std::size_t(axes), 0.0);
    outcome.locked = job->lockMask(axes, &failure.message);
    if (outcome.locked.empty())
        return fail(err, {ExitJobFile, failure.message});

    const auto printProgress = [&out](int done, int all) {
        out << "[PROGRESS] " << done << "/" << all << std::endl;
    };
    std::vector<Measurement> measurements;
    if (recorded) {
        RecordedMeasurements file(config->measurements, axes);
        outcome.source = file.description();
        std::optional<std::vector<Measurement>> read =
            file.measure({}, printProgress, &failure.message);
        if (!read)
            return fail(err, {ExitInput, failure.message});
        measurements = std::move(*read);
    } else {
        const std::unique_ptr<sim::MeasurementSource> instrument = sim::openSimulatedInstrument(
            *cell, options.noiseSeed.value_or(QRandomGenerator::system()->generate64()));
        outcome.source = instrument->description();
        std::optional<std::vector<Measurement>> taken =
            instrument->measure(sim::sampleJointConfigurations(
                                    *type, options.poses + options.validationPoses, sampleStream),
                                printProgress, &failure.message);
        if (!taken)
            return fail(err, {ExitCell, failure.message});
        for (std::size_t i = 0; i < taken->size(); ++i)
            (*taken)[i].set = int(i) < options.poses ? Measurement::Fit : Measurement::Check;
        // Identified from the recording's own numbers, so that its replay gives the same result.
        const QByteArray csv = measurementsToCsv(*taken);
        if (!sim::writeFileAtomically(root.filePath(QStringLiteral("measurements.csv")), csv,
                                      &failure.message))
            return fail(err, {ExitWrite, failure.message});
        measurements = *parseMeasurementCsv(csv, axes, nullptr);
    }
    split(measurements, outcome);
    if (outcome.fit.size() < 3 || outcome.check.empty())
        return fail(err, {ExitInput, QStringLiteral("%1 holds %2 measurements to fit and %3 to "
                                                    "check: at least 3 and 1 are needed")
                                         .arg(outcome.source)
                                         .arg(outcome.fit.size())
                                         .arg(outcome.check.size())});

    out << "[PHASE] OPTIMIZATION" << std::endl;
    if (outcome.targetFixed)
        outcome.start.targetOffset.setZero();
    if (!outcome.placementFixed)
        outcome.start.placement = registerPlacement(outcome.start, outcome.fit);
    IdentificationProblem problem;
    problem.start = outcome.start;
    problem.locked = outcome.locked;
    problem.placementFixed = outcome.placementFixed;
    problem.targetFixed = outcome.targetFixed;
    problem.measurements = outcome.fit;
    problem.uncertainty = config->uncertainty;
    problem.maxIterations = options.maxIterations;
    problem.onIteration = printProgress;
    outcome.identification = identify(problem);
    if (!outcome.identification.ok)
        return fail(err, {ExitSolver, QString::fromStdString(outcome.identification.error)});
    out << "[PROGRESS] " << options.maxIterations << "/" << options.maxIterations << std::endl;

    outcome.before = poseErrors(outcome.start, outcome.check);
    outcome.after = poseErrors(outcome.identification.model, outcome.check);
    for (int j = 0; j < axes; ++j)
        outcome.zeroPoints.push_back(outcome.compensation[std::size_t(j)] +
                                     outcome.identification.model.zeroOffsets[std::size_t(j)]);

    // The side file first: the ISO test must not pair a new result with an old placement.
    if (!writeCellFrames(cellFramesPath(options.root), outcome, &failure.message) ||
        !writeResultFile(root.filePath(QStringLiteral("optimized_dh.json")), outcome,
                         &failure.message) ||
        !writeReport(root.filePath(QStringLiteral("calibration_report.pdf")), outcome,
                     &failure.message))
        return fail(err, {ExitWrite, failure.message});
    out << "held-out position error " << outcome.before.meanPositionMm << " mm -> "
        << outcome.after.meanPositionMm << " mm" << std::endl;
    return ExitSuccess;
}

int calibrationToolMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                        std::ostream& err)
{
    static const char usage[] =
        "usage: KalvoCalibrationTool.exe --path <calibration root> [--poses N] [--validation N]\n"
        "       [--iterations N] [--seed N] [--measurements FILE] [--initial-dh FILE]\n"
        "       [--base-frame] [--flange]\n"
        "exit codes: 0 success, 1 usage, 2 job file, 3 cell or robot, 4 solver, 5 writing,\n"
        "            6 measurement file or site configuration\n";
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
        QString* file = argument == QLatin1String("--measurements") ? &options.measurements
                        : argument == QLatin1String("--initial-dh") ? &options.initialDh
                        : argument == QLatin1String("--path")       ? &path
                                                                    : nullptr;
        if (file && hasValue && !arguments[i + 1].isEmpty()) {
            *file = arguments[++i];
        } else if (argument == QLatin1String("--base-frame")) {
            options.baseFrame = true;
        } else if (argument == QLatin1String("--flange")) {
            options.flange = true;
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
    // Files named on the command line are the operator's, taken from the working directory.
    for (QString* file : {&options.measurements, &options.initialDh}) {
        if (!file->isEmpty())
            *file = QDir::current().absoluteFilePath(*file);
    }
    return runCalibration(options, out, err);
}

} // namespace calib
