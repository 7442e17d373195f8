#include "store/databasefile.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include "core/apppaths.h"
#include "core/logmanager.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

const QString kConnectionName = QStringLiteral("upload_sql_connection");
const QString kSeedResource = QStringLiteral(":/db/upload.db.bak");
const char *const kExpectedTables[] = {"orders", "subOrders", "product", "images", "user"};

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

// The list and lease statements look images up by order, sub-order, status
// and object name; without these a list of the uploaded orders scans every image
// once per order (over 100 ms at 10,000 orders). Indexes change no result.
void addLookupIndexes(QSqlDatabase &db)
{
    QSqlQuery query(db);
    for (const char *column : {"orderId", "subOrderId", "status", "imageName"}) {
        const QString sql = QStringLiteral("CREATE INDEX IF NOT EXISTS \"images_%1\" ON \"images\" (\"%1\")")
                                .arg(QLatin1String(column));
        if (!query.exec(sql))
            LogManager::logError(QStringLiteral("Error:%1").arg(query.lastError().text()));
    }
}

// Failed uploads wait here for their next try, or for the operator. Rows of
// images that were stored or deleted since are dropped at each start.
void addUploadHoldTable(QSqlDatabase &db)
{
    QSqlQuery query(db);
    if (!query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS uploadHolds(imageId INTEGER PRIMARY KEY, orderId TEXT, "
                                   "localPath TEXT, attempts INTEGER NOT NULL DEFAULT 0, notBefore INTEGER, "
                                   "problem TEXT)"))
        || !query.exec(QStringLiteral("DELETE FROM uploadHolds WHERE imageId NOT IN "
                                      "(SELECT id FROM images WHERE status<>'uploaded')")))
        LogManager::logError(QStringLiteral("Error:%1").arg(query.lastError().text()));
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
    // What is deleted or overwritten is zeroed, not left in free pages of
    // the file (a blanked password, a deleted order's paths).
    QSqlQuery(db).exec(QStringLiteral("PRAGMA secure_delete=ON"));
    addMissingBucketColumn(db);
    addLookupIndexes(db);
    addUploadHoldTable(db);
    addCartPostTable(db);
}

// Operator-facing note on what the last check found; empty when all is well.
QString g_notice;
QString g_checkError;
int g_startupWaitMs = 30000;

enum class FileCheck { Complete, Incomplete, Unavailable };

int sqliteCode(const QSqlError &error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}

// Reads the table list, waiting while another process holds the file. A file
// SQLite calls corrupt or no database is Incomplete (it is backed up and
// replaced); any other failure to read it is Unavailable.
FileCheck checkFile(QSqlDatabase &db, const QString &file)
{
    constexpr int kBusy = 5, kLocked = 6, kCorrupt = 11, kNotADatabase = 26;
    if (!db.isOpen() && !db.open()) {
        g_checkError = db.lastError().text();
        return FileCheck::Unavailable;
    }
    QSqlQuery query(db);
    // Short waits inside SQLite, so the start-up wait is what bounds it.
    query.exec(QStringLiteral("PRAGMA busy_timeout=200"));
    QElapsedTimer waited;
    waited.start();
    bool loggedWait = false;
    FileCheck result = FileCheck::Unavailable;
    forever {
        if (query.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'"))) {
            QStringList tables;
            while (query.next())
                tables << query.value(0).toString();
            result = FileCheck::Complete;
            for (const char *table : kExpectedTables) {
                if (!tables.contains(QLatin1String(table)))
                    result = FileCheck::Incomplete;
            }
            break;
        }
        const QSqlError error = query.lastError();
        g_checkError = error.text();
        const int code = sqliteCode(error);
        if (code == kCorrupt || code == kNotADatabase) {
            result = FileCheck::Incomplete;
            break;
        }
        if ((code != kBusy && code != kLocked) || waited.elapsed() >= g_startupWaitMs)
            break;
        if (!loggedWait)
            LogManager::logInfo(QStringLiteral("数据库被占用，等待:%1").arg(file));
        loggedWait = true;
    }
    query.finish();
    query.exec(QStringLiteral("PRAGMA busy_timeout=5000"));
    return result;
}

// Moves the file, and the journal beside it, to a time-stamped name in the
// same folder. Returns the new name, empty when it could not be moved.
QString backupFile(const QString &file)
{
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyyMMdd-hhmmss"));
    QString backup = file + QStringLiteral(".broken-") + stamp;
    for (int i = 2; QFile::exists(backup); ++i)
        backup = file + QStringLiteral(".broken-%1-%2").arg(stamp).arg(i);
    if (!QFile::rename(file, backup))
        return QString();
    for (const char *suffix : {"-journal", "-wal", "-shm"}) {
        if (QFile::exists(file + QLatin1String(suffix)))
            QFile::rename(file + QLatin1String(suffix), backup + QLatin1String(suffix));
    }
    return backup;
}

} // namespace

QRecursiveMutex &databaseLock()
{
    static QRecursiveMutex lock;
    return lock;
}

bool checkSqliteDriver()
{
    const QStringList drivers = QSqlDatabase::drivers();
    if (drivers.isEmpty()) {
        qCritical() << "No database drivers available";
        return false;
    }
    if (!drivers.contains(QStringLiteral("QSQLITE"))) {
        qCritical().noquote() << "SQLite driver not available. Supported drivers:"
                              << drivers.join(QStringLiteral(", "));
        return false;
    }
    return true;
}

bool ensureDatabase(QSqlDatabase &db)
{
    QMutexLocker lock(&databaseLock());
    g_notice.clear();
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

    const FileCheck check = checkFile(db, file);
    if (check == FileCheck::Complete) {
        prepareFile(db);
        return true;
    }
    if (check == FileCheck::Unavailable) {
        // Busy, locked or unreadable is no sign of a broken file: the queue in
        // it may be whole, so it is left exactly as it is.
        if (db.isOpen())
            db.close();
        g_notice = QStringLiteral(
                       "无法打开本地数据库%1（%2），文件未做任何改动。请关闭正在使用它的程序或检查文件权限后重新启动。")
                       .arg(QDir::toNativeSeparators(file), g_checkError);
        LogManager::logError(QStringLiteral("无法打开数据库，保持原文件不变:%1 %2").arg(file, g_checkError));
        return true;
    }

    LogManager::logInfo(QStringLiteral("数据库为空,关闭并删除旧数据库，复制新数据库"));
    if (db.isOpen())
        db.close();
    if (!QFile::exists(kSeedResource))
        return true;

    if (QFile::exists(file)) {
        if (QFileInfo(file).size() == 0) {
            // Nothing in it to keep: the empty file a first open creates.
            if (!QFile::remove(file)) {
                LogManager::logError(QStringLiteral("数据库删除失败，不能重置数据库"));
                return true;
            }
            LogManager::logInfo(QStringLiteral("删除坏数据库成功"));
        } else {
            const QString backup = backupFile(file);
            if (backup.isEmpty()) {
                LogManager::logError(QStringLiteral("数据库删除失败，不能重置数据库"));
                g_notice = QStringLiteral("本地数据库%1已损坏且无法另存，文件未做任何改动。")
                               .arg(QDir::toNativeSeparators(file));
                return true;
            }
            LogManager::logInfo(QStringLiteral("旧数据库已另存为:%1").arg(backup));
            g_notice = QStringLiteral("本地数据库已损坏，原文件已另存为%1，并已新建数据库。")
                           .arg(QDir::toNativeSeparators(backup));
        }
    }
    if (!QFile::exists(file) && QFile::copy(kSeedResource, file)) {
        LogManager::logInfo(QStringLiteral("复制数据库成功"));
        QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner);
        if (db.open()) {
            prepareFile(db);
            db.close();
        }
    }
    return true;
}

QString databaseNotice()
{
    QMutexLocker lock(&databaseLock());
    return g_notice;
}

void setStartupWaitMs(int ms)
{
    QMutexLocker lock(&databaseLock());
    g_startupWaitMs = ms;
}
