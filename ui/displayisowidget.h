#pragma once

#include "filestamp.h"
#include "lineassembler.h"
#include "lumoracalibration_global.h"
#include "toolprocess.h"

#include <QPointer>
#include <QProcess>
#include <QWidget>

#include <functional>
#include <string>

class QTimer;

namespace Ui {
class displayisowidget;
}

// Runs the ISO test task, generates the report, shows the figures, saves or discards them.
class LUMORACALIBRATION_EXPORT displayisowidget : public QWidget
{
    Q_OBJECT

public:
    static displayisowidget* instance(QWidget* parent = nullptr);
    ~displayisowidget() override;

public slots:
    void startBtnEnable();
    void btnsDisable();

private slots:
    void startIso();
    void saveReport();
    void resetAll();
    void onReadyReadStandardOutput();
    void onIsoTimeout();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Panel> friend Panel* singleInstance(QPointer<Panel>&, QWidget*);
    explicit displayisowidget(QWidget* parent = nullptr);

    bool startTool(const QString& program,
                   std::function<void(int, QProcess::ExitStatus)> onFinished);
    void addResultCell(int row, int column,
                       std::function<std::string(const int&, const int&)> cellText);
    // Replaces every value cell with a fresh one showing cellText(row, column).
    void refillResultCells(const std::function<std::string(const int&, const int&)>& cellText);
    void showRounds(const QList<QByteArray>& lines);
    // Deletes the finished tool now; one that still runs is killed and deleted once it ends.
    void releaseProcess();
    void stopIsoTimer();
    void onIsoTaskFinished(int exitCode);
    void onReportGenerated(int exitCode);
    void onReportSaved(int exitCode);
    void onResultsDeleted(int exitCode);

    Ui::displayisowidget* ui;
    ToolProcess* isoProcess = nullptr;
    QTimer* isoTimer = nullptr; // guards the test task only
    FileStamp resultsBefore;    // the result file as the report generator found it
    LineAssembler outputLines;
};
