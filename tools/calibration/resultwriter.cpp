#include "resultwriter.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

#include <algorithm>
#include <atomicfile.h>

namespace calib {

namespace {

QString number(double value, int decimals = 6)
{
    return QString::number(value, 'f', decimals);
}

QString name(int index)
{
    return QString::fromStdString(parameterName(index));
}

} // namespace

bool writeResultFile(const QString& path, const CalibrationOutcome& outcome, QString* error)
{
    const IdentificationResult& id = outcome.identification;
    const int axes = int(id.zeroOffsets.size());
    QJsonObject joints;
    for (int j = 0; j < axes; ++j) {
        const auto at = [&](int k) { return id.dh[std::size_t(4 * j + k)]; };
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
            partners.insert(name(partner), coefficient);
        held.insert(name(parameter.index), partners);
    }

    const QJsonObject root{
        {QStringLiteral("status"), 1},
        {QStringLiteral("robot_name"), outcome.cell.robotName},
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

bool writeReport(const QString& path, const CalibrationOutcome& outcome, QString* error)
{
    const IdentificationResult& id = outcome.identification;
    const int axes = int(id.zeroOffsets.size());
    const std::vector<double> noOffsets(std::size_t(axes), 0.0);
    QString text;
    QTextStream s(&text);
    s << "Kinematic calibration report\n"
      << "============================\n\n"
      << "Robot:          " << outcome.cell.robotName << "\n"
      << "Serial number:  " << outcome.job.serialNumber << "\n"
      << "Date:           " << QDateTime::currentDateTime().toString(Qt::ISODate) << "\n"
      << "Measured poses: " << outcome.poses << " for identification, " << outcome.validationPoses
      << " held out for validation\n"
      << "Solver:         " << id.iterations << " iterations, cost " << id.initialCost << " -> "
      << id.finalCost << "\n"
      << "Condition number of the scaled identification Jacobian: "
      << QString::number(id.conditionNumber, 'g', 4) << "\n\n";

    s << "Held-out pose errors       before        after\n"
      << "  mean position (mm)   " << qSetFieldWidth(12) << number(outcome.before.meanPositionMm, 4)
      << number(outcome.after.meanPositionMm, 4) << qSetFieldWidth(0) << "\n"
      << "  max position (mm)    " << qSetFieldWidth(12) << number(outcome.before.maxPositionMm, 4)
      << number(outcome.after.maxPositionMm, 4) << qSetFieldWidth(0) << "\n"
      << "  mean attitude (deg)  " << qSetFieldWidth(12)
      << number(outcome.before.meanOrientationDeg, 5) << number(outcome.after.meanOrientationDeg, 5)
      << qSetFieldWidth(0) << "\n"
      << "  max attitude (deg)   " << qSetFieldWidth(12)
      << number(outcome.before.maxOrientationDeg, 5) << number(outcome.after.maxOrientationDeg, 5)
      << qSetFieldWidth(0) << "\n\n";

    s << "Identified parameters (value, change, standard deviation)\n";
    for (std::size_t k = 0; k < id.estimated.size(); ++k) {
        const int p = id.estimated[k];
        const double start = parameterValue(outcome.cell.dh, noOffsets, p);
        const double value = parameterValue(id.dh, id.zeroOffsets, p);
        s << "  " << qSetFieldWidth(14) << Qt::left << name(p) << qSetFieldWidth(14) << Qt::right
          << number(value) << number(value - start) << number(id.standardDeviations[k])
          << qSetFieldWidth(0) << " " << parameterUnit(p) << "\n";
    }
    s << Qt::left;

    s << "\nLocked by the job:";
    int lockedCount = 0;
    for (std::size_t p = 0; p < outcome.locked.size(); ++p) {
        if (outcome.locked[p]) {
            s << (lockedCount++ % 6 == 0 ? "\n  " : " ") << name(int(p));
        }
    }
    s << (lockedCount == 0 ? " none\n" : "\n");

    s << "\nHeld at the controller's value (not identifiable from the measurements):";
    if (id.held.empty())
        s << " none";
    for (const HeldParameter& held : id.held) {
        s << "\n  " << name(held.index);
        if (held.partners.empty())
            s << ": no effect on the measured poses";
        for (std::size_t k = 0; k < held.partners.size(); ++k)
            s << (k == 0 ? ": moves with " : ", ") << name(held.partners[k].first) << " (x"
              << QString::number(held.partners[k].second, 'g', 4) << ")";
    }
    s << "\n\nParameter pairs with |correlation| > 0.9:";
    if (id.strongCorrelations.empty())
        s << " none";
    for (const Correlation& c : id.strongCorrelations)
        s << "\n  " << name(c.first) << " / " << name(c.second) << ": " << number(c.value, 3);

    s << "\n\nZero points (compensation to apply, deg):\n";
    for (int j = 0; j < axes; ++j)
        s << "  joint_" << (j + 1) << ": " << number(outcome.cell.zeroCompensation[std::size_t(j)])
          << " -> " << number(outcome.zeroPoints[std::size_t(j)]) << "\n";
    s.flush();
    return sim::writeFileAtomically(path, text.toUtf8(), error);
}

} // namespace calib
