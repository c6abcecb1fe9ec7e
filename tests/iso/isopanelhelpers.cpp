#include "isopanelhelpers.h"

#include "faketools.h"

#include <QApplication>
#include <QFileDialog>
#include <QGridLayout>
#include <QJsonDocument>
#include <QLabel>
#include <QLayoutItem>
#include <QLineEdit>

namespace lumora::test {

QWidget* gridCellWidget(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    return item ? item->widget() : nullptr;
}

QString gridCellText(QGridLayout* grid, int row, int column)
{
    QWidget* widget = gridCellWidget(grid, row, column);
    if (auto* label = qobject_cast<QLabel*>(widget))
        return label->text();
    if (auto* edit = qobject_cast<QLineEdit*>(widget))
        return edit->text();
    return QString();
}

QJsonArray sixValues(double first)
{
    QJsonArray values;
    for (int i = 0; i < 6; ++i)
        values.append(first + i);
    return values;
}

QJsonObject posesGroup(const QStringList& robots, const QJsonObject& poses)
{
    return QJsonObject{{QStringLiteral("robots"), QJsonArray::fromStringList(robots)},
                       {QStringLiteral("iso_poses"), poses}};
}

QJsonObject fivePoses()
{
    QJsonObject poses;
    for (int k = 1; k <= 5; ++k)
        poses.insert(QStringLiteral("point%1").arg(k), sixValues(10 * k));
    return poses;
}

QByteArray posesFile(const QList<QJsonObject>& groups)
{
    QJsonArray configs;
    for (const QJsonObject& group : groups)
        configs.append(group);
    return QJsonDocument(QJsonObject{{QStringLiteral("configs"), configs}}).toJson();
}

QJsonObject readJsonObject(const QString& path)
{
    return QJsonDocument::fromJson(readTextFile(path)).object();
}

} // namespace lumora::test
