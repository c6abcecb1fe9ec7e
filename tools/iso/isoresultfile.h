#pragma once

#include "isofigures.h"

#include <QString>

#include <vector>

namespace iso {

struct NamedFigures
{
    QString name;
    PointFigures figures;
};

// Sets the result file's "iso_results" member (one object per point with "name", "Accuracy",
// "Repeatability", "RMS" and "StdDev" in mm, and the attitude figures "AP_a", "AP_b", "AP_c",
// "RP_a", "RP_b", "RP_c" in degrees), keeping every other member; creates the file when it is
// missing. A file that exists but holds no JSON object is left alone and reported.
bool writeIsoResults(const QString& path, const std::vector<NamedFigures>& results, QString* error);

// Removes "iso_results" from the result file; a missing file or member is nothing to do.
bool removeIsoResults(const QString& path, QString* error);

} // namespace iso
