#include "intake/systemleftovers.h"

bool SystemLeftovers::isLeftoverName(const QString &name)
{
    // A dot name is what Unix and macOS call hidden; Windows marks hidden by attribute (the listing drops those).
    return name.startsWith(QLatin1Char('.')) || name.compare(QLatin1String("Thumbs.db"), Qt::CaseInsensitive) == 0
           || name.compare(QLatin1String("desktop.ini"), Qt::CaseInsensitive) == 0;
}

QStringList SystemLeftovers::entries(const QDir &dir, QDir::Filters kinds, QDir::SortFlags sort)
{
    QStringList kept;
    for (const QString &name : dir.entryList(kinds | QDir::NoDotAndDotDot | QDir::System, sort)) {
        if (!isLeftoverName(name))
            kept << name;
    }
    return kept;
}
