#include <QTemporaryDir>
#include <QtTest>

#include "core/apppaths.h"
#include "intake/pagematcher.h"
#include "support/catalogue.h"
#include "support/orderbuilder.h"

namespace {

composeSizeMess geometry(float wMm, float hMm, const QString &type = QStringLiteral("TEXT"))
{
    composeSizeMess cs;
    cs.pageTypeCode = type;
    cs.sizeWidth = cs.totalWidth = wMm;
    cs.sizeHeight = cs.totalHeight = hMm;
    cs.computeWindows(254, 300);
    return cs;
}

imgMess page(int w, int h, int dpi = 300, int rotation = 0)
{
    imgMess m = orderbuilder::image(QStringLiteral("p"), QString(), w, h);
    m.xdpi = m.ydpi = dpi;
    m.IsRotate = rotation;
    return m;
}

// An album SKU: 406x206 mm spreads, 446x236 mm cover.
skuMess albumSku(qint32 id, qint32 base, qint32 max, qint32 step)
{
    skuMess sku;
    sku.id = id;
    sku.basePage = base;
    sku.maxPage = max;
    sku.baseStep = step;
    sku.coverPage = 1;
    sku.text = geometry(406, 206);
    sku.cover = geometry(446, 236, QStringLiteral("COVER"));
    sku.basePagePrice = 100;
    sku.baseStepPrice = 8;
    sku.onlineBaseStepPrice = 9;
    sku.startupsBasePagePrice = 80;
    sku.startupsBaseStepPrice = 6;
    return sku;
}

// A product whose groups (ids 3, 4, ...) each hold one list of `groups`.
spuMess product(const QList<QList<skuMess>> &groups, const QString &type = QStringLiteral("ALBUM"), bool series = false)
{
    spuMess spu;
    spu.spuType = type;
    spu.isSeries = series;
    for (int i = 0; i < groups.size(); ++i) {
        skuGroupMess group;
        group.id = 3 + i;
        group.isSeries = series;
        group.seriesSkuId = series ? 300 + 100 * i : 0;
        group.price = 299;
        for (const skuMess &s : groups.at(i))
            group.skus.insert(s.id, s);
        spu.groupsById.insert(group.id, group);
    }
    spu.updateCandidates();
    return spu;
}

subOrderImages album(int covers, int inner)
{
    subOrderImages sub;
    sub.name = QStringLiteral("张三");
    for (int i = 0; i < covers; ++i)
        sub.addCover(page(5268, 2787));
    for (int i = 0; i < inner; ++i)
        sub.addInner(page(4795, 2433));
    return sub;
}

QString stateOf(const spuMess &spu, const subOrderImages &sub)
{
    groupProductImages order;
    PageMatcher(spu, StoreTerms()).match(order, {sub});
    return order.matchStateText();
}

} // namespace

// The matching rules on hand-made records and the catalogue's frame: no files are read.
class TstPageMatcher : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        AppPaths::setAppDataDir(m_dir.path());
        QVERIFY(m_catalogue.load());
    }

    void pageCount_data()
    {
        QTest::addColumn<int>("covers");
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("state");
        QTest::newRow("no cover") << 0 << 22 << QStringLiteral("封皮P数不对");
        QTest::newRow("21 pages") << 1 << 21 << QStringLiteral("产品P数不对");
        QTest::newRow("20 pages, the base") << 1 << 20 << QStringLiteral("匹配成功");
        QTest::newRow("40 pages, the maximum") << 1 << 40 << QStringLiteral("匹配成功");
        QTest::newRow("42 pages") << 1 << 42 << QStringLiteral("产品P数不对");
        QTest::newRow("18 pages") << 1 << 18 << QStringLiteral("产品P数不对");
    }

    void pageCount()
    {
        QFETCH(int, covers);
        QFETCH(int, pages);
        QTEST(stateOf(product({{albumSku(11, 20, 40, 2)}}), album(covers, pages)), "state");
        if (covers != 1)
            return;
        // With isBase the cover counts as a page.
        skuMess base = albumSku(12, 20, 40, 2);
        base.isBase = true;
        base.cover = base.text;
        subOrderImages sub = album(0, pages - 1);
        sub.addCover(page(4795, 2433));
        QTEST(stateOf(product({{base}}), sub), "state");
    }

    void innerSizeTolerance()
    {
        // Spreads 2433 px high of these widths after one cover.
        const auto spreads = [](std::initializer_list<int> widths) {
            subOrderImages sub = album(1, 0);
            for (int w : widths)
                sub.addInner(page(w, 2433));
            return sub;
        };
        // One size: only the first page is measured, so a page 4 px wider passes
        // even past the window; checked one by one, the same page fails.
        const spuMess spu = product({{albumSku(11, 2, 10, 1)}});
        QCOMPARE(stateOf(spu, spreads({4798, 4802})), QStringLiteral("匹配成功"));
        QCOMPARE(stateOf(spu, spreads({4797, 4802})), QStringLiteral("图片尺寸有误"));

        // Rotated pages are compared upright.
        subOrderImages turned = album(1, 0);
        turned.addInner(page(2433, 4795, 300, 90));
        turned.addInner(page(4795, 2433));
        QVERIFY(!turned.innerSizesDiffer);
    }

    // A 182x131 mm frame: portrait pixels are turned onto the landscape geometry.
    void frameRotation_data()
    {
        QTest::addColumn<QSize>("pixels");
        QTest::addColumn<int>("rotation");
        QTest::addColumn<QString>("result"); // the state, and the rotation sent when matched
        QTest::newRow("portrait") << QSize(1547, 2150) << 0 << "匹配成功 90";
        QTest::newRow("portrait upside down") << QSize(1547, 2150) << 180 << "匹配成功 270";
        QTest::newRow("landscape turned left") << QSize(2150, 1547) << 270 << "匹配成功 0";
        QTest::newRow("too small") << QSize(800, 600) << 0 << "图片尺寸有误";
    }

    void frameRotation()
    {
        QFETCH(QSize, pixels);
        QFETCH(int, rotation);
        subOrderImages sub;
        sub.name = QStringLiteral("frame.jpg");
        sub.addSingle(page(pixels.width(), pixels.height(), 300, rotation));
        groupProductImages order;
        PageMatcher(m_catalogue.productForGroup(1003, 2301), StoreTerms()).match(order, {sub});
        QString result = order.matchStateText();
        if (order.isMatched())
            result += QStringLiteral(" %1").arg(order.matched.value(230101).singleImages.first().IsRotate);
        QTEST(result, "result");
    }

    // The pixel window is open at both ends: a page exactly at a bound is refused.
    void windowBounds_data()
    {
        QTest::addColumn<QString>("edge");
        QTest::addColumn<int>("offset");
        QTest::addColumn<int>("fit");
        for (const char *edge : {"min width", "min height"}) {
            QTest::addRow("%s", edge) << edge << 0 << int(PageMatcher::NoFit);
            QTest::addRow("%s + 1", edge) << edge << 1 << int(PageMatcher::Fits);
        }
        for (const char *edge : {"max width", "max height"}) {
            QTest::addRow("%s", edge) << edge << 0 << int(PageMatcher::NoFit);
            QTest::addRow("%s - 1", edge) << edge << -1 << int(PageMatcher::Fits);
        }
    }

    void windowBounds()
    {
        QFETCH(QString, edge);
        QFETCH(int, offset);
        const composeSizeMess cs = geometry(406, 206);
        QSize size((cs.minWidth2 + cs.maxWidth2) / 2, (cs.minHeight2 + cs.maxHeight2) / 2);
        if (edge.endsWith("width"))
            size.setWidth((edge.startsWith("min") ? cs.minWidth2 : cs.maxWidth2) + offset);
        else
            size.setHeight((edge.startsWith("min") ? cs.minHeight2 : cs.maxHeight2) + offset);
        QTEST(PageMatcher::fit(size, 300, 0, cs, false, false), "fit");
    }

    // 26 pages of a SKU based at 20 with a step of 2: three steps past the base.
    void storePrices_data()
    {
        QTest::addColumn<QString>("storeType");
        QTest::addColumn<int>("startups");
        QTest::addColumn<bool>("startupsSpu");
        QTest::addColumn<float>("price");
        QTest::newRow("ordinary store: online step") << "PHOTO" << 0 << true << 100.0f + 9 * 3;
        QTest::newRow("wedding dress: its step") << "WEDDINGDRESS" << 0 << true << 100.0f + 8 * 3;
        QTest::newRow("wedding dress starting up") << "WEDDINGDRESS" << 1 << true << 80.0f + 6 * 3;
        QTest::newRow("starting up, product without it") << "WEDDINGDRESS" << 1 << false << 100.0f + 8 * 3;
        QTest::newRow("later stage: start-up prices") << "LATERSTAGE" << 0 << false << 80.0f + 6 * 3;
    }

    void storePrices()
    {
        QFETCH(QString, storeType);
        QFETCH(int, startups);
        QFETCH(bool, startupsSpu);
        spuMess spu = product({{albumSku(41, 20, 40, 2)}});
        spu.startupsSpu = startupsSpu;
        groupProductImages order;
        QVERIFY(PageMatcher(spu, StoreTerms{startups, storeType}).match(order, {album(1, 26)}));
        QTEST(order.price, "price");
        QCOMPARE(QList<int>({order.skuId, order.pageCount, order.imageCount, int(order.totalBytes)}),
                 QList<int>({41, 26, 27, 27000}));
    }

    // A series adds its members' online step prices (9: 4 pages is one step
    // beyond 2, 6 pages two) to its own. A series group that takes the first
    // order's album but not the second leaves nothing of itself to the group
    // that takes both.
    void nextGroupStartsClean_data()
    {
        QTest::addColumn<int>("shortSku"); // the maximum of the first group's second SKU
        QTest::addColumn<QList<qint32>>("skus");
        QTest::newRow("one group takes both") << 10 << QList<qint32>{301, 302};
        QTest::newRow("the next group takes both") << 4 << QList<qint32>{401, 402};
    }

    void nextGroupStartsClean()
    {
        QFETCH(int, shortSku);
        QList<QList<skuMess>> groups{{albumSku(301, 2, 10, 2), albumSku(302, 2, shortSku, 2)}};
        if (shortSku < 6)
            groups << QList<skuMess>{albumSku(401, 2, 10, 2), albumSku(402, 2, 10, 2)};
        groupProductImages series;
        QVERIFY(PageMatcher(product(groups, QString(), true), StoreTerms()).match(series, {album(1, 4), album(1, 6)}));
        QFETCH(QList<qint32>, skus);
        QCOMPARE(series.matched.keys(), skus);
        QCOMPARE(series.skuId, skus.first() / 100 * 100);
        QCOMPARE(series.price, 299.0f + 9.0f * 1 + 9.0f * 2);
    }

    // The catalogue's first-and-last-page album: the outer pages are half
    // spreads with the blank side named; spreads alone are refused.
    void specialLayout_data()
    {
        QTest::addColumn<bool>("halfOuterPages");
        QTest::addColumn<QString>("result");
        QTest::newRow("half first and last") << true << "匹配成功 LEFT RIGHT";
        QTest::newRow("all full spreads") << false << "首尾页尺寸有误";
    }

    void specialLayout()
    {
        QFETCH(bool, halfOuterPages);
        const spuMess spu = m_catalogue.productForGroup(1002, 2201);
        const skuMess sku = spu.groupsById.value(2201).skus.value(220101);
        const auto middle = [](qint32 low, qint32 high) { return (low + high) / 2; };
        const int full = middle(sku.text.minWidth2, sku.text.maxWidth2);
        const int half = middle(sku.text.minWidth2 / 2, sku.text.maxWidth2 / 2);
        const int height = middle(sku.text.minHeight2, sku.text.maxHeight2);
        subOrderImages sub;
        sub.name = QStringLiteral("张三");
        sub.addCover(
            page(middle(sku.cover.minWidth2, sku.cover.maxWidth2), middle(sku.cover.minHeight2, sku.cover.maxHeight2)));
        for (int i = 0; i < 10; ++i) {
            const bool outer = i == 0 || i == 9;
            sub.addInner(page(outer && halfOuterPages ? half : full, height));
        }
        groupProductImages order;
        PageMatcher(spu, StoreTerms()).match(order, {sub});
        QString result = order.matchStateText();
        for (const imgMess &inner : order.matched.value(220101).innerImages) {
            if (inner.specialLayout)
                result += QLatin1Char(' ') + inner.specialLayoutWhitePagePosition;
        }
        QTEST(result, "result");
    }

private:
    QTemporaryDir m_dir;
    Catalogue m_catalogue;
};

QTEST_GUILESS_MAIN(TstPageMatcher)
#include "tst_pagematcher.moc"
