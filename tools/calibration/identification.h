#pragma once

#include <Eigen/Geometry>
#include <functional>
#include <kinematics.h>
#include <measurementsource.h>
#include <string>
#include <utility>
#include <vector>

namespace calib {

using sim::Measurement;

// Parameters are numbered four per joint (alpha, a, d of the joint's link, then the joint's
// zero offset; theta itself never moves, its error is the zero offset), then six of the
// instrument placement (x, y, z in mm along the instrument's axes, then rx, ry, rz in degrees
// about the robot base's axes), then three of the target offset (x, y, z in mm, flange frame).
enum ParameterKind { Alpha = 0, LengthA = 1, OffsetD = 2, ZeroOffset = 3 };
inline int parameterIndex(int joint, int kind)
{
    return 4 * joint + kind;
}
inline int placementIndex(int axes, int k)
{
    return 4 * axes + k;
}
inline int targetIndex(int axes, int k)
{
    return 4 * axes + 6 + k;
}
inline int parameterCount(int axes)
{
    return 4 * axes + 9;
}
// "joint_2.d", "joint_6.zero" (joints counted from 1), "placement.rz", "target.x".
std::string parameterName(int index, int axes);
// "deg" or "mm".
const char* parameterUnit(int index, int axes);

// The cell as a calibration sees it: the robot's DH table and zero offsets, where the
// instrument stands and where the target sits on the flange.
struct CellModel
{
    // Axis count + 1 links.
    std::vector<double> dh;
    // Added to the commanded angles.
    std::vector<double> zeroOffsets;
    // Takes points of the robot's base frame into the instrument's frame.
    Eigen::Isometry3d placement = Eigen::Isometry3d::Identity();
    // Flange frame, mm.
    Eigen::Vector3d targetOffset = Eigen::Vector3d(0.0, 0.0, 100.0);

    // The target's pose in the base frame at the commanded angles.
    sim::Pose targetInBase(const std::vector<double>& jointsDeg) const;
    // What the instrument should measure at the commanded angles.
    sim::Pose predict(const std::vector<double>& jointsDeg) const;
};

// Accuracy of the instrument, one standard deviation per axis: the weights of the residuals.
struct InstrumentUncertainty
{
    double positionMm = 0.005;
    double positionMmPerM = 0.002;
    double orientationDeg = 0.001;

    // At a measured point of the instrument frame.
    double positionAt(const Eigen::Vector3d& point) const
    {
        return positionMm + positionMmPerM * point.norm() / 1000.0;
    }
};

struct IdentificationProblem
{
    // Starting model: usually the controller's table, no zero offsets, the placement from a
    // registration and the nominal target offset.
    CellModel start;
    // Four flags per joint (see ParameterKind): true holds the parameter at its start value.
    std::vector<bool> locked;
    // Data already in the base frame, or of the flange itself.
    bool placementFixed = false;
    bool targetFixed = false;
    std::vector<Measurement> measurements;
    InstrumentUncertainty uncertainty;
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
    // Theta values and the flange link are the start values.
    CellModel model;
    // Identified minus start, per parameter; placement angles and offsets are corrections.
    std::vector<double> changes;
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

// Identifies the unlocked DH parameters, zero offsets, placement and target offset from the
// measurements by robust nonlinear least squares; unidentifiable parameters are found by a rank
// test beforehand and held at their start values. The rank test keeps the cell's parameters
// before the robot's, so what the base frame and the target can explain stays out of the
// controller's table.
IdentificationResult identify(const IdentificationProblem& problem);

// The rigid placement that carries the model's target positions onto the measured ones: a
// closed-form start from any placement.
Eigen::Isometry3d registerPlacement(const CellModel& model,
                                    const std::vector<Measurement>& measurements);

struct PoseErrors
{
    double meanPositionMm = 0.0;
    double maxPositionMm = 0.0;
    double meanOrientationDeg = 0.0;
    double maxOrientationDeg = 0.0;
};

// Position error (mm) of the model at each measurement.
std::vector<double> positionErrors(const CellModel& model,
                                   const std::vector<Measurement>& measurements);
// How far the model's predictions lie from the measurements.
PoseErrors poseErrors(const CellModel& model, const std::vector<Measurement>& measurements);

} // namespace calib
