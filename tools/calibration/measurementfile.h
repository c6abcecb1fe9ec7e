#pragma once

#include "identification.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace calib {

// Recorded measurements, CSV in UTF-8: one header row, lines starting with '#' ignored;
// columns j1 ... jN (degrees), x, y, z (mm, instrument frame), optionally rx, ry, rz (rotation
// vector of the measured frame, radians, any length) and set ("fit" or "check").

// The measurements in that format with a set column, every number written so that it reads
// back to the same double.
QByteArray measurementsToCsv(const std::vector<Measurement>& measurements);

// Parses the format for a robot of axisCount axes, or of as many as the header names when
// axisCount is 0. Empty with a message naming the line and column of the first fault.
std::optional<std::vector<Measurement>> parseMeasurementCsv(const QByteArray& text, int axisCount,
                                                            QString* error);

// The number of joint columns a file's header names; 0 with a message when the file cannot
// be read or its header is not of the format.
int measurementFileAxes(const QString& path, QString* error);

// A recording of an instrument's measurements, read as a measurement source.
class RecordedMeasurements final : public sim::MeasurementSource
{
public:
    RecordedMeasurements(const QString& path, int axisCount);

    QString description() const override;
    std::optional<std::vector<Measurement>> measure(const std::vector<std::vector<double>>& plan,
                                                    const sim::MeasureProgress& progress,
                                                    QString* error) override;

private:
    QString path;
    int axisCount;
};

} // namespace calib
