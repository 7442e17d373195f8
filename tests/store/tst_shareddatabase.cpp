#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <QtTest>
#include <unistd.h>

#include "core/apppaths.h"
#include "store/shareddatabase.h"
#include "store/transactionguard.h"
#include "support/logfile.h"

// The connection is process-wide, so the cases run in order on one home folder.
class TstSharedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void firstStartCopiesTheSeed();
    void brokenFileIsKeptAsBackup_data();
    void brokenFileIsKeptAsBackup();
    void fileThatCannotBeReadIsLeftAlone_data();
    void fileThatCannotBeReadIsLeftAlone();
    void busyFileIsWaitedFor();
    void completeFileKeepsItsRows();
    void olderFileGainsTheBucketColumn();
    void failingSelectIsLoggedAndLeavesConnectionOpen();
    void transactionRunsSecondAfterFailingFirst();

private:
    QStringList newLogTexts();
    QProcess *lockFile(int seconds);
    QByteArray fileBytes();
    qint64 count(const QString &sql);
    bool insertOrder(const QString &orderNo, const QString &name);

    QTemporaryDir m_home;
    int m_logSeen = 0;
};

namespace {
const QStringList kResetLines{QStringLiteral("数据库为空,关闭并删除旧数据库，复制新数据库"),
                              QStringLiteral("删除坏数据库成功"), QStringLiteral("复制数据库成功")};
const QString kTableCount = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                                           "('orders','subOrders','product','images','user')");
} // namespace

void TstSharedDatabase::initTestCase()
{
    QVERIFY(m_home.isValid());
    qputenv("HOME", QFile::encodeName(m_home.path()));
    AppPaths::setAppDataDir(m_home.path() + QStringLiteral("/appdata"));
    QCOMPARE(AppPaths::databaseFile(), m_home.path() + QStringLiteral("/.vell/batchDesk1.db"));
}

QStringList TstSharedDatabase::newLogTexts()
{
    const QStringList all = testlog::texts();
    const QStringList fresh = all.mid(m_logSeen);
    m_logSeen = all.size();
    return fresh;
}

qint64 TstSharedDatabase::count(const QString &sql)
{
    QList<QSqlRecord> rows;
    if (runQuery(sharedDatabase(), sql, rows).type() != QSqlError::NoError || rows.isEmpty())
        return -1;
    return rows.first().value(0).toLongLong();
}

bool TstSharedDatabase::insertOrder(const QString &orderNo, const QString &name)
{
    return execStatement(sharedDatabase(), QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount) "
                                                          "VALUES('%1','%2',1,1,1)")
                                               .arg(sqlEscaped(orderNo), sqlEscaped(name)));
}

void TstSharedDatabase::firstStartCopiesTheSeed()
{
    QVERIFY(!QDir(AppPaths::databaseDir()).exists());
    QSqlDatabase &db = sharedDatabase();
    QCOMPARE(&db, &sharedDatabase());
    QCOMPARE(db.connectionName(), QStringLiteral("upload_sql_connection"));

    QVERIFY(QFile::exists(AppPaths::databaseFile()));
    const QFile::Permissions mode = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup
                                    | QFile::WriteGroup | QFile::ExeGroup | QFile::ReadOther | QFile::WriteOther
                                    | QFile::ExeOther;
    QCOMPARE(QFile::permissions(AppPaths::databaseFile()) & mode,
             QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
    QCOMPARE(newLogTexts(), kResetLines);
    QCOMPARE(count(kTableCount), 5);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders")), 0);
    // The lookup indexes of the list and lease statements come with the first start.
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' AND name IN "
                                  "('images_orderId','images_subOrderId','images_status')")),
             3);
}

QByteArray TstSharedDatabase::fileBytes()
{
    QFile file(AppPaths::databaseFile());
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}

// Another process holding the file with an exclusive lock for `seconds`.
QProcess *TstSharedDatabase::lockFile(int seconds)
{
    auto *holder = new QProcess(this);
    holder->start(QStringLiteral("sh"),
                  {QStringLiteral("-c"),
                   QStringLiteral("(echo 'BEGIN EXCLUSIVE;'; echo \"SELECT 'locked';\"; sleep %1; echo 'COMMIT;') "
                                  "| sqlite3 \"$0\"")
                       .arg(seconds),
                   AppPaths::databaseFile()});
    if (!holder->waitForReadyRead(10000) || !holder->readAllStandardOutput().contains("locked"))
        qWarning() << "lock not taken" << holder->readAllStandardError();
    return holder;
}

void TstSharedDatabase::brokenFileIsKeptAsBackup_data()
{
    QTest::addColumn<QString>("damage");
    QTest::newRow("no user table") << "DROP TABLE user;";
    QTest::newRow("damaged row in sqlite_master")
        << "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql='CREATE INDEX images_status ON' "
           "WHERE name='images_status';";
    QTest::newRow("not a database") << "";
}

// A file that fails the check is moved aside whole, never deleted: the
// backup holds the queued order, the new file is the seed.
void TstSharedDatabase::brokenFileIsKeptAsBackup()
{
    QFETCH(QString, damage);
    QSqlDatabase &db = sharedDatabase();
    QVERIFY(insertOrder(QStringLiteral("A1"), QStringLiteral("班级一")));
    db.close();
    if (damage.isEmpty()) {
        QFile file(AppPaths::databaseFile());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("queue of a later client? no: ").repeated(200));
    } else {
        QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {AppPaths::databaseFile(), damage}), 0);
    }
    const QByteArray damaged = fileBytes();
    newLogTexts();

    QVERIFY(ensureDatabase(db));
    const QStringList texts = newLogTexts();
    QCOMPARE(texts.size(), 3);
    QCOMPARE(texts.at(0), kResetLines.at(0));
    QVERIFY(texts.at(1).startsWith(QStringLiteral("旧数据库已另存为:") + AppPaths::databaseFile() + ".broken-"));
    QCOMPARE(texts.at(2), kResetLines.at(2));
    const QString backup = texts.at(1).section(':', 1);
    QVERIFY(databaseNotice().contains(QDir::toNativeSeparators(backup)));

    QFile kept(backup);
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(QCryptographicHash::hash(kept.readAll(), QCryptographicHash::Sha256), damaged);
    if (damage.startsWith("DROP")) {
        QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                                   {"-c", "test \"$(sqlite3 \"$0\" 'SELECT name FROM orders')\" = 班级一", backup}),
                 0);
    }
    QCOMPARE(count(kTableCount), 5);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders")), 0);
    QVERIFY(QFile::remove(backup));
}

void TstSharedDatabase::fileThatCannotBeReadIsLeftAlone_data()
{
    QTest::addColumn<QString>("obstacle");
    QTest::newRow("locked by another process past the wait") << "lock";
    QTest::newRow("a folder in its place") << "folder";
    QTest::newRow("no read permission") << "mode000";
}

// Busy or unreadable says nothing about the queue in the file: it is left as
// it is, the operator is told, and once readable it is used as it stands.
void TstSharedDatabase::fileThatCannotBeReadIsLeftAlone()
{
    QFETCH(QString, obstacle);
    if (obstacle == "mode000" && geteuid() == 0)
        QSKIP("root reads files without permission");
    QSqlDatabase &db = sharedDatabase();
    QVERIFY(insertOrder(obstacle, QStringLiteral("班级锁")));
    db.close();
    const QString file = AppPaths::databaseFile();
    const QByteArray before = fileBytes();
    const QString aside = file + QStringLiteral(".aside");
    QProcess *holder = nullptr;
    if (obstacle == "lock") {
        holder = lockFile(3);
        setStartupWaitMs(500);
    } else if (obstacle == "folder") {
        QVERIFY(QFile::rename(file, aside));
        QVERIFY(QDir().mkdir(file));
    } else {
        QVERIFY(QFile::setPermissions(file, QFile::Permissions()));
    }
    newLogTexts();

    QVERIFY(ensureDatabase(db));
    const QStringList texts = newLogTexts();
    QVERIFY(!texts.contains(kResetLines.at(0)));
    QVERIFY(texts.last().startsWith(QStringLiteral("无法打开数据库，保持原文件不变:") + file));
    QVERIFY(databaseNotice().startsWith(QStringLiteral("无法打开本地数据库") + QDir::toNativeSeparators(file)));

    if (holder) {
        QVERIFY(holder->waitForFinished(10000));
        setStartupWaitMs(30000);
    } else if (obstacle == "folder") {
        QVERIFY(QDir().rmdir(file));
        QVERIFY(QFile::rename(aside, file));
    } else {
        QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
    }
    QCOMPARE(fileBytes(), before);
    QVERIFY(ensureDatabase(db));
    QCOMPARE(databaseNotice(), QString());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='%1'").arg(obstacle)), 1);
}

void TstSharedDatabase::busyFileIsWaitedFor()
{
    QSqlDatabase &db = sharedDatabase();
    QVERIFY(insertOrder(QStringLiteral("W1"), QStringLiteral("班级等")));
    db.close();
    QProcess *holder = lockFile(1);
    newLogTexts();
    QVERIFY(ensureDatabase(db));
    QCOMPARE(newLogTexts(), QStringList{QStringLiteral("数据库被占用，等待:") + AppPaths::databaseFile()});
    QCOMPARE(databaseNotice(), QString());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='W1'")), 1);
    QVERIFY(holder->waitForFinished(10000));
}

void TstSharedDatabase::completeFileKeepsItsRows()
{
    QSqlDatabase &db = sharedDatabase();
    QVERIFY(insertOrder(QStringLiteral("B1"), QStringLiteral("班级二")));
    QVERIFY(ensureDatabase(db));
    QCOMPARE(newLogTexts(), QStringList());
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='B1'")), 1);
}

void TstSharedDatabase::olderFileGainsTheBucketColumn()
{
    QSqlDatabase &db = sharedDatabase();
    QVERIFY(execStatement(db, QStringLiteral("DROP TABLE images")));
    QVERIFY(execStatement(
        db,
        QStringLiteral(
            "CREATE TABLE images (id INTEGER NOT NULL, imageName TEXT, name TEXT NOT NULL, orderId TEXT NOT NULL, "
            "subOrderId TEXT NOT NULL, skuId INTEGER, size INTEGER, IsRotate BOOLEAN NOT NULL, sort INTEGER NOT NULL, "
            "type TEXT NOT NULL, localPath TEXT NOT NULL, imageMess TEXT NOT NULL, url TEXT, "
            "status TEXT DEFAULT 'waiting', uploadDate INTEGER, MD5 TEXT, specialLayout BLOB, "
            "specialLayoutWhitePagePosition TEXT, pdfPath TEXT, PRIMARY KEY (id ASC))")));
    QVERIFY(
        execStatement(db, QStringLiteral("INSERT INTO images(name,orderId,subOrderId,IsRotate,sort,type,"
                                         "localPath,imageMess) VALUES('p1','B1','B1-1',0,1,'page','/x.jpg','{}')")));
    QVERIFY(ensureDatabase(db));

    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM images WHERE BucketType = 1")), 1);
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='B1'")), 1);
    const QStringList texts = newLogTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY(texts.first().contains(QStringLiteral("BucketType")));
}

void TstSharedDatabase::failingSelectIsLoggedAndLeavesConnectionOpen()
{
    QSqlDatabase &db = sharedDatabase();
    QList<QSqlRecord> rows;
    const QString sql = QStringLiteral("SELECT * FROM noSuchTable WHERE id = 1");
    const QSqlError error = runQuery(db, sql, rows);
    QVERIFY(error.type() != QSqlError::NoError);
    QVERIFY(rows.isEmpty());
    QVERIFY(db.isOpen());

    const QStringList texts = newLogTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY(texts.first().startsWith(QStringLiteral("数据库语句执行错误:")));
    QVERIFY(texts.first().contains(QStringLiteral("no such table")));
    QVERIFY(texts.first().endsWith(sql));
    QVERIFY(testlog::lines().last().contains(QStringLiteral("[critical]")));

    // A successful query returns every row in order; the connection stays open.
    rows.clear();
    QCOMPARE(
        runQuery(db, QStringLiteral("SELECT name FROM orders WHERE orderNo IN ('B1','X') ORDER BY id"), rows).type(),
        QSqlError::NoError);
    QCOMPARE(rows.size(), 1);
    QCOMPARE(rows.first().value(QStringLiteral("name")).toString(), QStringLiteral("班级二"));
    QVERIFY(db.isOpen());
}

void TstSharedDatabase::transactionRunsSecondAfterFailingFirst()
{
    QSqlDatabase &db = sharedDatabase();
    QVERIFY(runInTransaction(db, QStringLiteral("INSERT INTO noSuchTable VALUES(1)"),
                             QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount) "
                                            "VALUES('C1','班级三',1,1,1)")));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='C1'")), 1);
    const QStringList texts = newLogTexts();
    QCOMPARE(texts.size(), 1);
    QVERIFY(texts.first().contains(QStringLiteral("noSuchTable")));

    // Both succeed: both committed, nothing logged.
    QVERIFY(runInTransaction(db, QStringLiteral("UPDATE orders SET status='uploading' WHERE orderNo='C1'"),
                             QStringLiteral("UPDATE orders SET uploadedCount=1 WHERE orderNo='C1'")));
    QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='C1' AND status='uploading' "
                                  "AND uploadedCount=1")),
             1);
    QCOMPARE(newLogTexts(), QStringList());
}

QTEST_GUILESS_MAIN(TstSharedDatabase)
#include "tst_shareddatabase.moc"
