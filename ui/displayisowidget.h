#pragma once

#include "lineassembler.h"
#include "lumoracalibration_global.h"

#include <QPointer>
#include <QProcess>
#include <QWidget>

#include <functional>
#include <string>

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

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Panel> friend Panel* singleInstance(QPointer<Panel>&, QWidget*);
    explicit displayisowidget(QWidget* parent = nullptr);

    Ui::displayisowidget* ui;
    QProcess* isoProcess = nullptr;
    LineAssembler outputLines;
};
