#pragma once

#include "cellstate.h"
#include "kinematics.h"

#include <Eigen/Geometry>
#include <vector>

namespace sim {

// Periodic error of one joint's transmission: amplitudes in degrees, phases in radians, of the
// terms of one and two cycles per turn.
struct TransmissionError
{
    double once = 0.0;
    double oncePhase = 0.0;
    double twice = 0.0;
    double twicePhase = 0.0;
};

// What the cell really is, as opposed to what its controller and the tools believe: drawn from
// the robot type, the seed and the error sources of a state. Only the instrument reads it.
struct CellTruth
{
    // The real robot's DH table: the nominal one with the hidden errors.
    std::vector<double> dh;
    // Joint zero errors in degrees, one per joint.
    std::vector<double> zeroError;
    // Takes points of the robot's base frame into the instrument's frame.
    Eigen::Isometry3d baseToInstrument = Eigen::Isometry3d::Identity();
    // Where the measured target sits in the flange frame, mm; the target's frame is parallel to
    // the flange's.
    Eigen::Vector3d targetOffset = Eigen::Vector3d::Zero();
    // Stiffness of joints 2 and 3, N m/rad; zero is rigid.
    double stiffness[2] = {0.0, 0.0};
    std::vector<TransmissionError> transmission;
    std::vector<double> linkMassesKg;
    double payloadKg = 0.0;
};

// The truth of the state's cell. Throws std::invalid_argument when the robot type is unknown.
CellTruth drawTruth(const CellState& state);

// The joint angles the robot really takes (degrees) for joint angles in front of its
// transmissions: the periodic transmission error and the sag of joints 2 and 3 added.
std::vector<double> physicalAngles(const CellTruth& truth, const std::vector<double>& anglesDeg);

// Pose of the target in the base frame at real joint angles.
Pose targetPose(const CellTruth& truth, const std::vector<double>& anglesDeg);

} // namespace sim
