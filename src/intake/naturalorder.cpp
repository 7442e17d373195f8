#include "intake/naturalorder.h"

#include <algorithm>

namespace {

int digitRunEnd(const QString &s, int from)
{
    while (from < s.size() && s.at(from).isDigit())
        ++from;
    return from;
}

// Compares two digit runs by value without converting (they may be long).
int compareNumbers(QStringView a, QStringView b)
{
    while (a.size() > 1 && a.front() == QLatin1Char('0'))
        a = a.mid(1);
    while (b.size() > 1 && b.front() == QLatin1Char('0'))
        b = b.mid(1);
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return a.compare(b);
}

} // namespace

bool naturalLess(const QString &a, const QString &b)
{
    int i = 0;
    int j = 0;
    while (i < a.size() && j < b.size()) {
        if (a.at(i).isDigit() && b.at(j).isDigit()) {
            const int ie = digitRunEnd(a, i);
            const int je = digitRunEnd(b, j);
            const int c = compareNumbers(QStringView(a).mid(i, ie - i), QStringView(b).mid(j, je - j));
            if (c != 0)
                return c < 0;
            i = ie;
            j = je;
            continue;
        }
        const QChar ca = a.at(i).toCaseFolded();
        const QChar cb = b.at(j).toCaseFolded();
        if (ca != cb)
            return ca < cb;
        ++i;
        ++j;
    }
    if ((a.size() - i) != (b.size() - j))
        return (a.size() - i) < (b.size() - j);
    // Equal under the rules: fall back to the exact text for a stable order.
    return a < b;
}

QStringList naturalSorted(QStringList names)
{
    std::sort(names.begin(), names.end(), naturalLess);
    return names;
}
