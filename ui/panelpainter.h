#pragma once

class QWidget;

// Paints a panel's styled background (so style sheets apply) and a white rounded rectangle
// over its whole area.
void paintRoundedPanel(QWidget* panel);
