#pragma once

#include <QJsonArray>
#include <QJsonValue>

#include <vector>

namespace sim {

// The numbers of a JSON array; false when value is not an array of finite numbers.
bool finiteNumbers(const QJsonValue& value, std::vector<double>& out);

QJsonArray toJsonArray(const std::vector<double>& values);

} // namespace sim
