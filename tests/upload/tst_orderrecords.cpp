#include <QDateTime>
#include <QJsonDocument>
#include <QSqlRecord>
#include <QtTest>

#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "upload/orderrecords.h"

// The order and image records on a real database file.
class TstOrderRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void createOrderStoresEverything();
    void quotesRoundTrip();
    void failedCreateInsertsNoOrderRow();
    void leaseInBatchesOfFifty();
    void leaseTimeout_data();
    void leaseTimeout();
    void countingAnOrder();
    void imageRecordedTwiceCountsOnce();
    void uploadedListNeedsEveryImageUploaded();
    void listTypes();
    void deleteWithoutOrderRow();
    void productCachedOnce();
    void markInCart();

private:
    QList<QSqlRecord> rows(const QString &sql);
    QVariant value(const QString &sql);
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

QVariant TstOrderRecords::value(const QString &sql)
{
    const QList<QSqlRecord> r = rows(sql);
    return r.isEmpty() ? QVariant() : r.first().value(0);
}

void TstOrderRecords::insertWaitingImages(const QString &orderNo, int count)
{
    const groupProductImages line = orderbuilder::line(orderNo + "-1", QStringLiteral("张三"), 210101, 2101, 0, count);
    QVERIFY(OrderRecords::createOrder(orderbuilder::order(orderNo, QStringLiteral("三年二班"), {line})));
}

void TstOrderRecords::createOrderStoresEverything()
{
    const groupProductImages a = orderbuilder::line("A-001", QStringLiteral("张三"), 210101, 2101, 1, 12);
    const groupProductImages b = orderbuilder::line("A-002", QStringLiteral("李四"), 210102, 2101, 1, 22, 0, 236.5f);
    QVERIFY(OrderRecords::createOrder(orderbuilder::order("A", QStringLiteral("三年二班"), {a, b})));

    const QSqlRecord order = rows("SELECT * FROM orders").value(0);
    QCOMPARE(order.value("orderNo").toString(), QStringLiteral("A"));
    QCOMPARE(order.value("name").toString(), QStringLiteral("三年二班"));
    QCOMPARE(order.value("customerId").toString(), QStringLiteral("10001"));
    QCOMPARE(order.value("orderCount").toInt(), 2);
    QCOMPARE(order.value("fileCout").toInt(), 36);
    QCOMPARE(order.value("status").toString(), QStringLiteral("newOrder"));
    QCOMPARE(order.value("uploadedCount").toInt(), 0);
    QCOMPARE(order.value("spuID").toInt(), 1001);
    QCOMPARE(order.value("skuGroupName").toString(), QStringLiteral("8寸 皮质封面"));
    const QDateTime created = QDateTime::fromString(order.value("timeCreated").toString(), "yyyy-MM-dd hh:mm");
    QVERIFY(qAbs(created.secsTo(QDateTime::currentDateTime())) < 120);
    QCOMPARE(QJsonDocument::fromJson(order.value("orderJson").toString().toUtf8()).array().size(), 2);

    const QList<QSqlRecord> subs = rows("SELECT orderNo, name, parentOrderId, skuID, filesCount, price, status, "
                                        "timeCreated FROM subOrders ORDER BY id");
    QCOMPARE(subs.size(), 2);
    QCOMPARE(subs.at(1).value("orderNo").toString(), QStringLiteral("A-002"));
    QCOMPARE(subs.at(1).value("parentOrderId").toString(), QStringLiteral("A"));
    QCOMPARE(subs.at(1).value("filesCount").toInt(), 23);
    QCOMPARE(subs.at(1).value("price").toDouble(), 236.5);
    QCOMPARE(subs.at(1).value("status").toString(), QStringLiteral("新订单"));
    QCOMPARE(subs.at(0).value("timeCreated"), order.value("timeCreated"));

    QCOMPARE(value("SELECT count(*) FROM images WHERE orderId='A' AND status='waiting'").toInt(), 36);
    const QSqlRecord cover = rows("SELECT * FROM images WHERE type='COVER' AND subOrderId='A-001'").value(0);
    QCOMPARE(cover.value("imageName").toString(), QStringLiteral("10001/A-001c0"));
    QCOMPARE(cover.value("skuId").toInt(), 210101);
    QCOMPARE(QJsonDocument::fromJson(cover.value("imageMess").toString().toUtf8()).object(),
             (QJsonObject{{"color", "3"}, {"height", 2433}, {"width", 4795}, {"xdpi", 300}, {"ydpi", 300}}));
    QCOMPARE(cover.value("BucketType").toInt(), 1);
    QCOMPARE(cover.value("specialLayoutWhitePagePosition").toString(), QStringLiteral("LEFT"));
    QCOMPARE(value("SELECT group_concat(sort) FROM images WHERE subOrderId='A-001' AND type='TEXT'").toString(),
             QStringLiteral("0,1,2,3,4,5,6,7,8,9,10,11"));
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

    QCOMPARE(value("SELECT name FROM orders").toString(), QStringLiteral("Mrs 'Lee' 班"));
    QCOMPARE(value("SELECT productName FROM orders").toString(), QStringLiteral("相册 'A'"));
    QCOMPARE(value("SELECT name FROM subOrders").toString(), QStringLiteral("O'Neil's 张三"));
    QCOMPARE(value("SELECT localPath FROM images").toString(), QStringLiteral("/photos/it's/1'.jpg"));
    QCOMPARE(value("SELECT name FROM images").toString(), QStringLiteral("1'"));
    const QJsonArray payload = QJsonDocument::fromJson(value("SELECT orderJson FROM orders").toString().toUtf8()).array();
    QCOMPARE(payload.at(0).toObject().value("memo").toString(), QStringLiteral("O'Neil's 张三"));
}

void TstOrderRecords::failedCreateInsertsNoOrderRow()
{
    QVERIFY(execStatement(sharedDatabase(), "ALTER TABLE images RENAME TO images_gone"));
    const int before = testlog::lines().size();
    QVERIFY(!OrderRecords::createOrder(
        orderbuilder::order("F", "班", {orderbuilder::line("F-001", "张三", 1, 2, 1, 10)})));
    QVERIFY(execStatement(sharedDatabase(), "ALTER TABLE images_gone RENAME TO images"));
    QCOMPARE(value("SELECT count(*) FROM orders").toInt(), 0);
    QCOMPARE(value("SELECT count(*) FROM subOrders").toInt(), 0);
    const QStringList texts = testlog::texts().mid(before);
    QVERIFY(texts.last().startsWith(QStringLiteral("增加图片到数据库失败:INSERT INTO images(")));
}

void TstOrderRecords::leaseInBatchesOfFifty()
{
    insertWaitingImages("L", 120);
    const QList<imgMess> first = OrderRecords::leaseImages(3600);
    QCOMPARE(first.size(), 50);
    QCOMPARE(value("SELECT count(*) FROM images WHERE status='uploading'").toInt(), 50);
    QStringList ids;
    for (const imgMess &m : first)
        ids << QString::number(m.id);
    QCOMPARE(value(QStringLiteral("SELECT count(*) FROM images WHERE status='uploading' AND id IN (%1)")
                       .arg(ids.join(','))).toInt(), 50);
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

void TstOrderRecords::leaseTimeout_data()
{
    QTest::addColumn<int>("age");
    QTest::addColumn<int>("leased");
    QTest::newRow("3601 s old is taken again") << 3601 << 1;
    QTest::newRow("3599 s old is not") << 3599 << 0;
}

void TstOrderRecords::leaseTimeout()
{
    QFETCH(int, age);
    insertWaitingImages("T", 1);
    QCOMPARE(OrderRecords::leaseImages(3600).size(), 1);
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE images SET uploadDate='%1'")
                                                .arg(QDateTime::currentSecsSinceEpoch() - age)));
    QTEST(int(OrderRecords::leaseImages(3600).size()), "leased");
}

void TstOrderRecords::countingAnOrder()
{
    insertWaitingImages("C", 3);
    QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET fileCout=2"));
    QList<imgMess> leased = OrderRecords::leaseImages(3600);
    QCOMPARE(leased.size(), 3);
    for (imgMess &m : leased)
        m.url = QStringLiteral("http://store/normal-order-image/%1.jpg").arg(m.id);

    QCOMPARE(OrderRecords::recordUploadedImage(leased.at(0)), 1);
    QCOMPARE(value("SELECT status FROM orders").toString(), QStringLiteral("uploading"));
    QCOMPARE(OrderRecords::recordUploadedImage(leased.at(1)), 2);
    QCOMPARE(value("SELECT status FROM orders").toString(), QStringLiteral("uploaded"));
    QVERIFY(!value("SELECT timeFinished FROM orders").toString().isEmpty());
    // An uploaded order counts no further, though the image itself is stored.
    QCOMPARE(OrderRecords::recordUploadedImage(leased.at(2)), 2);
    QCOMPARE(value("SELECT status FROM orders").toString(), QStringLiteral("uploaded"));
    QCOMPARE(value(QStringLiteral("SELECT url FROM images WHERE id=%1").arg(leased.at(2).id)).toString(), leased.at(2).url);
}

void TstOrderRecords::imageRecordedTwiceCountsOnce()
{
    insertWaitingImages("D", 3);
    QList<imgMess> leased = OrderRecords::leaseImages(3600);
    leased[0].url = QStringLiteral("http://store/a.jpg");
    QCOMPARE(OrderRecords::recordUploadedImage(leased.at(0)), 1);
    // Its lease ran out meanwhile and a second upload reports it again.
    QCOMPARE(OrderRecords::recordUploadedImage(leased.at(0)), 1);
    QCOMPARE(value("SELECT uploadedCount FROM orders").toInt(), 1);
    QCOMPARE(value("SELECT count(*) FROM images WHERE status='uploaded'").toInt(), 1);
    QCOMPARE(value("SELECT status FROM orders").toString(), QStringLiteral("uploading"));
}

void TstOrderRecords::uploadedListNeedsEveryImageUploaded()
{
    insertWaitingImages("U1", 2);
    insertWaitingImages("U2", 2);
    QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET status='uploaded', uploadedCount=fileCout"));
    QVERIFY(execStatement(sharedDatabase(), "UPDATE images SET status='uploaded'"));
    QVERIFY(execStatement(sharedDatabase(), "UPDATE images SET status='uploading' WHERE id IN "
                                            "(SELECT id FROM images WHERE orderId='U1' LIMIT 1)"));
    const QList<orderGroup> uploaded = OrderRecords::fetchOrders(100, 2);
    QCOMPARE(uploaded.size(), 1);
    QCOMPARE(uploaded.first().orderNo, QStringLiteral("U2"));
    QCOMPARE(uploaded.first().uploadedCount, 2);
}

void TstOrderRecords::listTypes()
{
    insertWaitingImages("N", 1);
    insertWaitingImages("M", 1);
    insertWaitingImages("K", 1);
    QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET status='uploading' WHERE orderNo='M'"));
    QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET status='CARTOK', timeCart='2026-12-01 10:00' "
                                            "WHERE orderNo='K'"));
    QVERIFY(execStatement(sharedDatabase(), "INSERT INTO orders(orderNo,name,size,fileCout,orderCount,customerId) "
                                            "VALUES('X','other user',1,1,1,'99')"));
    QStringList uploading;
    for (const orderGroup &o : OrderRecords::fetchOrders(100, 1))
        uploading << o.orderNo;
    QCOMPARE(uploading, (QStringList{"M", "N"}));  // newest first
    const QList<orderGroup> cart = OrderRecords::fetchOrders(100, 3);
    QCOMPARE(cart.size(), 1);
    QCOMPARE(cart.first().timeCart, QStringLiteral("2026-12-01 10:00"));
    QCOMPARE(cart.first().orderJson.size(), 1);
    QCOMPARE(cart.first().spuID, 1001);
    QCOMPARE(OrderRecords::fetchOrders(1, 1).size(), 1);
}

void TstOrderRecords::deleteWithoutOrderRow()
{
    insertWaitingImages("G", 4);
    insertWaitingImages("H", 2);
    QVERIFY(execStatement(sharedDatabase(), "DELETE FROM orders WHERE orderNo='G'"));
    OrderRecords::deleteOrders({"'G'", "'H'"});
    QCOMPARE(value("SELECT count(*) FROM orders").toInt(), 0);
    QCOMPARE(value("SELECT count(*) FROM subOrders").toInt(), 0);
    QCOMPARE(value("SELECT count(*) FROM images").toInt(), 0);
}

void TstOrderRecords::productCachedOnce()
{
    productRecord p = orderbuilder::product(210101, 2101, QStringLiteral("8寸 'A'"));
    OrderRecords::saveProducts({p, p});
    p.skuId = 210102;
    OrderRecords::saveProducts({p});
    QCOMPARE(value("SELECT count(*) FROM product").toInt(), 2);
    QCOMPARE(value("SELECT skuGroupName FROM product WHERE skuID=210101").toString(), QStringLiteral("8寸 'A'"));
    QCOMPARE(value("SELECT parentID FROM product WHERE skuID=210101").toInt(), -1);
}

void TstOrderRecords::markInCart()
{
    insertWaitingImages("P", 1);
    insertWaitingImages("R", 1);
    OrderRecords::markOrdersInCart({"'P'"});
    QCOMPARE(value("SELECT status FROM orders WHERE orderNo='P'").toString(), QStringLiteral("CARTOK"));
    QCOMPARE(value("SELECT status FROM orders WHERE orderNo='R'").toString(), QStringLiteral("newOrder"));
    QVERIFY(!value("SELECT timeCart FROM orders WHERE orderNo='P'").toString().isEmpty());
    QVERIFY(testlog::texts().last().startsWith(QStringLiteral("更新订单状态为加入购物车:UPDATE orders SET status ='CARTOK'")));
}

QTEST_GUILESS_MAIN(TstOrderRecords)
#include "tst_orderrecords.moc"
