#include "cellresetoptions.h"

#include "cellstate.h"

#include <QCommandLineParser>
#include <QTextStream>

namespace sim {

CellResetOptions::CellResetOptions()
    : robot(QStringLiteral("robot"),
            QStringLiteral("Start the simulated cell afresh with a robot of this type (LX6-900, "
                           "LX7-800)."),
            QStringLiteral("type"))
    , seed(QStringLiteral("seed"),
           QStringLiteral("Start the simulated cell afresh with the robot of this seed (default: "
                          "a new one)."),
           QStringLiteral("N"))
    , sources(QStringLiteral("error-sources"),
              QStringLiteral("Start the simulated cell afresh with these error sources on: all, "
                             "none, or a list of placement, target_offset, gravity, "
                             "transmission, distance_noise."),
              QStringLiteral("list"))
{}

bool CellResetOptions::anySet(const QCommandLineParser& parser) const
{
    return parser.isSet(robot) || parser.isSet(seed) || parser.isSet(sources);
}

bool CellResetOptions::reset(const QCommandLineParser& parser, const QString& statePath,
                             QString* error) const
{
    const std::optional<CellReset> fresh = CellReset::fromOptions(
        parser.value(robot), parser.value(seed), parser.value(sources), error);
    if (!fresh)
        return false;
    const CellState cell = fresh->state();
    if (!saveCellState(statePath, cell, error))
        return false;
    QTextStream(stdout) << "cell: " << cell.robotName << ", seed " << cell.seed << '\n';
    return true;
}

} // namespace sim
