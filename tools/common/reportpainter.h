#pragma once

#include <QColor>
#include <QFont>
#include <QPainter>
#include <QPair>
#include <QString>
#include <QStringList>
#include <QVector>

class QPdfWriter;

namespace report {

// Page units of the reports: dots at this resolution.
constexpr int dpi = 300;
const QColor ink(0x20, 0x20, 0x20);
const QColor muted(0x70, 0x70, 0x70);
const QColor rule(0xc8, 0xc8, 0xc8);
const QColor band(0xee, 0xf2, 0xf7);
const QColor dots(0x1f, 0x5f, 0xb4);
const QColor accent(0xe0, 0x8a, 0x1e);
const QColor limit(0xc0, 0x39, 0x2b);

double mm(double millimetres);
QFont font(double points, bool bold = false);
QString fixed(double value, int decimals);
// Rounds a plot's range up to 1, 2 or 5 times a power of ten.
double niceRange(double value);
// A4, the reports' margins and resolution, title and creator.
void setUpPdf(QPdfWriter& writer, const QString& title, const QString& creator);

// Draws the blocks of a report top to bottom, keeping the current height in y.
class ReportPainter
{
public:
    ReportPainter(QPainter& painter, double width);

    void title(const QString& text, const QString& subtitle);
    void heading(const QString& text);
    // Label and value pairs in two columns.
    void facts(const QVector<QPair<QString, QString>>& items);
    // A table with a shaded header; weights share the width between the columns. Rows whose
    // flag is set are drawn in the accent colour.
    void table(const QStringList& header, const QVector<QStringList>& rows,
               const QVector<double>& weights, const QVector<bool>& flagged = {});
    // Wrapped lines of small print inside a cell of the page.
    void notes(const QRectF& cell, const QStringList& lines);
    // One wrapped paragraph across the page.
    void paragraph(const QString& text);

    QPainter& p;
    double width;
    double y = 0.0;
};

} // namespace report
