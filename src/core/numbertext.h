#pragma once

#include <QString>

// Decimal texts of the prices and sizes the client keeps.
class NumberText final
{
public:
    NumberText() = delete;

    // The fewest digits that read back as the same float, never in exponent
    // form: 198.9f gives "198.9" (its double widening would give
    // "198.89999389648438"), 1e7f gives "10000000".
    static QString shortest(float value);
    static QString shortest(double value);

    // Bytes in binary megabytes, the unit of every size the operator sees.
    static double megabytes(double bytes) { return bytes / (1024.0 * 1024.0); }
};
