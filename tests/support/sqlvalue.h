#pragma once

#include <QList>
#include <QSqlRecord>
#include <QVariant>

#include "store/shareddatabase.h"

// The first column of the first row the query returns from the shared
// database, or an invalid value.
inline QVariant sqlValue(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}
