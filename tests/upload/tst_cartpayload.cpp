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
    void storedPayload();
    void linesOfOneGroupMerge();
    void coverAndPagesInOneBlock();
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

void TstCartPayload::storedPayload()
{
    groupProductImages album = orderbuilder::line("S-001", QStringLiteral("张三"), 210101, 2101, 1, 2);
    album.matched[210101].innerImages[1].IsRotate = 90;
    const groupProductImages frame = orderbuilder::line("S-002", QStringLiteral("李四"), 230101, 2301, 0, 0, 1);
    const QJsonArray payload = CartPayload::buildStoredPayload(orderbuilder::order("S", "班", {album, frame}));
    QCOMPARE(payload.size(), 2);

    const QJsonObject line = payload.at(0).toObject();
    QCOMPARE(line.value("addressId").toInt(), 30001);
    QCOMPARE(line.value("storeId").toInt(), 20001);
    QCOMPARE(line.value("channel").toString(), QStringLiteral("B2B"));
    QCOMPARE(line.value("memo").toString(), QStringLiteral("张三"));
    QCOMPARE(line.value("spuId").toInt(), 1001);
    QCOMPARE(line.value("skuId").toInt(), 210101);
    QCOMPARE(line.value("skuGroupId").toInt(), 2101);
    QCOMPARE(line.value("series"), QJsonValue(false));
    QCOMPARE(line.value("spuType"), QJsonValue(true));
    QCOMPARE(line.value("normal"), QJsonValue(false));
    QCOMPARE(line.value("sample"), QJsonValue(false));
    QCOMPARE(line.value("quantity").toInt(), 1);

    // The inner pages only, typed TEXT, with the placeholder address.
    const QJsonObject block = line.value("skus").toArray().at(0).toObject();
    QCOMPARE(block.value("skuId").toInt(), 210101);
    QCOMPARE(block.value("page").toInt(), 2);
    const QJsonObject second = block.value("images").toArray().at(1).toObject();
    QCOMPARE(second.value("type").toString(), QStringLiteral("TEXT"));
    QCOMPARE(second.value("sort").toInt(), 1);
    QCOMPARE(second.value("rotate").toInt(), 90);
    QCOMPARE(second.value("itemType").toString(), QStringLiteral("CUSTOM"));
    QCOMPARE(second.value("url").toString(),
             QStringLiteral("https://img.shop.test/normal-order-image/10001/5f284fbbf9f10951a69a539fa550b03e.jpg"));
    QCOMPARE(second.value("imgDetail").toObject().value("width").toInt(), 4795);
    QCOMPARE(second.value("imgDetail").toObject().value("color").toString(), QStringLiteral("3"));

    const QJsonObject single = payload.at(1).toObject().value("skus").toArray().at(0).toObject();
    QCOMPARE(single.value("images").toArray().at(0).toObject().value("type").toString(), QStringLiteral("SINGLE"));

    // An entry without pages: empty images and no page count.
    groupProductImages empty = orderbuilder::line("S-003", "王五", 1, 2, 1, 0);
    const QJsonObject emptyBlock =
        CartPayload::buildStoredPayload(orderbuilder::order("S", "班", {empty})).at(0).toObject().value("skus").toArray().at(0).toObject();
    QVERIFY(emptyBlock.value("images").toArray().isEmpty());
    QVERIFY(!emptyBlock.contains("page"));
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

void TstCartPayload::coverAndPagesInOneBlock()
{
    store(orderbuilder::order("B", "班", {orderbuilder::line("B-001", "张三", 210101, 2101, 1, 2)}), "http://store/p.jpg");
    const QJsonObject line = CartPayload::fetchCartItems("'B'").value(2101).value("spus").toArray().at(0).toObject();
    const QJsonArray skus = line.value("skus").toArray();
    QCOMPARE(skus.size(), 1);
    const QJsonObject block = skus.at(0).toObject();
    QCOMPARE(block.value("skuId").toInt(), 210101);
    QCOMPARE(block.value("images").toArray().size(), 3);
    QCOMPARE(block.value("page").toInt(), 2);
    const QJsonObject cover = block.value("images").toArray().at(0).toObject();
    QCOMPARE(cover.value("type").toString(), QStringLiteral("COVER"));
    QCOMPARE(cover.value("url").toString(), QStringLiteral("http://store/p.jpg"));
    QCOMPARE(cover.value("specialEffect"), QJsonValue(false));
    QCOMPARE(cover.value("imgDetail").toObject().value("xdpi").toInt(), 300);
    QCOMPARE(cover.value("specialLayoutWhitePagePosition").toString(), QStringLiteral("LEFT"));
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
