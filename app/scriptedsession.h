#pragma once

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVector>

#include <functional>

class QTimer;
class QWidget;

// A whole operator session run headless on the plug-in's page: calibrate, run the ISO test on
// the uncalibrated robot, apply, wait for the controller to come back, run the ISO test again,
// calibrate once more, and print a summary with the cell's floor beside the figures. Drives the
// widgets by object name and answers the plug-in's boxes as an operator would.
class ScriptedSession final : public QObject
{
    Q_OBJECT

public:
    struct Options
    {
        QString serialNumber = QStringLiteral("SN-DEMO-0001");
        int sampleTimes = 30;
        QString reportFolder; // the ISO reports go below it, in "before" and "after"
        int stepTimeoutMs = 300000;
    };

    ScriptedSession(QWidget* page, Options options, QObject* parent = nullptr);

    void start();

signals:
    void finished(int exitCode);

private:
    struct Step
    {
        QString name;
        std::function<bool()> poll; // true when the step is done
    };

    // Types the serial number and ticks every parameter.
    bool prepareCalibration();
    void addCalibrationSteps();
    void addIsoSteps(const QString& label, QVector<double>* accuracy);
    void addApplySteps();
    void addCheckCalibrationSteps();
    void measureSecondCorrections();
    void measureFloor();
    void tick();
    void answerModal();
    void fail(const QString& why);
    void printSummary();

    template <class T> T* find(const char* name) const;
    bool click(const char* name);

    QPointer<QWidget> page;
    Options options;
    QList<Step> steps;
    int current = 0;
    bool busy = false;
    int connections = 0;
    QTimer* ticker;
    QTimer* answerer;
    QElapsedTimer sessionClock;
    QElapsedTimer stepClock;
    QString pendingFolder;
    QStringList boxLog;
    QVector<double> accuracyBefore;
    QVector<double> accuracyAfter;
    QString averagePosError;
    QString averageAttError;
    double secondCorrectionMm = 0.0;
    double secondCorrectionDeg = 0.0;
    double secondZeroDeg = 0.0;
    QString robot;
    QString seed;
    double accuracyFloor = 0.0;
};
