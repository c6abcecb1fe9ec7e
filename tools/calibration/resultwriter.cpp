#include "resultwriter.h"

#include "calibrationreport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <atomicfile.h>
#include <cellframes.h>

namespace calib {

namespace {

QString name(int index, int axes)
{
    return QString::fromStdString(parameterName(index, axes));
}

} // namespace

bool writeResultFile(const QString& path, const CalibrationOutcome& outcome, QString* error)
{
    const IdentificationResult& id = outcome.identification;
    const int axes = int(id.model.zeroOffsets.size());
    QJsonObject joints;
    for (int j = 0; j < axes; ++j) {
        const auto at = [&](int k) { return id.model.dh[std::size_t(4 * j + k)]; };
        joints.insert(QStringLiteral("joint_%1").arg(j + 1),
                      QJsonObject{{QStringLiteral("alpha"), at(0)},
                                  {QStringLiteral("a"), at(1)},
                                  {QStringLiteral("d"), at(2)},
                                  {QStringLiteral("theta_offset"), at(3)}});
    }
    QJsonArray zeroPoints;
    for (double value : outcome.zeroPoints)
        zeroPoints.append(value);
    // Each held parameter with the estimated ones that took over its effect.
    QJsonObject held;
    for (const HeldParameter& parameter : id.held) {
        QJsonObject partners;
        for (const auto& [partner, coefficient] : parameter.partners)
            partners.insert(name(partner, axes), coefficient);
        held.insert(name(parameter.index, axes), partners);
    }

    const QJsonObject root{
        {QStringLiteral("status"), 1},
        {QStringLiteral("robot_name"), outcome.robotName},
        {QStringLiteral("serial_number"), outcome.job.serialNumber},
        {QStringLiteral("dh_parameters"), joints},
        {QStringLiteral("avg_pos_error"), outcome.after.meanPositionMm},
        {QStringLiteral("avg_att_error"), outcome.after.meanOrientationDeg},
        {QStringLiteral("max_pos_error"), outcome.after.maxPositionMm},
        {QStringLiteral("avg_pos_error_before"), outcome.before.meanPositionMm},
        {QStringLiteral("avg_att_error_before"), outcome.before.meanOrientationDeg},
        {QStringLiteral("zero_points"), zeroPoints},
        {QStringLiteral("held_parameters"), held},
    };
    return sim::writeFileAtomically(path, QJsonDocument(root).toJson(QJsonDocument::Indented),
                                    error);
}

bool writeCellFrames(const QString& path, const CalibrationOutcome& outcome, QString* error)
{
    CellFrames frames;
    frames.robotName = outcome.robotName;
    frames.serialNumber = outcome.job.serialNumber;
    frames.placement = outcome.identification.model.placement;
    frames.targetOffset = outcome.identification.model.targetOffset;
    frames.placementFixed = outcome.placementFixed;
    frames.targetFixed = outcome.targetFixed;
    return sim::writeFileAtomically(path, cellFramesToJson(frames), error);
}

bool writeReport(const QString& path, const CalibrationOutcome& outcome, QString* error)
{
    const QByteArray pdf = calibrationReport(outcome);
    if (pdf.isEmpty()) {
        if (error)
            *error = QStringLiteral("the PDF writer produced nothing for %1").arg(path);
        return false;
    }
    return sim::writeFileAtomically(path, pdf, error);
}

} // namespace calib
