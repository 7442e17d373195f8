#include <QtTest>

#include "core/apppaths.h"
#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/listedorders.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/queryvalue.h"
#include "upload/cartpayload.h"
#include "upload/cartpostjournal.h"
#include "upload/databasethread.h"
#include "upload/orderrecords.h"

// The order and image records on a real database file, directly and through
// the worker as the GUI thread sees it; the record of cart posts, and the
// cart items made of the records and sent to the local backend. The order
// list's tests walk the usual posts, failures and restarts.
class TstOrderRecords : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"imageHost", "https://img.shop.test"}}));
        QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
        VellRuntime::instance().setStoreInfo(QJsonObject{{"addressId", 30001}});
        // Receivers live on this thread: every result arrives queued.
        connect(&worker(), &DatabaseThread::ordersGetSig, this,
                [this](int, const QList<orderGroup> &o) { m_lists << int(o.size()); });
        connect(&worker(), &DatabaseThread::uploadingOrderDate, this,
                [this](const QString &id, int n) { m_counts << qMakePair(id, n); });
    }

    void init() { QVERIFY(blockCartMarking(false) && clearQueue({"product"})); }
    void cleanupTestCase() { worker().stop(); }

    void failedCreateStoresNothing_data()
    {
        QTest::addColumn<QString>("table");
        QTest::addColumn<QString>("logged");
        QTest::newRow("products") << QStringLiteral("product") << "Error:no such table: product";
        QTest::newRow("second line") << QStringLiteral("subOrders") << "增加子订单SQL失败:INSERT INTO subOrders(";
        QTest::newRow("order row, after everything else") << QStringLiteral("orders") << "Error:no such table: orders";
    }

    // Whichever statement fails, the statements before it are rolled back; once
    // the table is back the same order goes in whole, quotes and all.
    void failedCreateStoresNothing()
    {
        QFETCH(QString, table);
        QFETCH(QString, logged);
        groupProductImages quoted = orderbuilder::line("F-1", QStringLiteral("O'Neil's 张三"), 1, 2, 1, 10);
        quoted.matched[1].innerImages[0].localPath = QStringLiteral("/photos/it's/1'.jpg");
        orderGroup order = orderbuilder::order("F", QStringLiteral("Mrs 'Lee' 班"),
                                               {quoted, orderbuilder::line("F-2", "李四", 1, 2, 1, 10)});
        order.productName = QStringLiteral("相册 'A'");
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("ALTER TABLE %1 RENAME TO gone").arg(table)));
        const int before = testlog::lines().size();
        const bool stored = OrderRecords::createOrder(order, {orderbuilder::product(1)});
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("ALTER TABLE gone RENAME TO %1").arg(table)));
        QVERIFY(!stored);
        const char *counts =
            "SELECT (SELECT count(*) FROM orders) || ' ' || (SELECT count(*) FROM subOrders) || ' ' || "
            "(SELECT count(*) FROM images) || ' ' || (SELECT count(*) FROM product)";
        QCOMPARE(queryValue(counts).toString(), QStringLiteral("0 0 0 0"));
        const QStringList texts = testlog::texts().mid(before);
        QVERIFY2(texts.join('\n').contains(logged), qPrintable(texts.join('\n')));
        QCOMPARE(texts.last(), QStringLiteral("订单保存失败，未写入任何记录:F"));

        QVERIFY(OrderRecords::createOrder(order, {orderbuilder::product(1)}));
        QCOMPARE(queryValue(counts).toString(), QStringLiteral("1 2 22 1"));
        const char *named =
            "SELECT fileCout || name || productName || (SELECT count(*) FROM subOrders WHERE name="
            "'O''Neil''s 张三') || (SELECT count(*) FROM images WHERE localPath='/photos/it''s/1''.jpg') "
            "FROM orders";
        QCOMPARE(queryValue(named).toString(), QStringLiteral("22Mrs 'Lee' 班相册 'A'11"));
        const QJsonDocument payload =
            QJsonDocument::fromJson(queryValue("SELECT orderJson FROM orders").toString().toUtf8());
        QCOMPARE(payload[0]["memo"].toString(), QStringLiteral("O'Neil's 张三"));
    }

    // Leases come fifty at a time. A failed upload is held 1 s, then 2 s, up to
    // the cap, from when it failed; no lease hands it out meanwhile.
    void leaseInBatchesAfterPauses()
    {
        OrderRecords::setRetryDelays(1, 2);
        insertWaitingImages("L", 51);
        QCOMPARE(OrderRecords::leaseImages(3600).size(), 50);
        for (int pause : {1, 2, 2}) {
            const QList<imgMess> leased = OrderRecords::leaseImages(3600);
            QVERIFY(leased.size() == 1 && leased.first().mayBeStored == (pause > 1)); // after a failure it may be there
            const qint64 failed = QDateTime::currentSecsSinceEpoch();
            OrderRecords::recordFailedUpload(leased.first(), QString());
            QCOMPARE(testlog::texts().last(),
                     QStringLiteral("图片上传失败，%1秒后重试：%2:L").arg(pause).arg(leased.first().id));
            const qint64 from = queryValue("SELECT notBefore FROM uploadHolds").toLongLong() - pause;
            QVERIFY(from >= failed && from <= QDateTime::currentSecsSinceEpoch());
            QCOMPARE(OrderRecords::leaseImages(3600).size(), 0);
            QVERIFY(execStatement(sharedDatabase(), "UPDATE uploadHolds SET notBefore=1"));
        }
    }

    void lease_data()
    {
        // Run on two waiting images of two orders; %1 is now.
        QTest::addColumn<QString>("before");
        QTest::addColumn<int>("startedAgo"); // the run's start, 0 for none
        QTest::addColumn<int>("leased");
        QTest::addColumn<bool>("mayBeStored");
        const QString given = QStringLiteral("UPDATE images SET status='uploading', uploadDate=%1-");
        QTest::newRow("never leased") << "" << 0 << 2 << false;
        QTest::newRow("lease 3601 s old ran out") << given + "3601" << 0 << 2 << true;
        QTest::newRow("lease 3599 s old still runs") << given + "3599" << 0 << 0 << true;
        QTest::newRow("given before the run started") << given + "6" << 5 << 2 << true;
        QTest::newRow("given in the run") << given + "4" << 5 << 0 << true;
        QTest::newRow("given in the second the run started") << given + "0" << -1 << 2 << true;
        QTest::newRow("dated after now (clock put back)")
            << "UPDATE images SET status='uploading', uploadDate=%1+600" << 0 << 2 << true;
        QTest::newRow("same file in another order") << "UPDATE images SET imageName='10001/same'" << 0 << 2 << true;
    }

    // Besides what is due, the lease says what the upload task may skip asking
    // the image host: only an object no earlier lease and no other image can have stored.
    void lease()
    {
        QFETCH(QString, before);
        QFETCH(int, startedAgo);
        QFETCH(int, leased);
        insertWaitingImages("M", 1);
        insertWaitingImages("N", 1);
        const qint64 now = QDateTime::currentSecsSinceEpoch();
        QVERIFY(before.isEmpty()
                || execStatement(sharedDatabase(), QString(before).replace("%1", QString::number(now))));
        const qint64 givenBefore = startedAgo ? now - startedAgo : 0;
        const QList<imgMess> images = OrderRecords::leaseImages(3600, givenBefore);
        QCOMPARE(images.size(), leased);
        for (const imgMess &image : images)
            QTEST(image.mayBeStored, "mayBeStored");
        QCOMPARE(queryValue(QStringLiteral("SELECT count(*) FROM images WHERE uploadDate>=%1").arg(now)).toInt(),
                 leased);
        // The same run never takes back its own leases.
        QCOMPARE(OrderRecords::leaseImages(3600, givenBefore).size(), 0);
    }

    // A list asked for between changes shows each change; deleting orders also
    // removes lines and images of an order whose own row is already gone.
    void requestsServedInArrivalOrder()
    {
        worker().setPaused(true);
        for (const QString no : {"O1", "O2", "O3"}) {
            worker().fetchOrders(1);
            worker().createOrder(orderbuilder::order(no, "班", {orderbuilder::line(no + "-1", "张三", 1, 2, 0, 1)}));
        }
        worker().fetchOrders(1);
        worker().setPaused(false);
        QTRY_COMPARE(m_lists.size(), 4);
        QVERIFY(execStatement(sharedDatabase(), "DELETE FROM orders WHERE orderNo='O3'"));
        worker().deleteOrders({"'O1'", "'O2'", "'O3'"});
        QVERIFY(listedOrders());
        QCOMPARE(m_lists, (QList<int>{0, 1, 2, 3, 0}));
        QCOMPARE(queryValue("SELECT (SELECT count(*) FROM subOrders) + (SELECT count(*) FROM images)").toInt(), 0);
    }

    // Outcomes come in batches: each batch is one write transaction, an image
    // without a URL is logged and left uploading, and an image reported twice
    // (its lease ran out and a second upload reported it again) counts once, as
    // does one of an order already uploaded.
    void outcomesRecordedInBatches()
    {
        insertWaitingImages("C", 3);
        insertWaitingImages("D", 1);
        QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET fileCout=2 WHERE orderNo='C'"));
        QList<imgMess> images = OrderRecords::leaseImages(3600);
        std::sort(images.begin(), images.end(), [](const imgMess &a, const imgMess &b) { return a.id < b.id; });
        for (imgMess &m : images)
            m.url = QStringLiteral("http://store/normal-order-image/%1.jpg").arg(m.id);
        imgMess withoutUrl = images.at(1);
        withoutUrl.url.clear();
        const int before = testlog::lines().size();
        // Bytes 24..27 of the file count its write transactions.
        const auto writeTransactions = [] {
            QFile file(AppPaths::databaseFile());
            return file.open(QIODevice::ReadOnly) ? qFromBigEndian<quint32>(file.read(28).constData() + 24) : 0u;
        };
        const quint32 transactions = writeTransactions();
        worker().storeUploadedImages({images.at(0), images.at(0), withoutUrl});
        QVERIFY(listedOrders());
        QCOMPARE(queryValue("SELECT group_concat(status) FROM (SELECT status FROM images ORDER BY id)").toString(),
                 QStringLiteral("uploaded,uploading,uploading,uploading"));
        QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='C'").toString(), QStringLiteral("uploading"));
        QCOMPARE(testlog::texts().mid(before).first(),
                 QStringLiteral("图片上传成功图片路径为空123：%1:C").arg(withoutUrl.id));
        worker().storeUploadedImages({images.at(1), images.at(3)});
        worker().storeUploadedImages({images.at(2)});
        QVERIFY(listedOrders());
        QCOMPARE(writeTransactions(), transactions + 3);
        QCOMPARE(m_counts, (QList<QPair<QString, int>>{{"C", 1}, {"C", 1}, {"C", 2}, {"D", 1}, {"C", 2}}));
        QCOMPARE(queryValue("SELECT count(*) FROM orders WHERE status='uploaded' AND timeFinished<>''").toInt(), 2);
        QCOMPARE(
            queryValue("SELECT count(*) FROM images WHERE status='uploaded' AND url LIKE 'http://store/%'").toInt(), 4);
    }

    // A post whose orders were marked before a crash, and one of unknown
    // outcome whose order was deleted since, leave nothing; other orders are
    // not touched. A post is begun all or nothing; one whose orders cannot be
    // marked stays recorded as posted until they can.
    void cartPostJournal()
    {
        QVERIFY(execStatement(sharedDatabase(), "INSERT INTO orders(orderNo,name,size,fileCout,orderCount,status) "
                                                "VALUES('A','班',1,1,1,'CARTOK'),('B','班',1,1,1,'uploaded')"));
        QVERIFY(execStatement(sharedDatabase(), "INSERT INTO cartPosts VALUES('A','2024-05-01 10:00:00','posted'),"
                                                "('C','2024-05-01 10:00:00','posting')"));
        QCOMPARE(CartPostJournal::settle(), (QHash<QString, QString>()));
        QCOMPARE(journal(), QString());
        QCOMPARE(queryValue("SELECT group_concat(status) FROM (SELECT status FROM orders ORDER BY orderNo)").toString(),
                 QStringLiteral("CARTOK,uploaded"));

        QVERIFY(CartPostJournal::begin({"'A'", "'B'"}, false));
        QVERIFY(!CartPostJournal::begin({"'C'", "'B'"}, false));
        QCOMPARE(journal(), QStringLiteral("A:posting,B:posting"));
        // Repeating a post the operator confirmed.
        QVERIFY(CartPostJournal::begin({"'C'", "'B'"}, true));
        CartPostJournal::abandon({"'A'"});
        QCOMPARE(journal(), QStringLiteral("B:posting,C:posting"));
        QVERIFY(blockCartMarking(true));
        QVERIFY(!CartPostJournal::complete({"'B'"}));
        QCOMPARE(journal(), QStringLiteral("B:posted,C:posting"));
        QVERIFY(blockCartMarking(false));
        QVERIFY(CartPostJournal::complete({"'B'"}));
        QCOMPARE(journal(), QStringLiteral("C:posting"));
        QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='B'").toString(), QStringLiteral("CARTOK"));
    }

    // Lines of one group merge into one item; a PDF is marked as such, and an
    // image without its URL is logged and sent without one.
    void linesOfOneGroupMerge()
    {
        store(orderbuilder::order("M1", QStringLiteral("一班"),
                                  {orderbuilder::line("M1-001", "张三", 210101, 2101, 1, 10)}),
              "http://store/a.jpg");
        store(orderbuilder::order("M2", QStringLiteral("二班"),
                                  {orderbuilder::line("M2-001", "李四", 210102, 2101, 0, 2, 236.5f)}),
              "http://store/b.PDF");
        QVERIFY(execStatement(sharedDatabase(), "UPDATE images SET url=NULL WHERE id=(SELECT max(id) FROM images)"));
        const int before = testlog::lines().size();
        const QHash<int, QJsonObject> items = CartPayload::fetchCartItems("'M1','M2'");
        QCOMPARE(items.keys(), QList<int>{2101});
        const QJsonObject item = items.value(2101);
        QCOMPARE(item.value("spus").toArray().size(), 2);
        const QJsonObject second = item.value("spus").toArray().at(1).toObject();
        // The SKU is the line merged last.
        const QJsonObject expected{{"skuId", 210102},      {"originType", "PCT"}, {"storeId", 20001},
                                   {"spuId", 1001},        {"series", false},     {"memo", "二班-李四"},
                                   {"folderName", "二班"}, {"price", "236.5"},    {"addressId", 30001}};
        for (auto it = expected.begin(); it != expected.end(); ++it)
            QCOMPARE(item.contains(it.key()) ? item.value(it.key()) : second.value(it.key()), it.value());
        const QJsonArray images = second["skus"][0]["images"].toArray();
        QCOMPARE(images.size(), 2);
        QCOMPARE(images.at(0)["specialEffect"], QJsonValue(true));
        QVERIFY(!images.at(0).toObject().contains("imgDetail"));
        QCOMPARE(images.at(1)["url"].toString(), QString());
        QCOMPARE(testlog::texts().mid(before), QStringList{QStringLiteral("图片没上传完，图片路径为空")});
    }

    void pricesAndSizesAsTyped_data()
    {
        QTest::addColumn<float>("value");
        QTest::addColumn<QString>("text");
        QTest::newRow("ten million, no exponent") << 1e7f << "10000000";
        QTest::newRow("million with a fraction") << 1234567.9f << "1234567.9";
        QTest::newRow("integer") << 176.0f << "176";
    }

    void pricesAndSizesAsTyped()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        orderGroup order =
            orderbuilder::order("F", "班", {orderbuilder::line("F-001", "张三", 210101, 2101, 0, 1, value)});
        order.size = text.toDouble();
        store(order, "http://store/f.jpg");

        QCOMPARE(queryValue("SELECT price FROM subOrders").toString(), text);
        QCOMPARE(queryValue("SELECT size FROM orders").toString(), text);

        // A row queued by an older client holds the float widened to double;
        // the cart gets the price as typed all the same.
        QVERIFY(execStatement(
            sharedDatabase(),
            QStringLiteral("UPDATE subOrders SET price='%1'").arg(QString::number(double(value), 'g', 17))));
        QJsonArray items;
        for (const QJsonObject &item : CartPayload::fetchCartItems("'F'"))
            items.append(item);
        QVERIFY(HttpUtils::instance().httpPostArray(Endpoints::cartBatch(), items, HttpUtils::jsonType(), true));
        QCOMPARE(m_backend.control("cart").array().last()["items"][0]["spus"][0]["price"], QJsonValue(text));
    }

private:
    static DatabaseThread &worker() { return DatabaseThread::instance(); }
    static void insertWaitingImages(const QString &orderNo, int count)
    {
        const groupProductImages line =
            orderbuilder::line(orderNo + "-1", QStringLiteral("张三"), 210101, 2101, 0, count);
        QVERIFY(OrderRecords::createOrder(orderbuilder::order(orderNo, QStringLiteral("三年二班"), {line})));
    }
    static QString journal()
    {
        return queryValue(
                   "SELECT group_concat(orderNo || ':' || state) FROM (SELECT * FROM cartPosts ORDER BY orderNo)")
            .toString();
    }
    void store(const orderGroup &order, const QString &url)
    {
        OrderRecords::saveProducts({orderbuilder::product(210101), orderbuilder::product(210102)});
        QVERIFY(OrderRecords::createOrder(order));
        QVERIFY(execStatement(sharedDatabase(),
                              QStringLiteral("UPDATE images SET status='uploaded', url='%1' WHERE orderId='%2'")
                                  .arg(url, order.orderNo)));
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
    QList<int> m_lists; // orders in each list
    QList<QPair<QString, int>> m_counts;
};

QTEST_GUILESS_MAIN(TstOrderRecords)
#include "tst_orderrecords.moc"
