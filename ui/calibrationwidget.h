#pragma once

#include "filestamp.h"
#include "lineassembler.h"
#include "lumoracalibration_global.h"
#include "outputtail.h"
#include "toolprocess.h"

#include <QPointer>
#include <QProcess>
#include <QString>
#include <QWidget>

class QTimer;

namespace Ui {
class calibrationWidget;
}

// Starts, supervises and cancels the external calibration tool and reads its result.
class LUMORACALIBRATION_EXPORT calibrationWidget : public QWidget
{
    Q_OBJECT

public:
    static calibrationWidget* instance(QWidget* parent = nullptr);
    ~calibrationWidget() override;

signals:
    void isAllOptionsSelect(bool& isSelected);
    void isSNEmpty();
    void writeIntoJson();
    void changeBtnsStatus(bool enable);
    void calibrationDoneVec(bool isReset);
    void calibrationDoneStr(QString averagePosErrorValue, QString averagePoseErrorValue);

public slots:
    void resetAll();

private slots:
    void onRunCalibrationBtnClicked();
    void onCalibrationFinished(int exitCode, QProcess::ExitStatus exitStatus);
    void onTimeout();
    void onReadyReadStandardOutput();
    void cancelCalibration();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Panel> friend Panel* singleInstance(QPointer<Panel>&, QWidget*);
    explicit calibrationWidget(QWidget* parent = nullptr);

    void onProcessError(QProcess::ProcessError error);
    void onReadyReadStandardError();
    void showOutputLine(const QByteArray& bytes);
    void setIdle(const QString& state);
    void stopTimer();
    void killTool();

    Ui::calibrationWidget* ui;
    ToolProcess* calibProcess = nullptr;
    QTimer* resultTimer = nullptr;
    bool isCalibrating = false;
    LineAssembler outputLines;
    OutputTail errorTail;
    QString jobFileError;   // set by the setup panel while it writes the job file
    FileStamp resultBefore; // the result file as it was when the tool started
};
