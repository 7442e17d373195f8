#include <QSqlRecord>
#include <QtTest>

#include "store/shareddatabase.h"
#include "support/cartmarking.h"
#include "support/clientenvironment.h"
#include "upload/cartpostjournal.h"

// The record of cart posts on a real database file, without the worker.
class TstCartPostJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void settle_data();
    void settle();
    void beginWritesAllOrNothing();
    void completeKeepsThePostWhenMarkingFails();

private:
    QVariant value(const QString &sql);
    void addOrder(const QString &orderNo, const QString &status);

    ClientEnvironment m_env;
};

void TstCartPostJournal::initTestCase()
{
    QVERIFY(m_env.setUp(QJsonObject()));
}

void TstCartPostJournal::init()
{
    QVERIFY(cartmarking::block(false));
    for (const char *table : {"orders", "cartPosts"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
}

QVariant TstCartPostJournal::value(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}

void TstCartPostJournal::addOrder(const QString &orderNo, const QString &status)
{
    QVERIFY(execStatement(sharedDatabase(),
                          QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount,status) "
                                         "VALUES('%1','班',1,1,1,'%2')")
                              .arg(orderNo, status)));
}

void TstCartPostJournal::settle_data()
{
    QTest::addColumn<QString>("orderStatus"); // empty: the order was deleted
    QTest::addColumn<QString>("state");
    QTest::addColumn<bool>("blocked");
    QTest::addColumn<QString>("statusAfter");
    QTest::addColumn<QString>("stateAfter"); // empty: record dropped
    QTest::newRow("posted, not marked") << "uploaded"
                                        << "posted" << false << "CARTOK"
                                        << "";
    QTest::newRow("posted, marked before a crash") << "CARTOK"
                                                   << "posted" << false << "CARTOK"
                                                   << "";
    QTest::newRow("posted, marking fails again") << "uploaded"
                                                 << "posted" << true << "uploaded"
                                                 << "posted";
    QTest::newRow("outcome unknown") << "uploaded"
                                     << "posting" << false << "uploaded"
                                     << "posting";
    QTest::newRow("outcome unknown, order deleted") << ""
                                                    << "posting" << false << ""
                                                    << "";
}

void TstCartPostJournal::settle()
{
    QFETCH(QString, orderStatus);
    QFETCH(QString, state);
    QFETCH(bool, blocked);
    QFETCH(QString, statusAfter);
    QFETCH(QString, stateAfter);
    if (!orderStatus.isEmpty())
        addOrder("A", orderStatus);
    addOrder("B", "uploaded");
    QVERIFY(execStatement(sharedDatabase(),
                          QStringLiteral("INSERT INTO cartPosts VALUES('A','2024-05-01 10:00:00','%1')").arg(state)));
    QVERIFY(cartmarking::block(blocked));

    const QHash<QString, QString> remaining = CartPostJournal::settle();
    QCOMPARE(remaining.value("A"), stateAfter);
    QCOMPARE(remaining.size(), stateAfter.isEmpty() ? 0 : 1);
    QCOMPARE(value("SELECT status FROM orders WHERE orderNo='A'").toString(), statusAfter);
    QCOMPARE(value("SELECT status FROM orders WHERE orderNo='B'").toString(), QStringLiteral("uploaded"));
}

void TstCartPostJournal::beginWritesAllOrNothing()
{
    QVERIFY(CartPostJournal::begin({"'A'", "'B'"}, false));
    QVERIFY(!CartPostJournal::begin({"'C'", "'B'"}, false));
    QCOMPARE(value("SELECT count(*) FROM cartPosts WHERE orderNo='C'").toInt(), 0);
    // Repeating a post the operator confirmed.
    QVERIFY(CartPostJournal::begin({"'C'", "'B'"}, true));
    CartPostJournal::abandon({"'A'"});
    QCOMPARE(value("SELECT group_concat(orderNo || ':' || state) FROM (SELECT * FROM cartPosts ORDER BY orderNo)")
                 .toString(),
             QStringLiteral("B:posting,C:posting"));
}

void TstCartPostJournal::completeKeepsThePostWhenMarkingFails()
{
    addOrder("A", "uploaded");
    QVERIFY(CartPostJournal::begin({"'A'"}, false));
    QVERIFY(cartmarking::block(true));
    QVERIFY(!CartPostJournal::complete({"'A'"}));
    QCOMPARE(value("SELECT state FROM cartPosts WHERE orderNo='A'").toString(), QStringLiteral("posted"));
    QVERIFY(cartmarking::block(false));
    QVERIFY(CartPostJournal::complete({"'A'"}));
    QCOMPARE(value("SELECT count(*) FROM cartPosts").toInt(), 0);
    QCOMPARE(value("SELECT status FROM orders WHERE orderNo='A'").toString(), QStringLiteral("CARTOK"));
}

QTEST_GUILESS_MAIN(TstCartPostJournal)
#include "tst_cartpostjournal.moc"
