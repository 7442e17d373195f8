#include <QJsonDocument>
#include <QtTest>

#include "core/configfile.h"
#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "upload/cartpayload.h"
#include "upload/orderrecords.h"

class TstCartPayload : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void linesOfOneGroupMerge();
    void pdfAndMissingUrl();

private:
    void store(const orderGroup &order, const QString &url);

    ClientEnvironment m_env;
};

void TstCartPayload::initTestCase()
{
    QVERIFY(m_env.setUp(QJsonObject{{"imageHost", "https://img.shop.test"}}));
    VellRuntime::instance().applyLogin(QJsonObject{{"userId", 10001}, {"storeId", 20001}}, "13800000001", "pw");
    VellRuntime::instance().setStoreInfo(QJsonObject{{"addressId", 30001}});
    productRecord p;
    p.spuId = 1001;
    p.skuGroupId = 2101;
    p.priceText = QStringLiteral("198.00");
    for (qint32 sku : {210101, 210102}) {
        p.skuId = sku;
        OrderRecords::saveProducts({p});
    }
    p.skuId = 310100;
    p.skuGroupId = 3101;
    p.spuId = 1005;
    p.isSeries = true;
    OrderRecords::saveProducts({p});
}

void TstCartPayload::init()
{
    for (const char *table : {"orders", "subOrders", "images"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
}

void TstCartPayload::store(const orderGroup &order, const QString &url)
{
    QVERIFY(OrderRecords::createOrder(order));
    QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE images SET status='uploaded', url='%1' WHERE orderId='%2'")
                                                .arg(url, order.orderNo)));
}

void TstCartPayload::linesOfOneGroupMerge()
{
    store(orderbuilder::order("M1", QStringLiteral("一班"), {orderbuilder::line("M1-001", "张三", 210101, 2101, 1, 10)}),
          "http://store/a.jpg");
    store(orderbuilder::order("M2", QStringLiteral("二班"), {orderbuilder::line("M2-001", "李四", 210102, 2101, 1, 22, 0, 236.5f)}),
          "http://store/b.jpg");
    const QHash<int, QJsonObject> items = CartPayload::fetchCartItems("'M1','M2'");
    QCOMPARE(items.keys(), QList<int>{2101});
    const QJsonObject item = items.value(2101);
    QCOMPARE(item.value("spus").toArray().size(), 2);
    QCOMPARE(item.value("skuId").toInt(), 210102);  // the line merged last
    QCOMPARE(item.value("originType").toString(), QStringLiteral("PCT"));
    QCOMPARE(item.value("storeId").toInt(), 20001);
    QCOMPARE(item.value("spuId").toInt(), 1001);
    QCOMPARE(item.value("series"), QJsonValue(false));
    const QJsonObject second = item.value("spus").toArray().at(1).toObject();
    QCOMPARE(second.value("memo").toString(), QStringLiteral("二班-李四"));
    QCOMPARE(second.value("folderName").toString(), QStringLiteral("二班"));
    QCOMPARE(second.value("price").toString(), QStringLiteral("236.5"));
    QCOMPARE(second.value("addressId").toInt(), 30001);
}

void TstCartPayload::pdfAndMissingUrl()
{
    store(orderbuilder::order("P", "班", {orderbuilder::line("P-001", "张三", 210101, 2101, 0, 2)}), "http://store/x.PDF");
    QVERIFY(execStatement(sharedDatabase(), "UPDATE images SET url=NULL WHERE id=(SELECT max(id) FROM images)"));
    const int before = testlog::lines().size();
    const QJsonArray images =
        CartPayload::fetchCartItems("'P'").value(2101).value("spus").toArray().at(0).toObject().value("skus")
            .toArray().at(0).toObject().value("images").toArray();
    QCOMPARE(images.size(), 2);
    QCOMPARE(images.at(0).toObject().value("specialEffect"), QJsonValue(true));
    QVERIFY(!images.at(0).toObject().contains("imgDetail"));
    QCOMPARE(images.at(1).toObject().value("url").toString(), QString());
    QCOMPARE(testlog::texts().mid(before), QStringList{QStringLiteral("图片没上传完，图片路径为空")});
}

QTEST_GUILESS_MAIN(TstCartPayload)
#include "tst_cartpayload.moc"
