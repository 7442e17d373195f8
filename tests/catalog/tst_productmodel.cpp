#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <QtTest>

#include "catalog/productparser.h"
#include "catalog/productspec.h"
#include "core/apppaths.h"
#include "support/catalogue.h"
#include "support/logfile.h"

// The product model against the numbers the shop works with, and against the
// local backend's catalogue that the demo and the matching tests use.
class TstProductModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void pixelWindows_data();
    void pixelWindows();
    void halfPageDoublesTrimWidth();
    void dictIdSet_data();
    void dictIdSet();
    void seriesSetPrice_data();
    void seriesSetPrice();
    void missingKeysReadAsDefaults();
    void kinds();
    void candidatesFollowChoices();
    void groupListFillsGeometry();
    void failedGroupListLeavesGeometryEmpty();
    void specification_data();
    void specification();
    void goldStampStopsSpecification();

private:
    QJsonObject productData(qint32 id) const;
    QJsonObject groupListAnswer(qint32 groupId) const;
    spuMess productWithGeometry(qint32 id) const;

    Catalogue m_catalogue;
    QTemporaryDir m_dir;
};

void TstProductModel::initTestCase()
{
    AppPaths::setAppDataDir(m_dir.path());
    QVERIFY(m_catalogue.load());
}

QJsonObject TstProductModel::productData(qint32 id) const
{
    return m_catalogue.productData(id);
}

QJsonObject TstProductModel::groupListAnswer(qint32 groupId) const
{
    return m_catalogue.groupListAnswer(groupId);
}

spuMess TstProductModel::productWithGeometry(qint32 id) const
{
    return m_catalogue.product(id);
}

void TstProductModel::pixelWindows_data()
{
    QTest::addColumn<float>("totalMm");
    QTest::addColumn<int>("dpi");
    QTest::addColumn<int>("min");
    QTest::addColumn<int>("max");
    QTest::newRow("216 mm at 300") << 216.0f << 300 << 2545 << 2558;
    QTest::newRow("216 mm at 254") << 216.0f << 254 << 2155 << 2166;
    QTest::newRow("406 mm spread at 300") << 406.0f << 300 << 4789 << 4802;
    QTest::newRow("206 mm at 254") << 206.0f << 254 << 2055 << 2066;
    QTest::newRow("131 mm frame at 300") << 131.0f << 300 << 1541 << 1554;
}

void TstProductModel::pixelWindows()
{
    QFETCH(float, totalMm);
    QFETCH(int, dpi);
    QTEST(composeSizeMess::windowMin(totalMm, dpi), "min");
    QTEST(composeSizeMess::windowMax(totalMm, dpi), "max");
}

void TstProductModel::halfPageDoublesTrimWidth()
{
    const QJsonObject size{{"sizeWidth", 200}, {"sizeHeight", 200},
                           {"spuBleedDTO", QJsonObject{{"bleedLeft", 3}, {"bleedRight", 3}, {"bleedTop", 3},
                                                       {"bleedBottom", 3}, {"bleedIn", 2}}},
                           {"spuPageName", QJsonObject{{"templatePropertyCode", "HALF_PAGE"}, {"pageTypeCode", "TEXT"}}}};
    const QJsonArray areas{QJsonObject{{"pageTypeCode", "COVER"}, {"areaLeft", 9}},
                           QJsonObject{{"pageTypeCode", "TEXT"}, {"areaLeft", 1}, {"areaRight", 2}, {"areaTop", 4}}};
    const composeSizeMess cs = ProductParser::parseComposeSize(size, areas, 254, 300);
    QCOMPARE(cs.sizeWidth, 400.0f);
    QCOMPARE(cs.totalWidth, 406.0f);  // bleedIn is shown, not added
    QCOMPARE(cs.totalHeight, 206.0f);
    QCOMPARE(cs.areaWidth, 409.0f);
    QCOMPARE(cs.areaHeight, 210.0f);
    QCOMPARE(cs.minWidth2, 4789);
    QCOMPARE(cs.maxWidth2, 4802);
    QCOMPARE(cs.minHeight1, 2055);

    QJsonObject full = size;
    full["spuPageName"] = QJsonObject{{"templatePropertyCode", "FULL_PAGE"}, {"pageTypeCode", "TEXT"}};
    QCOMPARE(ProductParser::parseComposeSize(full, areas, 254, 300).totalWidth, 206.0f);
}

void TstProductModel::dictIdSet_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QList<int>>("flat");  // id, value, id, value ...
    QTest::newRow("pair and a lone id") << "3:12;5" << QList<int>{3, 12};
    QTest::newRow("two pairs") << "11:111;12:122" << QList<int>{11, 111, 12, 122};
    QTest::newRow("empty") << "" << QList<int>{};
    QTest::newRow("trailing separator") << "7:70;" << QList<int>{7, 70};
}

void TstProductModel::dictIdSet()
{
    QFETCH(QString, text);
    QFETCH(QList<int>, flat);
    QList<int> got;
    const QMap<qint32, qint32> ids = skuGroupMess::parseDictIdSet(text);
    for (auto it = ids.begin(); it != ids.end(); ++it)
        got << it.key() << it.value();
    QCOMPARE(got, flat);
}

void TstProductModel::seriesSetPrice_data()
{
    QTest::addColumn<bool>("startupsSpu");
    QTest::addColumn<int>("startups");
    QTest::addColumn<QString>("storeType");
    QTest::addColumn<double>("price");
    // startupsBasePagePrice 239, onlineSalePrice 329, basePagePrice 299
    QTest::newRow("wedding store in start-up pricing") << true << 1 << "WEDDINGDRESS" << 239.0;
    QTest::newRow("later stage ignores startupsSpu") << false << 0 << "LATERSTAGE" << 239.0;
    QTest::newRow("later stage with startupsSpu") << true << 0 << "LATERSTAGE" << 239.0;
    QTest::newRow("ordinary store online price") << false << 0 << "PHOTO" << 329.0;
    QTest::newRow("wedding store not in start-ups") << false << 0 << "WEDDINGDRESS" << 299.0;
    QTest::newRow("ordinary store, start-up product") << true << 1 << "PHOTO" << 299.0;
}

void TstProductModel::seriesSetPrice()
{
    QFETCH(bool, startupsSpu);
    QFETCH(int, startups);
    QFETCH(QString, storeType);
    const QJsonObject seriesSku{{"startupsSpu", startupsSpu}, {"startupsBasePagePrice", 239},
                                {"onlineSalePrice", 329}, {"basePagePrice", 299}};
    QTEST(ProductParser::seriesSetPrice(seriesSku, StoreTerms{startups, storeType}), "price");

    // The same through a whole series product.
    QJsonObject data = productData(1005);
    QJsonArray groups = data["skuGroupList"].toArray();
    QJsonObject group = groups.at(0).toObject();
    QJsonArray skuList = group["skuList"].toArray();
    QJsonObject head = skuList.at(0).toObject();
    for (auto it = seriesSku.begin(); it != seriesSku.end(); ++it)
        head[it.key()] = it.value();
    skuList[0] = head;
    group["skuList"] = skuList;
    groups[0] = group;
    data["skuGroupList"] = groups;
    const spuMess spu = ProductParser::parseProduct(data, StoreTerms{startups, storeType});
    QTEST(spu.groupsById.value(3101).price, "price");
}

void TstProductModel::missingKeysReadAsDefaults()
{
    const skuMess sku = ProductParser::parseSku(QJsonObject{{"id", "12"}, {"basePage", 10.7}, {"skuFrontName", 5}});
    QCOMPARE(sku.id, 0);
    QCOMPARE(sku.basePage, 10);
    QCOMPARE(sku.skuFrontName, QString());
    QCOMPARE(sku.basePagePrice, 0.0f);
    QVERIFY(sku.noQrCode);
    QVERIFY(!sku.specialLayout);
    QVERIFY(sku.text.isEmpty());
    QCOMPARE(skuMess::pageList(20, 24, 2), QStringLiteral("20P,22P,24P,"));
    QCOMPARE(skuMess::pageList(1, 1, 0), QStringLiteral("1P,"));

    const spuMess empty = ProductParser::parseProduct(QJsonObject(), StoreTerms());
    QVERIFY(empty.groupsById.isEmpty());
    QVERIFY(empty.candidateGroups.isEmpty());
}

void TstProductModel::kinds()
{
    QCOMPARE(ProductParser::parseProduct(productData(1001), {}).kind(), ProductKind::Album);
    QCOMPARE(ProductParser::parseProduct(productData(1003), {}).kind(), ProductKind::FrameOrStage);
    QCOMPARE(ProductParser::parseProduct(productData(1004), {}).kind(), ProductKind::FrameOrStage);
    QCOMPARE(ProductParser::parseProduct(productData(1005), {}).kind(), ProductKind::Series);
    QCOMPARE(int(ProductKind::Series), 3);
}

void TstProductModel::candidatesFollowChoices()
{
    spuMess spu = ProductParser::parseProduct(productData(1001), {});
    QCOMPARE(spu.dicts.size(), 2);
    QVERIFY(spu.candidateGroups.isEmpty());

    spu.dicts[11].selectedValue = 111;  // 8寸, cover not chosen yet
    spu.updateCandidates();
    QVERIFY(spu.candidateGroups.isEmpty());
    QCOMPARE(spu.currentGroup.id, 0);

    spu.dicts[12].selectedValue = 122;  // crystal
    spu.updateCandidates();
    QCOMPARE(spu.candidateGroups.size(), 1);
    QCOMPARE(spu.currentGroup.id, 2102);
    QCOMPARE(spu.currentGroup.skus.keys(), (QList<qint32>{210201, 210202}));

    // Without properties every group is a candidate; a series keeps them all.
    const spuMess series = ProductParser::parseProduct(productData(1005), {});
    QCOMPARE(series.candidateGroups.size(), 2);
    QCOMPARE(series.currentGroup.id, 3101);
    QCOMPARE(series.currentGroup.seriesSkuId, 310100);
    QCOMPARE(series.currentGroup.skus.size(), 2);
    QCOMPARE(series.currentGroup.skus.value(310102).other.totalWidth, 182.0f);
}

void TstProductModel::groupListFillsGeometry()
{
    const spuMess spu = productWithGeometry(1001);
    const skuMess leather8 = spu.groupsById.value(2101).skus.value(210101);
    QCOMPARE(leather8.cover.totalWidth, 446.0f);
    QCOMPARE(leather8.cover.totalHeight, 236.0f);
    QCOMPARE(leather8.text.totalWidth, 406.0f);
    QVERIFY(leather8.other.isEmpty());
    QVERIFY(leather8.noQrCode);
    QCOMPARE(leather8.coverPdfPage, QStringLiteral("1"));
    QVERIFY(!spu.groupsById.value(2103).skus.value(210301).noQrCode);

    const skuMess frame = productWithGeometry(1003).groupsById.value(2301).skus.value(230101);
    QCOMPARE(frame.otherPageType, QStringLiteral("SINGLE"));
    QCOMPARE(frame.other.totalWidth, 182.0f);
    QCOMPARE(productWithGeometry(1007).groupsById.value(2701).skus.value(270101).isBase, true);
}

void TstProductModel::failedGroupListLeavesGeometryEmpty()
{
    spuMess spu = ProductParser::parseProduct(productData(1001), {});
    skuGroupMess group = spu.groupsById.value(2101);
    QJsonObject answer = groupListAnswer(2101);
    answer["code"] = 500;
    QVERIFY(!ProductParser::applyGroupList(group, answer, 254, 300));
    QVERIFY(group.skus.value(210101).text.isEmpty());
    QVERIFY(testlog::lines().last().endsWith(QStringLiteral("[warning] 接口调用失败")));

    answer = groupListAnswer(2101);
    answer["success"] = false;
    QVERIFY(!ProductParser::applyGroupList(group, answer, 254, 300));
}

void TstProductModel::specification_data()
{
    QTest::addColumn<int>("spuId");
    QTest::addColumn<int>("groupId");
    QTest::addColumn<QStringList>("lines");

    const QString res = QStringLiteral("支持分辨率: 300，254像素/英寸   色彩模式: RGB");
    QTest::newRow("album with cover and spreads")
        << 1001 << 2101
        << QStringList{res + "  封面尺寸: 446*236mm(含出血)  出血(mm): 上(15)下(15)左(15)右(15)内(0)"
                             "  设计尺寸: 406*206mm(含出血)  出血(mm): 上(3)下(3)左(3)右(3)内(0)"
                             " 支持P数:10P,12P,14P,16P,18P,20P,22P,24P,26P,28P,30P,"};
    QTest::newRow("special first and last pages")
        << 1002 << 2201
        << QStringList{res + "  封面尺寸: 446*236mm(含出血)  出血(mm): 上(15)下(15)左(15)右(15)内(0)"
                             "  首尾页尺寸: 203*206mm(含出血)"
                             "  设计尺寸: 406*206mm(含出血)  出血(mm): 上(3)下(3)左(3)右(3)内(0)"
                             " 支持P数:10P,12P,14P,16P,18P,20P,22P,24P,26P,28P,30P,"};
    QTest::newRow("frame single page")
        << 1003 << 2301
        << QStringList{res + "  单页尺寸: 182*131mm(含出血)  出血(mm): 上(2)下(2)左(2)右(2)内(0) 支持P数:1P,"};
    QTest::newRow("series members")
        << 1005 << 3101
        << QStringList{"规格: 8寸相册 10-20P   支持P数:10P,12P,14P,16P,18P,20P,   " + res
                           + "  封面尺寸: 446*236mm(含出血)  出血(mm): 上(15)下(15)左(15)右(15)内(0)"
                             "  内页尺寸: 406*206mm(含出血)  出血(mm): 上(3)下(3)左(3)右(3)内(0)",
                       "规格: 7寸摆台   支持P数:1P,   " + res
                           + "  单页尺寸: 182*131mm(含出血)  出血(mm): 上(2)下(2)左(2)右(2)内(0)"};
}

void TstProductModel::specification()
{
    QFETCH(int, spuId);
    QFETCH(int, groupId);
    const spuMess spu = productWithGeometry(spuId);
    const ProductSpecText spec = ProductSpec::build(spu, spu.groupsById.value(groupId));
    QVERIFY(!spec.goldStamp);
    QTEST(spec.lines, "lines");
}

void TstProductModel::goldStampStopsSpecification()
{
    const spuMess spu = productWithGeometry(1006);
    const ProductSpecText spec = ProductSpec::build(spu, spu.groupsById.value(2601));
    QVERIFY(spec.goldStamp);
    QCOMPARE(spec.goldStampSkuId, 260101);
    QVERIFY(spec.lines.isEmpty());
    QCOMPARE(ProductSpec::number(412.5f), QStringLiteral("412.5"));
}

QTEST_GUILESS_MAIN(TstProductModel)
#include "tst_productmodel.moc"
