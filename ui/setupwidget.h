#pragma once

#include "lumoracalibration_global.h"

#include <QList>
#include <QPointer>
#include <QWidget>

#include <functional>

class QCheckBox;
class QPushButton;

namespace Ui {
class setupWidget;
}

// Robot setup: serial number and the controller's DH parameters with the choice of those the
// calibration may change. Rebuilt on every controller connection; writes the calibration job.
class LUMORACALIBRATION_EXPORT setupWidget : public QWidget
{
    Q_OBJECT

public:
    static setupWidget* instance(QWidget* parent = nullptr);
    ~setupWidget() override;

signals:
    void dhParamsReady();
    void setupWidgetReady();

public slots:
    void writeIntoJson();
    void isAllOptionsSelect(bool& isSelected);
    void isSNEmpty();
    void resetAll();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Panel> friend Panel* singleInstance(QPointer<Panel>&, QWidget*);
    explicit setupWidget(QWidget* parent = nullptr);

    void initDHTable();
    void readDHParams();

    Ui::setupWidget* ui;
    QPushButton* selectAllBtn = nullptr;
    int editHeight = 30;
    int labelHeight = 25;
    int rowHeight = 25;
};
