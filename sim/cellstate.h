#pragma once

#include "robottypes.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace sim {

// Noise of the measuring instrument and of the robot itself, one standard deviation per axis.
struct InstrumentSettings
{
    double positionNoiseMm = 0.010;
    double orientationNoiseDeg = 0.001;
    // Repeatability of the robot: jitter of each attained joint angle.
    double jointJitterDeg = 0.0002;
};

// Deviations of the real robot from its nominal table, unknown to the controller. dhError is
// laid out like the DH table; joint zero errors are in degrees, one per joint.
struct HiddenDeviations
{
    std::vector<double> dhError;
    std::vector<double> zeroError;
};

// Everything that makes up the simulated cell: which robot stands there, what its controller
// believes, and the instrument. The hidden deviations follow from the robot type and the seed.
struct CellState
{
    QString robotName;
    QString serialNumber;
    QString ip;
    std::uint64_t seed = 0;
    // The controller's DH table (axis count + 1 links) and its zero compensation per joint.
    std::vector<double> dh;
    std::vector<double> zeroCompensation;
    InstrumentSettings instrument;

    // A fresh cell: nominal table, no compensation.
    static CellState defaults(const RobotType& type = defaultRobotType(),
                              std::uint64_t seed = 20260612);

    // Null when the robot name is unknown.
    const RobotType* robotType() const;
    HiddenDeviations deviations() const;
    // The real robot's DH table: nominal plus the hidden DH errors.
    std::vector<double> trueDh() const;
};

// Draws the hidden deviations of one robot: a and d errors of tenths of a millimetre, alpha
// errors of hundredths of a degree on the axis links (the flange link is exact, theta errors
// are modelled as joint zero errors), and joint zero errors of hundredths of a degree.
HiddenDeviations drawDeviations(const RobotType& type, std::uint64_t seed);

// Reads a state file; false with a message when it is missing, unreadable or malformed.
bool loadCellState(const QString& path, CellState& state, QString* error = nullptr);
// Writes a state file atomically (folders created).
bool saveCellState(const QString& path, const CellState& state, QString* error = nullptr);
// Reads the state file, or writes and returns the defaults when there is none yet.
bool loadOrCreateCellState(const QString& path, CellState& state, QString* error = nullptr);

} // namespace sim
