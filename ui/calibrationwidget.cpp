#include "calibrationwidget.h"

#include "dhparameterwidget.h"
#include "panelpainter.h"
#include "setupwidget.h"
#include "singleinstance.h"
#include "ui_calibrationwidget.h"

#include <QTimer>

calibrationWidget* calibrationWidget::instance(QWidget* parent)
{
    static QPointer<calibrationWidget> self;
    return singleInstance(self, parent);
}

calibrationWidget::calibrationWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::calibrationWidget)
{
    ui->setupUi(this);
}

calibrationWidget::~calibrationWidget()
{
    delete ui;
}

void calibrationWidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void calibrationWidget::resetAll() {}
void calibrationWidget::onRunCalibrationBtnClicked() {}
void calibrationWidget::onCalibrationFinished(int, QProcess::ExitStatus) {}
void calibrationWidget::onTimeout() {}
void calibrationWidget::onReadyReadStandardOutput() {}
void calibrationWidget::cancelCalibration() {}
