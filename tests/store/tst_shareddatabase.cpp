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
#include "support/logfile.h"
#include "support/queryvalue.h"

namespace {
const QStringList kResetLines{QStringLiteral("数据库为空,关闭并删除旧数据库，复制新数据库"),
                              QStringLiteral("删除坏数据库成功"), QStringLiteral("复制数据库成功")};
const QString kTableCount = QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type = 'table' AND name IN "
                                           "('orders','subOrders','product','images','user')");

qint64 count(const QString &sql)
{
    const QVariant value = queryValue(sql);
    return value.isValid() ? value.toLongLong() : -1;
}

bool insertOrder(const QString &orderNo, const QString &name)
{
    return execStatement(sharedDatabase(), QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount) "
                                                          "VALUES('%1','%2',1,1,1)")
                                               .arg(sqlEscaped(orderNo), sqlEscaped(name)));
}

QByteArray fileHash(const QString &path = AppPaths::databaseFile())
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
                                          : QByteArray();
}
} // namespace

// The connection is process-wide, so the cases run in order on one home folder.
class TstSharedDatabase : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_home.isValid());
        qputenv("HOME", QFile::encodeName(m_home.path()));
        AppPaths::setAppDataDir(m_home.path() + QStringLiteral("/appdata"));
        QCOMPARE(AppPaths::databaseFile(), m_home.path() + QStringLiteral("/.vell/batchDesk1.db"));
    }

    void firstStartCopiesTheSeed()
    {
        QVERIFY(!QDir(AppPaths::databaseDir()).exists());
        QSqlDatabase &db = sharedDatabase();
        QCOMPARE(&db, &sharedDatabase());
        QCOMPARE(db.connectionName(), QStringLiteral("upload_sql_connection"));
        QCOMPARE(QFile::permissions(AppPaths::databaseFile()) & 0x7077,
                 QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup | QFile::ReadOther);
        QCOMPARE(newLogTexts(), kResetLines);
        QCOMPARE(count(kTableCount), 5);
        // The lookup indexes of the list and lease statements come with the first start.
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='index' AND name IN "
                                      "('images_orderId','images_subOrderId','images_status')")),
                 3);
    }

    void brokenFileIsKeptAsBackup_data()
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
    void brokenFileIsKeptAsBackup()
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
        const QByteArray damaged = fileHash();
        newLogTexts();

        QVERIFY(ensureDatabase(db));
        const QStringList texts = newLogTexts();
        QCOMPARE(texts.size(), 3);
        QCOMPARE(texts.at(0), kResetLines.at(0));
        QVERIFY(texts.at(1).startsWith(QStringLiteral("旧数据库已另存为:") + AppPaths::databaseFile() + ".broken-"));
        QCOMPARE(texts.at(2), kResetLines.at(2));
        const QString backup = texts.at(1).section(':', 1);
        QVERIFY(databaseNotice().contains(QDir::toNativeSeparators(backup)));
        QCOMPARE(fileHash(backup), damaged);
        if (damage.startsWith("DROP")) {
            QCOMPARE(QProcess::execute(QStringLiteral("sh"),
                                       {"-c", "test \"$(sqlite3 \"$0\" 'SELECT name FROM orders')\" = 班级一", backup}),
                     0);
        }
        QCOMPARE(count(kTableCount), 5);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders")), 0);
        QVERIFY(QFile::remove(backup));
    }

    void fileThatCannotBeReadIsLeftAlone_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<bool>("opened"); // within the start-up wait
        QTest::newRow("locked by another process past the wait") << "lock" << false;
        QTest::newRow("locked by another process within the wait") << "short lock" << true;
        QTest::newRow("a folder in its place") << "folder" << false;
        QTest::newRow("no read permission") << "mode000" << false;
    }

    // Busy or unreadable says nothing about the queue in the file: it is left as
    // it is, the operator is told, and once readable it is used as it stands.
    void fileThatCannotBeReadIsLeftAlone()
    {
        QFETCH(QString, obstacle);
        QFETCH(bool, opened);
        if (obstacle == "mode000" && geteuid() == 0)
            QSKIP("root reads files without permission");
        QSqlDatabase &db = sharedDatabase();
        QVERIFY(insertOrder(obstacle, QStringLiteral("班级锁")));
        db.close();
        const QString file = AppPaths::databaseFile();
        const QByteArray before = fileHash();
        const QString aside = file + QStringLiteral(".aside");
        QProcess holder;
        if (obstacle.endsWith("lock")) {
            lockFile(holder, opened ? 1 : 3);
            setStartupWaitMs(opened ? 30000 : 500);
        } else if (obstacle == "folder") {
            QVERIFY(QFile::rename(file, aside));
            QVERIFY(QDir().mkdir(file));
        } else {
            QVERIFY(QFile::setPermissions(file, QFile::Permissions()));
        }
        newLogTexts();

        QVERIFY(ensureDatabase(db));
        const QStringList texts = newLogTexts();
        if (opened) {
            QCOMPARE(texts, QStringList{QStringLiteral("数据库被占用，等待:") + file});
            QCOMPARE(databaseNotice(), QString());
        } else {
            QVERIFY(!texts.contains(kResetLines.at(0)));
            QVERIFY(texts.last().startsWith(QStringLiteral("无法打开数据库，保持原文件不变:") + file));
            QVERIFY(databaseNotice().startsWith(QStringLiteral("无法打开本地数据库") + QDir::toNativeSeparators(file)));
        }

        if (obstacle.endsWith("lock")) {
            QVERIFY(holder.waitForFinished(10000));
            setStartupWaitMs(30000);
        } else if (obstacle == "folder") {
            QVERIFY(QDir().rmdir(file));
            QVERIFY(QFile::rename(aside, file));
        } else {
            QVERIFY(QFile::setPermissions(file, QFile::ReadOwner | QFile::WriteOwner));
        }
        if (!opened)
            QCOMPARE(fileHash(), before);
        QVERIFY(ensureDatabase(db));
        QCOMPARE(databaseNotice(), QString());
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='%1'").arg(obstacle)), 1);
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
        newLogTexts();
        QVERIFY(ensureDatabase(db));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM images WHERE BucketType = 1")), 1);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='B1'")), 1);
        const QStringList texts = newLogTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts.first().contains(QStringLiteral("BucketType")));
    }

    // A failing statement is logged with its text and leaves the connection
    // open; in a transaction the second statement still runs.
    void failingStatements()
    {
        QSqlDatabase &db = sharedDatabase();
        QList<QSqlRecord> rows;
        const QString sql = QStringLiteral("SELECT * FROM noSuchTable WHERE id = 1");
        QVERIFY(runQuery(db, sql, rows).type() != QSqlError::NoError);
        QVERIFY(rows.isEmpty());
        QVERIFY(db.isOpen());
        QStringList texts = newLogTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts.first().startsWith(QStringLiteral("数据库语句执行错误:")));
        QVERIFY(texts.first().contains(QStringLiteral("no such table")));
        QVERIFY(texts.first().endsWith(sql));
        QVERIFY(testlog::lines().last().contains(QStringLiteral("[critical]")));

        QVERIFY(runInTransaction(db, QStringLiteral("INSERT INTO noSuchTable VALUES(1)"),
                                 QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount) "
                                                "VALUES('C1','班级三',1,1,1)")));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='C1'")), 1);
        texts = newLogTexts();
        QCOMPARE(texts.size(), 1);
        QVERIFY(texts.first().contains(QStringLiteral("noSuchTable")));

        QVERIFY(runInTransaction(db, QStringLiteral("UPDATE orders SET status='uploading' WHERE orderNo='C1'"),
                                 QStringLiteral("UPDATE orders SET uploadedCount=1 WHERE orderNo='C1'")));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM orders WHERE orderNo='C1' AND status='uploading' "
                                      "AND uploadedCount=1")),
                 1);
        QCOMPARE(newLogTexts(), QStringList());
    }

private:
    QStringList newLogTexts()
    {
        const QStringList all = testlog::texts();
        const QStringList fresh = all.mid(m_logSeen);
        m_logSeen = all.size();
        return fresh;
    }

    // Another process holding the file with an exclusive lock for `seconds`.
    static void lockFile(QProcess &holder, int seconds)
    {
        holder.start(QStringLiteral("sh"),
                     {QStringLiteral("-c"),
                      QStringLiteral("(echo 'BEGIN EXCLUSIVE;'; echo \"SELECT 'locked';\"; sleep %1; echo 'COMMIT;') "
                                     "| sqlite3 \"$0\"")
                          .arg(seconds),
                      AppPaths::databaseFile()});
        if (!holder.waitForReadyRead(10000) || !holder.readAllStandardOutput().contains("locked"))
            qWarning() << "lock not taken" << holder.readAllStandardError();
    }

    QTemporaryDir m_home;
    int m_logSeen = 0;
};

QTEST_GUILESS_MAIN(TstSharedDatabase)
#include "tst_shareddatabase.moc"
