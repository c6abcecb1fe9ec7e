#include "jsonnumbers.h"

#include <cmath>

namespace sim {

bool finiteNumbers(const QJsonValue& value, std::vector<double>& out)
{
    if (!value.isArray())
        return false;
    out.clear();
    for (const QJsonValue& item : value.toArray()) {
        if (!item.isDouble() || !std::isfinite(item.toDouble()))
            return false;
        out.push_back(item.toDouble());
    }
    return true;
}

QJsonArray toJsonArray(const std::vector<double>& values)
{
    QJsonArray out;
    for (double value : values)
        out.append(value);
    return out;
}

} // namespace sim
