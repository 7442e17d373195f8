#pragma once

#include <functional>

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QString>

#include "store/databasefile.h"

// The one SQLite connection of the process and the routines every statement
// runs through. The routines serialise on one process-wide lock, so the GUI
// thread and the database worker never interleave on the connection.

// The shared connection; the first call checks the driver and prepares the
// file (ensureDatabase). Thread-safe initialisation.
QSqlDatabase &sharedDatabase();

bool tableExists(QSqlDatabase &db, const QString &name);

// Runs one statement that returns rows and appends them to `rows`. Returns an
// error of type NoError on success; failures are logged with the statement.
QSqlError runQuery(QSqlDatabase &db, const QString &sql, QList<QSqlRecord> &rows);

// Runs one statement that returns no rows; failures are logged.
bool execStatement(QSqlDatabase &db, const QString &sql);

// Runs both statements in one transaction, the second even when the first
// fails. False only when an exception escaped.
bool runInTransaction(QSqlDatabase &db, const QString &first, const QString &second);

// Runs `first`, and `second` only when `first` changed at least one row, in
// one transaction. False when the transaction could not be completed; a
// failing statement is logged like runInTransaction does. Inside
// runAtomically's body the pair is all or nothing within that transaction.
bool runInTransactionIfChanged(QSqlDatabase &db, const QString &first, const QString &second, bool *changed);

// Runs `body` inside one transaction; the body's statements (through the
// routines above, on the same thread) are committed together or not at all.
// Rolled back when the body returns false or the commit fails; the reason is
// logged. Returns whether everything was committed.
bool runAtomically(QSqlDatabase &db, const std::function<bool()> &body);

// `value` with every single quote doubled, for pasting between the single
// quotes of a statement text; the stored value is exactly `value`.
QString sqlEscaped(const QString &value);
// `value` escaped and between single quotes: one value of a statement's IN list.
QString sqlQuoted(const QString &value);
