#pragma once

#include "lumoracalibration_global.h"

#include <QWidget>

namespace Ui {
class centerWidget;
}

// The plug-in's page: two tabs holding the five panels, and the connections between panels
// that no panel makes itself.
class LUMORACALIBRATION_EXPORT centerWidget : public QWidget
{
    Q_OBJECT

public:
    explicit centerWidget(QWidget* parent = nullptr);
    ~centerWidget() override;

private:
    Ui::centerWidget* ui;
};
