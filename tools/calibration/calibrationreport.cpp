#include "calibrationreport.h"

#include <QBuffer>
#include <QDateTime>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <reportpainter.h>

namespace calib {

using namespace report;

namespace {

QString name(int index, int axes)
{
    return QString::fromStdString(parameterName(index, axes));
}

// The value of a parameter in a model: placement angles as the rotation vector in degrees.
double parameterValue(const CellModel& model, int index, int axes)
{
    if (index >= targetIndex(axes, 0))
        return model.targetOffset[index - targetIndex(axes, 0)];
    if (index >= placementIndex(axes, 0)) {
        const int k = index - placementIndex(axes, 0);
        if (k < 3)
            return model.placement.translation()[k];
        const Eigen::AngleAxisd turn(model.placement.linear());
        return (turn.angle() * turn.axis())[k - 3] * 180.0 / 3.14159265358979323846;
    }
    return index % 4 == ZeroOffset ? model.zeroOffsets[std::size_t(index / 4)]
                                   : model.dh[std::size_t(4 * (index / 4) + index % 4)];
}

// Bars of one value per pose, fitted poses first, held-out ones after.
void errorChart(ReportPainter& r, const QString& title, const std::vector<double>& fit,
                const std::vector<double>& check, double scale, const QString& unit)
{
    QPainter& p = r.p;
    const double height = mm(34);
    const double left = mm(12);
    const QRectF plot(left, r.y + mm(5), r.width - left, height);
    double largest = 0.0;
    for (const std::vector<double>* set : {&fit, &check}) {
        for (double value : *set)
            largest = std::max(largest, value * scale);
    }
    const double top = niceRange(largest);
    p.setPen(ink);
    p.setFont(font(8.5, true));
    p.drawText(QRectF(0, r.y, r.width, mm(5)), Qt::AlignLeft | Qt::AlignVCenter, title);
    p.setFont(font(6.5));
    for (int k = 0; k <= 4; ++k) {
        const double yLine = plot.bottom() - plot.height() * k / 4.0;
        p.setPen(QPen(k == 0 ? muted : rule, mm(0.12)));
        p.drawLine(QPointF(plot.left(), yLine), QPointF(plot.right(), yLine));
        p.setPen(muted);
        p.drawText(QRectF(0, yLine - mm(1.75), left - mm(1), mm(3.5)),
                   Qt::AlignRight | Qt::AlignVCenter, QString::number(top * k / 4.0, 'g', 3));
    }
    const std::size_t count = fit.size() + check.size();
    const double step = plot.width() / double(std::max<std::size_t>(1, count));
    for (std::size_t i = 0; i < count; ++i) {
        const bool held = i >= fit.size();
        const double value = (held ? check[i - fit.size()] : fit[i]) * scale;
        const double barHeight = plot.height() * std::min(1.0, value / top);
        p.fillRect(QRectF(plot.left() + step * double(i) + step * 0.15, plot.bottom() - barHeight,
                          step * 0.7, barHeight),
                   held ? accent : dots);
    }
    p.setPen(muted);
    p.drawText(QRectF(plot.left(), plot.bottom() + mm(0.5), plot.width(), mm(3.5)),
               Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("%1 fitted poses (blue), then %2 held out (orange); %3")
                   .arg(fit.size())
                   .arg(check.size())
                   .arg(unit));
    r.y = plot.bottom() + mm(6);
}

// Counts of the errors after calibration in equal bins, fitted and held-out poses stacked.
void histogram(ReportPainter& r, const std::vector<double>& fit, const std::vector<double>& check)
{
    QPainter& p = r.p;
    constexpr int bins = 12;
    double largest = 0.0;
    for (const std::vector<double>* set : {&fit, &check}) {
        for (double value : *set)
            largest = std::max(largest, value * 1000.0);
    }
    const double top = niceRange(largest);
    int counts[2][bins] = {};
    for (int s = 0; s < 2; ++s) {
        for (double value : s == 0 ? fit : check)
            ++counts[s][std::min(bins - 1, int(value * 1000.0 / top * bins))];
    }
    int tallest = 1;
    for (int b = 0; b < bins; ++b)
        tallest = std::max(tallest, counts[0][b] + counts[1][b]);
    const double left = mm(12);
    const QRectF plot(left, r.y + mm(5), r.width - left, mm(30));
    p.setPen(ink);
    p.setFont(font(8.5, true));
    p.drawText(QRectF(0, r.y, r.width, mm(5)), Qt::AlignLeft | Qt::AlignVCenter,
               QStringLiteral("Position error after calibration: histogram"));
    p.setFont(font(6.5));
    const double width = plot.width() / bins;
    for (int b = 0; b < bins; ++b) {
        double bottom = plot.bottom();
        for (int s = 0; s < 2; ++s) {
            const double h = plot.height() * counts[s][b] / tallest;
            p.fillRect(QRectF(plot.left() + width * b + width * 0.08, bottom - h, width * 0.84, h),
                       s == 0 ? dots : accent);
            bottom -= h;
        }
        p.setPen(muted);
        p.drawText(QRectF(plot.left() + width * b, plot.bottom() + mm(0.5), width, mm(3.5)),
                   Qt::AlignHCenter | Qt::AlignTop, QString::number(top * b / bins, 'g', 3));
    }
    p.setPen(QPen(muted, mm(0.12)));
    p.drawLine(plot.bottomLeft(), plot.bottomRight());
    p.drawText(QRectF(0, plot.top(), left - mm(1), mm(3.5)), Qt::AlignRight | Qt::AlignVCenter,
               QString::number(tallest));
    p.drawText(QRectF(plot.left(), plot.bottom() + mm(4), plot.width(), mm(3.5)),
               Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("error (\u00b5m, lower bin edge); poses per bin"));
    r.y = plot.bottom() + mm(10);
}

QString figure(const PoseErrors& errors)
{
    return QStringLiteral("%1 / %2").arg(fixed(errors.meanPositionMm, 4),
                                         fixed(errors.maxPositionMm, 4));
}

} // namespace

QByteArray calibrationReport(const CalibrationOutcome& outcome)
{
    const IdentificationResult& id = outcome.identification;
    const int axes = int(id.model.zeroOffsets.size());
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    setUpPdf(writer, QStringLiteral("Kinematic calibration report"),
             QStringLiteral("KalvoCalibrationTool"));
    QPainter painter(&writer);
    painter.setRenderHint(QPainter::Antialiasing);
    ReportPainter r(painter, writer.width());

    r.title(QStringLiteral("Kinematic calibration"),
            QStringLiteral("DH parameters, joint zeros, instrument placement and target offset "
                           "identified from measured poses."));
    const Eigen::Vector3d target = id.model.targetOffset;
    r.facts({
        {QStringLiteral("Robot type"), outcome.robotName},
        {QStringLiteral("Serial number"), outcome.job.serialNumber},
        {QStringLiteral("Date"),
         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
        {QStringLiteral("Measurements"), outcome.source},
        {QStringLiteral("Poses"), QStringLiteral("%1 fitted, %2 held out")
                                      .arg(outcome.fit.size())
                                      .arg(outcome.check.size())},
        {QStringLiteral("Solver"), QStringLiteral("%1 iterations, cost %2 \u2192 %3")
                                       .arg(id.iterations)
                                       .arg(id.initialCost, 0, 'g', 4)
                                       .arg(id.finalCost, 0, 'g', 4)},
        {QStringLiteral("Condition number"), QString::number(id.conditionNumber, 'g', 4)},
        {QStringLiteral("Placement"), outcome.placementFixed
                                          ? QStringLiteral("fixed: data in the base frame")
                                          : QStringLiteral("identified")},
        {QStringLiteral("Target offset"),
         outcome.targetFixed
             ? QStringLiteral("fixed: data of the flange")
             : QStringLiteral("(%1, %2, %3) mm")
                   .arg(fixed(target.x(), 3), fixed(target.y(), 3), fixed(target.z(), 3))},
    });

    r.heading(QStringLiteral("Position error, mean / largest (mm)"));
    r.table({QStringLiteral("Poses"), QStringLiteral("Before"), QStringLiteral("After"),
             QStringLiteral("Attitude after (deg)")},
            {{QStringLiteral("Fitted"), figure(poseErrors(outcome.start, outcome.fit)),
              figure(poseErrors(id.model, outcome.fit)),
              fixed(poseErrors(id.model, outcome.fit).meanOrientationDeg, 5)},
             {QStringLiteral("Held out"), figure(outcome.before), figure(outcome.after),
              fixed(outcome.after.meanOrientationDeg, 5)}},
            {1.2, 1, 1, 1});
    r.paragraph(QStringLiteral("Before: the starting model with the instrument placement of a "
                               "best-fit registration; after: the identified model. Held-out "
                               "poses take no part in the fit."));
    const std::vector<double> fitAfter = positionErrors(id.model, outcome.fit);
    const std::vector<double> checkAfter = positionErrors(id.model, outcome.check);
    errorChart(r, QStringLiteral("Position error per pose before calibration"),
               positionErrors(outcome.start, outcome.fit),
               positionErrors(outcome.start, outcome.check), 1.0, QStringLiteral("mm"));
    errorChart(r, QStringLiteral("Position error per pose after calibration"), fitAfter, checkAfter,
               1000.0, QStringLiteral("\u00b5m"));
    histogram(r, fitAfter, checkAfter);

    writer.newPage();
    r.y = 0.0;
    r.heading(QStringLiteral("Parameters"));
    QVector<QStringList> rows;
    QVector<bool> flagged;
    for (int p = 0; p < parameterCount(axes); ++p) {
        QString note;
        QString sigma;
        const auto estimated = std::find(id.estimated.begin(), id.estimated.end(), p);
        if (estimated != id.estimated.end())
            sigma = fixed(id.standardDeviations[std::size_t(estimated - id.estimated.begin())], 5);
        else if (p < 4 * axes && outcome.locked[std::size_t(p)])
            note = QStringLiteral("locked by the job");
        else if ((p >= targetIndex(axes, 0) && outcome.targetFixed) ||
                 (p >= placementIndex(axes, 0) && p < targetIndex(axes, 0) &&
                  outcome.placementFixed))
            note = QStringLiteral("fixed");
        else
            note = QStringLiteral("held: not identifiable");
        bool strong = false;
        for (const Correlation& c : id.strongCorrelations) {
            if (c.first == p || c.second == p) {
                strong = true;
                note = QStringLiteral("\u03c1 %1 with %2")
                           .arg(fixed(c.value, 3), name(c.first == p ? c.second : c.first, axes));
            }
        }
        rows.append({name(p, axes), fixed(parameterValue(outcome.start, p, axes), 4),
                     fixed(parameterValue(id.model, p, axes), 4),
                     fixed(id.changes[std::size_t(p)], 5), sigma,
                     QString::fromLatin1(parameterUnit(p, axes)), note});
        flagged.append(strong);
    }
    r.table({QStringLiteral("Parameter"), QStringLiteral("Start"), QStringLiteral("Identified"),
             QStringLiteral("Change"), QStringLiteral("\u03c3"), QStringLiteral("Unit"),
             QStringLiteral("Note")},
            rows, {1.3, 1.1, 1.1, 1, 0.9, 0.5, 2.4}, flagged);

    QStringList held;
    for (const HeldParameter& parameter : id.held) {
        QStringList partners;
        for (const auto& [partner, coefficient] : parameter.partners)
            partners << QStringLiteral("%1 (\u00d7%2)")
                            .arg(name(partner, axes))
                            .arg(coefficient, 0, 'g', 4);
        held << name(parameter.index, axes) +
                    (partners.isEmpty()
                         ? QStringLiteral(": no effect on the measured target")
                         : QStringLiteral(": moves with ") + partners.join(QStringLiteral(", ")));
    }
    r.paragraph(QStringLiteral("Held at their start values because others reproduce them: ") +
                (held.isEmpty() ? QStringLiteral("none.")
                                : held.join(QStringLiteral("; ")) + QLatin1Char('.')));
    r.paragraph(QStringLiteral("Rows in red take part in a correlation above 0.9. Placement: "
                               "translation of the base origin in the instrument frame (mm) and "
                               "rotation vector (deg); its change is the fit's correction to the "
                               "registration."));
    painter.end();
    return pdf;
}

} // namespace calib
