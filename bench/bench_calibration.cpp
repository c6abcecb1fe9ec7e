// Identification core on the simulated cell: time, parameter error against the hidden robot and
// held-out pose error, over a few robots and seeds. Prints figures only.

#include <QCoreApplication>

#include <calibrationrun.h>
#include <cellstate.h>
#include <celltruth.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <identification.h>
#include <robottypes.h>
#include <workspace.h>

namespace {

struct Figures
{
    double milliseconds = 0.0;
    int iterations = 0;
    double condition = 0.0;
    int held = 0;
    double worst[4] = {0, 0, 0, 0}; // alpha deg, a mm, d mm, zero deg
    calib::PoseErrors before;
    calib::PoseErrors after;
};

// The hidden value of every parameter as the identification can see it: a held parameter's
// error moves onto its partners.
std::vector<double> visibleTruth(const sim::CellState& cell, const calib::IdentificationResult& id)
{
    const int axes = int(cell.zeroCompensation.size());
    const std::vector<double> truth = sim::drawTruth(cell).dh;
    const std::vector<double> zeroError = sim::drawTruth(cell).zeroError;
    std::vector<double> values(std::size_t(4 * axes));
    for (int p = 0; p < 4 * axes; ++p)
        values[std::size_t(p)] = calib::parameterValue(truth, zeroError, p);
    for (const calib::HeldParameter& held : id.held) {
        const double error = values[std::size_t(held.index)] -
                             calib::parameterValue(cell.dh, cell.zeroCompensation, held.index);
        for (const auto& [partner, coefficient] : held.partners)
            values[std::size_t(partner)] += coefficient * error;
    }
    return values;
}

Figures runOnce(const sim::RobotType& type, std::uint64_t seed, int poses, int validationPoses)
{
    const sim::CellState cell = sim::CellState::defaults(type, seed);
    const auto configurations =
        sim::sampleJointConfigurations(type, poses + validationPoses, seed * 31 + 7);
    std::vector<calib::Measurement> measured =
        *sim::openSimulatedInstrument(cell, seed * 17 + 3)->measure(configurations, {}, nullptr);
    const std::vector<calib::Measurement> validation(measured.begin() + poses, measured.end());
    measured.resize(std::size_t(poses));

    calib::IdentificationProblem problem;
    problem.dh = cell.dh;
    problem.locked.assign(std::size_t(4 * type.axisCount), false);
    problem.measurements = measured;
    problem.positionSigmaMm = cell.instrument.positionNoiseMm;
    problem.orientationSigmaDeg = cell.instrument.orientationNoiseDeg;

    Figures figures;
    const auto start = std::chrono::steady_clock::now();
    const calib::IdentificationResult id = calib::identify(problem);
    figures.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    if (!id.ok) {
        std::fprintf(stderr, "%s seed %llu: %s\n", qPrintable(type.name),
                     static_cast<unsigned long long>(seed), id.error.c_str());
        return figures;
    }
    figures.iterations = id.iterations;
    figures.condition = id.conditionNumber;
    figures.held = int(id.held.size());
    const std::vector<double> truth = visibleTruth(cell, id);
    for (int p : id.estimated) {
        const double error =
            std::abs(calib::parameterValue(id.dh, id.zeroOffsets, p) - truth[std::size_t(p)]);
        double& worst = figures.worst[p % 4];
        worst = std::max(worst, error);
    }
    const std::vector<double> noOffsets(std::size_t(type.axisCount), 0.0);
    figures.before = calib::poseErrors(cell.dh, noOffsets, validation);
    figures.after = calib::poseErrors(id.dh, id.zeroOffsets, validation);
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int poses = 60;
    const int validationPoses = 30;
    std::printf("identification on %d poses, %d held out; default instrument noise\n", poses,
                validationPoses);
    std::printf("%-8s %5s %8s %5s %6s %5s | %9s %8s %8s %9s | %9s %9s %9s\n", "robot", "seed",
                "time ms", "iter", "cond", "held", "alpha deg", "a mm", "d mm", "zero deg",
                "pos bef", "pos aft", "att aft");
    for (const sim::RobotType& type : sim::robotTypes()) {
        for (std::uint64_t seed : {1, 2, 3, 4, 5}) {
            const Figures f = runOnce(type, seed, poses, validationPoses);
            std::printf("%-8s %5llu %8.1f %5d %6.2f %5d | %9.5f %8.4f %8.4f %9.5f | %9.4f "
                        "%9.4f %9.5f\n",
                        qPrintable(type.name), static_cast<unsigned long long>(seed),
                        f.milliseconds, f.iterations, f.condition, f.held, f.worst[0], f.worst[1],
                        f.worst[2], f.worst[3], f.before.meanPositionMm, f.after.meanPositionMm,
                        f.after.meanOrientationDeg);
        }
    }
    std::printf("parameter columns: largest error of an estimated parameter against the hidden "
                "robot; pos in mm, att in deg, means over the held-out poses\n");
    return 0;
}
