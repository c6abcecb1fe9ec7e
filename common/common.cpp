#include "common.h"

namespace common {

QString robotIP = QLatin1String("");
QString robotName = QLatin1String("");
int modelType = 0;
QString serialNumber = QLatin1String("");
QString calibrationDir = QLatin1String("");
const QString calibInfoFile = QStringLiteral("calibInfo.json");
const QString optimizedDHFile = QStringLiteral("optimized_dh.json");
const QString defaultIsoPosesFile = QStringLiteral("default_iso_poses.json");
int axisNum = 0;
QVector<double> originalDHParamsVec;
QVector<double> optimizedDHParamsVec;
std::vector<double> zeroPointsVec;
QVector<QVector<double>> isoPoses;
QVector<QVector<double>> defaultIsoPoses;
int sampleTimes = 0;
QString isoReportPath = QLatin1String("");
const QString pointNames[5] = {QStringLiteral("P1"), QStringLiteral("P2"), QStringLiteral("P3"),
                               QStringLiteral("P4"), QStringLiteral("P5(中心点)")};
const QString jointNames[10] = {QStringLiteral("J1"), QStringLiteral("J2"), QStringLiteral("J3"),
                                QStringLiteral("J4"), QStringLiteral("J5"), QStringLiteral("J6"),
                                QStringLiteral("J7"), QStringLiteral("J8"), QStringLiteral("J9"),
                                QStringLiteral("J10")};

} // namespace common
