#pragma once

#include <QProcess>

// An external tool started in a process group of its own (a job object on Windows), so that
// stopping it stops whatever it started too: a tool's helpers must not outlive a cancel.
class ToolProcess final : public QProcess
{
    Q_OBJECT

public:
    explicit ToolProcess(QObject* parent = nullptr);
    // A tool still running is killed with its group, silently.
    ~ToolProcess() override;

    // Asks the whole group to end (on Windows, the tool alone: the group is killed after it).
    void terminateGroup();
    // Kills the whole group.
    void killGroup();

protected:
    void setupChildProcess() override;

private:
#if defined(Q_OS_WIN)
    void* job = nullptr;
#endif
};
