#pragma once

#include <QSqlRecord>
#include <QVariant>

#include "store/shareddatabase.h"

// The first column of the first row `sql` yields on the shared connection;
// invalid without a row.
inline QVariant queryValue(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}

// Empties the queue's tables, and `more`, for the next case.
inline bool clearQueue(const QStringList &more = {})
{
    bool ok = true;
    for (const QString &table : QStringList{"orders", "subOrders", "images", "uploadHolds", "cartPosts"} + more)
        ok = execStatement(sharedDatabase(), QStringLiteral("DELETE FROM ") + table) && ok;
    return ok;
}

// While blocked, marking orders "CARTOK" fails as on a file that can no
// longer be written; every other statement still works.
inline bool blockCartMarking(bool blocked)
{
    execStatement(sharedDatabase(), QStringLiteral("DROP TRIGGER IF EXISTS blockCart"));
    return !blocked
           || execStatement(sharedDatabase(),
                            QStringLiteral("CREATE TRIGGER blockCart BEFORE UPDATE OF status ON orders "
                                           "WHEN NEW.status='CARTOK' BEGIN SELECT RAISE(ABORT, 'blocked'); END"));
}
