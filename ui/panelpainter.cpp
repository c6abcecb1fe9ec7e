#include "panelpainter.h"

#include <QPainter>
#include <QStyleOption>
#include <QWidget>

void paintRoundedPanel(QWidget* panel)
{
    QStyleOption option;
    option.initFrom(panel);
    QPainter painter(panel);
    panel->style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, panel);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(panel->rect(), 10, 10);
}
