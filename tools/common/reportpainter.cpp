#include "reportpainter.h"

#include <QFontMetricsF>
#include <QPdfWriter>

#include <cmath>

namespace report {

double mm(double millimetres)
{
    return millimetres / 25.4 * dpi;
}

QFont font(double points, bool bold)
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

double niceRange(double value)
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

void setUpPdf(QPdfWriter& writer, const QString& title, const QString& creator)
{
    writer.setResolution(dpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(15, 14, 15, 14), QPageLayout::Millimeter);
    writer.setTitle(title);
    writer.setCreator(creator);
}

ReportPainter::ReportPainter(QPainter& painter, double width)
    : p(painter)
    , width(width)
{}

void ReportPainter::title(const QString& text, const QString& subtitle)
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

void ReportPainter::heading(const QString& text)
{
    y += mm(3);
    p.setPen(ink);
    p.setFont(font(11, true));
    p.drawText(QRectF(0, y, width, mm(6)), Qt::AlignLeft | Qt::AlignVCenter, text);
    y += mm(7);
}

void ReportPainter::facts(const QVector<QPair<QString, QString>>& items)
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

void ReportPainter::table(const QStringList& header, const QVector<QStringList>& rows,
                          const QVector<double>& weights, const QVector<bool>& flagged)
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
    for (int r = 0; r < rows.size(); ++r) {
        p.setPen(flagged.value(r) ? limit : ink);
        drawRow(rows[r], false);
        p.setPen(QPen(rule, mm(0.2)));
        p.drawLine(QPointF(0, y), QPointF(width, y));
    }
    p.setPen(ink);
}

void ReportPainter::notes(const QRectF& cell, const QStringList& lines)
{
    p.setPen(ink);
    p.setFont(font(7.5));
    double top = cell.top() + mm(8);
    for (const QString& line : lines) {
        const QRectF bounds =
            p.boundingRect(QRectF(cell.left() + mm(3), top, cell.width() - mm(4), cell.height()),
                           Qt::TextWordWrap, line);
        p.drawText(bounds, Qt::TextWordWrap, line);
        top = bounds.bottom() + mm(1.5);
    }
}

void ReportPainter::paragraph(const QString& text)
{
    p.setPen(ink);
    p.setFont(font(8.5));
    const QRectF bounds = p.boundingRect(QRectF(0, y, width, mm(40)), Qt::TextWordWrap, text);
    p.drawText(bounds, Qt::TextWordWrap, text);
    y = bounds.bottom() + mm(2);
}

} // namespace report
