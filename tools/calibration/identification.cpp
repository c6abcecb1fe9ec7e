#include "identification.h"

#include <Eigen/SVD>
#include <algorithm>
#include <ceres/ceres.h>
#include <ceres/rotation.h>
#include <cmath>
#include <memory>
#include <registration.h>

namespace calib {

namespace {

constexpr double degPerRad = 180.0 / 3.14159265358979323846;
// A candidate column that the accepted ones reproduce this closely adds no usable information:
// nearly parallel axes (as after a first calibration of parallel ones) leave a sliver of
// independence that only the noise would fill, sending the pair to absurd opposite values.
constexpr double dependencyTolerance = 1e-2;
constexpr double partnerThreshold = 1e-3;
// A column this small beside the largest: the parameter does not move the measured target.
constexpr double noEffectTolerance = 1e-4;
constexpr double strongCorrelation = 0.9;
// Robust loss scale in units of the weighted residual norm of one pose.
constexpr double huberScale = 5.0;

// Weighted residual of one measured pose: position (3) and, when measured, orientation (3)
// differences between model and measurement. The parameter blocks are corrections to the start
// model: alpha, a, d per joint; the zero offsets; the placement (translation along the
// instrument's axes, rotation in degrees about the base's); the target offset.
struct PoseResidual
{
    const CellModel* start;
    int axes;
    std::vector<double> joints;
    Eigen::Vector3d position;
    Eigen::Matrix3d rotation;
    bool hasRotation;
    double positionWeight;
    double orientationWeight;

    template <typename T> bool operator()(T const* const* blocks, T* residuals) const
    {
        const T* dhDelta = blocks[0];
        const T* zeroDelta = blocks[1];
        const T* placementDelta = blocks[2];
        const T* targetDelta = blocks[3];
        const int links = axes + 1;
        std::vector<T> dh(std::size_t(4 * links));
        for (int i = 0; i < 4 * links; ++i)
            dh[std::size_t(i)] = T(start->dh[std::size_t(i)]);
        std::vector<T> q(static_cast<std::size_t>(axes));
        for (int j = 0; j < axes; ++j) {
            for (int k = 0; k < 3; ++k)
                dh[std::size_t(4 * j + k)] += dhDelta[3 * j + k];
            q[std::size_t(j)] =
                T(joints[std::size_t(j)]) + T(start->zeroOffsets[std::size_t(j)]) + zeroDelta[j];
        }
        const Eigen::Matrix<T, 4, 4> m = sim::flangeTransform(dh.data(), links, q.data());
        Eigen::Matrix<T, 3, 1> target;
        for (int k = 0; k < 3; ++k)
            target[k] = T(start->targetOffset[k]) + targetDelta[k];
        const Eigen::Matrix<T, 3, 1> base =
            m.template block<3, 3>(0, 0) * target + m.template block<3, 1>(0, 3);
        const T omega[3] = {placementDelta[3] / T(degPerRad), placementDelta[4] / T(degPerRad),
                            placementDelta[5] / T(degPerRad)};
        T turned[3];
        const T basePoint[3] = {base[0], base[1], base[2]};
        ceres::AngleAxisRotatePoint(omega, basePoint, turned);
        const Eigen::Matrix<T, 3, 3> r0 = start->placement.linear().cast<T>();
        const Eigen::Matrix<T, 3, 1> t0 = start->placement.translation().cast<T>();
        const Eigen::Matrix<T, 3, 1> predicted =
            r0 * Eigen::Matrix<T, 3, 1>(turned[0], turned[1], turned[2]) + t0;
        for (int k = 0; k < 3; ++k)
            residuals[k] = (predicted[k] + placementDelta[k] - T(position[k])) * T(positionWeight);
        if (!hasRotation)
            return true;
        Eigen::Matrix<T, 3, 3> turn;
        ceres::AngleAxisToRotationMatrix(omega, turn.data());
        // Small-angle rotation vector of measured^-1 * model.
        const Eigen::Matrix<T, 3, 3> e =
            rotation.transpose().cast<T>() * r0 * turn * m.template block<3, 3>(0, 0);
        residuals[3] = T(0.5) * (e(2, 1) - e(1, 2)) * T(degPerRad * orientationWeight);
        residuals[4] = T(0.5) * (e(0, 2) - e(2, 0)) * T(degPerRad * orientationWeight);
        residuals[5] = T(0.5) * (e(1, 0) - e(0, 1)) * T(degPerRad * orientationWeight);
        return true;
    }
};

using PoseCost = ceres::DynamicAutoDiffCostFunction<PoseResidual, 4>;

// Block and position in it of a parameter.
std::pair<int, int> blockOf(int index, int axes)
{
    if (index >= targetIndex(axes, 0))
        return {3, index - targetIndex(axes, 0)};
    if (index >= placementIndex(axes, 0))
        return {2, index - placementIndex(axes, 0)};
    const int joint = index / 4;
    const int kind = index % 4;
    if (kind == ZeroOffset)
        return {1, joint};
    return {0, 3 * joint + kind};
}

class ProgressCallback final : public ceres::IterationCallback
{
public:
    ProgressCallback(const std::function<void(int, int)>& report, int total)
        : report(report)
        , total(total)
    {}
    ceres::CallbackReturnType operator()(const ceres::IterationSummary& summary) override
    {
        if (report && summary.iteration > 0)
            report(summary.iteration, total);
        return ceres::SOLVER_CONTINUE;
    }

private:
    const std::function<void(int, int)>& report;
    int total;
};

struct Corrections
{
    std::vector<double> blocks[4];

    explicit Corrections(int axes)
    {
        blocks[0].assign(std::size_t(3 * axes), 0.0);
        blocks[1].assign(std::size_t(axes), 0.0);
        blocks[2].assign(6, 0.0);
        blocks[3].assign(3, 0.0);
    }
    double at(int index, int axes) const
    {
        const auto [block, offset] = blockOf(index, axes);
        return blocks[block][std::size_t(offset)];
    }
    bool allFinite() const
    {
        for (const std::vector<double>& block : blocks) {
            for (double value : block) {
                if (!std::isfinite(value))
                    return false;
            }
        }
        return true;
    }
};

// Residuals and Jacobian (every parameter, unrobust) at the given corrections.
void evaluate(const std::vector<std::unique_ptr<PoseCost>>& costs, int axes,
              Corrections& corrections, Eigen::VectorXd& residuals, Eigen::MatrixXd* jacobian)
{
    int rows = 0;
    for (const auto& cost : costs)
        rows += cost->num_residuals();
    residuals.resize(rows);
    if (jacobian)
        jacobian->setZero(rows, parameterCount(axes));
    const double* blocks[4];
    for (int b = 0; b < 4; ++b)
        blocks[b] = corrections.blocks[b].data();
    using RowMajor = Eigen::Matrix<double, Eigen::Dynamic, Eigen::Dynamic, Eigen::RowMajor>;
    RowMajor partial[4];
    int row = 0;
    for (const auto& cost : costs) {
        const int n = cost->num_residuals();
        double* jacobians[4];
        for (int b = 0; b < 4; ++b) {
            partial[b].resize(n, int(corrections.blocks[b].size()));
            jacobians[b] = partial[b].data();
        }
        double r[6];
        cost->Evaluate(blocks, r, jacobian ? jacobians : nullptr);
        for (int k = 0; k < n; ++k)
            residuals[row + k] = r[k];
        if (jacobian) {
            for (int p = 0; p < parameterCount(axes); ++p) {
                const auto [block, offset] = blockOf(p, axes);
                jacobian->block(row, p, n, 1) = partial[block].col(offset);
            }
        }
        row += n;
    }
}

// The order in which the rank test accepts parameters: placement, target, then the joints.
std::vector<int> rankOrder(int axes)
{
    std::vector<int> order;
    for (int k = 0; k < 6; ++k)
        order.push_back(placementIndex(axes, k));
    for (int k = 0; k < 3; ++k)
        order.push_back(targetIndex(axes, k));
    for (int p = 0; p < 4 * axes; ++p)
        order.push_back(p);
    return order;
}

// Splits the unlocked parameters into the identifiable ones and those the others reproduce.
void rankTest(const Eigen::MatrixXd& jacobian, const std::vector<bool>& locked, int axes,
              std::vector<int>& estimated, std::vector<HeldParameter>& held)
{
    const Eigen::VectorXd norms = jacobian.colwise().norm();
    const double largest = norms.maxCoeff();
    Eigen::MatrixXd accepted(jacobian.rows(), 0);
    for (int p : rankOrder(axes)) {
        if (locked[std::size_t(p)])
            continue;
        if (norms[p] <= largest * noEffectTolerance) {
            held.push_back({p, {}});
            continue;
        }
        const Eigen::VectorXd column = jacobian.col(p) / norms[p];
        Eigen::VectorXd x;
        double residual = 1.0;
        if (accepted.cols() > 0) {
            const Eigen::BDCSVD<Eigen::MatrixXd> svd(accepted,
                                                     Eigen::ComputeThinU | Eigen::ComputeThinV);
            x = svd.solve(column);
            residual = (column - accepted * x).norm();
        }
        if (residual > dependencyTolerance) {
            accepted.conservativeResize(Eigen::NoChange, accepted.cols() + 1);
            accepted.col(accepted.cols() - 1) = column;
            estimated.push_back(p);
            continue;
        }
        HeldParameter dependent{p, {}};
        for (int k = 0; k < int(x.size()); ++k) {
            if (std::abs(x[k]) > partnerThreshold) {
                const int partner = estimated[std::size_t(k)];
                dependent.partners.push_back({partner, x[k] * norms[p] / norms[partner]});
            }
        }
        held.push_back(dependent);
    }
}

void applyManifold(ceres::Problem& problem, std::vector<double>& block,
                   const std::vector<int>& fixedOffsets)
{
    if (fixedOffsets.size() == block.size())
        problem.SetParameterBlockConstant(block.data());
    else if (!fixedOffsets.empty())
        problem.SetManifold(block.data(),
                            new ceres::SubsetManifold(int(block.size()), fixedOffsets));
}

// Covariance, condition number and correlations of the estimated parameters at the solution.
void assess(const Eigen::MatrixXd& jacobian, const Eigen::VectorXd& residuals,
            IdentificationResult& result)
{
    const int count = int(result.estimated.size());
    if (count == 0)
        return;
    Eigen::MatrixXd j(jacobian.rows(), count);
    for (int c = 0; c < count; ++c)
        j.col(c) = jacobian.col(result.estimated[std::size_t(c)]);
    const Eigen::VectorXd norms = j.colwise().norm();
    const Eigen::MatrixXd scaled = j * norms.cwiseInverse().asDiagonal();
    const Eigen::BDCSVD<Eigen::MatrixXd> svd(scaled, Eigen::ComputeThinV);
    const Eigen::VectorXd s = svd.singularValues();
    result.conditionNumber = s[count - 1] > 0.0 ? s[0] / s[count - 1] : INFINITY;

    const int freedom = std::max(1, int(jacobian.rows()) - count);
    const double variance = residuals.squaredNorm() / freedom;
    Eigen::VectorXd inverse(count);
    for (int k = 0; k < count; ++k)
        inverse[k] = s[k] > s[0] * 1e-12 ? 1.0 / (s[k] * s[k]) : 0.0;
    const Eigen::MatrixXd scaledCov =
        svd.matrixV() * inverse.asDiagonal() * svd.matrixV().transpose();
    const Eigen::MatrixXd cov = variance * norms.cwiseInverse().asDiagonal() * scaledCov *
                                norms.cwiseInverse().asDiagonal();
    for (int k = 0; k < count; ++k)
        result.standardDeviations.push_back(std::sqrt(std::max(0.0, cov(k, k))));
    for (int a = 0; a < count; ++a) {
        for (int b = a + 1; b < count; ++b) {
            const double denominator = std::sqrt(cov(a, a) * cov(b, b));
            const double rho = denominator > 0.0 ? cov(a, b) / denominator : 0.0;
            if (std::abs(rho) > strongCorrelation)
                result.strongCorrelations.push_back(
                    {result.estimated[std::size_t(a)], result.estimated[std::size_t(b)], rho});
        }
    }
}

// The start model with the corrections applied.
CellModel corrected(const CellModel& start, const Corrections& c, int axes)
{
    CellModel model = start;
    for (int j = 0; j < axes; ++j) {
        for (int k = 0; k < 3; ++k)
            model.dh[std::size_t(4 * j + k)] += c.blocks[0][std::size_t(3 * j + k)];
        model.zeroOffsets[std::size_t(j)] += c.blocks[1][std::size_t(j)];
    }
    const Eigen::Vector3d omega(c.blocks[2][3], c.blocks[2][4], c.blocks[2][5]);
    Eigen::Isometry3d turn = Eigen::Isometry3d::Identity();
    if (omega.norm() > 0.0)
        turn.linear() = Eigen::AngleAxisd(omega.norm() / degPerRad, omega.normalized()).matrix();
    Eigen::Isometry3d shift = Eigen::Isometry3d::Identity();
    shift.translation() = Eigen::Vector3d(c.blocks[2][0], c.blocks[2][1], c.blocks[2][2]);
    model.placement = shift * start.placement * turn;
    for (int k = 0; k < 3; ++k)
        model.targetOffset[k] += c.blocks[3][std::size_t(k)];
    return model;
}

} // namespace

std::string parameterName(int index, int axes)
{
    static const char* const kinds[] = {"alpha", "a", "d", "zero"};
    static const char* const placement[] = {"x", "y", "z", "rx", "ry", "rz"};
    static const char* const target[] = {"x", "y", "z"};
    if (index >= targetIndex(axes, 0))
        return std::string("target.") + target[index - targetIndex(axes, 0)];
    if (index >= placementIndex(axes, 0))
        return std::string("placement.") + placement[index - placementIndex(axes, 0)];
    return "joint_" + std::to_string(index / 4 + 1) + "." + kinds[index % 4];
}

const char* parameterUnit(int index, int axes)
{
    if (index >= targetIndex(axes, 0))
        return "mm";
    if (index >= placementIndex(axes, 0))
        return index - placementIndex(axes, 0) < 3 ? "mm" : "deg";
    const int kind = index % 4;
    return kind == LengthA || kind == OffsetD ? "mm" : "deg";
}

sim::Pose CellModel::targetInBase(const std::vector<double>& jointsDeg) const
{
    std::vector<double> q = jointsDeg;
    for (std::size_t j = 0; j < q.size() && j < zeroOffsets.size(); ++j)
        q[j] += zeroOffsets[j];
    sim::Pose pose = sim::flangePose(dh, q);
    pose.position += pose.rotation * targetOffset;
    return pose;
}

sim::Pose CellModel::predict(const std::vector<double>& jointsDeg) const
{
    sim::Pose pose = targetInBase(jointsDeg);
    pose.position = placement * pose.position;
    pose.rotation = placement.linear() * pose.rotation;
    return pose;
}

Eigen::Isometry3d registerPlacement(const CellModel& model,
                                    const std::vector<Measurement>& measurements)
{
    std::vector<Eigen::Vector3d> from;
    std::vector<Eigen::Vector3d> to;
    for (const Measurement& m : measurements) {
        from.push_back(model.targetInBase(m.jointsDeg).position);
        to.push_back(m.pose.position);
    }
    return sim::registerPoints(from, to);
}

IdentificationResult identify(const IdentificationProblem& input)
{
    IdentificationResult result;
    const CellModel& start = input.start;
    const int links = int(start.dh.size() / 4);
    const int axes = links - 1;
    if (links < 2 || start.dh.size() % 4 != 0 ||
        !std::all_of(start.dh.begin(), start.dh.end(), [](double v) { return std::isfinite(v); })) {
        result.error = "the DH table must hold at least two links of four finite values";
        return result;
    }
    if (input.locked.size() != std::size_t(4 * axes) ||
        start.zeroOffsets.size() != std::size_t(axes)) {
        result.error = "one lock flag per parameter and one zero offset per joint expected";
        return result;
    }
    if (input.measurements.size() < 3) {
        result.error = "too few measurements";
        return result;
    }
    if (!(input.uncertainty.positionMm > 0.0) || !(input.uncertainty.positionMmPerM >= 0.0) ||
        !(input.uncertainty.orientationDeg > 0.0)) {
        result.error = "the instrument uncertainty must be positive";
        return result;
    }

    std::vector<std::unique_ptr<PoseCost>> costs;
    for (const Measurement& m : input.measurements) {
        if (m.jointsDeg.size() != std::size_t(axes)) {
            result.error = "a measurement does not hold one angle per axis";
            return result;
        }
        auto* cost = new PoseCost(
            new PoseResidual{&start, axes, m.jointsDeg, m.pose.position, m.pose.rotation,
                             m.hasRotation, 1.0 / input.uncertainty.positionAt(m.pose.position),
                             1.0 / input.uncertainty.orientationDeg});
        cost->AddParameterBlock(3 * axes);
        cost->AddParameterBlock(axes);
        cost->AddParameterBlock(6);
        cost->AddParameterBlock(3);
        cost->SetNumResiduals(m.hasRotation ? 6 : 3);
        costs.emplace_back(cost);
    }

    std::vector<bool> locked = input.locked;
    locked.resize(std::size_t(parameterCount(axes)), false);
    for (int k = 0; k < 6; ++k)
        locked[std::size_t(placementIndex(axes, k))] = input.placementFixed;
    for (int k = 0; k < 3; ++k)
        locked[std::size_t(targetIndex(axes, k))] = input.targetFixed;

    Corrections corrections(axes);
    Eigen::VectorXd residuals;
    Eigen::MatrixXd jacobian;
    evaluate(costs, axes, corrections, residuals, &jacobian);
    if (!residuals.allFinite() || !jacobian.allFinite()) {
        result.error = "the measurements give non-finite residuals";
        return result;
    }
    rankTest(jacobian, locked, axes, result.estimated, result.held);

    std::vector<int> fixed[4];
    for (int p = 0; p < parameterCount(axes); ++p) {
        if (std::find(result.estimated.begin(), result.estimated.end(), p) !=
            result.estimated.end())
            continue;
        const auto [block, offset] = blockOf(p, axes);
        fixed[block].push_back(offset);
    }

    ceres::Problem::Options problemOptions;
    problemOptions.cost_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
    problemOptions.loss_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
    ceres::Problem problem(problemOptions);
    ceres::HuberLoss loss(huberScale);
    std::vector<double*> blocks;
    for (std::vector<double>& block : corrections.blocks)
        blocks.push_back(block.data());
    for (const auto& cost : costs)
        problem.AddResidualBlock(cost.get(), &loss, blocks);
    for (int b = 0; b < 4; ++b) {
        std::sort(fixed[b].begin(), fixed[b].end());
        applyManifold(problem, corrections.blocks[b], fixed[b]);
    }

    ceres::Solver::Options options;
    options.linear_solver_type = ceres::DENSE_QR;
    options.max_num_iterations = input.maxIterations;
    options.function_tolerance = 1e-12;
    options.parameter_tolerance = 1e-12;
    options.gradient_tolerance = 1e-14;
    options.logging_type = ceres::SILENT;
    options.num_threads = 1;
    ProgressCallback progress(input.onIteration, input.maxIterations);
    options.callbacks.push_back(&progress);
    ceres::Solver::Summary summary;
    ceres::Solve(options, &problem, &summary);

    result.iterations = int(summary.iterations.size()) - 1;
    result.initialCost = summary.initial_cost;
    result.finalCost = summary.final_cost;
    if (!summary.IsSolutionUsable() || !corrections.allFinite()) {
        result.error = "the solver failed: " + summary.message;
        return result;
    }

    result.model = corrected(start, corrections, axes);
    for (int p = 0; p < parameterCount(axes); ++p)
        result.changes.push_back(corrections.at(p, axes));
    evaluate(costs, axes, corrections, residuals, &jacobian);
    assess(jacobian, residuals, result);
    result.ok = true;
    return result;
}

std::vector<double> positionErrors(const CellModel& model,
                                   const std::vector<Measurement>& measurements)
{
    std::vector<double> errors;
    for (const Measurement& m : measurements)
        errors.push_back((model.predict(m.jointsDeg).position - m.pose.position).norm());
    return errors;
}

PoseErrors poseErrors(const CellModel& model, const std::vector<Measurement>& measurements)
{
    PoseErrors errors;
    int rotations = 0;
    for (const Measurement& m : measurements) {
        const sim::Pose predicted = model.predict(m.jointsDeg);
        const double position = (predicted.position - m.pose.position).norm();
        errors.meanPositionMm += position;
        errors.maxPositionMm = std::max(errors.maxPositionMm, position);
        if (!m.hasRotation)
            continue;
        const double orientation = sim::rotationAngleDeg(m.pose.rotation, predicted.rotation);
        errors.meanOrientationDeg += orientation;
        errors.maxOrientationDeg = std::max(errors.maxOrientationDeg, orientation);
        ++rotations;
    }
    if (!measurements.empty())
        errors.meanPositionMm /= double(measurements.size());
    if (rotations > 0)
        errors.meanOrientationDeg /= double(rotations);
    return errors;
}

} // namespace calib
