#include "isoreport.h"

#include <QBuffer>
#include <QDateTime>
#include <QPainter>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>
#include <reportpainter.h>

namespace iso {

using namespace report;

namespace {

// The attained positions of one point around their barycentre, XY projection, in um, with the
// repeatability circle.
void scatter(QPainter& p, const QRectF& cell, const QString& name, const PointMeasurements& point,
             const PointFigures& figures)
{
    p.setPen(ink);
    p.setFont(font(9, true));
    const QRectF titleRect(cell.left(), cell.top(), cell.width(), mm(5));
    p.drawText(titleRect, Qt::AlignLeft | Qt::AlignVCenter, name);
    p.setFont(font(7.5));
    p.setPen(muted);
    p.drawText(titleRect, Qt::AlignRight | Qt::AlignVCenter,
               QStringLiteral("AP %1 mm   RP %2 \u00b5m")
                   .arg(fixed(figures.accuracy, 3), fixed(figures.repeatability * 1000.0, 1)));

    std::vector<QPointF> offsets;
    double extent = figures.repeatability * 1000.0;
    for (const Eigen::Vector3d& position : point.attained) {
        const Eigen::Vector3d d = (position - figures.barycentre) * 1000.0;
        offsets.emplace_back(d.x(), d.y());
        extent = std::max({extent, std::abs(d.x()), std::abs(d.y())});
    }
    const double half = niceRange(extent * 1.05);

    const double labelSpace = mm(9);
    const double side = std::min(cell.width() - labelSpace, cell.height() - mm(6) - mm(8));
    const QRectF plot(cell.left() + labelSpace, cell.top() + mm(6), side, side);
    const auto toPlot = [&](double ux, double uy) {
        return QPointF(plot.center().x() + ux / half * plot.width() / 2.0,
                       plot.center().y() - uy / half * plot.height() / 2.0);
    };

    p.setFont(font(6.5));
    for (int k = -2; k <= 2; ++k) {
        const double value = half * k / 2.0;
        const QPointF vx = toPlot(value, 0);
        const QPointF vy = toPlot(0, value);
        p.setPen(QPen(k == 0 ? muted : rule, mm(k == 0 ? 0.2 : 0.12)));
        p.drawLine(QPointF(vx.x(), plot.top()), QPointF(vx.x(), plot.bottom()));
        p.drawLine(QPointF(plot.left(), vy.y()), QPointF(plot.right(), vy.y()));
        p.setPen(muted);
        const QString label = QString::number(value, 'g', 3);
        p.drawText(QRectF(vx.x() - mm(6), plot.bottom() + mm(0.5), mm(12), mm(3.5)),
                   Qt::AlignHCenter | Qt::AlignTop, label);
        p.drawText(QRectF(cell.left(), vy.y() - mm(1.75), labelSpace - mm(1), mm(3.5)),
                   Qt::AlignRight | Qt::AlignVCenter, label);
    }
    p.setPen(QPen(ink, mm(0.25)));
    p.setBrush(Qt::NoBrush);
    p.drawRect(plot);
    p.drawText(QRectF(plot.left(), plot.bottom() + mm(4), plot.width(), mm(3.5)),
               Qt::AlignHCenter | Qt::AlignTop, QStringLiteral("\u0394X (\u00b5m)"));
    p.save();
    p.translate(cell.left() + mm(1.5), plot.center().y());
    p.rotate(-90);
    p.drawText(QRectF(-plot.height() / 2, -mm(1.75), plot.height(), mm(3.5)), Qt::AlignCenter,
               QStringLiteral("\u0394Y (\u00b5m)"));
    p.restore();

    p.save();
    p.setClipRect(plot);
    const double radius = figures.repeatability * 1000.0 / half * plot.width() / 2.0;
    p.setPen(QPen(limit, mm(0.25), Qt::DashLine));
    p.drawEllipse(plot.center(), radius, radius);
    p.setPen(Qt::NoPen);
    p.setBrush(dots);
    for (const QPointF& offset : offsets)
        p.drawEllipse(toPlot(offset.x(), offset.y()), mm(0.55), mm(0.55));
    p.setPen(QPen(ink, mm(0.3)));
    const QPointF c = plot.center();
    p.drawLine(c - QPointF(mm(1.2), 0), c + QPointF(mm(1.2), 0));
    p.drawLine(c - QPointF(0, mm(1.2)), c + QPointF(0, mm(1.2)));
    p.restore();
}

} // namespace

QByteArray pdfReport(const MeasurementRecord& record, const std::vector<PointFigures>& figures)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    setUpPdf(writer, QStringLiteral("ISO 9283 pose accuracy and repeatability report"),
             QStringLiteral("iso_pdf_generate"));

    QPainter painter(&writer);
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = writer.width();
    const double height = writer.height();
    ReportPainter r(painter, width);

    r.title(QStringLiteral("Pose accuracy and repeatability (ISO 9283)"),
            QStringLiteral("Position and attitude characteristics at five test poses; P5 is the "
                           "centre of the test cube."));
    r.facts({
        {QStringLiteral("Robot type"), record.robotName},
        {QStringLiteral("Serial number"), record.serialNumber},
        {QStringLiteral("Controller IP"), record.ip},
        {QStringLiteral("Test date"), record.date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
        {QStringLiteral("Report date"),
         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
        {QStringLiteral("Cycles"), QString::number(record.sampleTimes)},
        {QStringLiteral("Cycle"), QStringLiteral("P1 \u2192 P2 \u2192 P3 \u2192 P4 \u2192 P5")},
        {QStringLiteral("Report folder"), record.savePath},
    });
    r.paragraph(QStringLiteral("Measured point: ") + record.measuredPoint + QLatin1Char('.'));

    r.heading(QStringLiteral("Test poses (joint angles in degrees, commanded position in mm)"));
    QVector<QStringList> poseRows;
    for (const PointMeasurements& point : record.points) {
        QStringList row{point.name};
        for (double angle : point.joints)
            row << fixed(angle, 3);
        for (int axis = 0; axis < 3; ++axis)
            row << fixed(point.commanded[axis], 2);
        poseRows.append(row);
    }
    r.table({QStringLiteral("Point"), QStringLiteral("J1"), QStringLiteral("J2"),
             QStringLiteral("J3"), QStringLiteral("J4"), QStringLiteral("J5"), QStringLiteral("J6"),
             QStringLiteral("X"), QStringLiteral("Y"), QStringLiteral("Z")},
            poseRows, {0.8, 1, 1, 1, 1, 1, 1, 1.2, 1.2, 1.2});

    r.heading(QStringLiteral("Position (mm)"));
    QVector<QStringList> resultRows;
    QVector<QStringList> attitudeRows;
    for (std::size_t i = 0; i < record.points.size(); ++i) {
        const PointFigures& f = figures[i];
        const Eigen::Vector3d ap = f.barycentre - record.points[i].commanded;
        resultRows.append({record.points[i].name, fixed(f.accuracy, 4), fixed(ap.x(), 4),
                           fixed(ap.y(), 4), fixed(ap.z(), 4), fixed(f.repeatability, 4),
                           fixed(f.rms, 4), fixed(f.stdDev, 4)});
        QStringList row{record.points[i].name};
        for (int k = 0; k < 3; ++k)
            row << fixed(f.attitudeAccuracy[k], 5);
        for (int k = 0; k < 3; ++k)
            row << QStringLiteral("\u00b1") + fixed(f.attitudeRepeatability[k], 5);
        attitudeRows.append(row);
    }
    r.table({QStringLiteral("Point"), QStringLiteral("AP"), QStringLiteral("APx"),
             QStringLiteral("APy"), QStringLiteral("APz"), QStringLiteral("RP"),
             QStringLiteral("RMS"), QStringLiteral("StdDev")},
            resultRows, {0.8, 1, 1, 1, 1, 1, 1, 1});
    r.heading(QStringLiteral("Attitude (degrees, about the base's x, y and z axes)"));
    r.table({QStringLiteral("Point"), QStringLiteral("APa"), QStringLiteral("APb"),
             QStringLiteral("APc"), QStringLiteral("RPa"), QStringLiteral("RPb"),
             QStringLiteral("RPc")},
            attitudeRows, {0.8, 1, 1, 1, 1, 1, 1});

    r.heading(
        QStringLiteral("Attained positions around their barycentre (XY projection, \u00b5m)"));
    const double gap = mm(6);
    const double cellWidth = (width - 2 * gap) / 3.0;
    const double cellHeight = std::min(cellWidth + mm(8), (height - r.y - gap) / 2.0);
    for (std::size_t i = 0; i < record.points.size() && i < 5; ++i) {
        const QRectF cell(double(i % 3) * (cellWidth + gap),
                          r.y + double(i / 3) * (cellHeight + gap), cellWidth, cellHeight);
        scatter(painter, cell, record.points[i].name, record.points[i], figures[i]);
    }
    r.notes(
        QRectF(2 * (cellWidth + gap), r.y + cellHeight + gap, cellWidth, cellHeight),
        {QStringLiteral("AP: distance from the barycentre of the attained positions to the "
                        "commanded position."),
         QStringLiteral("RP = l\u0304 + 3\u00b7S\u2097, where l\u2c7c is the distance of "
                        "attained position j from the barycentre and S\u2097 the sample standard "
                        "deviation of the l\u2c7c."),
         QStringLiteral("APa, APb, APc: mean attained angle less the commanded "
                        "one; RPa, RPb, RPc = \u00b13 S of the angles."),
         QStringLiteral("Dashed circle: RP. Cross: barycentre.")});
    painter.end();
    return pdf;
}

} // namespace iso
