#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>

class QGridLayout;
class QWidget;

namespace lumora::test {

// The widget in a grid cell, or null for an empty cell or a non-widget item.
QWidget* gridCellWidget(QGridLayout* grid, int row, int column);
// Text of the label or line edit in a grid cell; a null string when the cell holds neither.
QString gridCellText(QGridLayout* grid, int row, int column);

// Six pose values first, first + 1, ... first + 5.
QJsonArray sixValues(double first);
// One group of a default poses file listing robots, with the given poses.
QJsonObject posesGroup(const QStringList& robots, const QJsonObject& poses);
// The five poses point1 .. point5, pose k starting at 10 * k.
QJsonObject fivePoses();
QByteArray posesFile(const QList<QJsonObject>& groups);

QJsonObject readJsonObject(const QString& path);

} // namespace lumora::test
