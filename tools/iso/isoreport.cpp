#include "isoreport.h"

#include <QBuffer>
#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QPdfWriter>

#include <algorithm>
#include <cmath>

namespace iso {

namespace {

constexpr int dpi = 300;
const QColor ink(0x20, 0x20, 0x20);
const QColor muted(0x70, 0x70, 0x70);
const QColor rule(0xc8, 0xc8, 0xc8);
const QColor band(0xee, 0xf2, 0xf7);
const QColor dots(0x1f, 0x5f, 0xb4);
const QColor limit(0xc0, 0x39, 0x2b);

double mm(double millimetres)
{
    return millimetres / 25.4 * dpi;
}

QFont font(double points, bool bold = false)
{
    QFont f(QStringLiteral("DejaVu Sans"));
    f.setStyleHint(QFont::SansSerif);
    f.setPointSizeF(points);
    f.setBold(bold);
    return f;
}

QString fixed(double value, int decimals)
{
    return QString::number(value, 'f', decimals);
}

// Rounds a plot's half range up to 1, 2 or 5 times a power of ten.
double niceHalfRange(double value)
{
    if (!(value > 0.0))
        return 1.0;
    const double power = std::pow(10.0, std::floor(std::log10(value)));
    for (double step : {1.0, 2.0, 5.0, 10.0}) {
        if (value <= step * power)
            return step * power;
    }
    return 10.0 * power;
}

class ReportPainter
{
public:
    ReportPainter(QPainter& painter, double width)
        : p(painter)
        , width(width)
    {}

    void title(const QString& text, const QString& subtitle)
    {
        p.setPen(ink);
        p.setFont(font(16, true));
        p.drawText(QRectF(0, y, width, mm(9)), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += mm(9);
        p.setPen(muted);
        p.setFont(font(9));
        p.drawText(QRectF(0, y, width, mm(5)), Qt::AlignLeft | Qt::AlignVCenter, subtitle);
        y += mm(7);
        p.setPen(QPen(ink, mm(0.4)));
        p.drawLine(QPointF(0, y), QPointF(width, y));
        y += mm(4);
    }

    void heading(const QString& text)
    {
        y += mm(3);
        p.setPen(ink);
        p.setFont(font(11, true));
        p.drawText(QRectF(0, y, width, mm(6)), Qt::AlignLeft | Qt::AlignVCenter, text);
        y += mm(7);
    }

    // Label and value pairs in two columns.
    void facts(const QVector<QPair<QString, QString>>& items)
    {
        const double rowHeight = mm(5.2);
        const double column = width / 2.0;
        const int rows = (items.size() + 1) / 2;
        for (int i = 0; i < items.size(); ++i) {
            const double x = i < rows ? 0.0 : column;
            const double top = y + rowHeight * (i % rows);
            p.setFont(font(9));
            p.setPen(muted);
            p.drawText(QRectF(x, top, mm(36), rowHeight), Qt::AlignLeft | Qt::AlignVCenter,
                       items[i].first);
            p.setPen(ink);
            p.setFont(font(9, true));
            const QRectF valueRect(x + mm(36), top, column - mm(38), rowHeight);
            p.drawText(valueRect, Qt::AlignLeft | Qt::AlignVCenter,
                       QFontMetricsF(p.font(), p.device())
                           .elidedText(items[i].second, Qt::ElideMiddle, valueRect.width()));
        }
        y += rowHeight * rows;
    }

    // A table with a shaded header; weights share the width between the columns.
    void table(const QStringList& header, const QVector<QStringList>& rows,
               const QVector<double>& weights)
    {
        double total = 0.0;
        for (double w : weights)
            total += w;
        const double rowHeight = mm(6);
        const auto drawRow = [&](const QStringList& cells, bool bold) {
            double x = 0.0;
            for (int c = 0; c < cells.size(); ++c) {
                const double w = width * weights.value(c) / total;
                p.setFont(font(8.5, bold || c == 0));
                p.drawText(QRectF(x + mm(1.5), y, w - mm(3), rowHeight),
                           (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, cells[c]);
                x += w;
            }
            y += rowHeight;
        };
        p.fillRect(QRectF(0, y, width, rowHeight), band);
        p.setPen(ink);
        drawRow(header, true);
        for (const QStringList& row : rows) {
            drawRow(row, false);
            p.setPen(QPen(rule, mm(0.2)));
            p.drawLine(QPointF(0, y), QPointF(width, y));
            p.setPen(ink);
        }
    }

    // The attained positions of one point around their barycentre, XY projection, in um, with
    // the repeatability circle.
    void scatter(const QRectF& cell, const QString& name, const PointMeasurements& point,
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
        const double half = niceHalfRange(extent * 1.05);

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

    void notes(const QRectF& cell, const QStringList& lines)
    {
        p.setPen(ink);
        p.setFont(font(7.5));
        double top = cell.top() + mm(8);
        for (const QString& line : lines) {
            const QRectF bounds = p.boundingRect(
                QRectF(cell.left() + mm(3), top, cell.width() - mm(4), cell.height()),
                Qt::TextWordWrap, line);
            p.drawText(bounds, Qt::TextWordWrap, line);
            top = bounds.bottom() + mm(1.5);
        }
    }

    QPainter& p;
    double width;
    double y = 0.0;
};

} // namespace

QByteArray pdfReport(const MeasurementRecord& record, const std::vector<PointFigures>& figures)
{
    QByteArray pdf;
    QBuffer buffer(&pdf);
    buffer.open(QIODevice::WriteOnly);
    QPdfWriter writer(&buffer);
    writer.setResolution(dpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 14, 15, 14), QPageLayout::Millimeter);
    writer.setTitle(QStringLiteral("ISO 9283 pose accuracy and repeatability report"));
    writer.setCreator(QStringLiteral("iso_pdf_generate"));

    QPainter painter(&writer);
    painter.setRenderHint(QPainter::Antialiasing);
    const double width = writer.width();
    const double height = writer.height();
    ReportPainter r(painter, width);

    r.title(QStringLiteral("Pose accuracy and repeatability (ISO 9283)"),
            QStringLiteral("Position characteristics at five test poses; P5 is the centre of "
                           "the test region."));
    r.facts({
        {QStringLiteral("Robot type"), record.robotName},
        {QStringLiteral("Serial number"), record.serialNumber},
        {QStringLiteral("Controller IP"), record.ip},
        {QStringLiteral("Test date"), record.date.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
        {QStringLiteral("Report date"),
         QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"))},
        {QStringLiteral("Samples per pose"), QString::number(record.sampleTimes)},
        {QStringLiteral("Cycle"), QStringLiteral("P1 \u2192 P2 \u2192 P3 \u2192 P4 \u2192 P5")},
        {QStringLiteral("Report folder"), record.savePath},
    });

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

    r.heading(QStringLiteral("Results (mm)"));
    QVector<QStringList> resultRows;
    for (std::size_t i = 0; i < record.points.size(); ++i) {
        const PointFigures& f = figures[i];
        const Eigen::Vector3d ap = f.barycentre - record.points[i].commanded;
        resultRows.append({record.points[i].name, fixed(f.accuracy, 4), fixed(ap.x(), 4),
                           fixed(ap.y(), 4), fixed(ap.z(), 4), fixed(f.repeatability, 4),
                           fixed(f.rms, 4), fixed(f.stdDev, 4)});
    }
    r.table({QStringLiteral("Point"), QStringLiteral("AP"), QStringLiteral("APx"),
             QStringLiteral("APy"), QStringLiteral("APz"), QStringLiteral("RP"),
             QStringLiteral("RMS"), QStringLiteral("StdDev")},
            resultRows, {0.8, 1, 1, 1, 1, 1, 1, 1});

    r.heading(
        QStringLiteral("Attained positions around their barycentre (XY projection, \u00b5m)"));
    const double gap = mm(6);
    const double cellWidth = (width - 2 * gap) / 3.0;
    const double cellHeight = std::min(cellWidth + mm(8), (height - r.y - gap) / 2.0);
    for (std::size_t i = 0; i < record.points.size() && i < 5; ++i) {
        const QRectF cell(double(i % 3) * (cellWidth + gap),
                          r.y + double(i / 3) * (cellHeight + gap), cellWidth, cellHeight);
        r.scatter(cell, record.points[i].name, record.points[i], figures[i]);
    }
    r.notes(
        QRectF(2 * (cellWidth + gap), r.y + cellHeight + gap, cellWidth, cellHeight),
        {QStringLiteral("AP: distance from the barycentre of the attained positions to the "
                        "commanded position."),
         QStringLiteral("RP = l\u0304 + 3\u00b7S\u2097, where l\u2c7c is the distance of attained "
                        "position j from the barycentre and S\u2097 the sample standard "
                        "deviation of the l\u2c7c."),
         QStringLiteral("RMS and StdDev: root mean square and sample standard deviation of "
                        "the distances l\u2c7c."),
         QStringLiteral("Dashed circle: RP. Cross: barycentre.")});
    painter.end();
    return pdf;
}

} // namespace iso
