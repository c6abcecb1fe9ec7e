#include "setupisowidget.h"

#include "displayisowidget.h"
#include "panelpainter.h"
#include "singleinstance.h"
#include "ui_setupisowidget.h"

setupisowidget* setupisowidget::instance(QWidget* parent)
{
    static QPointer<setupisowidget> self;
    return singleInstance(self, parent);
}

setupisowidget::setupisowidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::setupisowidget)
{
    ui->setupUi(this);
    connect(this, &setupisowidget::saveAll, displayisowidget::instance(),
            &displayisowidget::startBtnEnable);
    connect(this, &setupisowidget::isChanged, displayisowidget::instance(),
            &displayisowidget::btnsDisable);
}

setupisowidget::~setupisowidget()
{
    delete ui;
}

void setupisowidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void setupisowidget::handleNetworkConnected() {}
void setupisowidget::saveFivePoints() {}
void setupisowidget::resetAll() {}
