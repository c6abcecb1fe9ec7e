#include "identification.h"

#include <Eigen/SVD>
#include <ceres/ceres.h>
#include <cmath>
#include <memory>

namespace calib {

namespace {

constexpr double degPerRad = 180.0 / 3.14159265358979323846;
// A candidate column that the accepted ones reproduce this closely adds no usable information:
// nearly parallel axes (as after a first calibration of parallel ones) leave a sliver of
// independence that only the noise would fill, sending the pair to absurd opposite values.
constexpr double dependencyTolerance = 1e-2;
constexpr double partnerThreshold = 1e-3;
constexpr double strongCorrelation = 0.9;
// Robust loss scale in units of the weighted residual norm of one pose.
constexpr double huberScale = 5.0;

// Weighted residual of one measured pose: position (3) and orientation (3) differences between
// model and measurement. The parameter blocks are corrections to the start table: alpha, a, d
// per joint, and the zero offsets.
struct PoseResidual
{
    const std::vector<double>* startDh;
    int axes;
    std::vector<double> joints;
    Eigen::Vector3d position;
    Eigen::Matrix3d rotation;
    double positionWeight;
    double orientationWeight;

    template <typename T> bool operator()(T const* const* blocks, T* residuals) const
    {
        const T* dhDelta = blocks[0];
        const T* zeroDelta = blocks[1];
        const int links = axes + 1;
        std::vector<T> dh(std::size_t(4 * links));
        for (int i = 0; i < 4 * links; ++i)
            dh[std::size_t(i)] = T((*startDh)[std::size_t(i)]);
        std::vector<T> q(static_cast<std::size_t>(axes));
        for (int j = 0; j < axes; ++j) {
            for (int k = 0; k < 3; ++k)
                dh[std::size_t(4 * j + k)] += dhDelta[3 * j + k];
            q[std::size_t(j)] = T(joints[std::size_t(j)]) + zeroDelta[j];
        }
        const Eigen::Matrix<T, 4, 4> m = sim::flangeTransform(dh.data(), links, q.data());
        for (int k = 0; k < 3; ++k)
            residuals[k] = (m(k, 3) - T(position[k])) * T(positionWeight);
        // Small-angle rotation vector of measured^-1 * model.
        const Eigen::Matrix<T, 3, 3> e =
            rotation.transpose().cast<T>() * m.template block<3, 3>(0, 0);
        residuals[3] = T(0.5) * (e(2, 1) - e(1, 2)) * T(degPerRad * orientationWeight);
        residuals[4] = T(0.5) * (e(0, 2) - e(2, 0)) * T(degPerRad * orientationWeight);
        residuals[5] = T(0.5) * (e(1, 0) - e(0, 1)) * T(degPerRad * orientationWeight);
        return true;
    }
};

using PoseCost = ceres::DynamicAutoDiffCostFunction<PoseResidual, 4>;

// Position of parameter index in the two correction blocks.
std::pair<int, int> blockOf(int index)
{
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

// Residuals and Jacobian (all 4 * axes parameters, unrobust) at the given corrections.
void evaluate(const std::vector<std::unique_ptr<PoseCost>>& costs, std::vector<double>& dhDelta,
              std::vector<double>& zeroDelta, Eigen::VectorXd& residuals, Eigen::MatrixXd* jacobian)
{
    const int axes = int(zeroDelta.size());
    const int rows = 6 * int(costs.size());
    residuals.resize(rows);
    if (jacobian)
        jacobian->setZero(rows, 4 * axes);
    const double* blocks[2] = {dhDelta.data(), zeroDelta.data()};
    Eigen::Matrix<double, 6, Eigen::Dynamic, Eigen::RowMajor> jDh(6, 3 * axes);
    Eigen::Matrix<double, 6, Eigen::Dynamic, Eigen::RowMajor> jZero(6, axes);
    double* jacobians[2] = {jDh.data(), jZero.data()};
    for (std::size_t i = 0; i < costs.size(); ++i) {
        double r[6];
        costs[i]->Evaluate(blocks, r, jacobian ? jacobians : nullptr);
        for (int k = 0; k < 6; ++k)
            residuals[6 * int(i) + k] = r[k];
        if (!jacobian)
            continue;
        for (int p = 0; p < 4 * axes; ++p) {
            const auto [block, offset] = blockOf(p);
            jacobian->block(6 * int(i), p, 6, 1) =
                block == 0 ? jDh.col(offset) : Eigen::VectorXd(jZero.col(offset));
        }
    }
}

// Splits the unlocked parameters into the identifiable ones and those the others reproduce.
void rankTest(const Eigen::MatrixXd& jacobian, const std::vector<bool>& locked,
              std::vector<int>& estimated, std::vector<HeldParameter>& held)
{
    const Eigen::VectorXd norms = jacobian.colwise().norm();
    const double largest = norms.maxCoeff();
    Eigen::MatrixXd accepted(jacobian.rows(), 0);
    for (int p = 0; p < int(locked.size()); ++p) {
        if (locked[std::size_t(p)])
            continue;
        if (norms[p] <= largest * dependencyTolerance) {
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

void applyManifold(ceres::Problem& problem, double* block, int size,
                   const std::vector<int>& fixedOffsets)
{
    if (int(fixedOffsets.size()) == size)
        problem.SetParameterBlockConstant(block);
    else if (!fixedOffsets.empty())
        problem.SetManifold(block, new ceres::SubsetManifold(size, fixedOffsets));
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

bool allFinite(const std::vector<double>& values)
{
    for (double value : values) {
        if (!std::isfinite(value))
            return false;
    }
    return true;
}

} // namespace

std::string parameterName(int index)
{
    static const char* const kinds[] = {"alpha", "a", "d", "zero"};
    return "joint_" + std::to_string(index / 4 + 1) + "." + kinds[index % 4];
}

const char* parameterUnit(int index)
{
    const int kind = index % 4;
    return kind == LengthA || kind == OffsetD ? "mm" : "deg";
}

double parameterValue(const std::vector<double>& dh, const std::vector<double>& zeroOffsets,
                      int index)
{
    const int joint = index / 4;
    const int kind = index % 4;
    return kind == ZeroOffset ? zeroOffsets.at(std::size_t(joint))
                              : dh.at(std::size_t(4 * joint + kind));
}

PoseErrors poseErrors(const std::vector<double>& dh, const std::vector<double>& zeroOffsets,
                      const std::vector<Measurement>& measurements)
{
    PoseErrors errors;
    if (measurements.empty())
        return errors;
    for (const Measurement& m : measurements) {
        std::vector<double> q = m.jointsDeg;
        for (std::size_t j = 0; j < q.size() && j < zeroOffsets.size(); ++j)
            q[j] += zeroOffsets[j];
        const sim::Pose model = sim::flangePose(dh, q);
        const double position = (model.position - m.pose.position).norm();
        const double orientation = sim::rotationAngleDeg(m.pose.rotation, model.rotation);
        errors.meanPositionMm += position;
        errors.meanOrientationDeg += orientation;
        errors.maxPositionMm = std::max(errors.maxPositionMm, position);
        errors.maxOrientationDeg = std::max(errors.maxOrientationDeg, orientation);
    }
    errors.meanPositionMm /= double(measurements.size());
    errors.meanOrientationDeg /= double(measurements.size());
    return errors;
}

IdentificationResult identify(const IdentificationProblem& input)
{
    IdentificationResult result;
    const int links = int(input.dh.size() / 4);
    const int axes = links - 1;
    if (axes < 1 || input.dh.size() % 4 != 0 || !allFinite(input.dh)) {
        result.error = "the DH table must hold at least two links of four finite values";
        return result;
    }
    if (input.locked.size() != std::size_t(4 * axes)) {
        result.error = "one lock flag per parameter expected";
        return result;
    }
    if (input.measurements.size() < 2) {
        result.error = "too few measurements";
        return result;
    }
    if (!(input.positionSigmaMm > 0.0) || !(input.orientationSigmaDeg > 0.0)) {
        result.error = "the instrument accuracy must be positive";
        return result;
    }

    std::vector<std::unique_ptr<PoseCost>> costs;
    for (const Measurement& m : input.measurements) {
        if (m.jointsDeg.size() != std::size_t(axes)) {
            result.error = "a measurement does not hold one angle per axis";
            return result;
        }
        auto* cost = new PoseCost(new PoseResidual{&input.dh, axes, m.jointsDeg, m.pose.position,
                                                   m.pose.rotation, 1.0 / input.positionSigmaMm,
                                                   1.0 / input.orientationSigmaDeg});
        cost->AddParameterBlock(3 * axes);
        cost->AddParameterBlock(axes);
        cost->SetNumResiduals(6);
        costs.emplace_back(cost);
    }

    std::vector<double> dhDelta(std::size_t(3 * axes), 0.0);
    std::vector<double> zeroDelta(std::size_t(axes), 0.0);
    Eigen::VectorXd residuals;
    Eigen::MatrixXd jacobian;
    evaluate(costs, dhDelta, zeroDelta, residuals, &jacobian);
    if (!residuals.allFinite() || !jacobian.allFinite()) {
        result.error = "the measurements give non-finite residuals";
        return result;
    }
    rankTest(jacobian, input.locked, result.estimated, result.held);

    std::vector<int> fixedDh;
    std::vector<int> fixedZero;
    for (int p = 0; p < 4 * axes; ++p) {
        if (std::find(result.estimated.begin(), result.estimated.end(), p) !=
            result.estimated.end())
            continue;
        const auto [block, offset] = blockOf(p);
        (block == 0 ? fixedDh : fixedZero).push_back(offset);
    }
    std::sort(fixedDh.begin(), fixedDh.end());
    std::sort(fixedZero.begin(), fixedZero.end());

    ceres::Problem::Options problemOptions;
    problemOptions.cost_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
    problemOptions.loss_function_ownership = ceres::DO_NOT_TAKE_OWNERSHIP;
    ceres::Problem problem(problemOptions);
    ceres::HuberLoss loss(huberScale);
    for (const auto& cost : costs)
        problem.AddResidualBlock(cost.get(), &loss, dhDelta.data(), zeroDelta.data());
    applyManifold(problem, dhDelta.data(), 3 * axes, fixedDh);
    applyManifold(problem, zeroDelta.data(), axes, fixedZero);

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
    if (!summary.IsSolutionUsable() || !allFinite(dhDelta) || !allFinite(zeroDelta)) {
        result.error = "the solver failed: " + summary.message;
        return result;
    }

    result.dh = input.dh;
    for (int j = 0; j < axes; ++j) {
        for (int k = 0; k < 3; ++k)
            result.dh[std::size_t(4 * j + k)] += dhDelta[std::size_t(3 * j + k)];
    }
    result.zeroOffsets = zeroDelta;
    evaluate(costs, dhDelta, zeroDelta, residuals, &jacobian);
    assess(jacobian, residuals, result);
    result.ok = true;
    return result;
}

} // namespace calib
