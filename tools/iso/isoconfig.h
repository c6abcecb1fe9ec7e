#pragma once

#include <QString>

#include <array>
#include <optional>
#include <vector>

namespace iso {

// The most cycles the task accepts: a test longer than this is a typing error, not a plan.
constexpr int maxSampleTimes = 1000;

// One test pose: six joint angles in degrees, as the operator saved them.
struct TestPose
{
    QString name; // "P1" to "P5"
    std::array<double, 6> joints{};
};

// What the ISO task needs from the job file: "iso_config" and the robot it was saved for.
struct IsoConfig
{
    int sampleTimes = 0;
    QString savePath;
    std::vector<TestPose> poses;
    // From "robot_profile"; empty when the job file has none.
    QString robotName;
    QString serialNumber;
};

// Reads and checks the job file's ISO configuration: five poses point1 to point5 of six finite
// numbers, sample_times a whole number from 1 to maxSampleTimes.
std::optional<IsoConfig> readIsoConfig(const QString& jobPath, QString* error);

// The report folder of the job file's ISO configuration; nothing when it is missing or empty.
std::optional<QString> readSavePath(const QString& jobPath, QString* error);

} // namespace iso
