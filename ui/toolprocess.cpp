#include "toolprocess.h"

#if defined(Q_OS_WIN)
#include <qt_windows.h>
#else
#include <csignal>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace {

const int killWaitMs = 30000;

} // namespace

ToolProcess::ToolProcess(QObject* parent)
    : QProcess(parent)
{
#if defined(Q_OS_WIN)
    connect(this, &QProcess::started, this, [this] {
        HANDLE group = CreateJobObjectW(nullptr, nullptr);
        if (!group)
            return;
        JOBOBJECT_EXTENDED_LIMIT_INFORMATION limits{};
        limits.BasicLimitInformation.LimitFlags = JOB_OBJECT_LIMIT_KILL_ON_JOB_CLOSE;
        SetInformationJobObject(group, JobObjectExtendedLimitInformation, &limits, sizeof limits);
        HANDLE process =
            OpenProcess(PROCESS_SET_QUOTA | PROCESS_TERMINATE, FALSE, DWORD(processId()));
        if (process && AssignProcessToJobObject(group, process))
            job = group;
        else
            CloseHandle(group);
        if (process)
            CloseHandle(process);
    });
#else
    // Also from this side: a stop that comes before the child got to it still finds the group.
    connect(this, &QProcess::started, this,
            [this] { ::setpgid(pid_t(processId()), pid_t(processId())); });
#endif
}

ToolProcess::~ToolProcess()
{
    if (state() != QProcess::NotRunning) {
        // Its end must not reach handlers of objects that are going away with it.
        blockSignals(true);
        killGroup();
        waitForFinished(killWaitMs);
    }
#if defined(Q_OS_WIN)
    if (job)
        CloseHandle(static_cast<HANDLE>(job));
#endif
}

void ToolProcess::setupChildProcess()
{
#if !defined(Q_OS_WIN)
    ::setpgid(0, 0);
#endif
}

void ToolProcess::terminateGroup()
{
#if defined(Q_OS_WIN)
    terminate();
#else
    const qint64 id = processId();
    if (id <= 0 || ::kill(-pid_t(id), SIGTERM) != 0)
        terminate();
#endif
}

void ToolProcess::killGroup()
{
#if defined(Q_OS_WIN)
    if (job)
        TerminateJobObject(static_cast<HANDLE>(job), 1);
    kill();
#else
    const qint64 id = processId();
    if (id <= 0 || ::kill(-pid_t(id), SIGKILL) != 0)
        kill();
#endif
}
