#pragma once

#include "lumoracalibration_global.h"

#include <QPointer>
#include <QVector>
#include <QWidget>

class QCheckBox;
class QLineEdit;

namespace Ui {
class setupisowidget;
}

// ISO test settings: default or custom poses, samples per point, report folder; saved into the
// calibration job file.
class LUMORACALIBRATION_EXPORT setupisowidget : public QWidget
{
    Q_OBJECT

public:
    static setupisowidget* instance(QWidget* parent = nullptr);
    ~setupisowidget() override;

signals:
    void saveAll();
    void isChanged();

public slots:
    void handleNetworkConnected();
    void saveFivePoints();
    void resetAll();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    template <class Panel> friend Panel* singleInstance(QPointer<Panel>&, QWidget*);
    explicit setupisowidget(QWidget* parent = nullptr);

    void buildDefaultGrid();
    void buildCustomGrid();
    QLineEdit* createCustomEdit(int row, int column);
    void onSampleCountChanged(const QString& text);
    void onDefaultBoxClicked(bool checked);
    void onCustomBoxClicked(bool checked);
    void setCustomEditsEnabled(bool enabled);
    void chooseReportFolder();
    // Appends the custom values row by row; false at the first empty field.
    bool collectCustomPoses();

    Ui::setupisowidget* ui;
    QCheckBox* defaultCheckBox = nullptr;
    QCheckBox* customCheckBox = nullptr;
    QVector<QVector<QLineEdit*>> customEdits;
};
