#include "store/shareddatabase.h"

#include <exception>

#include <QDebug>
#include <QRecursiveMutex>
#include <QSqlQuery>

#include "core/logmanager.h"
#include "store/transactionguard.h"

namespace {

// Set while runAtomically's body runs (under the lock): closing the
// connection then would roll the open transaction back.
bool g_inTransaction = false;

// The driver closes and reopens a connection that is opened again, which
// would end a transaction in progress.
void openIfClosed(QSqlDatabase &db)
{
    if (!db.isOpen())
        db.open();
}

} // namespace

QSqlDatabase &sharedDatabase()
{
    static QSqlDatabase db = [] {
        QMutexLocker lock(&databaseLock());
        if (!checkSqliteDriver())
            LogManager::logError(QStringLiteral("No SQLITE driver found!"));
        QSqlDatabase connection;
        ensureDatabase(connection);
        return connection;
    }();
    return db;
}

bool tableExists(QSqlDatabase &db, const QString &name)
{
    QMutexLocker lock(&databaseLock());
    if (db.tables().contains(name))
        return true;
    QSqlQuery query(db);
    return query.exec(QStringLiteral("PRAGMA table_info(") + name + QStringLiteral(")")) && query.next();
}

QSqlError runQuery(QSqlDatabase &db, const QString &sql, QList<QSqlRecord> &rows)
{
    QMutexLocker lock(&databaseLock());
    openIfClosed(db);
    QSqlError error;
    {
        QSqlQuery query(db);
        if (query.prepare(sql) && query.exec()) {
            while (query.next())
                rows.append(query.record());
        } else {
            error = query.lastError();
        }
    }
    if (error.type() != QSqlError::NoError) {
        LogManager::logError(QStringLiteral("数据库语句执行错误:") + error.text() + sql);
        return error;
    }
    // The connection stays open: outside a transaction it holds no lock on
    // the file, and opening it again costs the schema's parse each time.
    return QSqlError();
}

bool execStatement(QSqlDatabase &db, const QString &sql)
{
    QMutexLocker lock(&databaseLock());
    openIfClosed(db);
    QSqlQuery query(db);
    if (query.exec(sql))
        return true;
    LogManager::logError(QStringLiteral("Error:%1").arg(query.lastError().text()));
    return false;
}

bool runInTransaction(QSqlDatabase &db, const QString &first, const QString &second)
{
    QMutexLocker lock(&databaseLock());
    try {
        openIfClosed(db);
        {
            QSqlQuery pragma(db);
            pragma.exec(QStringLiteral("PRAGMA synchronous=FULL"));
            pragma.exec(QStringLiteral("PRAGMA foreign_keys=ON"));
        }

        TransactionGuard guard(db);
        if (!guard.begin())
            LogManager::logError(QStringLiteral("Failed to begin transaction"));

        QSqlQuery query(db);
        if (!query.exec(first))
            LogManager::logError(query.lastError().text());
        if (!query.exec(second))
            LogManager::logError(query.lastError().text());
        query.finish();

        if (guard.began())
            guard.commit();
        if (!guard.began() || !guard.committed())
            LogManager::logError(QStringLiteral("Failed to commit transaction"));
        return true;
    } catch (const std::exception &ex) {
        LogManager::logError(QStringLiteral("Database operation failed:%1").arg(QString::fromLocal8Bit(ex.what())));
        return false;
    }
}

namespace {

// The pair inside runAtomically's transaction, under a savepoint of its own.
bool runChangedPairInTransaction(QSqlDatabase &db, const QString &first, const QString &second, bool *changed)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("SAVEPOINT changedPair")))
        return false;
    bool done = query.exec(first);
    *changed = done && query.numRowsAffected() > 0;
    if (*changed)
        done = query.exec(second);
    if (!done) {
        LogManager::logError(query.lastError().text());
        *changed = false;
        query.exec(QStringLiteral("ROLLBACK TO changedPair"));
    }
    query.exec(QStringLiteral("RELEASE changedPair"));
    return done;
}

} // namespace

bool runInTransactionIfChanged(QSqlDatabase &db, const QString &first, const QString &second, bool *changed)
{
    QMutexLocker lock(&databaseLock());
    *changed = false;
    if (g_inTransaction)
        return runChangedPairInTransaction(db, first, second, changed);
    try {
        openIfClosed(db);
        TransactionGuard guard(db);
        if (!guard.begin()) {
            LogManager::logError(QStringLiteral("Failed to begin transaction"));
            return false;
        }
        QSqlQuery query(db);
        if (!query.exec(first)) {
            LogManager::logError(query.lastError().text());
            return false;
        }
        *changed = query.numRowsAffected() > 0;
        if (*changed && !query.exec(second)) {
            LogManager::logError(query.lastError().text());
            return false;
        }
        query.finish();
        if (!guard.commit()) {
            LogManager::logError(QStringLiteral("Failed to commit transaction"));
            *changed = false;
            return false;
        }
        return true;
    } catch (const std::exception &ex) {
        LogManager::logError(QStringLiteral("Database operation failed:%1").arg(QString::fromLocal8Bit(ex.what())));
        return false;
    }
}

bool runAtomically(QSqlDatabase &db, const std::function<bool()> &body)
{
    QMutexLocker lock(&databaseLock());
    if (g_inTransaction)
        return body();
    try {
        openIfClosed(db);
        TransactionGuard guard(db);
        if (!guard.begin()) {
            LogManager::logError(QStringLiteral("Failed to begin transaction:") + db.lastError().text());
            return false;
        }
        g_inTransaction = true;
        const bool done = body();
        g_inTransaction = false;
        if (!done)
            return false;
        if (!guard.commit()) {
            LogManager::logError(QStringLiteral("Failed to commit transaction:") + db.lastError().text());
            return false;
        }
        return true;
    } catch (const std::exception &ex) {
        g_inTransaction = false;
        LogManager::logError(QStringLiteral("Database operation failed:%1").arg(QString::fromLocal8Bit(ex.what())));
        return false;
    }
}

QString sqlEscaped(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return escaped;
}

QString sqlQuoted(const QString &value)
{
    return QLatin1Char('\'') + sqlEscaped(value) + QLatin1Char('\'');
}
