#include "robottypes.h"

namespace sim {

namespace {

std::vector<RobotType> buildTypes()
{
    RobotType six;
    six.name = QStringLiteral("LX6-900");
    six.modelCode = 6001;
    six.axisCount = 6;
    six.nominalDh = {
        -90, 150, 450, 0,   //
        0,   610, 0,   -90, //
        -90, 120, 0,   0,   //
        90,  0,   660, 0,   //
        -90, 0,   0,   0,   //
        0,   0,   115, 180, //
        0,   0,   0,   0,
    };
    six.jointRanges = {{-170, 170}, {-130, 80}, {-150, 75}, {-190, 190}, {-125, 125}, {-360, 360}};
    six.linkMassesKg = {45, 28, 16, 6, 4, 1};
    six.payloadKg = 5;

    RobotType seven;
    seven.name = QStringLiteral("LX7-800");
    seven.modelCode = 7001;
    seven.axisCount = 7;
    seven.nominalDh = {
        -90, 0, 340, 0, //
        90,  0, 0,   0, //
        -90, 0, 400, 0, //
        90,  0, 0,   0, //
        -90, 0, 400, 0, //
        90,  0, 0,   0, //
        0,   0, 126, 0, //
        0,   0, 0,   0,
    };
    seven.jointRanges = {{-170, 170}, {-120, 120}, {-170, 170}, {-120, 120},
                         {-170, 170}, {-120, 120}, {-175, 175}};
    seven.linkMassesKg = {9, 8, 6, 5, 3, 2, 1};
    seven.payloadKg = 3;
    return {six, seven};
}

} // namespace

const std::vector<RobotType>& robotTypes()
{
    static const std::vector<RobotType> types = buildTypes();
    return types;
}

const RobotType* findRobotType(const QString& name)
{
    for (const RobotType& type : robotTypes()) {
        if (type.name == name)
            return &type;
    }
    return nullptr;
}

const RobotType* findRobotType(int modelCode)
{
    for (const RobotType& type : robotTypes()) {
        if (type.modelCode == modelCode)
            return &type;
    }
    return nullptr;
}

const RobotType& defaultRobotType()
{
    return robotTypes().front();
}

} // namespace sim
