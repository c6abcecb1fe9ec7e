#pragma once

#include "lumoracalibration_global.h"

#include <QString>
#include <QVector>

#include <vector>

// Process-wide state shared by the panels. DH vectors hold four values per link in the order
// alpha, a, d, theta; link k is at indices 4k to 4k+3.
namespace common {

LUMORACALIBRATION_EXPORT extern QString robotIP;
LUMORACALIBRATION_EXPORT extern QString robotName;
LUMORACALIBRATION_EXPORT extern int modelType;
LUMORACALIBRATION_EXPORT extern QString serialNumber;
LUMORACALIBRATION_EXPORT extern QString calibrationDir;
LUMORACALIBRATION_EXPORT extern const QString calibInfoFile;
LUMORACALIBRATION_EXPORT extern const QString optimizedDHFile;
LUMORACALIBRATION_EXPORT extern const QString defaultIsoPosesFile;
LUMORACALIBRATION_EXPORT extern int axisNum;
LUMORACALIBRATION_EXPORT extern QVector<double> originalDHParamsVec;
LUMORACALIBRATION_EXPORT extern QVector<double> optimizedDHParamsVec;
LUMORACALIBRATION_EXPORT extern std::vector<double> zeroPointsVec;
LUMORACALIBRATION_EXPORT extern QVector<QVector<double>> isoPoses;
LUMORACALIBRATION_EXPORT extern QVector<QVector<double>> defaultIsoPoses;
LUMORACALIBRATION_EXPORT extern int sampleTimes;
LUMORACALIBRATION_EXPORT extern QString isoReportPath;
LUMORACALIBRATION_EXPORT extern const QString pointNames[5];
LUMORACALIBRATION_EXPORT extern const QString jointNames[10];

} // namespace common
