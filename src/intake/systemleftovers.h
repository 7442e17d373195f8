#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

// What Windows and macOS leave in folders they have shown (thumbnail caches,
// folder settings, resource forks) and entries marked hidden: never part of
// an order, so a class or order folder is listed as if they were not there.
// Any thread.
class SystemLeftovers final
{
public:
    SystemLeftovers() = delete;

    // Thumbs.db, desktop.ini, .DS_Store, "._" names and other dot names.
    static bool isLeftoverName(const QString &name);
    // `dir`'s entries of the given kinds (special files included), without
    // hidden entries and leftover names.
    static QStringList entries(const QDir &dir, QDir::Filters kinds, QDir::SortFlags sort = QDir::Unsorted);
};
