#include "gridcells.h"

#include <QGridLayout>
#include <QLayoutItem>
#include <QWidget>

void clearGridCell(QGridLayout* grid, int row, int column)
{
    QLayoutItem* item = grid->itemAtPosition(row, column);
    if (!item)
        return;
    if (QWidget* widget = item->widget()) {
        grid->removeWidget(widget);
        widget->deleteLater();
        return;
    }
    grid->removeItem(item);
    delete item;
}
