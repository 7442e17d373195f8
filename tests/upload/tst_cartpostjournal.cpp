#include <QtTest>

#include "store/shareddatabase.h"
#include "support/cartmarking.h"
#include "support/clientenvironment.h"
#include "support/queryvalue.h"
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
    void journalThroughAPost();

private:
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
    QTest::newRow("posted, not marked") << "uploaded" << QStringLiteral("posted") << false << "CARTOK" << QString();
    QTest::newRow("posted, marked before a crash")
        << "CARTOK" << QStringLiteral("posted") << false << "CARTOK" << QString();
    QTest::newRow("posted, marking fails again")
        << "uploaded" << QStringLiteral("posted") << true << "uploaded" << QStringLiteral("posted");
    QTest::newRow("outcome unknown") << "uploaded" << QStringLiteral("posting") << false << "uploaded"
                                     << QStringLiteral("posting");
    QTest::newRow("outcome unknown, order deleted") << QString() << "posting" << false << QString() << QString();
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
    QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='A'").toString(), statusAfter);
    QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='B'").toString(), QStringLiteral("uploaded"));
}

// Begun all or nothing; a post whose orders cannot be marked stays recorded
// as posted until they can.
void TstCartPostJournal::journalThroughAPost()
{
    const auto journal = [] {
        return queryValue(
                   "SELECT group_concat(orderNo || ':' || state) FROM (SELECT * FROM cartPosts ORDER BY orderNo)")
            .toString();
    };
    addOrder("B", "uploaded");
    QVERIFY(CartPostJournal::begin({"'A'", "'B'"}, false));
    QVERIFY(!CartPostJournal::begin({"'C'", "'B'"}, false));
    QCOMPARE(journal(), QStringLiteral("A:posting,B:posting"));
    // Repeating a post the operator confirmed.
    QVERIFY(CartPostJournal::begin({"'C'", "'B'"}, true));
    CartPostJournal::abandon({"'A'"});
    QCOMPARE(journal(), QStringLiteral("B:posting,C:posting"));
    QVERIFY(cartmarking::block(true));
    QVERIFY(!CartPostJournal::complete({"'B'"}));
    QCOMPARE(journal(), QStringLiteral("B:posted,C:posting"));
    QVERIFY(cartmarking::block(false));
    QVERIFY(CartPostJournal::complete({"'B'"}));
    QCOMPARE(journal(), QStringLiteral("C:posting"));
    QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='B'").toString(), QStringLiteral("CARTOK"));
}

QTEST_GUILESS_MAIN(TstCartPostJournal)
#include "tst_cartpostjournal.moc"
