#pragma once

#include <QObject>
#include <QStringList>

#include <functional>

class calibrationWidget;

// Records, in one sequence, every signal the runner sends and every message box that opens
// (as "box <title>"), so that tests can check what happened before a box.
class RunLog : public QObject
{
    Q_OBJECT

public:
    explicit RunLog(calibrationWidget* runner, QObject* parent = nullptr);
    ~RunLog() override;

    QStringList entries;
    // Called when a box opens, before the answerer presses its button.
    std::function<void()> onBox;

    bool eventFilter(QObject* watched, QEvent* event) override;
};
