#include <QtTest>

#include "store/shareddatabase.h"
#include "support/cartmarking.h"
#include "support/clientenvironment.h"
#include "support/queryvalue.h"
#include "upload/cartpostjournal.h"

// The record of cart posts on a real database file, without the worker; the
// order list's tests walk the usual posts, failures and restarts.
class TstCartPostJournal : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_env.setUp(QJsonObject())); }
    void init() { QVERIFY(cartmarking::block(false) && clearQueue()); }
    void settleDropsWhatIsDone();
    void journalThroughAPost();

private:
    static void addOrder(const QString &orderNo, const QString &status)
    {
        QVERIFY(execStatement(sharedDatabase(),
                              QStringLiteral("INSERT INTO orders(orderNo,name,size,fileCout,orderCount,status) "
                                             "VALUES('%1','班',1,1,1,'%2')")
                                  .arg(orderNo, status)));
    }
    static QString journal()
    {
        return queryValue(
                   "SELECT group_concat(orderNo || ':' || state) FROM (SELECT * FROM cartPosts ORDER BY orderNo)")
            .toString();
    }

    ClientEnvironment m_env;
};

// A post whose orders were marked before a crash, and one of unknown outcome
// whose order was deleted since, leave nothing; other orders are not touched.
void TstCartPostJournal::settleDropsWhatIsDone()
{
    addOrder("A", "CARTOK");
    addOrder("B", "uploaded");
    QVERIFY(execStatement(sharedDatabase(), "INSERT INTO cartPosts VALUES('A','2024-05-01 10:00:00','posted'),"
                                            "('C','2024-05-01 10:00:00','posting')"));
    QCOMPARE(CartPostJournal::settle(), (QHash<QString, QString>()));
    QCOMPARE(journal(), QString());
    QCOMPARE(queryValue("SELECT group_concat(status) FROM (SELECT status FROM orders ORDER BY orderNo)").toString(),
             QStringLiteral("CARTOK,uploaded"));
}

// Begun all or nothing; a post whose orders cannot be marked stays recorded
// as posted until they can.
void TstCartPostJournal::journalThroughAPost()
{
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
