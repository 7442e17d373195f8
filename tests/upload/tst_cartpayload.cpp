#include <QtTest>

#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/queryvalue.h"
#include "upload/cartpayload.h"
#include "upload/orderrecords.h"

class TstCartPayload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"imageHost", "https://img.shop.test"}}));
        QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
        VellRuntime::instance().setStoreInfo(QJsonObject{{"addressId", 30001}});
        OrderRecords::saveProducts({orderbuilder::product(210101), orderbuilder::product(210102)});
    }

    void init() { QVERIFY(clearQueue()); }

    // Lines of one group merge into one item; a PDF is marked as such, and an
    // image without its URL is logged and sent without one.
    void linesOfOneGroupMerge()
    {
        store(orderbuilder::order("M1", QStringLiteral("一班"),
                                  {orderbuilder::line("M1-001", "张三", 210101, 2101, 1, 10)}),
              "http://store/a.jpg");
        store(orderbuilder::order("M2", QStringLiteral("二班"),
                                  {orderbuilder::line("M2-001", "李四", 210102, 2101, 0, 2, 0, 236.5f)}),
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
        QTest::newRow("198.9") << 198.9f << "198.9";
        QTest::newRow("ten million, no exponent") << 1e7f << "10000000";
        QTest::newRow("million with a fraction") << 1234567.9f << "1234567.9";
        QTest::newRow("integer") << 176.0f << "176";
        QTest::newRow("zero") << 0.0f << "0";
    }

    void pricesAndSizesAsTyped()
    {
        QFETCH(float, value);
        QFETCH(QString, text);
        orderGroup order =
            orderbuilder::order("F", "班", {orderbuilder::line("F-001", "张三", 210101, 2101, 0, 1, 0, value)});
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
    void store(const orderGroup &order, const QString &url)
    {
        QVERIFY(OrderRecords::createOrder(order));
        QVERIFY(execStatement(sharedDatabase(),
                              QStringLiteral("UPDATE images SET status='uploaded', url='%1' WHERE orderId='%2'")
                                  .arg(url, order.orderNo)));
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
};

QTEST_GUILESS_MAIN(TstCartPayload)
#include "tst_cartpayload.moc"
