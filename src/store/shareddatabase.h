#pragma once

#include <QList>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlRecord>
#include <QString>

// The one SQLite connection of the process and the routines every statement
// runs through. The routines serialise on one process-wide lock, so the GUI
// thread and the database worker never interleave on the connection.

// The shared connection; the first call checks the driver and prepares the
// file (seed copy when tables are missing). Thread-safe initialisation.
QSqlDatabase &sharedDatabase();

bool checkSqliteDriver();

// Registers and opens the connection on the database file, replacing a file
// that lacks a table with the seed copy. False only when the folder cannot be
// created.
bool ensureDatabase(QSqlDatabase &db);

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
// failing statement is logged like runInTransaction does.
bool runInTransactionIfChanged(QSqlDatabase &db, const QString &first, const QString &second, bool *changed);

// `value` with every single quote doubled, for pasting between the single
// quotes of a statement text; the stored value is exactly `value`.
QString sqlEscaped(const QString &value);
