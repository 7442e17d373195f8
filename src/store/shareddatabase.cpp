#include "store/shareddatabase.h"

#include <exception>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QRecursiveMutex>
#include <QSqlQuery>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "store/transactionguard.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kConnectionName = QStringLiteral("upload_sql_connection");
const QString kSeedResource = QStringLiteral(":/db/upload.db.bak");
const char *const kExpectedTables[] = {"orders", "subOrders", "product", "images", "user"};

QRecursiveMutex &databaseLock()
{
    static QRecursiveMutex lock;
    return lock;
}

#ifdef Q_OS_WIN
// The leading dot hides the folder elsewhere; Windows needs the attribute.
void hideFolder(const QString &path)
{
    const QString native = QDir::toNativeSeparators(QDir(path).absolutePath());
    const auto name = reinterpret_cast<LPCWSTR>(native.utf16());
    const DWORD attrs = GetFileAttributesW(name);
    if (attrs != INVALID_FILE_ATTRIBUTES)
        SetFileAttributesW(name, attrs | FILE_ATTRIBUTE_HIDDEN);
}
#endif

// Files written before the bucket choice existed lack `BucketType`; every
// image insert would fail on them. The column is added in place rather than
// resetting the file, which would throw away the queued orders. Images queued
// by such a client went to the normal bucket.
void addMissingBucketColumn(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("PRAGMA table_info(images)")))
        return;
    while (query.next()) {
        if (query.value(1).toString() == QLatin1String("BucketType"))
            return;
    }
    query.finish();
    if (query.exec(QStringLiteral("ALTER TABLE images ADD COLUMN BucketType INTEGER"))
        && query.exec(QStringLiteral("UPDATE images SET BucketType = 1"))) {
        LogManager::logInfo(QStringLiteral("数据库images表缺少BucketType列，已补充"));
    } else {
        LogManager::logError(QStringLiteral("数据库images表补充BucketType列失败:") + query.lastError().text());
    }
}

// The list and lease statements look images up by order, sub-order and
// status; without these a list of the uploaded orders scans every image
// once per order (over 100 ms at 10,000 orders). Indexes change no result.
void addLookupIndexes(QSqlDatabase &db)
{
    QSqlQuery query(db);
    for (const char *column : {"orderId", "subOrderId", "status"}) {
        const QString sql = QStringLiteral("CREATE INDEX IF NOT EXISTS \"images_%1\" ON \"images\" (\"%1\")")
                                .arg(QLatin1String(column));
        if (!query.exec(sql))
            LogManager::logError(QStringLiteral("Error:%1").arg(query.lastError().text()));
    }
}

// Which orders were sent to the shop's cart but not yet marked, kept apart
// from the order tables so that a post is never repeated after a crash or a
// failed marking.
void addCartPostTable(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS cartPosts (orderNo TEXT PRIMARY KEY NOT NULL, "
                                   "postedAt TEXT, state TEXT NOT NULL)")))
        LogManager::logError(QStringLiteral("Error:%1").arg(query.lastError().text()));
}

void prepareFile(QSqlDatabase &db)
{
    addMissingBucketColumn(db);
    addLookupIndexes(db);
    addCartPostTable(db);
}

} // namespace

bool checkSqliteDriver()
{
    const QStringList drivers = QSqlDatabase::drivers();
    if (drivers.isEmpty()) {
        qCritical() << "No database drivers available";
        return false;
    }
    if (!drivers.contains(QStringLiteral("QSQLITE"))) {
        qCritical().noquote() << "SQLite driver not available. Supported drivers:" << drivers.join(QStringLiteral(", "));
        return false;
    }
    return true;
}

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

bool ensureDatabase(QSqlDatabase &db)
{
    QMutexLocker lock(&databaseLock());
    const QString folder = AppPaths::databaseDir();
    const QString file = AppPaths::databaseFile();
    if (!QDir(folder).exists()) {
        if (!QDir().mkpath(folder))
            return false;
#ifdef Q_OS_WIN
        hideFolder(folder);
#endif
    }

    if (QSqlDatabase::contains(kConnectionName)) {
        db = QSqlDatabase::database(kConnectionName, false);
    } else {
        db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kConnectionName);
        db.setDatabaseName(file);
    }
    db.open();

    bool complete = true;
    for (const char *table : kExpectedTables) {
        if (!tableExists(db, QString::fromLatin1(table))) {
            complete = false;
            break;
        }
    }
    if (complete) {
        prepareFile(db);
        return true;
    }

    LogManager::logInfo(QStringLiteral("数据库为空,关闭并删除旧数据库，复制新数据库"));
    if (db.isOpen())
        db.close();
    if (!QFile::exists(kSeedResource))
        return true;

    if (QFile::exists(file)) {
        if (!QFile::remove(file)) {
            LogManager::logError(QStringLiteral("数据库删除失败，不能重置数据库"));
            return true;
        }
        LogManager::logInfo(QStringLiteral("删除坏数据库成功"));
    }
    if (!QFile::exists(file) && QFile::copy(kSeedResource, file)) {
        LogManager::logInfo(QStringLiteral("复制数据库成功"));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        if (db.open()) {
            prepareFile(db);
            db.close();
        }
    }
    return true;
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
    db.open();
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
    db.close();
    return QSqlError();
}

bool execStatement(QSqlDatabase &db, const QString &sql)
{
    QMutexLocker lock(&databaseLock());
    db.open();
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
        db.open();
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

bool runInTransactionIfChanged(QSqlDatabase &db, const QString &first, const QString &second, bool *changed)
{
    QMutexLocker lock(&databaseLock());
    *changed = false;
    try {
        db.open();
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

QString sqlEscaped(const QString &value)
{
    QString escaped = value;
    escaped.replace(QLatin1Char('\''), QStringLiteral("''"));
    return escaped;
}
