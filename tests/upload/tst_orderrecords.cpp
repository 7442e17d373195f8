#include <QDateTime>
#include <QJsonDocument>
#include <QSqlRecord>
#include <QtTest>

#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/queryvalue.h"
#include "upload/orderrecords.h"

// The order and image records on a real database file.
class TstOrderRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void quotesRoundTrip();
    void failedCreateStoresNothing_data();
    void failedCreateStoresNothing();
    void leaseInBatchesOfFifty();
    void leaseTimeout_data();
    void leaseTimeout();
    void leaseSaysWhatMayBeStored_data();
    void leaseSaysWhatMayBeStored();
    void countingAnOrder();
    void deleteWithoutOrderRow();

private:
    QList<QSqlRecord> rows(const QString &sql);
    void insertWaitingImages(const QString &orderNo, int count);

    ClientEnvironment m_env;
};

void TstOrderRecords::initTestCase()
{
    QVERIFY(m_env.setUp(QJsonObject()));
    VellRuntime::instance().applyLogin(QJsonObject{{"userId", 10001}, {"storeId", 20001}}, "13800000001", "pw");
    VellRuntime::instance().setStoreInfo(QJsonObject{{"addressId", 30001}});
}

void TstOrderRecords::init()
{
    for (const char *table : {"orders", "subOrders", "images", "product"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
}

QList<QSqlRecord> TstOrderRecords::rows(const QString &sql)
{
    QList<QSqlRecord> out;
    runQuery(sharedDatabase(), sql, out);
    return out;
}

void TstOrderRecords::insertWaitingImages(const QString &orderNo, int count)
{
    const groupProductImages line = orderbuilder::line(orderNo + "-1", QStringLiteral("张三"), 210101, 2101, 0, count);
    QVERIFY(OrderRecords::createOrder(orderbuilder::order(orderNo, QStringLiteral("三年二班"), {line})));
}

void TstOrderRecords::quotesRoundTrip()
{
    groupProductImages line = orderbuilder::line("Q-001", QStringLiteral("O'Neil's 张三"), 1, 2, 0, 1);
    subOrderImages &entry = line.matched[1];
    entry.innerImages[0].localPath = QStringLiteral("/photos/it's/1'.jpg");
    entry.innerImages[0].name = QStringLiteral("1'");
    orderGroup order = orderbuilder::order("Q", QStringLiteral("Mrs 'Lee' 班"), {line});
    order.productName = QStringLiteral("相册 'A'");
    QVERIFY(OrderRecords::createOrder(order));

    QCOMPARE(queryValue("SELECT name FROM orders").toString(), QStringLiteral("Mrs 'Lee' 班"));
    QCOMPARE(queryValue("SELECT productName FROM orders").toString(), QStringLiteral("相册 'A'"));
    QCOMPARE(queryValue("SELECT name FROM subOrders").toString(), QStringLiteral("O'Neil's 张三"));
    QCOMPARE(queryValue("SELECT localPath FROM images").toString(), QStringLiteral("/photos/it's/1'.jpg"));
    QCOMPARE(queryValue("SELECT name FROM images").toString(), QStringLiteral("1'"));
    const QJsonArray payload =
        QJsonDocument::fromJson(queryValue("SELECT orderJson FROM orders").toString().toUtf8()).array();
    QCOMPARE(payload.at(0).toObject().value("memo").toString(), QStringLiteral("O'Neil's 张三"));
}

void TstOrderRecords::failedCreateStoresNothing_data()
{
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("logged");
    QTest::newRow("products") << "product"
                              << "Error:no such table: product";
    QTest::newRow("images") << "images"
                            << "增加图片到数据库失败:INSERT INTO images(";
    QTest::newRow("second line") << "subOrders"
                                 << "增加子订单SQL失败:INSERT INTO subOrders(";
    QTest::newRow("order row, after everything else") << "orders"
                                                      << "Error:no such table: orders";
}

// Whichever statement fails, the statements before it are rolled back.
void TstOrderRecords::failedCreateStoresNothing()
{
    QFETCH(QString, table);
    QFETCH(QString, logged);
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("ALTER TABLE %1 RENAME TO gone").arg(table)));
    const int before = testlog::lines().size();
    const bool stored = OrderRecords::createOrder(orderbuilder::order("F", "班",
                                                                      {orderbuilder::line("F-1", "张三", 1, 2, 1, 10),
                                                                       orderbuilder::line("F-2", "李四", 1, 2, 1, 10)}),
                                                  {orderbuilder::product(1)});
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("ALTER TABLE gone RENAME TO %1").arg(table)));
    QVERIFY(!stored);
    for (const char *t : {"orders", "subOrders", "images", "product"})
        QCOMPARE(queryValue(QStringLiteral("SELECT count(*) FROM %1").arg(QLatin1String(t))).toInt(), 0);
    const QStringList texts = testlog::texts().mid(before);
    QVERIFY2(texts.join('\n').contains(logged), qPrintable(texts.join('\n')));
    QCOMPARE(texts.last(), QStringLiteral("订单保存失败，未写入任何记录:F"));

    // The same order goes in whole once the table is back.
    QVERIFY(OrderRecords::createOrder(orderbuilder::order("F", "班",
                                                          {orderbuilder::line("F-1", "张三", 1, 2, 1, 10),
                                                           orderbuilder::line("F-2", "李四", 1, 2, 1, 10)}),
                                      {orderbuilder::product(1)}));
    QCOMPARE(queryValue("SELECT count(*) FROM images WHERE orderId='F'").toInt(),
             queryValue("SELECT fileCout FROM orders").toInt());
    QCOMPARE(queryValue("SELECT count(*) FROM subOrders").toInt(), 2);
    QCOMPARE(queryValue("SELECT count(*) FROM product").toInt(), 1);
}

void TstOrderRecords::leaseInBatchesOfFifty()
{
    insertWaitingImages("L", 120);
    const QList<imgMess> first = OrderRecords::leaseImages(3600);
    QCOMPARE(first.size(), 50);
    QCOMPARE(queryValue("SELECT count(*) FROM images WHERE status='uploading'").toInt(), 50);
    QStringList ids;
    for (const imgMess &m : first)
        ids << QString::number(m.id);
    QCOMPARE(
        queryValue(
            QStringLiteral("SELECT count(*) FROM images WHERE status='uploading' AND id IN (%1)").arg(ids.join(',')))
            .toInt(),
        50);
    QCOMPARE(first.first().orderId, QStringLiteral("L"));
    QCOMPARE(first.first().subOrderId, QStringLiteral("L-1"));
    QVERIFY(first.first().imageName.startsWith(QStringLiteral("10001/")));
    QVERIFY(first.first().BucketType);
    QVERIFY(!first.first().localPath.isEmpty());

    const QList<imgMess> second = OrderRecords::leaseImages(3600);
    QCOMPARE(second.size(), 50);
    for (const imgMess &m : second)
        QVERIFY(!ids.contains(QString::number(m.id)));
    QCOMPARE(OrderRecords::leaseImages(3600).size(), 20);
    QCOMPARE(OrderRecords::leaseImages(3600).size(), 0);
}

// Outcomes recorded in batches, as the worker gets them; an image reported
// twice (its lease ran out and a second upload reported it again) counts once.
void TstOrderRecords::countingAnOrder()
{
    insertWaitingImages("C", 3);
    insertWaitingImages("D", 1);
    QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET fileCout=2 WHERE orderNo='C'"));
    QList<imgMess> leased = OrderRecords::leaseImages(3600);
    QCOMPARE(leased.size(), 4);
    std::sort(leased.begin(), leased.end(), [](const imgMess &a, const imgMess &b) { return a.id < b.id; });
    for (imgMess &m : leased)
        m.url = QStringLiteral("http://store/normal-order-image/%1.jpg").arg(m.id);

    using Counts = QHash<QString, int>;
    QCOMPARE(OrderRecords::recordUploadedImages({leased.at(0), leased.at(0)}), (Counts{{"C", 1}}));
    QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='C'").toString(), QStringLiteral("uploading"));
    QCOMPARE(OrderRecords::recordUploadedImages({leased.at(1), leased.at(3)}), (Counts{{"C", 2}, {"D", 1}}));
    QCOMPARE(queryValue("SELECT count(*) FROM orders WHERE status='uploaded' AND timeFinished<>''").toInt(), 2);
    // An uploaded order counts no further, though the image itself is stored.
    QCOMPARE(OrderRecords::recordUploadedImages({leased.at(2)}), (Counts{{"C", 2}}));
    QCOMPARE(queryValue(QStringLiteral("SELECT url FROM images WHERE id=%1").arg(leased.at(2).id)).toString(),
             leased.at(2).url);
    QCOMPARE(queryValue("SELECT count(*) FROM images WHERE status='uploaded'").toInt(), 4);
}

void TstOrderRecords::deleteWithoutOrderRow()
{
    insertWaitingImages("G", 4);
    insertWaitingImages("H", 2);
    QVERIFY(execStatement(sharedDatabase(), "DELETE FROM orders WHERE orderNo='G'"));
    OrderRecords::deleteOrders({"'G'", "'H'"});
    QCOMPARE(queryValue("SELECT count(*) FROM orders").toInt(), 0);
    QCOMPARE(queryValue("SELECT count(*) FROM subOrders").toInt(), 0);
    QCOMPARE(queryValue("SELECT count(*) FROM images").toInt(), 0);
}

void TstOrderRecords::leaseTimeout_data()
{
    QTest::addColumn<int>("age");
    QTest::addColumn<int>("startedAgo"); // the run's start, 0 for none
    QTest::addColumn<int>("leased");
    QTest::newRow("3601 s old is taken again") << 3601 << 0 << 1;
    QTest::newRow("3599 s old is not") << 3599 << 0 << 0;
    QTest::newRow("given before the run started") << 6 << 5 << 1;
    QTest::newRow("given in the run") << 4 << 5 << 0;
}

void TstOrderRecords::leaseTimeout()
{
    QFETCH(int, age);
    QFETCH(int, startedAgo);
    insertWaitingImages("T", 1);
    QCOMPARE(OrderRecords::leaseImages(3600).size(), 1);
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE images SET uploadDate='%1'").arg(now - age)));
    QTEST(int(OrderRecords::leaseImages(3600, startedAgo ? now - startedAgo : 0).size()), "leased");
}

void TstOrderRecords::leaseSaysWhatMayBeStored_data()
{
    QTest::addColumn<QString>("before"); // run on two waiting images of two orders
    QTest::addColumn<bool>("mayBeStored");
    QTest::newRow("never leased") << "" << false;
    QTest::newRow("failed once, back in the queue") << "UPDATE images SET uploadDate=1" << true;
    QTest::newRow("lease ran out") << "UPDATE images SET status='uploading', uploadDate=1" << true;
    QTest::newRow("same file in another order") << "UPDATE images SET imageName='10001/same'" << true;
}

// What the upload task may skip asking the image host: only an object that
// no earlier lease and no other image can have stored.
void TstOrderRecords::leaseSaysWhatMayBeStored()
{
    QFETCH(QString, before);
    insertWaitingImages("M", 1);
    insertWaitingImages("N", 1);
    QVERIFY(before.isEmpty() || execStatement(sharedDatabase(), before));
    const QList<imgMess> leased = OrderRecords::leaseImages(3600);
    QCOMPARE(leased.size(), 2);
    for (const imgMess &image : leased)
        QTEST(image.mayBeStored, "mayBeStored");
    QCOMPARE(queryValue("SELECT count(*) FROM images WHERE status='uploading' AND uploadDate>1").toInt(), 2);
}

QTEST_GUILESS_MAIN(TstOrderRecords)
#include "tst_orderrecords.moc"
