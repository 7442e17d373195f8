#pragma once

#include <QStringList>

// Numeric-aware name order: digit runs compare by value ("2" before "10"),
// the rest case-insensitively. Does not depend on the platform's collation
// support, which may lack a numeric mode.
bool naturalLess(const QString &a, const QString &b);
QStringList naturalSorted(QStringList names);
