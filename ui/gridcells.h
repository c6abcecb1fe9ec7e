#pragma once

class QGridLayout;

// Empties one grid cell: a widget is taken out of the grid and deleted later, any other item
// is removed and deleted at once. An empty cell is left alone.
void clearGridCell(QGridLayout* grid, int row, int column);
