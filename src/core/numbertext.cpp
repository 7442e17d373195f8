#include "core/numbertext.h"

#include <charconv>

QString NumberText::shortest(float value)
{
    // Fixed notation of the largest or smallest float needs under 60 characters.
    char buffer[64];
    const std::to_chars_result result = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed);
    if (result.ec != std::errc())
        return QString();
    return QString::fromLatin1(buffer, int(result.ptr - buffer));
}
