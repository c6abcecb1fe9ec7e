#include "setupwidget.h"

#include "dhparameterwidget.h"
#include "panelpainter.h"
#include "setupisowidget.h"
#include "singleinstance.h"
#include "ui_setupwidget.h"

#include <interfacemanager.h>

setupWidget* setupWidget::instance(QWidget* parent)
{
    static QPointer<setupWidget> self;
    return singleInstance(self, parent);
}

setupWidget::setupWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::setupWidget)
{
    ui->setupUi(this);
    connect(&tavrin::tavrinInterface(), &tavrin::InterfaceManager::sigNetworkConnect, this,
            &setupWidget::initDHTable);
    connect(this, &setupWidget::dhParamsReady, dhparameterWidget::instance(),
            &dhparameterWidget::initTableWithData);
    connect(this, &setupWidget::setupWidgetReady, setupisowidget::instance(),
            &setupisowidget::handleNetworkConnected);
}

setupWidget::~setupWidget()
{
    delete ui;
}

void setupWidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void setupWidget::writeIntoJson() {}
void setupWidget::isAllOptionsSelect(bool&) {}
void setupWidget::isSNEmpty() {}
void setupWidget::resetAll() {}
void setupWidget::initDHTable()
{
    emit dhParamsReady();
    emit setupWidgetReady();
}
void setupWidget::readDHParams() {}
