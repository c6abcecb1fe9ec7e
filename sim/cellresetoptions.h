#pragma once

#include <QCommandLineOption>
#include <QList>

class QCommandLineParser;

namespace sim {

// The command-line options that start the cell afresh (robot type, seed, error sources), shared
// by the host and the stand-alone controller so that both read them alike.
class CellResetOptions
{
public:
    CellResetOptions();

    QList<QCommandLineOption> options() const { return {robot, seed, sources}; }
    bool anySet(const QCommandLineParser& parser) const;
    // Writes a fresh cell as the options say to the state file and prints its robot and seed;
    // false with a message when an option is not understood or the file cannot be written.
    bool reset(const QCommandLineParser& parser, const QString& statePath, QString* error) const;

private:
    QCommandLineOption robot;
    QCommandLineOption seed;
    QCommandLineOption sources;
};

} // namespace sim
