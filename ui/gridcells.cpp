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

void clearGridCells(QGridLayout* grid, const std::function<bool(int row, int column)>& match)
{
    for (int index = grid->count() - 1; index >= 0; --index) {
        int row = 0;
        int column = 0;
        int rowSpan = 0;
        int columnSpan = 0;
        grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
        if (!match(row, column))
            continue;
        QLayoutItem* item = grid->takeAt(index);
        if (QWidget* widget = item->widget())
            widget->deleteLater();
        delete item;
    }
}
