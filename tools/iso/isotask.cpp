#include "isotask.h"

#include "isoconfig.h"
#include "isodata.h"
#include "isofigures.h"
#include "isofiles.h"

#include <QFile>
#include <QRandomGenerator>
#include <QThread>

#include <atomicfile.h>
#include <cellframes.h>
#include <cellpaths.h>
#include <cellstate.h>
#include <kinematics.h>
#include <measurementsource.h>
#include <registration.h>
#include <stdexcept>
#include <workspace.h>

namespace iso {

namespace {

constexpr char failure[] = "ISO test failed";
// Where the target sits on the flange by the tool's drawing.
const Eigen::Vector3d nominalTargetOffset(0.0, 0.0, 100.0);
// Poses of the registration before any calibration, spread so that it takes the base frame of
// the whole workspace rather than fitting the test poses themselves.
constexpr int registrationPoses = 12;
constexpr std::uint64_t registrationStream = 0x150ULL;

// The joint angles the controller is commanded for a pose of six: further joints stay at 0.
std::vector<double> commandedJoints(const TestPose& pose, int axisCount)
{
    std::vector<double> joints(pose.joints.begin(), pose.joints.end());
    joints.resize(std::size_t(axisCount), 0.0);
    return joints;
}

QString outOfTravel(const IsoConfig& config, const sim::RobotType& type)
{
    for (const TestPose& pose : config.poses) {
        const std::vector<double> joints = commandedJoints(pose, type.axisCount);
        for (int j = 0; j < type.axisCount; ++j) {
            const sim::JointRange range = type.jointRanges[std::size_t(j)];
            const double angle = joints[std::size_t(j)];
            if (angle < range.minDeg || angle > range.maxDeg)
                return QStringLiteral("%1: joint %2 at %3 deg is outside its travel %4 to %5 deg")
                    .arg(pose.name)
                    .arg(j + 1)
                    .arg(angle)
                    .arg(range.minDeg)
                    .arg(range.maxDeg);
        }
    }
    return QString();
}

struct MeasuredFrames
{
    Eigen::Isometry3d placement = Eigen::Isometry3d::Identity();
    Eigen::Vector3d targetOffset = nominalTargetOffset;
    QString description;
};

// The last calibration's placement and target offset, when there is one for the cell's robot;
// false with a message when the file is unreadable or of another robot.
bool lastCalibration(const QString& root, const sim::CellState& cell,
                     std::optional<calib::CellFrames>& calibrated, QString& error)
{
    const QString path = calib::cellFramesPath(root);
    calibrated = calib::readCellFrames(path, &error);
    if (calibrated && calibrated->robotName != cell.robotName)
        error = QStringLiteral("%1 belongs to robot %2, but the cell holds %3")
                    .arg(path, calibrated->robotName, cell.robotName);
    return error.isEmpty();
}

// The instrument placement and target offset of the last calibration, or, before any, a
// best-fit registration of the nominal target against a few poses spread over the workspace.
std::optional<MeasuredFrames> measuredFrames(const std::optional<calib::CellFrames>& calibrated,
                                             const sim::CellState& cell,
                                             sim::MeasurementSource& instrument,
                                             const sim::MeasureProgress& settle, QString& error)
{
    MeasuredFrames frames;
    if (calibrated) {
        frames.placement = calibrated->placement;
        frames.targetOffset = calibrated->targetOffset;
        frames.description = QStringLiteral("through the instrument placement of the last "
                                            "calibration");
    } else {
        const std::vector<std::vector<double>> plan = sim::sampleJointConfigurations(
            *cell.robotType(), registrationPoses, registrationStream);
        const std::optional<std::vector<sim::Measurement>> seen =
            instrument.measure(plan, settle, &error);
        if (!seen)
            return std::nullopt;
        std::vector<Eigen::Vector3d> model;
        std::vector<Eigen::Vector3d> measured;
        for (const sim::Measurement& m : *seen) {
            const sim::Pose flange = sim::flangePose(cell.dh, m.jointsDeg);
            model.push_back(flange.position + flange.rotation * frames.targetOffset);
            measured.push_back(m.pose.position);
        }
        frames.placement = sim::registerPoints(model, measured);
        frames.description = QStringLiteral("through a best-fit registration on %1 poses (no "
                                            "calibration yet)")
                                 .arg(registrationPoses);
    }
    frames.description = QStringLiteral("target at (%1, %2, %3) mm on the flange, in the base "
                                        "frame ")
                             .arg(frames.targetOffset.x(), 0, 'f', 3)
                             .arg(frames.targetOffset.y(), 0, 'f', 3)
                             .arg(frames.targetOffset.z(), 0, 'f', 3) +
                         frames.description;
    return frames;
}

} // namespace

int runIsoTask(const TaskOptions& options, std::ostream& out, std::ostream& err)
{
    QString error;
    const std::optional<IsoConfig> config = readIsoConfig(jobFilePath(options.root), &error);
    if (!config) {
        err << failure << ": " << error << std::endl;
        return ExitJobFile;
    }
    sim::CellState cell;
    if (!sim::loadOrCreateCellState(sim::cellStatePathForRoot(options.root), cell, &error)) {
        err << failure << ": " << error << std::endl;
        return ExitCell;
    }
    const sim::RobotType* type = cell.robotType();
    if (!type || type->axisCount < 6) {
        err << failure << ": the cell's robot " << cell.robotName
            << " cannot take poses of six joints" << std::endl;
        return ExitCell;
    }
    if (!config->robotName.isEmpty() && config->robotName != cell.robotName) {
        err << failure << ": the job names robot " << config->robotName << " but the cell holds "
            << cell.robotName << std::endl;
        return ExitCell;
    }
    error = outOfTravel(*config, *type);
    if (!error.isEmpty()) {
        err << failure << ": " << error << std::endl;
        return ExitJobFile;
    }

    std::optional<calib::CellFrames> calibrated;
    if (!lastCalibration(options.root, cell, calibrated, error)) {
        err << failure << ": " << error << std::endl;
        return ExitData;
    }

    // A run that does not finish must not leave an earlier run's data to be reported as its own.
    const QString dataPath = measurementFilePath(options.root);
    if (QFile::exists(dataPath) && !QFile::remove(dataPath)) {
        err << failure << ": cannot remove the earlier measurements " << dataPath << std::endl;
        return ExitWrite;
    }

    MeasurementRecord record;
    record.robotName = cell.robotName;
    record.serialNumber = config->serialNumber.isEmpty() ? cell.serialNumber : config->serialNumber;
    record.ip = cell.ip;
    record.date = QDateTime::currentDateTime();
    record.sampleTimes = config->sampleTimes;
    record.savePath = config->savePath;
    const std::unique_ptr<sim::MeasurementSource> instrument =
        sim::openSimulatedInstrument(cell, QRandomGenerator::system()->generate64());
    // The robot takes its time to move to a pose and settle.
    const auto settle = [&options](int, int) {
        if (options.moveMs > 0)
            QThread::msleep(ulong(options.moveMs));
    };
    const std::optional<MeasuredFrames> frames =
        measuredFrames(calibrated, cell, *instrument, settle, error);
    if (!frames) {
        err << failure << ": " << error << std::endl;
        return ExitData;
    }
    record.measuredPoint = frames->description;
    const Eigen::Isometry3d toBase = frames->placement.inverse();

    std::vector<std::vector<double>> joints;
    for (const TestPose& pose : config->poses) {
        joints.push_back(commandedJoints(pose, type->axisCount));
        PointMeasurements point;
        point.name = pose.name;
        point.joints = pose.joints;
        // Where the controller believes the target goes: its own table, no compensation.
        const sim::Pose flange = sim::flangePose(cell.dh, joints.back());
        point.commanded = flange.position + flange.rotation * frames->targetOffset;
        point.commandedAttitude = attitudeAngles(flange.rotation);
        record.points.push_back(point);
    }
    for (int cycle = 1; cycle <= config->sampleTimes; ++cycle) {
        const std::optional<std::vector<sim::Measurement>> round =
            instrument->measure(joints, settle, &error);
        if (!round) {
            err << failure << ": " << error << std::endl;
            return ExitCell;
        }
        for (std::size_t p = 0; p < record.points.size(); ++p) {
            const sim::Pose& seen = (*round)[p].pose;
            record.points[p].attained.push_back(toBase * seen.position);
            record.points[p].attainedAttitude.push_back(
                attitudeAngles(toBase.linear() * seen.rotation));
        }
        out << "[ROUND] " << cycle << "/" << config->sampleTimes << std::endl;
    }

    if (!sim::writeFileAtomically(dataPath, measurementsToJson(record), &error)) {
        err << failure << ": " << error << std::endl;
        return ExitWrite;
    }
    out << "measured " << record.points.size() << " poses " << config->sampleTimes << " times each"
        << std::endl;
    return ExitSuccess;
}

int isoTaskMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                std::ostream& err)
{
    static const char usage[] =
        "usage: runIsoTask.exe --path <calibration root> [--move-ms N]\n"
        "exit codes: 0 success, 1 usage, 2 job file, 3 cell or robot, 5 writing\n";
    TaskOptions options;
    int exitCode = ExitUsage;
    const std::optional<QString> root =
        parseCommandLine(arguments, toolFolder, {{"--move-ms", &options.moveMs, 0, 10000}}, usage,
                         failure, out, err, exitCode);
    if (!root)
        return exitCode;
    options.root = *root;
    return runIsoTask(options, out, err);
}

} // namespace iso
