#pragma once

#include <QString>
#include <QStringList>

#include <ostream>

namespace iso {

struct TaskOptions
{
    QString root;
    // Time the simulated robot takes to move to a pose and settle.
    int moveMs = 20;
};

// Runs the test on the cell below options.root: visits P1 to P5 once per cycle, prints
// "[ROUND] k/n" after each cycle and writes the measurement file. Returns an ExitCode.
int runIsoTask(const TaskOptions& options, std::ostream& out, std::ostream& err);

// The task's command line: "--path <root>" [--move-ms N].
int isoTaskMain(const QStringList& arguments, const QString& toolFolder, std::ostream& out,
                std::ostream& err);

} // namespace iso
