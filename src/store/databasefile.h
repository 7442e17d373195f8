#pragma once

#include <QRecursiveMutex>
#include <QSqlDatabase>
#include <QString>

// The database file's life: found, waited for while another process holds
// it, backed up and replaced when damaged, brought up to the current tables.

// The process-wide lock every use of the connection holds.
QRecursiveMutex &databaseLock();

bool checkSqliteDriver();

// Registers and opens the connection on the database file. A file that lacks
// a table or that SQLite finds damaged is moved to a time-stamped backup
// beside it and replaced by the seed copy; a file that is busy is waited for
// (see setStartupWaitMs), and one that cannot be read is left untouched.
// Either case leaves a note in databaseNotice(). False only when the folder
// cannot be created.
bool ensureDatabase(QSqlDatabase &db);

// What the operator should be told about the last check of the file (a
// backup made, a file left alone); empty when there is nothing to tell.
QString databaseNotice();

// How long the check waits for a file another process holds (30 s).
void setStartupWaitMs(int ms);
