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

// Everything that makes up the simulated cell: which robot stands there, what its controller
// believes, and the instrument. What the cell really is follows from the robot type and the
// seed (celltruth.h), and only the instrument looks at that.
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
};

// Reads a state file; false with a message when it is missing, unreadable or malformed.
bool loadCellState(const QString& path, CellState& state, QString* error = nullptr);
// Writes a state file atomically (folders created).
bool saveCellState(const QString& path, const CellState& state, QString* error = nullptr);
// Reads the state file, or writes and returns the defaults when there is none yet.
bool loadOrCreateCellState(const QString& path, CellState& state, QString* error = nullptr);

} // namespace sim
