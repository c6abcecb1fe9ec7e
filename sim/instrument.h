#pragma once

#include "cellrandom.h"
#include "celltruth.h"
#include "measurementsource.h"

#include <cstdint>
#include <vector>

namespace sim {

// The measuring instrument of the cell, the only reader of its truth. The real robot runs its
// commands through its zero errors and the controller's compensation (true angle = commanded
// + zero error - compensation) and jitters a little; the instrument adds its own noise.
class Instrument final : public MeasurementSource
{
public:
    Instrument(const CellState& state, std::uint64_t noiseSeed);

    QString description() const override;
    std::optional<std::vector<Measurement>> measure(const std::vector<std::vector<double>>& plan,
                                                    const MeasureProgress& progress,
                                                    QString* error) override;

    // One noisy measurement.
    Pose measureOnce(const std::vector<double>& commandedDeg);
    // What the instrument would report without jitter or noise.
    Pose exactMeasurement(const std::vector<double>& commandedDeg) const;

private:
    std::vector<double> trueAngles(const std::vector<double>& commandedDeg) const;

    CellTruth truth;
    std::vector<double> compensation;
    InstrumentSettings noise;
    CellRandom random;
};

} // namespace sim
