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
