#pragma once

#include "robottypes.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

namespace sim {

// Noise of the measuring instrument and of the robot itself, one standard deviation per axis.
// A laser tracker's position noise grows with the distance to the target.
struct InstrumentSettings
{
    double positionNoiseMm = 0.005;
    double positionNoiseMmPerM = 0.002;
    double orientationNoiseDeg = 0.001;
    // Repeatability of the robot: jitter of each attained joint angle.
    double jointJitterDeg = 0.0002;
};

// What makes the cell as hard as a real one; each is on unless switched off.
struct ErrorSources
{
    // The instrument stands 2 to 4 m from the base at an unknown yaw and a small tilt; off, it
    // sits in the robot's base frame.
    bool placement = true;
    // The instrument sees a target on a tool whose offset from the flange is known only
    // nominally; off, it sees the flange itself.
    bool targetOffset = true;
    // Joints 2 and 3 sag under the weight of the arm and the payload.
    bool gravity = true;
    // A periodic error of each joint's transmission, one and two cycles per turn.
    bool transmission = true;
    // Off, the position noise stays at its value at the instrument.
    bool distanceNoise = true;

    bool operator==(const ErrorSources& other) const;

    // Their names in the state file and on command lines.
    static QStringList names();
    bool* find(const QString& name);
    // "all", "none", or a comma-separated list of the sources to switch on; false with a
    // message naming what it does not know.
    static std::optional<ErrorSources> parse(const QString& text, QString* error);
    static ErrorSources none();
};

// Everything that makes up the simulated cell: which robot stands there, what its controller
// believes, the load on the arm, the instrument and the error sources. What the cell really is
// follows from these and the seed (celltruth.h), and only the instrument looks at that.
struct CellState
{
    QString robotName;
    QString serialNumber;
    QString ip;
    std::uint64_t seed = 0;
    // The controller's DH table (axis count + 1 links) and its zero compensation per joint.
    std::vector<double> dh;
    std::vector<double> zeroCompensation;
    // Mass of each axis link and of the tool, kg.
    std::vector<double> linkMassesKg;
    double payloadKg = 0.0;
    InstrumentSettings instrument;
    ErrorSources sources;

    // A fresh cell of a known seed: nominal table, no compensation, every error source on.
    static CellState defaults(const RobotType& type = defaultRobotType(),
                              std::uint64_t seed = 20260612);
    // A cell as a reset leaves it: a new robot of a drawn seed unless one is given.
    static CellState fresh(const RobotType& type, std::optional<std::uint64_t> seed = {});

    // Null when the robot name is unknown.
    const RobotType* robotType() const;
};

// How a reset starts the cell afresh: robot type, seed (drawn when none) and error sources.
struct CellReset
{
    const RobotType* type = &defaultRobotType();
    std::optional<std::uint64_t> seed;
    ErrorSources sources;

    // From the texts of command-line options, each empty for its default: a robot type name, a
    // seed and a list of error sources. Empty with a message when one is not understood.
    static std::optional<CellReset> fromOptions(const QString& robot, const QString& seed,
                                                const QString& sources, QString* error);
    CellState state() const;
};

// Reads a state file; false with a message when it is missing, unreadable or malformed.
bool loadCellState(const QString& path, CellState& state, QString* error = nullptr);
// Writes a state file atomically (folders created).
bool saveCellState(const QString& path, const CellState& state, QString* error = nullptr);
// Reads the state file, or writes and returns a fresh cell with a new robot when there is none
// yet (created tells which).
bool loadOrCreateCellState(const QString& path, CellState& state, QString* error = nullptr,
                           bool* created = nullptr);

} // namespace sim
