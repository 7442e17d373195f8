#include <limits>

#include <QJsonArray>
#include <QTemporaryDir>
#include <QtTest>

#include "catalog/productparser.h"
#include "catalog/productspec.h"
#include "core/apppaths.h"
#include "support/catalogue.h"
#include "support/logfile.h"

namespace {
// `root` with the value at `path` (keys and array indexes) replaced by
// `value`, or removed when `value` is undefined; an empty path replaces all.
QJsonValue patched(const QJsonValue &root, QStringList path, const QJsonValue &value)
{
    if (path.isEmpty())
        return value;
    const QString step = path.takeFirst();
    if (root.isArray()) {
        QJsonArray array = root.toArray();
        array[step.toInt()] = patched(array.at(step.toInt()), path, value);
        return array;
    }
    QJsonObject object = root.toObject();
    if (path.isEmpty() && value.isUndefined())
        object.remove(step);
    else
        object[step] = patched(object.value(step), path, value);
    return object;
}
} // namespace

// The product model against the numbers the shop works with, and against the
// local backend's catalogue that the demo and the matching tests use.
class TstProductModel : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AppPaths::setAppDataDir(m_dir.path());
        QVERIFY(m_catalogue.load());
    }

    void dictIdSet()
    {
        // Pairs of property and value; a lone id and a trailing separator add nothing.
        QCOMPARE(skuGroupMess::parseDictIdSet("3:12;5;7:70;"), (QMap<qint32, qint32>{{3, 12}, {7, 70}}));
        QVERIFY(skuGroupMess::parseDictIdSet(QString()).isEmpty());
    }

    void candidatesFollowChoices()
    {
        spuMess spu = ProductParser::parseProduct(m_catalogue.productData(1001), {});
        spu.dicts[11].selectedValue = 111; // 8寸, cover not chosen yet
        spu.updateCandidates();
        QVERIFY(spu.candidateGroups.isEmpty());
        QCOMPARE(spu.currentGroup.id, 0);

        spu.dicts[12].selectedValue = 122; // crystal
        spu.updateCandidates();
        QCOMPARE(spu.candidateGroups.size(), 1);
        QCOMPARE(spu.currentGroup.skus.keys(), (QList<qint32>{210201, 210202}));

        // Without properties every group is a candidate; a series keeps them all.
        const spuMess series = ProductParser::parseProduct(m_catalogue.productData(1005), {});
        QCOMPARE(series.candidateGroups.size(), 2);
        QCOMPARE(series.currentGroup.id, 3101);
    }

    void sizeLines_data()
    {
        QTest::addColumn<int>("spuId");
        QTest::addColumn<int>("groupId");
        QTest::addColumn<QStringList>("lines");

        const QString res = QStringLiteral("支持分辨率: 300，254像素/英寸   色彩模式: RGB");
        const QString cover = QStringLiteral("  封面尺寸: 446*236mm(含出血)  出血(mm): 上(15)下(15)左(15)右(15)内(0)");
        const QString spread = QStringLiteral("尺寸: 406*206mm(含出血)  出血(mm): 上(3)下(3)左(3)右(3)内(0)");
        const QString single = QStringLiteral("  单页尺寸: 182*131mm(含出血)  出血(mm): 上(2)下(2)左(2)右(2)内(0)");
        const QString album8 = res + cover + "  设计" + spread + " 支持P数:";
        QTest::newRow("album, one line per SKU")
            << 1001 << 2101 << QStringList{album8 + "10P,12P,14P,16P,18P,20P,", album8 + "22P,24P,26P,28P,30P,"};
        QTest::newRow("special first and last pages")
            << 1002 << 2201
            << QStringList{res + cover + "  首尾页尺寸: 203*206mm(含出血)  设计" + spread
                           + " 支持P数:10P,12P,14P,16P,18P,20P,22P,24P,26P,28P,30P,"};
        QTest::newRow("frame single page") << 1003 << 2301 << QStringList{res + single + " 支持P数:1P,"};
        QTest::newRow("series members") << 1005 << 3101
                                        << QStringList{"规格: 8寸相册 10-20P   支持P数:10P,12P,14P,16P,18P,20P,   "
                                                           + res + cover + "  内页" + spread,
                                                       "规格: 7寸摆台   支持P数:1P,   " + res + single};
    }

    void sizeLines()
    {
        QFETCH(int, spuId);
        QFETCH(int, groupId);
        const spuMess spu = m_catalogue.product(spuId);
        const ProductSpecText spec = ProductSpec::build(spu, spu.groupsById.value(groupId));
        QTEST(spec.lines, "lines");
    }

    void pageRanges_data()
    {
        QTest::addColumn<int>("base");
        QTest::addColumn<int>("max");
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("list");
        const int limit = std::numeric_limits<qint32>::max();
        QTest::newRow("20 to 24 by 2") << 20 << 24 << 2 << "20P,22P,24P,";
        QTest::newRow("fixed count without a step") << 1 << 1 << 0 << "1P,";
        QTest::newRow("step past the end") << 10 << 20 << limit << "10P,";
        QTest::newRow("the most pages") << 999 << 1000 << 1 << "999P,1000P,";
        QTest::newRow("one page too many") << 1 << 1001 << 1000 << "";
        QTest::newRow("basePage above maxPage") << 30 << 20 << 2 << "";
        QTest::newRow("step 0") << 10 << 20 << 0 << "";
        QTest::newRow("negative step") << 10 << 20 << -2 << "";
        QTest::newRow("no pages") << 0 << 0 << 0 << "";
    }

    void pageRanges()
    {
        QFETCH(int, base);
        QFETCH(int, max);
        QFETCH(int, step);
        QFETCH(QString, list);
        QCOMPARE(skuMess::pageList(base, max, step), list);
        skuMess sku;
        sku.basePage = base;
        sku.maxPage = max;
        sku.baseStep = step;
        QCOMPARE(sku.rangeProblem().isEmpty(), !list.isEmpty());
    }

    // Data the client cannot work with is refused whole, with what is wrong;
    // valid data is read by every test that queries a product.
    void malformedProduct_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<QString>("problem");
        const QString sku = QStringLiteral("skuGroupList/0/skuList/0/");
        QTest::newRow("data null") << "" << QJsonValue() << "data 不是对象: null";
        QTest::newRow("skuGroupList an object")
            << "skuGroupList" << QJsonValue(QJsonObject{{"id", 1}}) << "skuGroupList 不是数组: {\"id\":1}";
        QTest::newRow("no groups") << "skuGroupList" << QJsonValue(QJsonArray()) << "没有SKU组";
        QTest::newRow("group id as string") << "skuGroupList/0/id" << QJsonValue("2101") << "SKU组的 id 不对: {";
        QTest::newRow("skuList null") << "skuGroupList/0/skuList" << QJsonValue() << "SKU组 2101 的 skuList 不是数组";
        QTest::newRow("sku id as string") << sku + "id" << QJsonValue("210101") << "SKU组 2101 中SKU的 id 不对: {";
        QTest::newRow("sku a number") << sku.chopped(1) << QJsonValue(7) << "SKU组 2101 中SKU的 id 不对: 7";
        QTest::newRow("basePage missing") << sku + "basePage" << QJsonValue(QJsonValue::Undefined) << "起始0P";
    }

    void malformedProduct()
    {
        QFETCH(QString, path);
        QFETCH(QJsonValue, value);
        QFETCH(QString, problem);
        const QJsonValue data = patched(m_catalogue.productData(1001),
                                        path.isEmpty() ? QStringList() : path.split(QLatin1Char('/')), value);
        spuMess spu;
        spu.spuName = QStringLiteral("kept");
        QString text;
        const int logSeen = testlog::texts().size();
        QVERIFY(!ProductParser::readProduct(data, StoreTerms(), &spu, &text));
        QCOMPARE(spu.spuName, QStringLiteral("kept"));
        QVERIFY2(text.startsWith(QStringLiteral("产品数据有误，请联系客服: ")) && text.contains(problem),
                 qPrintable(text));
        QCOMPARE(testlog::texts().mid(logSeen), QStringList{text});
    }

private:
    Catalogue m_catalogue;
    QTemporaryDir m_dir;
};

QTEST_GUILESS_MAIN(TstProductModel)
#include "tst_productmodel.moc"
