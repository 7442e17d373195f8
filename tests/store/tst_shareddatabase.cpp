#include <QSqlError>
#include <QSqlRecord>
#include <QtTest>

#include "core/apppaths.h"
#include "store/shareddatabase.h"
#include "store/userstore.h"
#include "support/files.h"
#include "support/logfile.h"
#include "support/queryvalue.h"
#include "support/secretservice.h"

namespace {
const QStringList kResetLines{QStringLiteral("数据库为空,关闭并删除旧数据库，复制新数据库"),
                              QStringLiteral("删除坏数据库成功"), QStringLiteral("复制数据库成功")};
const QString kTableCount = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                                           "('orders','subOrders','product','images','user')");

bool insertOrder(const QString &orderNo, const QString &name)
{
    return execStatement(sharedDatabase(), QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount) "
                                                          "VALUES('%1','%2',1,1,1)")
                                               .arg(sqlEscaped(orderNo), sqlEscaped(name)));
}

QByteArray fileHash(const QString &path = AppPaths::databaseFile())
{
    return QCryptographicHash::hash(testfiles::read(path), QCryptographicHash::Sha256);
}
} // namespace

// The connection is process-wide, so the cases run in order on one home
// folder.
class TstSharedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        AppPaths::setAppDataDir(m_home.path() + QStringLiteral("/appdata"));
        // No keychain here (and never the developer's own).
        QVERIFY(m_noKeychain.start(false));
        QCOMPARE(AppPaths::databaseFile(), m_home.path() + QStringLiteral("/.vell/batchDesk1.db"));
        // The seed resource is what the tree's builder makes of the schema
        // text: a new build gives the same bytes.
        const QByteArray seed = testfiles::read(QStringLiteral(":/db/upload.db.bak"));
        QVERIFY(!seed.isEmpty());
        const QString name = m_home.filePath(QStringLiteral("seed.db"));
        QCOMPARE(QProcess::execute(QStringLiteral(SEED_BUILDER), {QStringLiteral(SCHEMA_SQL), name}), 0);
        QVERIFY(testfiles::read(name) == seed);
    }

    void firstStartCopiesTheSeed()
    {
        QCOMPARE(queryValue(kTableCount).toInt(), 5);
        QCOMPARE(m_log.newTexts(), kResetLines);
        // The lookup indexes of the list and lease statements come with the first start.
        QCOMPARE(queryValue(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' AND name IN "
                                           "('images_orderId','images_subOrderId','images_status')"))
                     .toInt(),
                 3);
    }

    void unusableFile_data()
    {
        QTest::addColumn<QString>("obstacle"); // sqlite3 statements, a lock or a folder
        QTest::addColumn<QString>("outcome");
        const QString backup = QStringLiteral("backup");
        QTest::newRow("no user table") << "DROP TABLE user;" << backup;
        QTest::newRow("damaged row in sqlite_master")
            << "PRAGMA writable_schema=ON; UPDATE sqlite_master SET sql='CREATE INDEX images_status ON' "
               "WHERE name='images_status';"
            << backup;
        QTest::newRow("locked by another process past the wait") << "lock" << QStringLiteral("left");
        QTest::newRow("locked by another process within the wait") << "short lock" << QStringLiteral("opened");
        QTest::newRow("a folder in its place") << "folder" << QStringLiteral("left");
    }

    // A file that fails the check is moved aside whole, never deleted: the
    // backup holds the queued order, the new file is the seed. A busy or
    // unreadable file says nothing about the queue in it: it is left as it is,
    // the operator is told, and once readable it is used as it stands.
    void unusableFile()
    {
        QFETCH(QString, obstacle);
        QFETCH(QString, outcome);
        QSqlDatabase &db = sharedDatabase();
        const QString orderNo = QString::fromLatin1(QTest::currentDataTag());
        QVERIFY(insertOrder(orderNo, QStringLiteral("班级一")));
        db.close();
        const QString file = AppPaths::databaseFile();
        const QByteArray before = fileHash();
        const QString aside = file + QStringLiteral(".aside");
        QProcess holder;
        if (obstacle.endsWith("lock")) {
            // Another process holds the file with an exclusive lock, for less
            // or more than the start-up waits.
            holder.start(
                QStringLiteral("sh"),
                {QStringLiteral("-c"),
                 QStringLiteral("(echo 'BEGIN EXCLUSIVE;'; echo \"SELECT 'locked';\"; sleep %1; echo 'COMMIT;') "
                                "| sqlite3 \"$0\"")
                     .arg(outcome == "opened" ? 1 : 3),
                 file});
            QVERIFY(holder.waitForReadyRead(10000) && holder.readAllStandardOutput().contains("locked"));
            setStartupWaitMs(outcome == "opened" ? 30000 : 500);
        } else if (obstacle == "folder") {
            QVERIFY(QFile::rename(file, aside));
            QVERIFY(QDir().mkdir(file));
        } else {
            QCOMPARE(QProcess::execute(QStringLiteral("sqlite3"), {file, obstacle}), 0);
        }
        const QByteArray damaged = fileHash();
        m_log.newTexts();

        QVERIFY(ensureDatabase(db));
        const QStringList texts = m_log.newTexts();
        if (outcome == "backup") {
            const QString backup = texts.value(1).section(':', 1);
            QCOMPARE(texts,
                     (QStringList{kResetLines.at(0), QStringLiteral("旧数据库已另存为:") + backup, kResetLines.at(2)}));
            QVERIFY(backup.startsWith(file + ".broken-"));
            QVERIFY(databaseNotice().contains(QDir::toNativeSeparators(backup)));
            QCOMPARE(fileHash(backup), damaged);
            QCOMPARE(queryValue(kTableCount).toInt(), 5);
            QCOMPARE(queryValue(QStringLiteral("SELECT count(*) FROM orders")).toInt(), 0);
            QVERIFY(QFile::remove(backup));
            return;
        }
        if (outcome == "opened") {
            QCOMPARE(texts, QStringList{QStringLiteral("数据库被占用，等待:") + file});
            QCOMPARE(databaseNotice(), QString());
        } else {
            QVERIFY(!texts.contains(kResetLines.at(0)));
            QVERIFY(texts.last().startsWith(QStringLiteral("无法打开数据库，保持原文件不变:") + file));
            QVERIFY(databaseNotice().startsWith(QStringLiteral("无法打开本地数据库") + QDir::toNativeSeparators(file)));
        }

        setStartupWaitMs(30000);
        if (obstacle.endsWith("lock"))
            QVERIFY(holder.waitForFinished(10000));
        else {
            QVERIFY(QDir().rmdir(file));
            QVERIFY(QFile::rename(aside, file));
        }
        if (outcome == "left")
            QCOMPARE(fileHash(), before);
        QVERIFY(ensureDatabase(db));
        QCOMPARE(databaseNotice(), QString());
        QCOMPARE(queryValue(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='%1'").arg(sqlEscaped(orderNo)))
                     .toInt(),
                 1);
    }

    // A complete file of an older client keeps its rows and only gains the
    // bucket column.
    void olderFileGainsTheBucketColumn()
    {
        QSqlDatabase &db = sharedDatabase();
        QVERIFY(insertOrder(QStringLiteral("B1"), QStringLiteral("班级二")));
        QVERIFY(execStatement(db, QStringLiteral("ALTER TABLE images DROP COLUMN BucketType")));
        QVERIFY(execStatement(
            db, QStringLiteral("INSERT INTO images(name,orderId,subOrderId,IsRotate,sort,type,"
                               "localPath,imageMess) VALUES('p1','B1','B1-1',0,1,'page','/x.jpg','{}')")));
        QVERIFY(ensureDatabase(db));
        m_log.newTexts();
        QCOMPARE(queryValue(QStringLiteral("SELECT count(*) FROM images WHERE BucketType = 1")).toInt(), 1);
    }

    // A failing statement is logged with its text and leaves the connection
    // open; in a transaction the second statement still runs.
    void failingStatements()
    {
        QSqlDatabase &db = sharedDatabase();
        QList<QSqlRecord> rows;
        const QString sql = QStringLiteral("SELECT * FROM noSuchTable WHERE id = 1");
        QVERIFY(runQuery(db, sql, rows).type() != QSqlError::NoError);
        QVERIFY(db.isOpen());
        const QStringList texts = m_log.newTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts.first().startsWith(QStringLiteral("数据库语句执行错误:")) && texts.first().endsWith(sql)
                && texts.first().contains(QStringLiteral("no such table")));
        QVERIFY(testlog::lines().last().contains(QStringLiteral("[critical]")));

        QVERIFY(runInTransaction(db, QStringLiteral("INSERT INTO noSuchTable VALUES(1)"),
                                 QStringLiteral("UPDATE orders SET uploadedCount=7 WHERE orderNo='B1'")));
        QCOMPARE(queryValue(QStringLiteral("SELECT uploadedCount FROM orders WHERE orderNo='B1'")).toInt(), 7);
    }

    // Quotes in the number are stored as typed; a second login of the
    // number updates its row and keeps when it was first seen. Without a
    // keychain the login is not remembered as a whole, and nothing of the
    // password reaches the table.
    void firstLoginInsertsSecondUpdates()
    {
        const QString phone = QStringLiteral("138'00");
        const QString password = QStringLiteral("it's a 'secret'; DROP TABLE user;--");
        QVERIFY(!UserStore::userExists(phone));
        QVERIFY(!UserStore::rememberLogin(phone, password));
        QList<UserRecord> users = UserStore::loadUsers();
        QCOMPARE(users.size(), 1);
        QCOMPARE(users.first().created_time, users.first().last_login_time);
        QVERIFY(QDateTime::fromString(users.first().created_time, "yyyy-MM-dd hh:mm:ss")
                    .secsTo(QDateTime::currentDateTime())
                < 60);

        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE user SET created_time='2020-01-01 08:00:00', "
                                                               "last_login_time='2020-01-01 08:00:00'")));
        QVERIFY(!UserStore::rememberLogin(phone, password + "'"));
        users = UserStore::loadUsers();
        QCOMPARE(users.size(), 1);
        QCOMPARE(users.first().created_time, QStringLiteral("2020-01-01 08:00:00"));
        QVERIFY(users.first().last_login_time > QStringLiteral("2020-01-01 08:00:00"));
        QCOMPARE(queryValue(QStringLiteral("SELECT group_concat(password, '') FROM user")).toString(), QString());
        QCOMPARE(UserStore::storedPassword(phone), QString());
        QCOMPARE(UserStore::lastUser().user_name, phone);
        QCOMPARE(UserStore::storedPassword(QStringLiteral("nobody")), QString());
    }

private:
    QTemporaryDir m_home;
    SecretService m_noKeychain;
    testlog::Follower m_log;
};

QTEST_GUILESS_MAIN(TstSharedDatabase)
#include "tst_shareddatabase.moc"
