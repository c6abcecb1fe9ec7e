#include "measurementfile.h"

#include <QFile>
#include <QFileInfo>
#include <QList>

#include <atomicfile.h>
#include <charconv>
#include <cmath>

namespace calib {

namespace {

// Far beyond any survey; a larger file is a mistake, not data.
constexpr qint64 maxFileBytes = 64 * 1024 * 1024;

void appendNumber(QByteArray& line, double value)
{
    char buffer[32];
    const std::to_chars_result written = std::to_chars(buffer, buffer + sizeof buffer, value);
    line.append(buffer, int(written.ptr - buffer));
}

// Header columns: the joints 0 .. N-1, then the named ones.
enum Column { X = -1, Y = -2, Z = -3, RX = -4, RY = -5, RZ = -6, SetColumn = -7 };

struct Header
{
    QList<int> columns;
    int axes = 0;
    bool rotation = false;
    bool set = false;
};

QString columnName(int column)
{
    static const char* const names[] = {"x", "y", "z", "rx", "ry", "rz", "set"};
    return column >= 0 ? QStringLiteral("j%1").arg(column + 1)
                       : QString::fromLatin1(names[-column - 1]);
}

// The lines of the text with their numbers, comments and blank lines left out.
QList<QPair<int, QByteArray>> contentLines(QByteArray text)
{
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    QList<QPair<int, QByteArray>> lines;
    int number = 0;
    for (QByteArray line : text.split('\n')) {
        ++number;
        if (line.endsWith('\r'))
            line.chop(1);
        const QByteArray trimmed = line.trimmed();
        if (!trimmed.isEmpty() && !trimmed.startsWith('#'))
            lines.append({number, line});
    }
    return lines;
}

std::optional<Header> parseHeader(int lineNumber, const QByteArray& line, int axisCount,
                                  QString* error)
{
    const auto fail = [&](const QString& why) {
        if (error)
            *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
        return std::nullopt;
    };
    Header header;
    const QList<QByteArray> names = line.split(',');
    for (int c = 0; c < names.size(); ++c) {
        const QString name = QString::fromUtf8(names[c].trimmed()).toLower();
        int column = 0;
        bool ok = false;
        const int joint = name.startsWith(QLatin1Char('j')) ? name.mid(1).toInt(&ok) : 0;
        if (ok && joint >= 1 && QString::number(joint) == name.mid(1))
            column = joint - 1;
        else if (const int named =
                     QStringList{"x", "y", "z", "rx", "ry", "rz", "set"}.indexOf(name);
                 named >= 0)
            column = -named - 1;
        else
            return fail(QStringLiteral("column %1: unknown column \"%2\"").arg(c + 1).arg(name));
        if (header.columns.contains(column))
            return fail(QStringLiteral("column %1: \"%2\" appears twice").arg(c + 1).arg(name));
        header.columns.append(column);
        if (column >= 0)
            header.axes = std::max(header.axes, column + 1);
    }
    if (axisCount > 0 && header.axes > axisCount)
        return fail(QStringLiteral("column %1: the robot has %2 axes, not %3")
                        .arg(header.columns.indexOf(header.axes - 1) + 1)
                        .arg(axisCount)
                        .arg(header.axes));
    if (axisCount > 0)
        header.axes = axisCount;
    if (header.axes == 0)
        return fail(QStringLiteral("the header names no joint column j1"));
    for (int column = 0; column < header.axes; ++column) {
        if (!header.columns.contains(column))
            return fail(QStringLiteral("the header lacks column \"%1\"").arg(columnName(column)));
    }
    for (int column : {X, Y, Z}) {
        if (!header.columns.contains(column))
            return fail(QStringLiteral("the header lacks column \"%1\"").arg(columnName(column)));
    }
    const int rotations = int(header.columns.contains(RX)) + int(header.columns.contains(RY)) +
                          int(header.columns.contains(RZ));
    if (rotations != 0 && rotations != 3)
        return fail(QStringLiteral("columns rx, ry and rz come together or not at all"));
    header.rotation = rotations == 3;
    header.set = header.columns.contains(SetColumn);
    return header;
}

bool parseNumber(const QByteArray& field, double& out)
{
    QByteArray text = field.trimmed();
    if (text.startsWith('+'))
        text.remove(0, 1);
    const char* end = text.constData() + text.size();
    const std::from_chars_result read = std::from_chars(text.constData(), end, out);
    return !text.isEmpty() && read.ec == std::errc() && read.ptr == end && std::isfinite(out);
}

std::optional<QByteArray> readFile(const QString& path, QString* error)
{
    std::optional<QByteArray> content = sim::readRegularFile(path, maxFileBytes);
    if (!content && error)
        *error = QStringLiteral("cannot read %1: not a readable file of at most 64 MiB").arg(path);
    return content;
}

} // namespace

QByteArray measurementsToCsv(const std::vector<Measurement>& measurements)
{
    const int axes = measurements.empty() ? 0 : int(measurements.front().jointsDeg.size());
    const bool rotation = !measurements.empty() && measurements.front().hasRotation;
    QByteArray csv;
    for (int j = 0; j < axes; ++j)
        csv += "j" + QByteArray::number(j + 1) + ",";
    csv += rotation ? "x,y,z,rx,ry,rz,set\n" : "x,y,z,set\n";
    for (const Measurement& m : measurements) {
        for (double angle : m.jointsDeg) {
            appendNumber(csv, angle);
            csv += ',';
        }
        const Eigen::AngleAxisd turn(m.pose.rotation);
        const Eigen::Vector3d vector = turn.angle() * turn.axis();
        for (int k = 0; k < (rotation ? 6 : 3); ++k) {
            appendNumber(csv, k < 3 ? m.pose.position[k] : vector[k - 3]);
            csv += ',';
        }
        csv += m.set == Measurement::Check ? "check\n" : "fit\n";
    }
    return csv;
}

std::optional<std::vector<Measurement>> parseMeasurementCsv(const QByteArray& text, int axisCount,
                                                            QString* error)
{
    const QList<QPair<int, QByteArray>> lines = contentLines(text);
    if (lines.isEmpty()) {
        if (error)
            *error = QStringLiteral("line 1: no header row");
        return std::nullopt;
    }
    const std::optional<Header> header =
        parseHeader(lines.front().first, lines.front().second, axisCount, error);
    if (!header)
        return std::nullopt;
    std::vector<Measurement> measurements;
    for (int i = 1; i < lines.size(); ++i) {
        const int number = lines[i].first;
        const QList<QByteArray> fields = lines[i].second.split(',');
        if (fields.size() != header->columns.size()) {
            if (error)
                *error = QStringLiteral("line %1, column %2: %3 values, but the header names %4 "
                                        "columns")
                             .arg(number)
                             .arg(std::min(fields.size(), header->columns.size()) + 1)
                             .arg(fields.size())
                             .arg(header->columns.size());
            return std::nullopt;
        }
        Measurement m;
        m.jointsDeg.assign(std::size_t(header->axes), 0.0);
        m.hasRotation = header->rotation;
        Eigen::Vector3d vector = Eigen::Vector3d::Zero();
        for (int c = 0; c < fields.size(); ++c) {
            const int column = header->columns[c];
            const auto fail = [&](const QString& why) {
                if (error)
                    *error = QStringLiteral("line %1, column %2 (%3): %4")
                                 .arg(number)
                                 .arg(c + 1)
                                 .arg(columnName(column), why);
                return std::nullopt;
            };
            if (column == SetColumn) {
                const QByteArray set = fields[c].trimmed().toLower();
                if (set != "fit" && set != "check")
                    return fail(QStringLiteral("\"%1\" is neither fit nor check")
                                    .arg(QString::fromUtf8(fields[c].trimmed())));
                m.set = set == "fit" ? Measurement::Fit : Measurement::Check;
                continue;
            }
            double value = 0.0;
            if (!parseNumber(fields[c], value))
                return fail(QStringLiteral("\"%1\" is not a finite number")
                                .arg(QString::fromUtf8(fields[c].trimmed())));
            if (column >= 0)
                m.jointsDeg[std::size_t(column)] = value;
            else if (column >= Z)
                m.pose.position[-column - 1] = value;
            else
                vector[-column - 4] = value;
        }
        // Exports wrap angles beyond half a turn in different ways; every length is a rotation.
        if (vector.norm() > 0.0)
            m.pose.rotation = Eigen::AngleAxisd(vector.norm(), vector.normalized()).matrix();
        measurements.push_back(std::move(m));
    }
    if (measurements.empty()) {
        if (error)
            *error =
                QStringLiteral("line %1: a header but no measurements").arg(lines.back().first);
        return std::nullopt;
    }
    return measurements;
}

int measurementFileAxes(const QString& path, QString* error)
{
    const std::optional<QByteArray> text = readFile(path, error);
    if (!text)
        return 0;
    const QList<QPair<int, QByteArray>> lines = contentLines(*text);
    if (lines.isEmpty()) {
        if (error)
            *error = QStringLiteral("%1, line 1: no header row").arg(path);
        return 0;
    }
    const std::optional<Header> header =
        parseHeader(lines.front().first, lines.front().second, 0, error);
    if (!header && error)
        *error = path + QStringLiteral(", ") + *error;
    return header ? header->axes : 0;
}

RecordedMeasurements::RecordedMeasurements(const QString& path, int axisCount)
    : path(path)
    , axisCount(axisCount)
{}

QString RecordedMeasurements::description() const
{
    return QStringLiteral("recorded file %1").arg(path);
}

std::optional<std::vector<Measurement>>
RecordedMeasurements::measure(const std::vector<std::vector<double>>&,
                              const sim::MeasureProgress& progress, QString* error)
{
    const std::optional<QByteArray> text = readFile(path, error);
    if (!text)
        return std::nullopt;
    std::optional<std::vector<Measurement>> measurements =
        parseMeasurementCsv(*text, axisCount, error);
    if (!measurements) {
        if (error)
            *error = path + QStringLiteral(", ") + *error;
        return std::nullopt;
    }
    if (progress)
        progress(int(measurements->size()), int(measurements->size()));
    return measurements;
}

} // namespace calib
