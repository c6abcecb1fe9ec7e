#include "isofigures.h"

#include <cmath>

namespace iso {

Eigen::Vector3d attitudeAngles(const Eigen::Matrix3d& r)
{
    constexpr double degPerRad = 180.0 / 3.14159265358979323846;
    return Eigen::Vector3d(std::atan2(r(2, 1), r(2, 2)),
                           std::atan2(-r(2, 0), std::hypot(r(0, 0), r(1, 0))),
                           std::atan2(r(1, 0), r(0, 0))) *
           degPerRad;
}

namespace {

// Into (-180, 180].
double wrapDegrees(double angle)
{
    double wrapped = std::fmod(angle + 180.0, 360.0);
    if (wrapped <= 0.0)
        wrapped += 360.0;
    return wrapped - 180.0;
}

} // namespace

PointFigures computeFigures(const Eigen::Vector3d& commanded,
                            const std::vector<Eigen::Vector3d>& attained,
                            const Eigen::Vector3d& commandedAttitude,
                            const std::vector<Eigen::Vector3d>& attainedAttitude)
{
    PointFigures figures;
    const double n = double(attained.size());
    for (const Eigen::Vector3d& position : attained)
        figures.barycentre += position;
    figures.barycentre /= n;
    figures.accuracy = (figures.barycentre - commanded).norm();

    std::vector<double> distances;
    double sumSquares = 0.0;
    for (const Eigen::Vector3d& position : attained) {
        distances.push_back((position - figures.barycentre).norm());
        figures.meanDistance += distances.back();
        sumSquares += distances.back() * distances.back();
    }
    figures.meanDistance /= n;
    figures.rms = std::sqrt(sumSquares / n);
    double spread = 0.0;
    for (double l : distances)
        spread += (l - figures.meanDistance) * (l - figures.meanDistance);
    figures.stdDev = attained.size() > 1 ? std::sqrt(spread / (n - 1.0)) : 0.0;
    figures.repeatability = figures.meanDistance + 3.0 * figures.stdDev;

    std::vector<Eigen::Vector3d> differences;
    for (const Eigen::Vector3d& attitude : attainedAttitude) {
        differences.push_back((attitude - commandedAttitude).unaryExpr(&wrapDegrees));
        figures.attitudeAccuracy += differences.back();
    }
    figures.attitudeAccuracy /= double(std::max<std::size_t>(1, differences.size()));
    Eigen::Vector3d squares = Eigen::Vector3d::Zero();
    for (const Eigen::Vector3d& d : differences)
        squares += (d - figures.attitudeAccuracy).cwiseAbs2();
    if (differences.size() > 1)
        figures.attitudeRepeatability =
            3.0 * (squares / double(differences.size() - 1)).cwiseSqrt();
    return figures;
}

} // namespace iso
