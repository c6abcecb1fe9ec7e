#pragma once

#include <functional>
#include <kinematics.h>
#include <measurementsource.h>
#include <string>
#include <utility>
#include <vector>

namespace calib {

using sim::Measurement;

// Parameters are numbered four per joint: alpha, a, d of the joint's link, then the joint's
// zero offset. Theta itself never moves: its error is the zero offset.
enum ParameterKind { Alpha = 0, LengthA = 1, OffsetD = 2, ZeroOffset = 3 };
inline int parameterIndex(int joint, int kind)
{
    return 4 * joint + kind;
}
// "joint_2.d", "joint_6.zero" (joints counted from 1).
std::string parameterName(int index);
// "deg" or "mm".
const char* parameterUnit(int index);

struct IdentificationProblem
{
    // Starting DH table (axis count + 1 links), usually the controller's.
    std::vector<double> dh;
    // Four flags per joint (see ParameterKind): true holds the parameter at its start value.
    std::vector<bool> locked;
    std::vector<Measurement> measurements;
    // Instrument accuracy: weights of the position (mm) and orientation (deg) residuals.
    double positionSigmaMm = 0.010;
    double orientationSigmaDeg = 0.001;
    int maxIterations = 50;
    // Called after every solver iteration with the iteration number and maxIterations.
    std::function<void(int, int)> onIteration;
};

// A parameter the measurements cannot tell apart from others: changing it by x acts like
// changing each partner by coefficient * x.
struct HeldParameter
{
    int index = 0;
    std::vector<std::pair<int, double>> partners;
};

struct Correlation
{
    int first = 0;
    int second = 0;
    double value = 0.0;
};

struct IdentificationResult
{
    bool ok = false;
    std::string error;
    // Identified table: theta values and the flange link are the start values.
    std::vector<double> dh;
    // Zero offset per joint, to be added to the commanded angle.
    std::vector<double> zeroOffsets;
    // Parameters that were estimated, with their standard deviations (covariance of the fit).
    std::vector<int> estimated;
    std::vector<double> standardDeviations;
    std::vector<HeldParameter> held;
    std::vector<Correlation> strongCorrelations;
    // Of the column-scaled Jacobian of the estimated parameters.
    double conditionNumber = 0.0;
    int iterations = 0;
    double initialCost = 0.0;
    double finalCost = 0.0;
};

// Identifies the unlocked DH parameters and zero offsets from the measurements by robust
// nonlinear least squares; unidentifiable parameters are found by a rank test beforehand and
// held at their start values.
IdentificationResult identify(const IdentificationProblem& problem);

// Value of a parameter in a DH table and zero-offset vector.
double parameterValue(const std::vector<double>& dh, const std::vector<double>& zeroOffsets,
                      int index);

struct PoseErrors
{
    double meanPositionMm = 0.0;
    double maxPositionMm = 0.0;
    double meanOrientationDeg = 0.0;
    double maxOrientationDeg = 0.0;
};

// How far the model's flange poses lie from the measured ones.
PoseErrors poseErrors(const std::vector<double>& dh, const std::vector<double>& zeroOffsets,
                      const std::vector<Measurement>& measurements);

} // namespace calib
