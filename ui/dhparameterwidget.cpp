#include "dhparameterwidget.h"

#include "applyprocedure.h"
#include "common.h"
#include "gridcells.h"
#include "panelpainter.h"
#include "singleinstance.h"
#include "trace.h"
#include "ui_dhparameterwidget.h"

#include <QLabel>

#include <algorithm>

namespace {

const int tableColumns = 9;
const int placeholderRows = 6;
const int jointNameCount = int(sizeof(common::jointNames) / sizeof(common::jointNames[0]));

QLabel* tableLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

QLabel* cellLabel(const QString& text, QWidget* parent)
{
    QLabel* label = tableLabel(text, parent);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    return label;
}

QString valueText(double value)
{
    return QString::number(value, 'g', 6);
}

} // namespace

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

    QGridLayout* table = ui->tableLayout;
    const QString bold = QStringLiteral("QLabel { font-weight: bold; }");
    QLabel* joint = tableLabel(QStringLiteral("Joint"), this);
    joint->setStyleSheet(bold);
    table->addWidget(joint, 0, 0);
    QLabel* initial = tableLabel(QStringLiteral("初始参数"), this);
    initial->setStyleSheet(bold);
    table->addWidget(initial, 0, 1, 1, 4);
    QLabel* optimized = tableLabel(QStringLiteral("优化后参数"), this);
    optimized->setStyleSheet(bold);
    table->addWidget(optimized, 0, 5, 1, 4);
    const QStringList captions{QStringLiteral("Alpha(°)"), QStringLiteral("a(mm)"),
                               QStringLiteral("d(mm)"), QStringLiteral("Theta(°)")};
    for (int j = 0; j < captions.size(); ++j) {
        table->addWidget(tableLabel(captions.at(j), this), 1, 1 + j);
        table->addWidget(tableLabel(captions.at(j), this), 1, 5 + j);
    }

    for (int row = 2; row < 2 + placeholderRows; ++row) {
        for (int column = 0; column < tableColumns; ++column) {
            QLabel* placeholder = cellLabel(QString(), this);
            placeholder->setEnabled(false);
            placeholder->setStyleSheet(QStringLiteral("border: none;"));
            table->addWidget(placeholder, row, column);
        }
    }
    for (int row = 0; row < table->rowCount(); ++row)
        table->setRowStretch(row, 1);
    for (int column = 0; column < tableColumns; ++column)
        table->setColumnStretch(column, 1);

    connect(ui->confirmBtn, &QPushButton::clicked, this, &dhparameterWidget::confirmBtnClicked);
    connect(ui->giveUpBtn, &QPushButton::clicked, this, &dhparameterWidget::giveupBtnClicked);
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

void dhparameterWidget::confirmBtnClicked()
{
    if (!runApplyProcedure(this))
        return;
    emit confirmBtnSingals();
    writeDHResLabls(true);
    ui->averagePosErrorText->clear();
    ui->averagePoseErrorText->clear();
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
}

void dhparameterWidget::giveupBtnClicked()
{
    common::trace() << "enter giveupBtnClicked";
    emit giveupBtnSignals();
    writeDHResLabls(true);
    ui->averagePosErrorText->clear();
    ui->averagePoseErrorText->clear();
    common::originalDHParamsVec.clear();
    common::optimizedDHParamsVec.clear();
    common::trace() << "leave giveupBtnClicked";
}

void dhparameterWidget::initTableWithData()
{
    QGridLayout* table = ui->tableLayout;
    clearGridCells(table, [](int row, int column) { return row >= 2 && column <= 4; });

    const QVector<double>& values = common::originalDHParamsVec;
    for (int i = 0; i < common::axisNum; ++i) {
        const QString caption = i < jointNameCount ? common::jointNames[i] : QString();
        table->addWidget(cellLabel(caption, this), i + 2, 0);
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * i + j;
            // A vector shorter than the axis count claims leaves the cell empty.
            const QString text = k < values.size() ? valueText(values.at(k)) : QString();
            table->addWidget(cellLabel(text, this), i + 2, 1 + j);
        }
    }
    for (int row = 0; row <= common::axisNum + 1; ++row)
        table->setRowStretch(row, 1);
    for (int column = 0; column < tableColumns; ++column)
        table->setColumnStretch(column, 1);
}

void dhparameterWidget::changeBtnsStatus(bool enable)
{
    ui->giveUpBtn->setEnabled(enable);
    ui->confirmBtn->setEnabled(enable);
}

void dhparameterWidget::writeDHResLabls(bool isReset)
{
    QGridLayout* table = ui->tableLayout;
    for (std::vector<QLabel*>& row : dhResLabels) {
        for (QLabel* label : row) {
            if (!label)
                continue;
            if (label->parentWidget() == table->parentWidget())
                table->removeWidget(label);
            label->deleteLater();
        }
        row.clear();
    }
    dhResLabels.clear();

    common::trace() << "common::optimizedDHParamsVec : " << common::optimizedDHParamsVec;
    common::trace() << "common::axisNum : " << common::axisNum;

    const int axes = std::max(common::axisNum, 0);
    dhResLabels.reserve(size_t(axes));
    for (int row = 2; row <= axes + 1; ++row) {
        std::vector<QLabel*> labels;
        for (int column = 5; column <= 8; ++column) {
            QLabel* label = cellLabel(QString(), this);
            table->addWidget(label, row, column);
            labels.push_back(label);
        }
        dhResLabels.push_back(labels);
    }

    const QVector<double>& values = common::optimizedDHParamsVec;
    for (int i = 0; i < axes; ++i) {
        for (int j = 0; j < 4; ++j) {
            const int k = 4 * i + j;
            if (k >= values.size())
                continue;
            QLabel* label = dhResLabels[size_t(i)][size_t(j)];
            if (isReset) {
                if (label)
                    label->setText(QString());
                continue;
            }
            if (!label) {
                common::trace() << "trans qlable error!!!";
                continue;
            }
            label->setText(valueText(values.at(k)));
        }
    }
}

void dhparameterWidget::updateErrorLabels(QString averagePosErrorValue,
                                          QString averagePoseErrorValue)
{
    ui->averagePosErrorText->setText(averagePosErrorValue);
    ui->averagePoseErrorText->setText(averagePoseErrorValue);
}
