#include "scriptedsession.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QGridLayout>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRandomGenerator>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <cellpaths.h>
#include <cellstate.h>
#include <cmath>
#include <instrument.h>
#include <interfacemanager.h>
#include <numeric>

namespace {

const QString calibrationRoot = sim::calibrationRootSuffix();

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

double mean(const QVector<double>& values)
{
    return values.isEmpty() ? 0.0
                            : std::accumulate(values.begin(), values.end(), 0.0) / values.size();
}

} // namespace

ScriptedSession::ScriptedSession(QWidget* page, Options options, QObject* parent)
    : QObject(parent)
    , page(page)
    , options(std::move(options))
    , ticker(new QTimer(this))
    , answerer(new QTimer(this))
{
    ticker->setInterval(50);
    connect(ticker, &QTimer::timeout, this, &ScriptedSession::tick);
    // A timer is not fired again while its own handler runs, and a step's click may open a box
    // that waits inside that handler: boxes are answered from a timer of their own.
    answerer->setInterval(20);
    connect(answerer, &QTimer::timeout, this, &ScriptedSession::answerModal);
    connect(&tavrin::tavrinInterface(), &tavrin::InterfaceManager::sigNetworkConnect, this,
            [this] { ++connections; });
}

template <class T> T* ScriptedSession::find(const char* name) const
{
    return page ? page->findChild<T*>(QLatin1String(name)) : nullptr;
}

bool ScriptedSession::click(const char* name)
{
    auto* button = find<QAbstractButton>(name);
    if (!button || !button->isEnabled())
        return false;
    button->click();
    return true;
}

void ScriptedSession::start()
{
    if (!page) {
        fail(QStringLiteral("the plug-in handed over no page"));
        return;
    }
    // Results of an earlier session would stand in for this robot's until the first run.
    for (const char* name : {"optimized_dh.json", "optimized_cell.json", "measurements.csv"})
        QFile::remove(calibrationRoot + QLatin1Char('/') + QLatin1String(name));
    addCalibrationSteps();
    addIsoSteps(QStringLiteral("before"), &accuracyBefore);
    addApplySteps();
    addIsoSteps(QStringLiteral("after"), &accuracyAfter);
    steps.append({QStringLiteral("the cell's floor"), [this] {
                      measureFloor();
                      return true;
                  }});
    addCheckCalibrationSteps();
    steps.append({QStringLiteral("summary"), [this] {
                      printSummary();
                      return true;
                  }});
    sessionClock.start();
    stepClock.start();
    out() << "session: " << steps.size() << " steps\n";
    out().flush();
    ticker->start();
    answerer->start();
}

bool ScriptedSession::prepareCalibration()
{
    auto* serial = find<QLineEdit>("snLineEdit");
    auto* setup = find<QWidget>("setupWidget");
    if (!serial || !setup)
        return false;
    serial->setText(options.serialNumber);
    for (QCheckBox* box : setup->findChildren<QCheckBox*>()) {
        if (!box->isChecked())
            box->click();
    }
    return true;
}

void ScriptedSession::addCalibrationSteps()
{
    steps.append({QStringLiteral("wait for the robot's DH table"), [this] {
                      auto* setup = find<QWidget>("setupWidget");
                      return setup && !setup->findChildren<QCheckBox*>().isEmpty();
                  }});
    steps.append({QStringLiteral("enter the serial number and tick every parameter"),
                  [this] { return prepareCalibration(); }});
    steps.append(
        {QStringLiteral("start the calibration"), [this] { return click("runCalibrationBtn"); }});
    steps.append({QStringLiteral("wait for the calibration result"), [this] {
                      auto* button = find<QPushButton>("runCalibrationBtn");
                      if (!button)
                          return false;
                      if (button->text() == QStringLiteral("启动标定")) {
                          fail(QStringLiteral("the calibration ended without a result"));
                          return false;
                      }
                      if (button->text() != QStringLiteral("标定完成"))
                          return false;
                      averagePosError = find<QLineEdit>("averagePosErrorText")->text();
                      averageAttError = find<QLineEdit>("averagePoseErrorText")->text();
                      return true;
                  }});
}

void ScriptedSession::addIsoSteps(const QString& label, QVector<double>* accuracy)
{
    steps.append({QStringLiteral("ISO %1: settings").arg(label), [this, label] {
                      auto* samples = find<QLineEdit>("collectLineEdit");
                      if (!samples || !click("selectPathBtn"))
                          return false;
                      samples->setText(QString::number(options.sampleTimes));
                      return true;
                  }});
    // The folder dialog opened by the step above is answered in answerModal().
    steps.append({QStringLiteral("ISO %1: save").arg(label), [this] { return click("saveBtn"); }});
    steps.append({QStringLiteral("ISO %1: start the test task").arg(label), [this] {
                      auto* start = find<QPushButton>("startISO");
                      return start && start->text() == QStringLiteral("启动ISO") &&
                             click("startISO");
                  }});
    steps.append({QStringLiteral("ISO %1: wait for the test task").arg(label), [this] {
                      auto* start = find<QPushButton>("startISO");
                      if (start && start->text() == QStringLiteral("启动ISO") && start->isEnabled())
                          fail(QStringLiteral("the ISO test task failed"));
                      return start && start->text() == QStringLiteral("生成报告") &&
                             start->isEnabled();
                  }});
    steps.append({QStringLiteral("ISO %1: generate the report").arg(label),
                  [this] { return click("startISO"); }});
    steps.append({QStringLiteral("ISO %1: wait for the figures").arg(label), [this, accuracy] {
                      auto* save = find<QPushButton>("saveReport");
                      auto* grid = find<QGridLayout>("gridLayout");
                      if (!save || !grid || !save->isEnabled())
                          return false;
                      accuracy->clear();
                      for (int row = 1; row <= 5; ++row) {
                          QLayoutItem* item = grid->itemAtPosition(row, 1);
                          auto* cell = item ? qobject_cast<QLabel*>(item->widget()) : nullptr;
                          accuracy->append(cell ? cell->text().toDouble() : 0.0);
                      }
                      return true;
                  }});
    steps.append({QStringLiteral("ISO %1: save the report").arg(label),
                  [this] { return click("saveReport"); }});
    steps.append({QStringLiteral("ISO %1: wait for the copy").arg(label), [this] {
                      auto* save = find<QPushButton>("saveReport");
                      auto* giveUp = find<QPushButton>("giveupBtn");
                      return save && giveUp && !save->isEnabled() && !giveUp->isEnabled() &&
                             boxLog.last().contains(QStringLiteral("PDF 报告已保存成功。"));
                  }});
}

void ScriptedSession::addCheckCalibrationSteps()
{
    // A second run right after applying the first must find next to nothing to correct.
    steps.append({QStringLiteral("second calibration: start"),
                  [this] { return prepareCalibration() && click("runCalibrationBtn"); }});
    steps.append({QStringLiteral("second calibration: wait for the result"), [this] {
                      auto* button = find<QPushButton>("runCalibrationBtn");
                      if (!button || button->text() != QStringLiteral("标定完成"))
                          return false;
                      measureSecondCorrections();
                      return true;
                  }});
    steps.append(
        {QStringLiteral("second calibration: give up"), [this] { return click("giveUpBtn"); }});
}

void ScriptedSession::measureFloor()
{
    sim::CellState cell;
    QFile jobFile(calibrationRoot + QStringLiteral("/calibInfo.json"));
    if (!sim::loadCellState(sim::defaultCellStatePath(), cell) || !cell.robotType() ||
        !jobFile.open(QIODevice::ReadOnly))
        return;
    robot = cell.robotName;
    seed = QString::number(cell.seed);
    const QJsonObject config =
        QJsonDocument::fromJson(jobFile.readAll()).object().value("iso_config").toObject();
    std::vector<std::vector<double>> poses;
    for (int i = 1; i <= 5; ++i) {
        std::vector<double> joints;
        for (const QJsonValue& angle :
             config.value("iso_poses").toObject().value(QStringLiteral("point%1").arg(i)).toArray())
            joints.push_back(angle.toDouble());
        joints.resize(std::size_t(cell.robotType()->axisCount), 0.0);
        poses.push_back(joints);
    }
    accuracyFloor = sim::isoAccuracyFloor(cell, poses, config.value("sample_times").toInt(),
                                          QRandomGenerator::global()->generate64());
}

void ScriptedSession::measureSecondCorrections()
{
    QFile resultFile(calibrationRoot + QStringLiteral("/optimized_dh.json"));
    QFile stateFile(sim::defaultCellStatePath());
    if (!resultFile.open(QIODevice::ReadOnly))
        return;
    const QJsonObject result = QJsonDocument::fromJson(resultFile.readAll()).object();
    const QJsonObject controller =
        stateFile.open(QIODevice::ReadOnly)
            ? QJsonDocument::fromJson(stateFile.readAll()).object().value("controller").toObject()
            : QJsonObject();
    const QJsonArray dh = tavrin::tavrinInterface()
                              .execCommandXServiceData(QStringLiteral("factory.get_DH_params_link"),
                                                       QVariant(QString()))
                              .toObject()
                              .value("data")
                              .toObject()
                              .value("DH_PARAMS_LINK")
                              .toArray();
    const QJsonObject joints = result.value("dh_parameters").toObject();
    for (int i = 0; 4 * i + 3 < dh.size(); ++i) {
        const QJsonObject joint = joints.value(QStringLiteral("joint_%1").arg(i + 1)).toObject();
        if (joint.isEmpty())
            continue;
        secondCorrectionDeg =
            std::max(secondCorrectionDeg,
                     std::abs(joint.value("alpha").toDouble() - dh.at(4 * i).toDouble()));
        secondCorrectionMm =
            std::max({secondCorrectionMm,
                      std::abs(joint.value("a").toDouble() - dh.at(4 * i + 1).toDouble()),
                      std::abs(joint.value("d").toDouble() - dh.at(4 * i + 2).toDouble())});
    }
    const QJsonArray zero = result.value("zero_points").toArray();
    const QJsonArray compensation = controller.value("zero_compensation").toArray();
    for (int i = 0; i < zero.size() && i < compensation.size(); ++i)
        secondZeroDeg = std::max(secondZeroDeg,
                                 std::abs(zero.at(i).toDouble() - compensation.at(i).toDouble()));
}

void ScriptedSession::addApplySteps()
{
    steps.append({QStringLiteral("apply the result to the controller"), [this] {
                      connections = 0;
                      return click("confirmBtn");
                  }});
    steps.append({QStringLiteral("wait for the controller to reboot and come back"), [this] {
                      auto* setup = find<QWidget>("setupWidget");
                      return connections > 0 && setup &&
                             !setup->findChildren<QCheckBox*>().isEmpty();
                  }});
}

void ScriptedSession::tick()
{
    if (busy || current >= steps.size())
        return;
    if (stepClock.elapsed() > options.stepTimeoutMs) {
        fail(QStringLiteral("step \"%1\" timed out").arg(steps.at(current).name));
        return;
    }
    busy = true;
    const bool done = steps.at(current).poll();
    busy = false;
    if (current >= steps.size())
        return; // failed inside the step
    if (!done)
        return;
    out() << QStringLiteral("[%1 s] %2\n")
                 .arg(sessionClock.elapsed() / 1000.0, 0, 'f', 1)
                 .arg(steps.at(current).name);
    out().flush();
    ++current;
    stepClock.restart();
    if (current == steps.size()) {
        ticker->stop();
        answerer->stop();
        emit finished(0);
    }
}

void ScriptedSession::answerModal()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || modal->property("scriptAnswered").toBool())
        return;
    modal->setProperty("scriptAnswered", true);
    if (auto* dialog = qobject_cast<QFileDialog*>(modal)) {
        const QString step = current < steps.size() ? steps.at(current).name : QString();
        const QString label = step.contains(QStringLiteral("before")) ? QStringLiteral("before")
                                                                      : QStringLiteral("after");
        const QString folder = QDir(options.reportFolder).filePath(label);
        QDir().mkpath(folder);
        QMetaObject::invokeMethod(
            dialog,
            [dialog, folder] {
                dialog->setDirectory(folder);
                static_cast<QDialog*>(dialog)->accept();
            },
            Qt::QueuedConnection);
        return;
    }
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
        boxLog.append(box->windowTitle() + QStringLiteral(": ") + box->text());
        out() << "  box: " << boxLog.last() << '\n';
        out().flush();
        QAbstractButton* ok = box->button(QMessageBox::Ok);
        QAbstractButton* choice = ok ? ok : box->defaultButton();
        if (!choice && !box->buttons().isEmpty())
            choice = box->buttons().first();
        const bool problem =
            box->icon() == QMessageBox::Critical || box->icon() == QMessageBox::Warning;
        if (choice)
            QMetaObject::invokeMethod(choice, &QAbstractButton::click, Qt::QueuedConnection);
        if (problem)
            fail(QStringLiteral("the plug-in reported: ") + boxLog.last());
    }
}

void ScriptedSession::fail(const QString& why)
{
    if (current >= steps.size() && !steps.isEmpty())
        return;
    QTextStream(stderr) << "session failed: " << why << '\n';
    current = steps.size();
    ticker->stop();
    // Let a box that is being answered close before the host quits.
    QTimer::singleShot(0, this, [this] { emit finished(1); });
}

void ScriptedSession::printSummary()
{
    out() << "\nSummary\n";
    out() << "  cell: robot " << robot << ", seed " << seed
          << " (every error source as the state file records it)\n";
    out() << "  calibration: average position error " << averagePosError
          << " mm, average attitude error " << averageAttError << " deg (held-out poses)\n";
    out() << "  ISO pose accuracy AP (mm)     before      after\n";
    for (int i = 0; i < 5; ++i) {
        out() << QStringLiteral("    P%1                     %2  %3\n")
                     .arg(i + 1)
                     .arg(accuracyBefore.value(i), 10, 'f', 4)
                     .arg(accuracyAfter.value(i), 10, 'f', 4);
    }
    out() << QStringLiteral("    mean                   %1  %2\n")
                 .arg(mean(accuracyBefore), 10, 'f', 4)
                 .arg(mean(accuracyAfter), 10, 'f', 4);
    out() << QStringLiteral(
                 "    floor of the cell                  %1  (the best model a controller "
                 "can hold: noise, sag and transmission error remain)\n")
                 .arg(accuracyFloor, 10, 'f', 4);
    out() << "  second calibration right after: largest correction "
          << QString::number(secondCorrectionMm, 'f', 4) << " mm, "
          << QString::number(secondCorrectionDeg, 'f', 5) << " deg (DH), "
          << QString::number(secondZeroDeg, 'f', 5) << " deg (joint zero)\n";
    out() << "  time taken: " << QString::number(sessionClock.elapsed() / 1000.0, 'f', 1) << " s\n";
    out() << "  reports: " << QDir(options.reportFolder).absolutePath() << "/{before,after}\n";
    out() << QStringLiteral("RESULT seed=%1 robot=%2 mean_ap_before=%3 mean_ap_after=%4 "
                            "mean_ap_floor=%5 second_dh_mm=%6 second_dh_deg=%7 "
                            "second_zero_deg=%8 time_s=%9\n")
                 .arg(seed, robot)
                 .arg(mean(accuracyBefore), 0, 'g', 8)
                 .arg(mean(accuracyAfter), 0, 'g', 8)
                 .arg(accuracyFloor, 0, 'g', 8)
                 .arg(secondCorrectionMm, 0, 'g', 8)
                 .arg(secondCorrectionDeg, 0, 'g', 8)
                 .arg(secondZeroDeg, 0, 'g', 8)
                 .arg(sessionClock.elapsed() / 1000.0, 0, 'f', 1);
    out().flush();
}
