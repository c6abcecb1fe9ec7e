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
    // writeIntoJson() could not leave a job file for the tool; the run must not start.
    void jobFileFailed(const QString& path, const QString& reason);

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
    // False when the controller's table was refused (valueCount values); it then reads as empty.
    bool readDHParams(int& valueCount);
    void buildHeader();
    void buildAxisRow(int axis);

    // Collects the boxes of the axis rows (grid rows 2 to axisNum + 1, columns 1 to 4) into
    // boxes and calls visitor(row, column) for each box whose ticked state equals checked.
    void forEachCheckBox(const std::function<void(int, int)>& visitor, QList<QCheckBox*>& boxes,
                         bool checked);
    void toggleRow(int row, QPushButton* button);
    void toggleAll();
    QCheckBox* checkBoxAt(int row, int column) const;

    Ui::setupWidget* ui;
    QPushButton* selectAllBtn = nullptr;
    int editHeight = 30;
    int labelHeight = 25;
    int rowHeight = 25;
};
