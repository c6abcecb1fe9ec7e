// Identification on the simulated cell with every error source on: time, held-out error against
// the error of the best model the controller can hold, and how far the identified placement and
// target offset lie from the truth. Prints figures only.

#include <QCoreApplication>

#include <celltruth.h>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <identification.h>
#include <instrument.h>
#include <workspace.h>

namespace {

struct Figures
{
    double milliseconds = 0.0;
    int iterations = 0;
    int held = 0;
    double before = 0.0;
    double after = 0.0;
    double best = 0.0;
    double placementMm = 0.0;
    double targetMm = 0.0;
};

// Mean position error of the cell's best model on the measurements, in the true frames.
double bestModelError(const sim::CellState& cell, const std::vector<calib::Measurement>& check)
{
    const sim::BestModel best = sim::Instrument(cell, 0).bestModel();
    double sum = 0.0;
    for (const calib::Measurement& m : check)
        sum += (best.predict(m.jointsDeg, cell.zeroCompensation).position - m.pose.position).norm();
    return sum / double(check.size());
}

Figures runOnce(const sim::RobotType& type, std::uint64_t seed, int poses, int held)
{
    const sim::CellState cell = sim::CellState::defaults(type, seed);
    const auto plan = sim::sampleJointConfigurations(type, poses + held, 0x9a5e5ULL);
    sim::Instrument instrument(cell, seed * 17 + 3);
    std::vector<calib::Measurement> fit = *instrument.measure(plan, {}, nullptr);
    const std::vector<calib::Measurement> check(fit.begin() + poses, fit.end());
    fit.resize(std::size_t(poses));

    calib::IdentificationProblem problem;
    problem.start.dh = cell.dh;
    problem.start.zeroOffsets.assign(std::size_t(type.axisCount), 0.0);
    problem.locked.assign(std::size_t(4 * type.axisCount), false);
    problem.measurements = fit;

    Figures figures;
    const auto started = std::chrono::steady_clock::now();
    problem.start.placement = calib::registerPlacement(problem.start, fit);
    const calib::IdentificationResult id = calib::identify(problem);
    figures.milliseconds =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started)
            .count();
    if (!id.ok) {
        std::fprintf(stderr, "%s seed %llu: %s\n", qPrintable(type.name),
                     static_cast<unsigned long long>(seed), id.error.c_str());
        return figures;
    }
    figures.iterations = id.iterations;
    figures.held = int(id.held.size());
    figures.before = calib::poseErrors(problem.start, check).meanPositionMm;
    figures.after = calib::poseErrors(id.model, check).meanPositionMm;
    figures.best = bestModelError(cell, check);
    const sim::CellTruth& truth = instrument.cellTruth();
    figures.placementMm =
        (id.model.placement.translation() - truth.baseToInstrument.translation()).norm();
    figures.targetMm = (id.model.targetOffset - truth.targetOffset).norm();
    return figures;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The tool's default, and the count the identification's time is judged by.
    for (const auto& [poses, held] : {std::pair{150, 50}, std::pair{60, 30}}) {
        std::printf("identification on %d poses, %d held out; every error source on\n", poses,
                    held);
        std::printf("%-8s %4s %8s %4s %4s | %9s %9s %9s %6s | %9s %9s\n", "robot", "seed",
                    "time ms", "iter", "held", "before", "after", "best", "ratio", "placement",
                    "target");
        for (const sim::RobotType& type : sim::robotTypes()) {
            for (std::uint64_t seed : {1, 2, 3, 4, 5}) {
                const Figures f = runOnce(type, seed, poses, held);
                std::printf("%-8s %4llu %8.1f %4d %4d | %9.4f %9.4f %9.4f %6.2f | %9.3f %9.3f\n",
                            qPrintable(type.name), static_cast<unsigned long long>(seed),
                            f.milliseconds, f.iterations, f.held, f.before, f.after, f.best,
                            f.after / f.best, f.placementMm, f.targetMm);
            }
        }
    }
    std::printf("before, after, best: mean position error (mm) on the held-out poses of the "
                "registered start model, the identified model and the cell's best model; "
                "placement and target: distance (mm) of the identified base origin and target "
                "offset from the truth, which the held parameters shift\n");
    return 0;
}
