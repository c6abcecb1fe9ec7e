#include "setupisowidget.h"

#include "common.h"
#include "datafile.h"
#include "displayisowidget.h"
#include "gridcells.h"
#include "isoconfigmerge.h"
#include "isoposes.h"
#include "panelpainter.h"
#include "singleinstance.h"
#include "trace.h"
#include "ui_setupisowidget.h"

#include <QCheckBox>
#include <QDebug>
#include <QDir>
#include <QDoubleValidator>
#include <QFile>
#include <QFileDialog>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSaveFile>

#include <exception>
#include <string>

namespace {

constexpr int poseCount = 5;
constexpr int poseValues = 6;

QLabel* makeCaption(const QString& text)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    label->setStyleSheet(QStringLiteral("font-weight: bold;"));
    return label;
}

QLabel* makeModeTitle(const QString& text)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    label->setStyleSheet(QStringLiteral("QLabel { font-weight: bold; }"));
    return label;
}

void setRowAndColumnStretches(QGridLayout* grid)
{
    for (int row = 1; row <= poseCount; ++row)
        grid->setRowStretch(row, 1);
    for (int column = 0; column <= poseValues; ++column)
        grid->setColumnStretch(column, 1);
}

void warnMissingParameters()
{
    QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                         QStringLiteral("Please input parameters"));
}

} // namespace

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
    ui->verticalLayout->setStretch(0, 1);
    ui->verticalLayout->setStretch(1, 7);
    ui->verticalLayout->setStretch(2, 1);
    ui->horizontalLayoutSave->setStretch(0, 1);
    ui->horizontalLayoutSave->setStretch(1, 1);
    ui->horizontalLayoutSave->setStretch(2, 1);
    ui->horizontalLayoutSave->setStretch(3, 2);
    ui->horizontalLayoutSave->setStretch(4, 1);
    ui->collectLineEdit->setValidator(new QIntValidator(0, 30, this));

    buildDefaultGrid();
    buildCustomGrid();

    connect(ui->collectLineEdit, &QLineEdit::textChanged, this,
            &setupisowidget::onSampleCountChanged, Qt::DirectConnection);
    connect(defaultCheckBox, &QCheckBox::clicked, this, &setupisowidget::onDefaultBoxClicked);
    connect(customCheckBox, &QCheckBox::clicked, this, &setupisowidget::onCustomBoxClicked);
    connect(customCheckBox, &QCheckBox::toggled, this, &setupisowidget::setCustomEditsEnabled);
    setCustomEditsEnabled(customCheckBox->isChecked());
    connect(ui->selectPathBtn, &QPushButton::clicked, this, &setupisowidget::chooseReportFolder);
    connect(ui->saveBtn, &QPushButton::clicked, this, &setupisowidget::saveFivePoints);

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

void setupisowidget::buildDefaultGrid()
{
    QGridLayout* grid = ui->defaultLayout;
    grid->addWidget(makeModeTitle(QStringLiteral("默认点位")), 0, 0);
    defaultCheckBox = new QCheckBox(this);
    defaultCheckBox->setChecked(true);
    grid->addWidget(defaultCheckBox, 0, 1);
    grid->setRowStretch(0, 1);

    for (int row = 1; row <= poseCount; ++row) {
        grid->addWidget(makeCaption(common::pointNames[row - 1]), row, 0);
        for (int column = 1; column <= poseValues; ++column) {
            auto* cell = new QLabel(this);
            cell->setAlignment(Qt::AlignCenter);
            cell->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            cell->setEnabled(false);
            cell->setStyleSheet(QStringLiteral("border: none;"));
            grid->addWidget(cell, row, column);
        }
    }
    setRowAndColumnStretches(grid);
}

void setupisowidget::buildCustomGrid()
{
    QGridLayout* grid = ui->customizeLayout;
    grid->addWidget(makeModeTitle(QStringLiteral("自定义点位")), 0, 0);
    customCheckBox = new QCheckBox(this);
    grid->addWidget(customCheckBox, 0, 1);

    auto* clearBtn = new QPushButton(QStringLiteral("清除自定义点位"), this);
    clearBtn->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    clearBtn->setMinimumSize(200, 25);
    clearBtn->setMaximumSize(300, 75);
    grid->addWidget(clearBtn, 0, 5, 1, 2, Qt::AlignRight);
    connect(clearBtn, &QPushButton::clicked, this, &setupisowidget::resetAll);
    grid->setRowStretch(0, 1);
    grid->setColumnStretch(2, 1);

    customEdits.resize(poseCount);
    for (int row = 1; row <= poseCount; ++row) {
        grid->addWidget(makeCaption(common::pointNames[row - 1]), row, 0);
        QVector<QLineEdit*>& edits = customEdits[row - 1];
        edits.resize(poseValues);
        for (int column = 1; column <= poseValues; ++column)
            edits[column - 1] = createCustomEdit(row, column);
    }
    setRowAndColumnStretches(grid);
}

QLineEdit* setupisowidget::createCustomEdit(int row, int column)
{
    auto* edit = new QLineEdit(this);
    edit->setAlignment(Qt::AlignCenter);
    edit->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    edit->setPlaceholderText(QStringLiteral("输入值%1").arg(column));
    edit->setEnabled(false);
    auto* validator = new QDoubleValidator(edit);
    validator->setDecimals(6);
    validator->setNotation(QDoubleValidator::StandardNotation);
    edit->setValidator(validator);
    ui->customizeLayout->addWidget(edit, row, column);
    return edit;
}

void setupisowidget::onSampleCountChanged(const QString& text)
{
    if (ui->collectLineEdit->hasAcceptableInput()) {
        ui->collectLineEdit->setStyleSheet(QString());
        ui->collectLineEdit->setToolTip(QString());
    } else {
        ui->collectLineEdit->setStyleSheet(QStringLiteral("QLineEdit { border: 2px solid red; }"));
        ui->collectLineEdit->setToolTip(QStringLiteral("请输入 0 到 30 之间的整数"));
    }
    common::sampleTimes = text.toInt(nullptr, 10);
}

void setupisowidget::onDefaultBoxClicked(bool checked)
{
    customCheckBox->setChecked(!checked);
    common::isoPoses = common::defaultIsoPoses;
    emit isChanged();
}

void setupisowidget::onCustomBoxClicked(bool checked)
{
    defaultCheckBox->setChecked(!checked);
    emit isChanged();
}

void setupisowidget::setCustomEditsEnabled(bool enabled)
{
    for (const QVector<QLineEdit*>& row : qAsConst(customEdits)) {
        for (QLineEdit* edit : row)
            edit->setEnabled(enabled);
    }
}

void setupisowidget::chooseReportFolder()
{
    const QString folder = QFileDialog::getExistingDirectory(
        this, QCoreApplication::translate("setupisowidget", "选择报告保存目录"), QDir::homePath(),
        QFileDialog::ShowDirsOnly | QFileDialog::DontResolveSymlinks);
    if (!folder.isEmpty()) {
        common::isoReportPath = folder;
        ui->pathLabel->setText(folder);
    }
    emit isChanged();
}

void setupisowidget::handleNetworkConnected()
{
    common::trace() << "handleNetworkConnected"
                    << "[in]";
    const QString path =
        common::calibrationDir + QStringLiteral("/iso/") + common::defaultIsoPosesFile;
    IsoPoseMap poses;
    try {
        poses = getDefaultIsoPoses(path.toStdString(), common::robotName.toStdString());
    } catch (const std::exception& error) {
        // Any reader failure, a stray library type error included, keeps the old defaults.
        common::trace() << QStringLiteral("Runtime error: ") << QString::fromUtf8(error.what());
        common::trace() << QStringLiteral("getDefaultIsoPoses path : ") << path;
        common::trace() << QStringLiteral("getDefaultIsoPoses robotname : ") << common::robotName;
        QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                             QStringLiteral("get default iso parameters error"));
        return;
    }

    QGridLayout* grid = ui->defaultLayout;
    for (int row = 1; row <= poseCount; ++row) {
        for (int column = 1; column <= poseValues; ++column)
            clearGridCell(grid, row, column);
    }

    common::defaultIsoPoses.clear();
    for (int row = 1; row <= poseCount; ++row) {
        std::array<double, poseValues> values{};
        const auto found = poses.find("point" + std::to_string(row));
        if (found != poses.end())
            values = found->second;
        QVector<double> pose;
        for (int column = 1; column <= poseValues; ++column) {
            const double value = values[column - 1];
            auto* cell = new QLabel(QString::number(value, 'g', 6), this);
            cell->setAlignment(Qt::AlignCenter);
            cell->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
            grid->addWidget(cell, row, column);
            pose.append(value);
        }
        common::defaultIsoPoses.append(pose);
    }
    common::isoPoses = common::defaultIsoPoses;
    common::trace() << "handleNetworkConnected"
                    << "[out]";
}

bool setupisowidget::collectCustomPoses()
{
    common::isoPoses.clear();
    for (const QVector<QLineEdit*>& edits : qAsConst(customEdits)) {
        QVector<double> pose;
        for (QLineEdit* edit : edits) {
            const QString text = edit->text();
            if (text.isEmpty())
                return false;
            // A lone sign or point is still in the making and counts as 0.
            pose.append(text.toDouble());
        }
        common::isoPoses.append(pose);
    }
    return true;
}

void setupisowidget::saveFivePoints()
{
    common::trace() << "saveFivePoints"
                    << "[in]";
    if (common::isoReportPath.isEmpty()) {
        warnMissingParameters();
        return;
    }
    if (customCheckBox->isChecked() && !collectCustomPoses()) {
        warnMissingParameters();
        return;
    }

    const QString path = common::calibrationDir + QLatin1Char('/') + common::calibInfoFile;
    QFile in(path);
    if (!isDataFile(QFile::encodeName(path).toStdString()) ||
        !in.open(QIODevice::ReadOnly | QIODevice::Text)) {
        QMessageBox::warning(nullptr, QStringLiteral("提示"), QStringLiteral("打开文件失败"));
        return;
    }
    const QByteArray content = in.readAll();
    in.close();
    const IsoConfigMerge merged = mergeIsoConfig(
        content, IsoConfig{common::sampleTimes, common::isoReportPath, common::isoPoses});
    if (merged.outcome == IsoConfigMerge::NotJson) {
        QMessageBox::warning(nullptr, QStringLiteral("提示"), QStringLiteral("文件转为json失败"));
        return;
    }

    // Written beside and renamed over the job file, so a failed or short write leaves the old
    // one whole. The explicit flush matters: commit() alone misses a failed flush of its buffer.
    const QByteArray& text = merged.document;
    QSaveFile out(path);
    const bool written = out.open(QIODevice::WriteOnly | QIODevice::Text) &&
                         out.write(text) == text.size() && out.flush() && out.commit();
    if (!written) {
        qWarning() << "Cannot open file for writing:" << path;
        // The operator believes the settings saved unless told otherwise.
        QMessageBox::warning(nullptr, QStringLiteral("提示"),
                             QStringLiteral("保存失败：%1\n%2").arg(path, out.errorString()));
        return;
    }
    emit saveAll();
    common::trace() << "saveFivePoints"
                    << "[out]";
}

void setupisowidget::resetAll()
{
    common::trace() << "resetAll"
                    << "[in]";
    defaultCheckBox->setCheckState(Qt::Checked);
    customCheckBox->setCheckState(Qt::Unchecked);
    QGridLayout* grid = ui->customizeLayout;
    for (int row = 1; row <= poseCount; ++row) {
        for (int column = 1; column <= poseValues; ++column) {
            clearGridCell(grid, row, column);
            customEdits[row - 1][column - 1] = createCustomEdit(row, column);
        }
        grid->setRowStretch(row, 1);
    }
    common::isoPoses.clear();
    common::trace() << "resetAll"
                    << "[out]";
}
