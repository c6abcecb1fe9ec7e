#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonValue>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

namespace lumora::fuzz {

[[noreturn]] inline void broken(const char* invariant)
{
    std::fprintf(stderr, "invariant broken: %s\n", invariant);
    std::abort();
}

inline void check(bool holds, const char* invariant)
{
    if (!holds)
        broken(invariant);
}

// Deep equality in which numbers compare by their double value: the writer puts an integer
// beyond 2^53 out as the nearest double, which then reads back as another integer.
inline bool sameJson(const QJsonValue& a, const QJsonValue& b)
{
    if (a.type() != b.type())
        return false;
    switch (a.type()) {
    case QJsonValue::Double:
        return a.toDouble() == b.toDouble();
    case QJsonValue::Array: {
        const QJsonArray left = a.toArray();
        const QJsonArray right = b.toArray();
        if (left.size() != right.size())
            return false;
        for (int i = 0; i < left.size(); ++i) {
            if (!sameJson(left.at(i), right.at(i)))
                return false;
        }
        return true;
    }
    case QJsonValue::Object: {
        const auto entries = [](const QJsonObject& object) {
            std::vector<std::pair<QString, QJsonValue>> list;
            for (auto it = object.constBegin(); it != object.constEnd(); ++it)
                list.emplace_back(it.key(), it.value());
            std::stable_sort(list.begin(), list.end(),
                             [](const auto& x, const auto& y) { return x.first < y.first; });
            return list;
        };
        const auto left = entries(a.toObject());
        const auto right = entries(b.toObject());
        if (left.size() != right.size())
            return false;
        for (std::size_t i = 0; i < left.size(); ++i) {
            if (left[i].first != right[i].first || !sameJson(left[i].second, right[i].second))
                return false;
        }
        return true;
    }
    default:
        return a == b;
    }
}

// Qt 5.15 orders and merges member names that hold U+0000 inconsistently (a raw NUL byte, which
// its parser lets through, and the \u0000 it writes back are not even read alike), so what such a
// document reads back as is not the harnesses' concern.
inline bool hasNulName(const QJsonValue& value)
{
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        return std::any_of(array.begin(), array.end(),
                           [](const QJsonValue& element) { return hasNulName(element); });
    }
    if (!value.isObject())
        return false;
    const QJsonObject object = value.toObject();
    for (auto it = object.constBegin(); it != object.constEnd(); ++it) {
        if (it.key().contains(QChar(0)) || hasNulName(it.value()))
            return true;
    }
    return false;
}

} // namespace lumora::fuzz
