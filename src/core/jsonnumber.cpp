#include "core/jsonnumber.h"

#include <cmath>
#include <limits>

namespace {
constexpr double kLowest = double(std::numeric_limits<qint32>::min());
constexpr double kHighest = double(std::numeric_limits<qint32>::max());
} // namespace

qint32 JsonNumber::toInt32(const QJsonValue &value)
{
    if (!value.isDouble())
        return 0;
    const double number = std::trunc(value.toDouble());
    if (!std::isfinite(number) || number < kLowest || number > kHighest)
        return 0;
    return qint32(number);
}

qint32 JsonNumber::saturated(double value)
{
    if (std::isnan(value))
        return 0;
    const double number = std::trunc(value);
    if (number <= kLowest)
        return std::numeric_limits<qint32>::min();
    if (number >= kHighest)
        return std::numeric_limits<qint32>::max();
    return qint32(number);
}
