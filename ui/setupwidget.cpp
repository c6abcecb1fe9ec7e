#include "setupwidget.h"

#include "common.h"
#include "controllerreply.h"
#include "dhparameterwidget.h"
#include "gridcells.h"
#include "panelpainter.h"
#include "setupisowidget.h"
#include "singleinstance.h"
#include "trace.h"
#include "ui_setupwidget.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QMap>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

#include <algorithm>
#include <interfacemanager.h>
#include <iterator>

namespace {

const QString boldLabelStyle = QStringLiteral("QLabel { font-weight: bold; }");

// 100 px, unless the font needs more for the widest six-digit value (just above or below 1e-4,
// as a nominal 0 becomes after calibration): a value cut off cannot be read.
int valueMaxWidth(const QFontMetrics& metrics)
{
    return std::max({100, metrics.horizontalAdvance(QStringLiteral("-0.000888888")),
                     metrics.horizontalAdvance(QStringLiteral("-8.88888e-05"))});
}
const QString rowButtonStyle =
    QStringLiteral("QPushButton {    border: none;    border-radius: 4px;    padding: 2px;    "
                   "max-width: 100px;    max-height: 30px;}");
const QString checkBoxStyle =
    QStringLiteral("QCheckBox::indicator {    width: 18px;    height: 18px;}");
const QString selectAllText = QStringLiteral("全选");
const QString selectNoneText = QStringLiteral("全不选");
const QString paramNames[4] = {QStringLiteral("alpha"), QStringLiteral("a"), QStringLiteral("d"),
                               QStringLiteral("theta")};

constexpr int firstAxisRow = 2;
constexpr int maxAxes = 16;
constexpr int columnCount = 6;
constexpr int buttonColumn = 5;

void limitHeight(QWidget* widget, int unit)
{
    widget->setMinimumHeight(unit);
    widget->setMaximumHeight(unit * 3);
}

QString jointCaption(int axis)
{
    // The shared captions stop at ten axes; further rows carry the same pattern.
    if (axis < int(std::size(common::jointNames)))
        return common::jointNames[axis];
    return QStringLiteral("J%1").arg(axis + 1);
}

} // namespace

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
    limitHeight(ui->robotSettingLabel, labelHeight);
    limitHeight(ui->label_2, labelHeight);
    limitHeight(ui->snLineEdit, editHeight);
    buildHeader();

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

void setupWidget::buildHeader()
{
    QGridLayout* grid = ui->tableLayout;

    auto* title = new QLabel(QStringLiteral("DH参数配置"), this);
    title->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    limitHeight(title, rowHeight);
    title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    title->setStyleSheet(boldLabelStyle);
    grid->addWidget(title, 0, 0, 1, 5);

    selectAllBtn = new QPushButton(selectAllText, this);
    selectAllBtn->setObjectName(QStringLiteral("selectAllBtn"));
    selectAllBtn->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    limitHeight(selectAllBtn, rowHeight);
    selectAllBtn->setStyleSheet(rowButtonStyle);
    grid->addWidget(selectAllBtn, 0, buttonColumn, Qt::AlignCenter);

    const QString captions[columnCount] = {QStringLiteral("J"),         QStringLiteral("α(Alpha)"),
                                           QStringLiteral("a(Length)"), QStringLiteral("d(Offset)"),
                                           QStringLiteral("θ(Theta)"),  QStringLiteral("操作")};
    for (int column = 0; column < columnCount; ++column) {
        auto* label = new QLabel(captions[column], this);
        label->setAlignment(Qt::AlignCenter);
        label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        limitHeight(label, rowHeight);
        label->setStyleSheet(boldLabelStyle);
        grid->addWidget(label, 1, column);
    }

    for (int row = 0; row < grid->rowCount(); ++row) {
        grid->setRowStretch(row, 1);
        grid->setRowMinimumHeight(row, rowHeight);
    }
    for (int column = 0; column < columnCount; ++column)
        grid->setColumnStretch(column, 1);

    // An empty six-axis table until the controller has been read.
    for (int row = firstAxisRow; row < firstAxisRow + 6; ++row) {
        for (int column = 0; column < columnCount; ++column) {
            auto* placeholder = new QLabel(this);
            placeholder->setEnabled(false);
            placeholder->setAlignment(Qt::AlignCenter);
            placeholder->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            limitHeight(placeholder, rowHeight);
            grid->addWidget(placeholder, row, column);
        }
    }
}

void setupWidget::initDHTable()
{
    QGridLayout* grid = ui->tableLayout;
    clearGridCells(grid, [](int row, int) { return row >= firstAxisRow; });

    int valueCount = 0;
    const bool usable = readDHParams(valueCount);

    for (int axis = 0; axis < common::axisNum; ++axis)
        buildAxisRow(axis);

    selectAllBtn->setText(common::axisNum > 0 ? selectAllText : selectNoneText);

    for (int row = 0; row <= common::axisNum + 1; ++row) {
        grid->setRowStretch(row, 0);
        grid->setRowMinimumHeight(row, rowHeight);
    }
    for (int column = 0; column < columnCount; ++column) {
        grid->setColumnStretch(column, 1);
        grid->setColumnMinimumWidth(column, 60);
    }

    // Rebuilt on every connection, but one click must toggle the table once.
    connect(selectAllBtn, &QPushButton::clicked, this, &setupWidget::toggleAll,
            Qt::UniqueConnection);

    emit dhParamsReady();

    tavrin::InterfaceManager& host = tavrin::tavrinInterface();
    common::robotIP = host.getRobotIP();
    common::robotName = host.getRobotType();
    common::modelType = host.getRobotModelType();
    common::serialNumber = ui->snLineEdit->text();

    emit setupWidgetReady();

    // Shown last, so that a refused table leaves the page consistent behind the box.
    if (!usable) {
        QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                             QStringLiteral("控制器返回的DH参数无法使用：%1 个数值"
                                            "（应为 4 的倍数，最多 %2 个轴），已忽略。")
                                 .arg(valueCount)
                                 .arg(maxAxes));
    }
}

void setupWidget::buildAxisRow(int axis)
{
    QGridLayout* grid = ui->tableLayout;
    const int row = axis + firstAxisRow;
    const bool ticked = axis > 0 && axis < common::axisNum - 1;

    auto* caption = new QLabel(jointCaption(axis), this);
    caption->setAlignment(Qt::AlignCenter);
    caption->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    caption->setMinimumHeight(editHeight);
    grid->addWidget(caption, row, 0);

    for (int param = 0; param < 4; ++param) {
        auto* cell = new QWidget(this);
        cell->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        cell->setMinimumHeight(editHeight);
        auto* cellLayout = new QHBoxLayout(cell);
        cellLayout->setContentsMargins(8, 0, 8, 0);
        cellLayout->setSpacing(5);
        cellLayout->setAlignment(Qt::AlignCenter);

        auto* box = new QCheckBox(cell);
        box->setFixedSize(18, 18);
        box->setStyleSheet(checkBoxStyle);
        box->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
        box->setChecked(ticked);

        auto* value = new QLabel(
            QString::number(common::originalDHParamsVec.at(4 * axis + param), 'g', 6), cell);
        value->setAlignment(Qt::AlignCenter);
        value->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
        value->setMinimumWidth(40);
        value->setMaximumWidth(valueMaxWidth(value->fontMetrics()));

        cellLayout->addWidget(box, 0, Qt::AlignCenter);
        cellLayout->addWidget(value, 0, Qt::AlignCenter);
        grid->addWidget(cell, row, param + 1);
    }

    const bool edgeRow = axis == 0 || axis == common::axisNum - 1;
    auto* button = new QPushButton(edgeRow ? selectAllText : selectNoneText, this);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    button->setMinimumHeight(editHeight);
    button->setMaximumHeight(int(editHeight * 1.5));
    button->setStyleSheet(rowButtonStyle);
    grid->addWidget(button, row, buttonColumn, Qt::AlignCenter);
    connect(button, &QPushButton::clicked, this, [this, row, button] { toggleRow(row, button); });
}

QCheckBox* setupWidget::checkBoxAt(int row, int column) const
{
    QLayoutItem* item = ui->tableLayout->itemAtPosition(row, column);
    if (!item || !item->widget())
        return nullptr;
    return item->widget()->findChild<QCheckBox*>();
}

void setupWidget::forEachCheckBox(const std::function<void(int, int)>& visitor,
                                  QList<QCheckBox*>& boxes, bool checked)
{
    boxes.clear();
    if (common::axisNum < 1)
        return;
    for (int row = firstAxisRow; row <= common::axisNum + 1; ++row) {
        for (int column = 1; column <= 4; ++column) {
            QCheckBox* box = checkBoxAt(row, column);
            if (!box)
                continue;
            boxes.append(box);
            if (box->isChecked() == checked)
                visitor(row, column);
        }
    }
}

void setupWidget::toggleRow(int row, QPushButton* button)
{
    QList<QCheckBox*> boxes;
    bool anyUnticked = false;
    for (int column = 1; column <= 4; ++column) {
        if (QCheckBox* box = checkBoxAt(row, column)) {
            boxes.append(box);
            anyUnticked = anyUnticked || !box->isChecked();
        }
    }
    for (QCheckBox* box : qAsConst(boxes))
        box->setChecked(anyUnticked);
    button->setText(anyUnticked ? selectNoneText : selectAllText);
}

void setupWidget::toggleAll()
{
    QGridLayout* grid = ui->tableLayout;
    QList<QCheckBox*> boxes;
    bool allTicked = true;
    for (int row = firstAxisRow; row < grid->rowCount(); ++row) {
        for (int column = 1; column <= 4; ++column) {
            if (QCheckBox* box = checkBoxAt(row, column)) {
                boxes.append(box);
                allTicked = allTicked && box->isChecked();
            }
        }
    }
    if (boxes.isEmpty())
        return;

    for (QCheckBox* box : qAsConst(boxes))
        box->setChecked(!allTicked);
    const QString caption = allTicked ? selectAllText : selectNoneText;
    selectAllBtn->setText(caption);
    for (int row = firstAxisRow; row < grid->rowCount(); ++row) {
        QLayoutItem* item = grid->itemAtPosition(row, buttonColumn);
        if (auto* button = item ? qobject_cast<QPushButton*>(item->widget()) : nullptr)
            button->setText(caption);
    }
}

void setupWidget::isAllOptionsSelect(bool& isSelected)
{
    common::trace() << "isAllOptionsSelect"
                    << "[in]";
    QList<QCheckBox*> boxes;
    forEachCheckBox([&isSelected](int, int) { isSelected = true; }, boxes, true);
    common::trace() << "isAllOptionsSelect"
                    << "[out]";
}

void setupWidget::isSNEmpty()
{
    common::trace() << "isSNEmpty"
                    << "[in]";
    common::serialNumber = ui->snLineEdit->text();
    common::trace() << "isSNEmpty"
                    << "[out]";
}

void setupWidget::resetAll()
{
    common::trace() << "resetAll"
                    << "[in]";
    QGridLayout* grid = ui->tableLayout;
    if (!grid)
        return;

    for (int row = firstAxisRow; row < grid->rowCount(); ++row) {
        const int joint = row - firstAxisRow;
        // The same ticks as a rebuild: first and last axis locked.
        const bool middleRow = joint >= 1 && joint < common::axisNum - 1;
        for (int column = 1; column <= buttonColumn; ++column) {
            QLayoutItem* item = grid->itemAtPosition(row, column);
            QWidget* cell = item ? item->widget() : nullptr;
            if (!cell)
                continue;
            if (column == buttonColumn) {
                if (auto* button = qobject_cast<QPushButton*>(cell))
                    button->setText(middleRow ? selectNoneText : selectAllText);
                continue;
            }
            auto* value = cell->findChild<QLabel*>();
            auto* box = cell->findChild<QCheckBox*>();
            if (!value || !box)
                continue;
            const int index = 4 * joint + (column - 1);
            if (index < 0 || index >= common::originalDHParamsVec.size()) {
                common::trace() << "Invalid parameter index : " << index << " for joint : " << joint
                                << " column : " << column;
                continue;
            }
            value->setText(QString::number(common::originalDHParamsVec.at(index), 'g', 6));
            box->setChecked(middleRow);
        }
    }

    ui->snLineEdit->clear();
    common::trace() << "resetAll"
                    << "[out]";
}

bool setupWidget::readDHParams(int& valueCount)
{
    const QJsonValue answer = tavrin::tavrinInterface().execCommandXServiceData(
        QStringLiteral("factory.get_DH_params_link"), QVariant(QStringLiteral("")));
    common::trace() << "get_DH_params_link : " << answer;

    const QJsonArray links = dhParamsLinkArray(answer);
    common::trace() << links;

    // A table the page cannot show sensibly (thousands of links take minutes to build) or that
    // is no whole number of links is refused like an empty answer.
    common::originalDHParamsVec = dhParamsLinkValues(links);
    valueCount = common::originalDHParamsVec.size();
    const bool usable = valueCount % 4 == 0 && valueCount / 4 - 1 <= maxAxes;
    if (!usable)
        common::originalDHParamsVec.clear();
    common::axisNum = common::originalDHParamsVec.size() / 4 - 1;

    common::trace() << "common::originalDHParamsVec : " << common::originalDHParamsVec;
    common::trace() << "common::axisNum : " << common::axisNum;
    return usable;
}

void setupWidget::writeIntoJson()
{
    common::trace() << "writeIntoJson"
                    << "[in]";
    QJsonObject root;
    root.insert(QStringLiteral("file_type"), QStringLiteral("calib_info"));

    QJsonObject profile;
    profile.insert(QStringLiteral("ip"), common::robotIP);
    profile.insert(QStringLiteral("serial_number"), common::serialNumber);
    profile.insert(QStringLiteral("robot_name"), common::robotName);
    profile.insert(QStringLiteral("model_type"), common::modelType);
    common::trace() << "common::modelType : " << common::modelType;
    common::trace() << "===============================================";
    root.insert(QStringLiteral("robot_profile"), profile);

    QList<int> joints;
    QMap<int, QJsonArray> lockedByJoint;
    QList<QCheckBox*> boxes;
    forEachCheckBox(
        [&joints, &lockedByJoint](int row, int column) {
            const int joint = row == common::axisNum + 1 ? -1 : row - firstAxisRow;
            if (!lockedByJoint.contains(joint))
                joints.append(joint);
            lockedByJoint[joint].append(paramNames[column - 1]);
        },
        boxes, false);

    QJsonArray constraints;
    for (int joint : qAsConst(joints)) {
        constraints.append(QJsonObject{{QStringLiteral("joint_index"), joint},
                                       {QStringLiteral("locked_params"), lockedByJoint[joint]}});
    }
    root.insert(QStringLiteral("algorithm_constraints"), constraints);

    const QString path = common::calibrationDir + QStringLiteral("/calibInfo.json");
    // The tool must never run on the job of an earlier calibration: the earlier file goes, and
    // the runner hears of the failure before it starts the tool.
    const auto fail = [this, &path](const QString& reason) {
        QFile::remove(path);
        emit jobFileFailed(path, reason);
    };

    QDir folder(common::calibrationDir);
    if (!folder.exists() && !folder.mkpath(QStringLiteral("."))) {
        fail(QStringLiteral("cannot create the folder"));
        return;
    }

    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        fail(file.errorString());
        return;
    }
    // Flushed before the commit: a failure in commit's own flush would go unnoticed and leave
    // a torn file in place.
    if (file.write(QJsonDocument(root).toJson(QJsonDocument::Indented)) == -1 || !file.flush() ||
        !file.commit()) {
        const QString reason = file.errorString();
        file.cancelWriting();
        fail(reason);
        return;
    }
    common::trace() << "Leave writeIntoJson=====================================";
}
