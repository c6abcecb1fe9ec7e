#include "calibrationwidget.h"

#include "common.h"
#include "dhparameterwidget.h"
#include "panelpainter.h"
#include "resultfile.h"
#include "setupwidget.h"
#include "singleinstance.h"
#include "trace.h"
#include "ui_calibrationwidget.h"

#include <QDebug>
#include <QFileInfo>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTimer>

#include <map>
#include <memory>
#include <optional>
#include <string>

namespace {

const int supervisionMs = 600000;
const int killWaitMs = 30000;
// A box with megabytes of tool output freezes the GUI for minutes and cannot be read anyway;
// the end of the output is where a tool says why it failed.
const int maxInfoBytes = 4096;

QString toolPath()
{
    return common::calibrationDir + QStringLiteral("/kalvo_calib_cli/bin/KalvoCalibrationTool.exe");
}

QString resultPath()
{
    return common::calibrationDir + QLatin1Char('/') + common::optimizedDHFile;
}

} // namespace

calibrationWidget* calibrationWidget::instance(QWidget* parent)
{
    static QPointer<calibrationWidget> self;
    return singleInstance(self, parent);
}

calibrationWidget::calibrationWidget(QWidget* parent)
    : QWidget(parent)
    , ui(new Ui::calibrationWidget)
    , errorTail(maxInfoBytes)
{
    ui->setupUi(this);
    setAttribute(Qt::WA_StyledBackground, true);
    ui->verticalLayout->setAlignment(ui->horizontalLayout_4, Qt::AlignCenter);
    ui->verticalLayout->setAlignment(ui->horizontalLayout_3, Qt::AlignCenter);
    ui->verticalLayout->setAlignment(ui->horizontalLayout, Qt::AlignCenter);

    connect(ui->runCalibrationBtn, &QPushButton::clicked, this,
            &calibrationWidget::onRunCalibrationBtnClicked);

    setupWidget* setup = setupWidget::instance();
    connect(this, &calibrationWidget::isAllOptionsSelect, setup, &setupWidget::isAllOptionsSelect);
    connect(this, &calibrationWidget::isSNEmpty, setup, &setupWidget::isSNEmpty);
    connect(this, &calibrationWidget::writeIntoJson, setup, &setupWidget::writeIntoJson);
    connect(setup, &setupWidget::jobFileFailed, this,
            [this](const QString& path, const QString& reason) {
                jobFileError = path + QLatin1Char('\n') + reason;
            });

    dhparameterWidget* result = dhparameterWidget::instance();
    connect(this, &calibrationWidget::changeBtnsStatus, result,
            &dhparameterWidget::changeBtnsStatus);
    connect(this, &calibrationWidget::calibrationDoneVec, result,
            &dhparameterWidget::writeDHResLabls);
    connect(this, &calibrationWidget::calibrationDoneStr, result,
            &dhparameterWidget::updateErrorLabels);
}

calibrationWidget::~calibrationWidget()
{
    // A tool still running when the page goes away is stopped quietly: its end must not reach
    // the handlers of a panel being destroyed.
    if (calibProcess) {
        calibProcess->disconnect(this);
        calibProcess->killGroup();
        calibProcess->waitForFinished(killWaitMs);
    }
    delete ui;
}

void calibrationWidget::paintEvent(QPaintEvent* event)
{
    paintRoundedPanel(this);
    QWidget::paintEvent(event);
}

void calibrationWidget::setIdle(const QString& state)
{
    ui->runCalibrationBtn->setText(QStringLiteral("启动标定"));
    ui->runCalibrationBtn->setEnabled(true);
    ui->calibrationLabel->setText(state);
    isCalibrating = false;
}

void calibrationWidget::stopTimer()
{
    if (!resultTimer)
        return;
    resultTimer->stop();
    resultTimer->deleteLater();
    resultTimer = nullptr;
}

void calibrationWidget::resetAll()
{
    ui->runCalibrationBtn->setText(QStringLiteral("启动标定"));
    ui->runCalibrationBtn->setEnabled(true);
    ui->calibrationLabel->setText(QString());
    ui->connectionLabel->setText(QString());
    isCalibrating = false;
}

void calibrationWidget::onRunCalibrationBtnClicked()
{
    if (isCalibrating) {
        cancelCalibration();
        return;
    }
    common::trace() << "enter onRunCalibrationBtnClicked";

    bool selected = false;
    emit isAllOptionsSelect(selected);
    if (!selected) {
        QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                             QStringLiteral("Please select DH parameter configuration"));
        return;
    }
    emit isSNEmpty();
    if (common::serialNumber.isEmpty()) {
        QMessageBox::warning(nullptr, QStringLiteral("Warning"),
                             QStringLiteral("Please enter SN number"));
        return;
    }

    ui->calibrationLabel->setText(QStringLiteral("KalvoCalib 运行中"));
    ui->connectionLabel->setText(QStringLiteral("初始化中..."));
    ui->runCalibrationBtn->setText(QStringLiteral("取消标定"));
    isCalibrating = true;

    emit changeBtnsStatus(false);
    jobFileError.clear();
    emit writeIntoJson();
    if (!jobFileError.isEmpty()) {
        QMessageBox::critical(nullptr, QStringLiteral("ERROR"),
                              QStringLiteral("Can't Write Job File: ") + jobFileError);
        setIdle(QStringLiteral("启动失败"));
        return;
    }

    const QString program = toolPath();
    if (!QFileInfo::exists(program)) {
        QMessageBox::critical(nullptr, QStringLiteral("ERROR"),
                              QStringLiteral("Can't Find CalibTool: ") + program);
        setIdle(QStringLiteral("启动失败"));
        return;
    }

    outputLines.clear();
    errorTail.clear();
    calibProcess = new ToolProcess(this);
    calibProcess->setWorkingDirectory(QFileInfo(program).absolutePath());
    connect(calibProcess, QOverload<int, QProcess::ExitStatus>::of(&QProcess::finished), this,
            &calibrationWidget::onCalibrationFinished);
    connect(calibProcess, &QProcess::readyReadStandardOutput, this,
            &calibrationWidget::onReadyReadStandardOutput);
    // Read as it arrives: a tool may write gigabytes there before it ends.
    connect(calibProcess, &QProcess::readyReadStandardError, this,
            &calibrationWidget::onReadyReadStandardError);
    connect(calibProcess, &QProcess::errorOccurred, this, &calibrationWidget::onProcessError);

    resultTimer = new QTimer(this);
    connect(resultTimer, &QTimer::timeout, this, &calibrationWidget::onTimeout);
    resultTimer->start(supervisionMs);

    resultBefore = FileStamp::of(resultPath());
    qDebug() << "启动优化工具:" << program;
    // The tool starts in its own folder, so a root relative to ours must not be resolved
    // from there.
    calibProcess->start(QFileInfo(program).absoluteFilePath(),
                        {QStringLiteral("--path"), common::calibrationDir}, QIODevice::ReadWrite);
    common::trace() << "leave onRunCalibrationBtnClicked";
}

void calibrationWidget::onProcessError(QProcess::ProcessError error)
{
    // Only a start failure ends the run here; a crash or kill arrives as finished().
    if (error != QProcess::FailedToStart || !calibProcess || sender() != calibProcess)
        return;
    ToolProcess* process = calibProcess;
    calibProcess = nullptr;
    stopTimer();
    const QString text = QStringLiteral("Can't Start CalibTool: ") + process->program() +
                         QLatin1Char('\n') + process->errorString();
    process->disconnect(this);
    process->deleteLater();
    setIdle(QStringLiteral("启动失败"));
    QMessageBox::critical(nullptr, QStringLiteral("ERROR"), text);
}

void calibrationWidget::showOutputLine(const QByteArray& bytes)
{
    static const QRegularExpression progress(QStringLiteral(R"(\[PROGRESS\]\s*(\d+)\s*/\s*(\d+))"));
    const QString line = QString::fromUtf8(bytes).trimmed();
    if (line == QLatin1String("[PHASE] OPTIMIZATION")) {
        ui->connectionLabel->setText(QStringLiteral("优化中..."));
        common::trace() << "Enter optimization phase";
        return;
    }
    const QRegularExpressionMatch match = progress.match(line);
    if (!match.hasMatch())
        return;
    const int current = match.captured(1).toInt();
    const int total = match.captured(2).toInt();
    ui->connectionLabel->setText(QStringLiteral("采集进度：%1 / %2").arg(current).arg(total));
    common::trace() << "Progress: " << current << "/" << total;
}

void calibrationWidget::onReadyReadStandardOutput()
{
    if (!calibProcess)
        return;
    const QList<QByteArray> lines = outputLines.feed(calibProcess->readAllStandardOutput());
    for (const QByteArray& line : lines)
        showOutputLine(line);
}

void calibrationWidget::onReadyReadStandardError()
{
    if (calibProcess)
        errorTail.append(calibProcess->readAllStandardError());
}

void calibrationWidget::onCalibrationFinished(int exitCode, QProcess::ExitStatus exitStatus)
{
    stopTimer();
    // Taken out of the member at once: a cancel or timeout waiting on this process re-reads
    // the member after its wait and must find the run already ended.
    ToolProcess* process = calibProcess;
    calibProcess = nullptr;
    if (process) {
        process->disconnect(this);
        for (const QByteArray& line : outputLines.feed(process->readAllStandardOutput()))
            showOutputLine(line);
        errorTail.append(process->readAllStandardError());
    }
    for (const QByteArray& line : outputLines.flush())
        showOutputLine(line);

    // Released after the box: the box's event loop may run deferred deletions, and a kill that
    // led here is still waiting on this process further up the stack.
    auto failure = [this, process](const QString& title, const QString& text,
                                   const QString& state) {
        setIdle(state);
        QMessageBox::critical(nullptr, title, text);
        if (process)
            process->deleteLater();
    };

    if (exitCode != 0 || exitStatus != QProcess::NormalExit) {
        // Standard output has been shown line by line already; nothing of it is left unread.
        QString text = QStringLiteral("ERROR: ") + QString::number(exitCode);
        const QString info = errorTail.text();
        if (!info.isEmpty())
            text += QStringLiteral("\n\nINFO:\n") + info;
        failure(QStringLiteral("ERROR"), text, QStringLiteral("优化失败"));
        return;
    }

    // One reading of the file for all four parts: it may be large, and it is one result.
    // A file the tool did not write is an earlier run's result, not this one's.
    std::optional<nlohmann::json> document;
    if (FileStamp::of(resultPath()) != resultBefore)
        document = loadJsonFile(resultPath().toStdString());
    const QString readFailed = QStringLiteral("读取结果失败");
    if (!document || !readOptimizationStatusOf(*document)) {
        failure(QStringLiteral("ERROR"), QStringLiteral("Can't Find OptimizedDH.json File"),
                readFailed);
        return;
    }
    auto joints = std::make_shared<std::map<std::string, DHParam>>();
    if (!readDHParametersOf(*joints, *document)) {
        failure(QStringLiteral("ERROR"), QStringLiteral("Faild TO Read DH Pa"), readFailed);
        return;
    }
    AverageErrors errors;
    if (!readAverageErrorsOf(errors, *document)) {
        failure(QStringLiteral("Error"), QStringLiteral("Failed to read error data"), readFailed);
        return;
    }
    // One offset per axis, or the controller would get them on the wrong joints.
    std::vector<double> zeroPoints;
    if (!readZeroPointsOf(zeroPoints, *document) || int(zeroPoints.size()) != common::axisNum) {
        failure(QStringLiteral("Error"), QStringLiteral("Failed to read zero position data"),
                readFailed);
        return;
    }
    common::zeroPointsVec.swap(zeroPoints);

    // Looked up by number: the map's text order would put joint_10 before joint_2.
    common::optimizedDHParamsVec.clear();
    for (int joint = 1; joint <= common::axisNum; ++joint) {
        const auto found = joints->find("joint_" + std::to_string(joint));
        if (found == joints->end())
            continue;
        const DHParam& param = found->second;
        common::optimizedDHParamsVec << param.alpha << param.a << param.d << param.theta_offset;
    }

    emit calibrationDoneVec(false);
    emit calibrationDoneStr(QString::number(errors.avgPosError, 'f', 4),
                            QString::number(errors.avgAttError, 'f', 4));

    ui->runCalibrationBtn->setText(QStringLiteral("标定完成"));
    ui->runCalibrationBtn->setEnabled(false);
    ui->calibrationLabel->setText(QStringLiteral("请检查右侧数据并应用参数"));
    ui->connectionLabel->setText(QStringLiteral("优化完成"));
    isCalibrating = false;
    emit changeBtnsStatus(true);

    if (process)
        process->deleteLater();
}

void calibrationWidget::killTool()
{
    if (!calibProcess)
        return;
    QPointer<ToolProcess> process = calibProcess;
    process->killGroup();
    process->waitForFinished(killWaitMs);
    // The finished handler normally ran inside the wait and has already released the process.
    if (calibProcess && calibProcess == process) {
        calibProcess->disconnect(this);
        calibProcess->deleteLater();
        calibProcess = nullptr;
    }
}

void calibrationWidget::onTimeout()
{
    killTool();
    stopTimer();
    QMessageBox::critical(nullptr, QStringLiteral("Timeout"),
                          QStringLiteral("Waiting for optimization result timeout (600 seconds), "
                                         "please check if external program is running properly"));
    setIdle(QStringLiteral("等待超时"));
}

void calibrationWidget::cancelCalibration()
{
    common::trace() << "User manually canceled calibration";
    stopTimer();
    // The operator asked for this end: the kill is no failure to report.
    if (calibProcess)
        calibProcess->disconnect(this);
    killTool();
    setIdle(QStringLiteral("标定已取消"));
    ui->connectionLabel->setText(QString());
    emit changeBtnsStatus(true);
    QMessageBox::information(nullptr, QStringLiteral("Notice"),
                             QStringLiteral("Calibration process has been cancelled"));
}
