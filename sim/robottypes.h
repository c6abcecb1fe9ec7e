#pragma once

#include <QString>

#include <vector>

namespace sim {

struct JointRange
{
    double minDeg = 0.0;
    double maxDeg = 0.0;
};

// A robot model as built: its nominal DH table (standard DH, four values per link in the order
// alpha deg, a mm, d mm, theta deg; axisCount + 1 links, the last one the flange) and the
// travel of each joint.
struct RobotType
{
    QString name;
    int modelCode = 0;
    int axisCount = 0;
    std::vector<double> nominalDh;
    std::vector<JointRange> jointRanges;
    // Mass of each axis link and of the usual tool, kg: what loads joints 2 and 3.
    std::vector<double> linkMassesKg;
    double payloadKg = 0.0;

    int linkCount() const { return axisCount + 1; }
};

const std::vector<RobotType>& robotTypes();
// The type of that name or model code, or null.
const RobotType* findRobotType(const QString& name);
const RobotType* findRobotType(int modelCode);
// The type a fresh cell holds.
const RobotType& defaultRobotType();

} // namespace sim
