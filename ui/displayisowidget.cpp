#include "displayisowidget.h"

#include "panelpainter.h"
#include "singleinstance.h"
#include "ui_displayisowidget.h"

displayisowidget* displayisowidget::instance(QWidget* parent)
{
    static QPointer<displayisowidget> self;
    return singleInstance(self, parent);
}

displayisowidget::displayisowidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::displayisowidget)
{
    ui->setupUi(this);
}

displayisowidget::~displayisowidget()
{
    delete ui;
}

void displayisowidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void displayisowidget::startBtnEnable() {}
void displayisowidget::btnsDisable() {}
void displayisowidget::startIso() {}
void displayisowidget::saveReport() {}
void displayisowidget::resetAll() {}
void displayisowidget::onReadyReadStandardOutput() {}
