#include "dhparameterwidget.h"

#include "panelpainter.h"
#include "singleinstance.h"
#include "ui_dhparameterwidget.h"

dhparameterWidget* dhparameterWidget::instance(QWidget* parent)
{
    static QPointer<dhparameterWidget> self;
    return singleInstance(self, parent);
}

dhparameterWidget::dhparameterWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::dhparameterWidget)
{
    ui->setupUi(this);
}

dhparameterWidget::~dhparameterWidget()
{
    delete ui;
}

void dhparameterWidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void dhparameterWidget::confirmBtnClicked() {}
void dhparameterWidget::giveupBtnClicked() {}
void dhparameterWidget::initTableWithData() {}
void dhparameterWidget::changeBtnsStatus(bool) {}
void dhparameterWidget::writeDHResLabls(bool) {}
void dhparameterWidget::updateErrorLabels(QString, QString) {}
