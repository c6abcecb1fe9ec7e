#pragma once

#include "lumoracalibration_global.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <vector>

class QLabel;

namespace Ui {
class dhparameterWidget;
}

// Initial against optimised DH parameters, the run's average errors, give up and apply.
class LUMORACALIBRATION_EXPORT dhparameterWidget : public QWidget
{
    Q_OBJECT

public:
    static dhparameterWidget* instance(QWidget* parent = nullptr);
    ~dhparameterWidget() override;

signals:
    void giveupBtnSignals();
    void confirmBtnSingals();

public slots:
    void confirmBtnClicked();
    void giveupBtnClicked();
    void initTableWithData();
    void changeBtnsStatus(bool enable);
    void writeDHResLabls(bool isReset = false);
    void updateErrorLabels(QString averagePosErrorValue, QString averagePoseErrorValue);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Panel> friend Panel* singleInstance(QPointer<Panel>&, QWidget*);
    explicit dhparameterWidget(QWidget* parent = nullptr);

    Ui::dhparameterWidget* ui;
    std::vector<std::vector<QLabel*>> dhResLabels;
};
