#include "centerwidget.h"

#include "calibrationwidget.h"
#include "common.h"
#include "dhparameterwidget.h"
#include "displayisowidget.h"
#include "setupisowidget.h"
#include "setupwidget.h"
#include "ui_centerwidget.h"

centerWidget::centerWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::centerWidget)
{
    ui->setupUi(this);

    setupWidget* setup = setupWidget::instance(this);
    calibrationWidget* calibration = calibrationWidget::instance(this);
    dhparameterWidget* dhParameters = dhparameterWidget::instance(this);

    ui->verticalLayout->setContentsMargins(20, 20, 10, 20);
    ui->verticalLayout->setSpacing(40);
    ui->verticalLayout->addWidget(setup);
    ui->verticalLayout->addWidget(calibration);
    ui->verticalLayout->setStretch(0, 3);
    ui->verticalLayout->setStretch(1, 1);

    ui->frameLayout->setContentsMargins(10, 20, 20, 20);
    ui->frameLayout->addWidget(dhParameters);

    ui->tab1_main_layout->setStretch(0, 1);
    ui->tab1_main_layout->setStretch(1, 1);

    setupisowidget* isoSetup = setupisowidget::instance(this);
    displayisowidget* isoDisplay = displayisowidget::instance(this);
    ui->tab2LeftFrameLayout->addWidget(isoSetup);
    ui->tab2RightFrameLayout->addWidget(isoDisplay);
    ui->tab2_main_layout->setStretch(0, 1);
    ui->tab2_main_layout->setStretch(1, 1);

    connect(dhParameters, &dhparameterWidget::giveupBtnSignals, calibration,
            &calibrationWidget::resetAll);
    connect(dhParameters, &dhparameterWidget::giveupBtnSignals, setup, &setupWidget::resetAll);
    connect(dhParameters, &dhparameterWidget::confirmBtnSingals, calibration,
            &calibrationWidget::resetAll);
    connect(dhParameters, &dhparameterWidget::confirmBtnSingals, setup, &setupWidget::resetAll);

    common::calibrationDir = QStringLiteral("D:/HMI/Armdesk_5.194.12.0570/Calibration");
}

centerWidget::~centerWidget()
{
    delete ui;
}
