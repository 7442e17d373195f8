#pragma once

#include <QJsonValue>

// Whole numbers out of JSON, whose numbers are doubles of any size: a cast of
// 1e300 or NaN straight to an integer is undefined behaviour.
class JsonNumber final
{
public:
    JsonNumber() = delete;

    // The number truncated toward zero; 0 when `value` is not a number, not
    // finite or outside the 32-bit range, as a missing value reads.
    static qint32 toInt32(const QJsonValue &value);
    // `value` truncated and held inside the 32-bit range; NaN gives 0.
    static qint32 saturated(double value);
};
