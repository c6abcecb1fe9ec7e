#pragma once

#include <functional>

class QGridLayout;

// Empties one grid cell: a widget is taken out of the grid and deleted later, any other item
// is removed and deleted at once. An empty cell is left alone.
void clearGridCell(QGridLayout* grid, int row, int column);

// Empties, in the same way, every cell at whose row and column match holds. One pass over the
// grid's items, where a clearGridCell per cell would search the whole grid each time.
void clearGridCells(QGridLayout* grid, const std::function<bool(int row, int column)>& match);
