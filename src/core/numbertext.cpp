#include "core/numbertext.h"

#include <charconv>

namespace {

template<typename Number> QString fixedShortest(Number value)
{
    // Fixed notation of the largest double needs over 300 characters.
    char buffer[400];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return QString();
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}

} // namespace

QString NumberText::shortest(float value)
{
    return fixedShortest(value);
}

QString NumberText::shortest(double value)
{
    return fixedShortest(value);
}
