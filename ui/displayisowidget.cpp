#include "displayisowidget.h"

#include "common.h"
#include "gridcells.h"
#include "isoresults.h"
#include "panelpainter.h"
#include "singleinstance.h"
#include "trace.h"
#include "ui_displayisowidget.h"

#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QTimer>

#include <utility>
#include <vector>

namespace {

constexpr int resultRows = 5;
// As long as the calibration tool is given: a task that never ends must not hold the page.
constexpr int isoTaskLimitMs = 600000;
constexpr int resultColumns = 4;

const QString captionStart = QStringLiteral("启动ISO");
const QString captionAbort = QStringLiteral("中止运行ISO");
const QString captionReport = QStringLiteral("生成报告");
const QString errorTitle = QStringLiteral("错误");
const QString doneTitle = QStringLiteral("完成");

QString toolPath(const char* relative)
{
    return common::calibrationDir + QLatin1String(relative);
}

QString resultFilePath()
{
    return common::calibrationDir + QLatin1Char('/') + common::optimizedDHFile;
}

QLabel* makeHeaderLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setAlignment(Qt::AlignCenter);
    return label;
}

std::string emptyCell(const int&, const int&)
{
    return std::string();
}

// Fixed notation with six decimals, whatever locale the host runs in.
std::string figureText(double value)
{
    return QString::asprintf("%f", value).toStdString();
}

} // namespace

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

    QGridLayout* grid = ui->gridLayout;
    const QStringList header{QStringLiteral("Point"), QStringLiteral("Accuracy"),
                             QStringLiteral("Repeatabillity"), QStringLiteral("RMS"),
                             QStringLiteral("StdDev")};
    for (int column = 0; column < header.size(); ++column)
        grid->addWidget(makeHeaderLabel(header.at(column)), 0, column);
    for (int row = 1; row <= resultRows; ++row) {
        QLabel* name = makeHeaderLabel(common::pointNames[row - 1]);
        name->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        name->setStyleSheet(QStringLiteral("font-weight: bold;"));
        grid->addWidget(name, row, 0);
        for (int column = 1; column <= resultColumns; ++column)
            addResultCell(row, column, emptyCell);
    }
    for (int row = 0; row <= resultRows; ++row)
        grid->setRowStretch(row, 1);
    for (int column = 0; column <= resultColumns; ++column)
        grid->setColumnStretch(column, 1);

    btnsDisable();
    ui->label->clear();
    ui->label_2->clear();

    connect(ui->startISO, &QPushButton::clicked, this, &displayisowidget::startIso);
    connect(ui->saveReport, &QPushButton::clicked, this, &displayisowidget::saveReport);
    connect(ui->giveupBtn, &QPushButton::clicked, this, &displayisowidget::resetAll);
}

displayisowidget::~displayisowidget()
{
    // A tool still running when the page goes away is stopped with its group rather than
    // orphaned.
    const QList<ToolProcess*> processes = findChildren<ToolProcess*>();
    for (ToolProcess* process : processes) {
        process->disconnect(this);
        if (process->state() != QProcess::NotRunning) {
            process->killGroup();
            process->waitForFinished(1000);
        }
    }
    delete ui;
}

void displayisowidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void displayisowidget::addResultCell(int row, int column,
                                     std::function<std::string(const int&, const int&)> cellText)
{
    auto* cell = new QLabel(QString::fromStdString(cellText(row, column)), this);
    cell->setAlignment(Qt::AlignCenter);
    cell->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    cell->setEnabled(false);
    cell->setStyleSheet(QStringLiteral("border: none;"));
    ui->gridLayout->addWidget(cell, row, column);
    ui->gridLayout->setColumnStretch(column, 1);
}

void displayisowidget::refillResultCells(
    const std::function<std::string(const int&, const int&)>& cellText)
{
    for (int row = 1; row <= resultRows; ++row) {
        for (int column = 1; column <= resultColumns; ++column) {
            clearGridCell(ui->gridLayout, row, column);
            addResultCell(row, column, cellText);
        }
        ui->gridLayout->setRowStretch(row, 1);
    }
}

void displayisowidget::releaseProcess()
{
    stopIsoTimer();
    ToolProcess* process = std::exchange(isoProcess, nullptr);
    if (!process)
        return;
    process->disconnect(this);
    if (process->state() != QProcess::NotRunning) {
        connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), process,
                &QObject::deleteLater);
        process->killGroup();
        return;
    }
    // Later, not now: this may run inside a handler of the very process.
    process->deleteLater();
}

bool displayisowidget::startTool(const QString& program,
                                 std::function<void(int, QProcess::ExitStatus)> onFinished)
{
    const QString name = QFileInfo(program).fileName();
    if (!QFileInfo::exists(program)) {
        QMessageBox::warning(this, errorTitle, QStringLiteral("%1 不存在，请检查路径！").arg(name));
        return false;
    }
    if (isoProcess && isoProcess->state() != QProcess::NotRunning) {
        QMessageBox::information(this, QStringLiteral("提示"),
                                 QStringLiteral("任务已在运行中，请稍候..."));
        return false;
    }
    releaseProcess();
    outputLines.clear();

    auto* process = new ToolProcess(this);
    isoProcess = process;
    connect(process, &QProcess::readyReadStandardOutput, this,
            &displayisowidget::onReadyReadStandardOutput);
    connect(process, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            [this, process, onFinished](int exitCode, QProcess::ExitStatus status) {
                // The last line may have come without its line feed.
                QList<QByteArray> lines = outputLines.feed(process->readAllStandardOutput());
                lines += outputLines.flush();
                showRounds(lines);
                if (isoProcess == process)
                    stopIsoTimer();
                onFinished(exitCode, status);
            });
    connect(process, &QProcess::errorOccurred, this, [this, process](QProcess::ProcessError) {
        QMessageBox::warning(this, errorTitle,
                             QStringLiteral("ISO启动失败：") + process->errorString());
    });
    process->setProcessChannelMode(QProcess::SeparateChannels);
    // Nothing here reads it, and unread it would pile up in the host until the next tool.
    process->setStandardErrorFile(QProcess::nullDevice());
    process->start(program, {QStringLiteral("--path"), common::calibrationDir},
                   QIODevice::ReadWrite);
    if (!process->waitForStarted(3000)) {
        QMessageBox::warning(this, errorTitle, QStringLiteral("%1 启动超时！").arg(name));
        if (isoProcess == process)
            releaseProcess();
        return false;
    }
    return true;
}

void displayisowidget::startIso()
{
    common::trace() << "startIso"
                    << "[in]";
    const QString caption = ui->startISO->text();
    if (caption == captionReport) {
        ui->startISO->setEnabled(false);
        resultsBefore = FileStamp::of(resultFilePath());
        const bool started =
            startTool(toolPath("/iso/scripts/iso_pdf_generate.exe"),
                      [this](int exitCode, QProcess::ExitStatus) { onReportGenerated(exitCode); });
        if (!started) {
            ui->startISO->setEnabled(true);
            ui->startISO->setText(captionStart);
        }
    } else if (caption == captionStart) {
        const bool started =
            startTool(toolPath("/iso/bin/runIsoTask.exe"),
                      [this](int exitCode, QProcess::ExitStatus) { onIsoTaskFinished(exitCode); });
        ui->label->clear();
        ui->label_2->clear();
        if (started) {
            ui->startISO->setText(captionAbort);
            isoTimer = new QTimer(this);
            isoTimer->setSingleShot(true);
            connect(isoTimer, &QTimer::timeout, this, &displayisowidget::onIsoTimeout);
            isoTimer->start(isoTaskLimitMs);
        }
    } else if (isoProcess && isoProcess->state() == QProcess::Running) {
        // The completion callback and the error box run inside these waits; isoProcess is
        // read afresh after each of them.
        isoProcess->terminateGroup();
        if (isoProcess && !isoProcess->waitForFinished(1000) && isoProcess) {
            isoProcess->killGroup();
            isoProcess->waitForFinished(1000);
        }
        releaseProcess();
        ui->startISO->setText(captionStart);
    }
    common::trace() << "startIso"
                    << "[out]";
}

void displayisowidget::stopIsoTimer()
{
    if (!isoTimer)
        return;
    isoTimer->stop();
    isoTimer->deleteLater();
    isoTimer = nullptr;
}

void displayisowidget::onIsoTimeout()
{
    // Ended quietly: the operator gets this box, not a crash report of a kill they did not ask
    // for.
    const QString name = isoProcess ? QFileInfo(isoProcess->program()).fileName() : QString();
    releaseProcess();
    ui->startISO->setText(captionStart);
    ui->startISO->setEnabled(true);
    QMessageBox::warning(this, errorTitle,
                         QStringLiteral("%1 运行超时（%2 秒），已终止，请检查外部程序是否正常运行")
                             .arg(name)
                             .arg(isoTaskLimitMs / 1000));
}

void displayisowidget::onIsoTaskFinished(int exitCode)
{
    if (exitCode == 0) {
        QMessageBox::information(this, doneTitle, QStringLiteral("ISO 校准任务已成功完成。"));
        ui->startISO->setText(captionReport);
    } else {
        QMessageBox::warning(this, errorTitle,
                             QStringLiteral("ISO 任务失败，退出码：%1").arg(exitCode));
        ui->startISO->setText(captionStart);
    }
}

void displayisowidget::onReportGenerated(int exitCode)
{
    ui->startISO->setText(captionStart);
    if (exitCode != 0) {
        QMessageBox::warning(this, errorTitle,
                             QStringLiteral("报告生成失败，退出码：%1").arg(exitCode));
        ui->startISO->setEnabled(true);
        return;
    }
    QMessageBox::information(this, doneTitle, QStringLiteral("PDF 报告已成功生成。"));

    // Figures the generator did not write are an earlier report's, not this one's.
    std::vector<IsoResult> results;
    if (FileStamp::of(resultFilePath()) != resultsBefore)
        readIsoResults(results, resultFilePath().toStdString());
    refillResultCells([&results](const int& row, const int& column) {
        if (row < 1 || size_t(row - 1) >= results.size())
            return std::string();
        const IsoResult& result = results[size_t(row - 1)];
        switch (column) {
        case 1:
            return figureText(result.accuracy);
        case 2:
            return figureText(result.repeatability);
        case 3:
            return figureText(result.rms);
        case 4:
            return figureText(result.stdDev);
        default:
            return std::string();
        }
    });
    ui->saveReport->setEnabled(true);
    ui->giveupBtn->setEnabled(true);
}

void displayisowidget::saveReport()
{
    common::trace() << "saveReport"
                    << "[in]";
    ui->saveReport->setEnabled(false);
    ui->giveupBtn->setEnabled(false);
    refillResultCells(emptyCell);
    startTool(toolPath("/iso/scripts/copy_calib_iso_results.exe"),
              [this](int exitCode, QProcess::ExitStatus) { onReportSaved(exitCode); });
    common::trace() << "saveReport"
                    << "[out]";
}

void displayisowidget::onReportSaved(int exitCode)
{
    if (exitCode == 0) {
        QMessageBox::information(this, doneTitle, QStringLiteral("PDF 报告已保存成功。"));
        return;
    }
    QMessageBox::warning(this, errorTitle,
                         QStringLiteral("报告保存失败，退出码：%1").arg(exitCode));
    ui->giveupBtn->setEnabled(true);
    ui->saveReport->setEnabled(true);
}

void displayisowidget::resetAll()
{
    common::trace() << "resetAll"
                    << "[in]";
    QMessageBox question(QMessageBox::Question, QStringLiteral("提示"),
                         QStringLiteral("是否放弃iso结果？"), QMessageBox::NoButton, this);
    QPushButton* discard = question.addButton(QStringLiteral("放弃"), QMessageBox::DestructiveRole);
    QPushButton* cancel = question.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    question.setDefaultButton(cancel);
    question.exec();
    if (question.clickedButton() != discard)
        return;

    ui->giveupBtn->setEnabled(false);
    ui->saveReport->setEnabled(false);
    refillResultCells(emptyCell);
    startTool(toolPath("/iso/scripts/delet_calib_iso_results.exe"),
              [this](int exitCode, QProcess::ExitStatus) { onResultsDeleted(exitCode); });
    common::trace() << "resetAll"
                    << "[out]";
}

void displayisowidget::onResultsDeleted(int exitCode)
{
    if (exitCode == 0) {
        QMessageBox::information(this, doneTitle, QStringLiteral("结果已删除"));
        ui->giveupBtn->setEnabled(true);
        return;
    }
    QMessageBox::warning(this, errorTitle,
                         QStringLiteral("结果删除失败，退出码：%1").arg(exitCode));
    ui->giveupBtn->setEnabled(true);
    ui->saveReport->setEnabled(true);
}

void displayisowidget::startBtnEnable()
{
    common::trace() << "startBtnEnable"
                    << "[in]";
    ui->startISO->setEnabled(true);
    common::trace() << "startBtnEnable"
                    << "[out]";
}

void displayisowidget::btnsDisable()
{
    common::trace() << "btnsDisable"
                    << "[in]";
    ui->startISO->setEnabled(false);
    ui->saveReport->setEnabled(false);
    ui->giveupBtn->setEnabled(false);
    common::trace() << "btnsDisable"
                    << "[out]";
}

void displayisowidget::onReadyReadStandardOutput()
{
    if (!isoProcess)
        return;
    showRounds(outputLines.feed(isoProcess->readAllStandardOutput()));
}

void displayisowidget::showRounds(const QList<QByteArray>& lines)
{
    static const QRegularExpression round(QStringLiteral(R"(\[ROUND\]\s*(\d+)\s*/\s*(\d+))"));
    for (const QByteArray& line : lines) {
        const QRegularExpressionMatch match = round.match(QString::fromUtf8(line).trimmed());
        if (!match.hasMatch())
            continue;
        const QString current = match.captured(1);
        const QString total = match.captured(2);
        ui->label->setText(QStringLiteral("采集进度："));
        ui->label_2->setText(QStringLiteral("%1 / %2").arg(current, total));
        common::trace() << QStringLiteral("ISO Round: ") << current << QStringLiteral("/") << total;
    }
}
