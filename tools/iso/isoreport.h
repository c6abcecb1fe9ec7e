#pragma once

#include "isodata.h"
#include "isofigures.h"

#include <QByteArray>

#include <vector>

namespace iso {

// The operator's PDF report of one test run: robot identity, dates, settings, the poses, the
// figures per point and one scatter plot per point of the attained positions around their
// barycentre. figures holds one entry per point of record. Needs a QGuiApplication.
QByteArray pdfReport(const MeasurementRecord& record, const std::vector<PointFigures>& figures);

} // namespace iso
