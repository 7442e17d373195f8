#include <cstdio>

#include <QJsonArray>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include "classlayout.h"
#include "core/apppaths.h"
#include "intake/filedigest.h"
#include "intake/folderintake.h"
#include "intake/imageinspector.h"
#include "intake/jpegstructure.h"
#include "intake/pagematcher.h"
#include "samplewriter.h"
#include "support/catalogue.h"
#include "support/classfolder.h"
#include "support/deadline.h"
#include "support/files.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/specialfiles.h"

namespace {

using namespace classfolder;

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
spuMess product(const QList<QList<skuMess>> &groups, bool series = false)
{
    spuMess spu;
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

groupProductImages matchOrder(const spuMess &spu, const subOrderImages &sub)
{
    groupProductImages order;
    PageMatcher(spu, StoreTerms()).match(order, {sub});
    return order;
}

const StoreTerms kPhoto{0, QStringLiteral("PHOTO")};

// A 7-inch frame's picture.
QJsonObject frame7(const QString &name)
{
    return image(name, 182, 131);
}

const QString kUndecodable = QStringLiteral("文件名编码无法识别，请重命名:");

// One JPEG marker segment: FF, marker, big-endian length (payload + 2), payload.
QByteArray jpegSegment(quint8 marker, const QByteArray &payload)
{
    return QByteArray("\xFF", 1) + char(marker) + char((payload.size() + 2) >> 8) + char((payload.size() + 2) & 0xFF)
           + payload;
}

// What Windows and macOS leave behind, at the class level and inside orders.
QJsonArray withLeftovers(QJsonArray entries)
{
    for (const char *name : {".DS_Store", "Thumbs.db", "desktop.ini", "._01.jpg", "._封面.jpg"})
        entries.append(QJsonObject{{"file", name}, {"text", "x"}});
    entries.append(folder(".Trashes", {}));
    return entries;
}

} // namespace

// From files on disk to matched orders: the image check on generated
// samples and bytes, the matching rules on hand-made records and the
// catalogue's frame, and whole generated orders checked against the local
// backend's catalogue.
class TstIntake : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        AppPaths::setAppDataDir(m_dir.filePath(QStringLiteral("appdata")));
        QVERIFY(m_catalogue.load());
    }

    // Orders with one cover; an order without one is refused in the check report
    // test. Any count off the SKU's page list fails alike; the list itself is
    // the product model test's.
    void pageCount_data()
    {
        QTest::addColumn<int>("pages");
        QTest::addColumn<QString>("state");
        QTest::newRow("21 pages") << 21 << QStringLiteral("产品P数不对");
        QTest::newRow("20 pages, the base") << 20 << QStringLiteral("匹配成功");
        QTest::newRow("40 pages, the maximum") << 40 << QStringLiteral("匹配成功");
    }

    void pageCount()
    {
        QFETCH(int, pages);
        QTEST(matchOrder(product({{albumSku(11, 20, 40, 2)}}), album(1, pages)).matchStateText(), "state");
        // With isBase the cover counts as a page.
        skuMess base = albumSku(12, 20, 40, 2);
        base.isBase = true;
        base.cover = base.text;
        subOrderImages sub = album(0, pages - 1);
        sub.addCover(page(4795, 2433));
        QTEST(matchOrder(product({{base}}), sub).matchStateText(), "state");
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
        QCOMPARE(matchOrder(spu, spreads({4798, 4802})).matchStateText(), QStringLiteral("匹配成功"));
        QCOMPARE(matchOrder(spu, spreads({4797, 4802})).matchStateText(), QStringLiteral("图片尺寸有误"));

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
        const groupProductImages order = matchOrder(m_catalogue.productForGroup(1003, 2301), sub);
        QString result = order.matchStateText();
        if (order.isMatched())
            result += QStringLiteral(" %1").arg(order.matched.value(230101).singleImages.first().IsRotate);
        QTEST(result, "result");
    }

    // The pixel window is open at both ends: a page exactly at a bound is refused.
    void windowBounds_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<int>("fit");
        const composeSizeMess cs = geometry(406, 206);
        const int width = (cs.minWidth2 + cs.maxWidth2) / 2;
        const int height = (cs.minHeight2 + cs.maxHeight2) / 2;
        QTest::newRow("min width") << QSize(cs.minWidth2, height) << int(PageMatcher::NoFit);
        QTest::newRow("min width + 1") << QSize(cs.minWidth2 + 1, height) << int(PageMatcher::Fits);
        QTest::newRow("max width") << QSize(cs.maxWidth2, height) << int(PageMatcher::NoFit);
        QTest::newRow("max width - 1") << QSize(cs.maxWidth2 - 1, height) << int(PageMatcher::Fits);
        QTest::newRow("min height") << QSize(width, cs.minHeight2) << int(PageMatcher::NoFit);
        QTest::newRow("min height + 1") << QSize(width, cs.minHeight2 + 1) << int(PageMatcher::Fits);
        QTest::newRow("max height") << QSize(width, cs.maxHeight2) << int(PageMatcher::NoFit);
        QTest::newRow("max height - 1") << QSize(width, cs.maxHeight2 - 1) << int(PageMatcher::Fits);
    }

    void windowBounds()
    {
        QFETCH(QSize, size);
        QTEST(PageMatcher::fit(size, 300, 0, geometry(406, 206), false, false), "fit");
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
        QVERIFY(PageMatcher(product(groups, true), StoreTerms()).match(series, {album(1, 4), album(1, 6)}));
        QFETCH(QList<qint32>, skus);
        QCOMPARE(series.matched.keys(), skus);
        QCOMPARE(series.skuId, skus.first() / 100 * 100);
        QCOMPARE(series.price, 299.0f + 9.0f * 1 + 9.0f * 2);
    }

    // The catalogue's first-and-last-page album: the outer pages are half
    // spreads (2397 px of 4795) with the blank side named. Spreads alone are
    // refused, as the check report test shows.
    void specialLayout()
    {
        subOrderImages sub = album(1, 0);
        for (int i = 0; i < 10; ++i)
            sub.addInner(page(i == 0 || i == 9 ? 2397 : 4795, 2433));
        const groupProductImages order = matchOrder(m_catalogue.productForGroup(1002, 2201), sub);
        QString result = order.matchStateText();
        for (const imgMess &inner : order.matched.value(220101).innerImages) {
            if (inner.specialLayout)
                result += QLatin1Char(' ') + inner.specialLayoutWhitePagePosition;
        }
        QCOMPARE(result, QStringLiteral("匹配成功 LEFT RIGHT"));
    }

    // Resolution and orientation as the metadata states them, on a 3000x2000 image;
    // without metadata, as the decoder finds them.
    void metadata_data()
    {
        // x and y resolution, orientation > dpi, rotation, errors > the log line, if any
        QTest::addColumn<QString>("row");
        QTest::newRow("zero denominator ignored") << "300/0 300/0 0 > 300x300 0";
        QTest::newRow("254 by 300 passes") << "254/1 300/1 0 > 254x300 0";
        QTest::newRow("one axis wrong") << "300/1 301/1 0 > 300x301 0 分辨率错误";
        QTest::newRow("truncating division, upright") << "601/2 300/1 1 > 300x300 0";
        QTest::newRow("3 upside down") << "300/1 300/1 3 > 300x300 180";
        QTest::newRow("6 turned right") << "300/1 300/1 6 > 300x300 90";
        QTest::newRow("8 turned left") << "300/1 300/1 8 > 300x300 270";
        QTest::newRow("4 flipped") << "300/1 300/1 4 > 300x300 0 > 图片垂直翻转了";
        QTest::newRow("5 transposed") << "300/1 300/1 5 > 300x300 0 > 顺时针90°+水平翻转";
        QTest::newRow("7 transversed") << "300/1 300/1 7 > 300x300 0 > 逆时针90°+水平翻转";
        QTest::newRow("no Exif: the decoder's size and density") << "- - 0 > 300x300 0";
    }

    void metadata()
    {
        QFETCH(QString, row);
        const QStringList parts = row.split(QStringLiteral(" > "));
        const QStringList given = parts[0].split(' ');
        SampleImage s;
        s.width = 3000;
        s.height = 2000;
        s.realPixels = true;
        s.exif = given[0] != QLatin1String("-");
        s.xResolution = given[0];
        s.yResolution = given[1];
        s.orientation = given[2].toInt();
        m_log.newTexts();
        const imgMess m = ImageInspector::inspect(write(s, QStringLiteral("meta.jpg")));
        QCOMPARE(
            QStringLiteral("%1x%2 %3 %4").arg(m.xdpi).arg(m.ydpi).arg(m.IsRotate).arg(m.errors.join(',')).trimmed(),
            parts[1]);
        const bool turned = m.IsRotate == 90 || m.IsRotate == 270;
        QCOMPARE(QSize(m.uprightWidth(), m.uprightHeight()), turned ? QSize(2000, 3000) : QSize(3000, 2000));
        QCOMPARE(m_log.newTexts(), parts.mid(2));
    }

    // Sizes past 32 bits stay true (a sparse file of 3 GiB costs no disk), and
    // only the JPEG decoder is ever handed a file.
    void unreadableFile_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<qint64>("size");
        QTest::addColumn<QStringList>("errors");
        const QByteArray text("this is not an image at all");
        QTest::newRow("a few bytes") << text << qint64(text.size()) << QStringList();
        QTest::newRow("3 GiB") << text << (qint64(3) << 30) << QStringList();
        const QByteArray png = classfolder::picture("PNG");
        QVERIFY(!png.isEmpty());
        QTest::newRow("PNG") << png << qint64(png.size()) << QStringList();
        // Never decoded, not even an eighth of it; a JPEG without a density has the wrong one.
        QByteArray huge = classfolder::picture("JPEG");
        QVERIFY(huge.indexOf("\xFF\xC0") > 0);
        huge.replace(huge.indexOf("\xFF\xC0") + 5, 4, QByteArray::fromHex("75307530"));
        QTest::newRow("header of 30000 x 30000 pixels") << huge << qint64(huge.size()) << QStringList{"分辨率错误"};
    }

    void unreadableFile()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(qint64, size);
        const QString path = m_dir.filePath(QStringLiteral("broken.jpg"));
        QVERIFY(testfiles::write(path, bytes) && QFile::resize(path, size));
        m_log.newTexts();
        const imgMess m = ImageInspector::inspect(path);
        QCOMPARE(m.size, size);
        QCOMPARE(QSize(m.width, m.height), QSize(-1, -1));
        QCOMPARE(m.xdpi, -1);
        QTEST(m.errors, "errors");
        // Nothing the metadata library could read: no word from it.
        QCOMPARE(m_log.newTexts(), QStringList{QStringLiteral("加载图片获取大小失败：") + path});
    }

    void jpegStructure_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<int>("verdict");
        QTest::addColumn<QByteArray>("metadata");
        using V = JpegStructure::Verdict;
        const QByteArray soi("\xFF\xD8", 2);
        const QByteArray eoi("\xFF\xD9", 2);
        const QByteArray exif = jpegSegment(0xE1, QByteArray("Exif\0\0MM", 8));
        const QByteArray frame = jpegSegment(0xC2, QByteArray(15, '\x01'));
        const QByteArray sos = jpegSegment(0xDA, QByteArray(10, '\x01'));
        const QByteArray scanData("\x12\xFF\x00\x34\xFF\xD3\x56\xFF\xFF\x00", 10); // stuffing, restart, fill
        const QByteArray kept = soi + exif + frame + eoi;
        const QByteArray progressive = soi + exif + jpegSegment(0xFE, "comment") + frame + sos + scanData
                                       + jpegSegment(0xC4, "table") + sos + scanData + eoi;
        QTest::newRow("trailer after EOI") << progressive + "\xFF\xE1\x00" << int(V::Complete) << kept;
        QTest::newRow("cut in the scan") << progressive.left(progressive.size() - 3) << int(V::Truncated) << kept;
        QTest::newRow("cut in a length") << soi + "\xFF\xE1\x01" << int(V::Truncated) << soi + eoi;
        QTest::newRow("EOI before any scan") << soi + frame + eoi << int(V::NotJpeg) << QByteArray();
        QTest::newRow("scan before the frame") << soi + sos + scanData + eoi << int(V::NotJpeg) << QByteArray();
        QTest::newRow("length below 2") << soi + QByteArray::fromHex("ffe10001") << int(V::NotJpeg) << QByteArray();
        QTest::newRow("no SOI") << QByteArray("\x89PNG\r\n") << int(V::NotJpeg) << QByteArray();

        // Segments past the bound are left out of the copy, the rest still checked.
        QByteArray big = soi;
        const QByteArray photoshop = jpegSegment(0xED, QByteArray("Photoshop 3.0\0", 14) + QByteArray(65000, 'p'));
        for (int i = 0; i < 20; ++i)
            big += photoshop;
        const int fitting = (JpegStructure::kMetadataLimit - 4) / photoshop.size();
        QTest::newRow("metadata past the bound") << big + frame + sos + scanData + eoi << int(V::Complete)
                                                 << soi + photoshop.repeated(fitting) + frame + eoi;
    }

    // Fed whole and one byte at a time: the verdict cannot depend on where reads end.
    void jpegStructure()
    {
        QFETCH(QByteArray, bytes);
        JpegStructure whole;
        whole.feed(bytes.constData(), bytes.size());
        JpegStructure bytewise;
        for (char c : bytes)
            bytewise.feed(&c, 1);
        QTEST(int(whole.verdict()), "verdict");
        QTEST(int(bytewise.verdict()), "verdict");
        QTEST(whole.metadata(), "metadata");
        QTEST(bytewise.metadata(), "metadata");
    }

    // The default route on non-Latin paths is taken by every class-folder test;
    // the memory route logs the path and still reads the record.
    void memoryRouteForNonLatinPath()
    {
        SampleImage s;
        s.width = 4795;
        s.height = 2433;
        s.orientation = 8;
        const QString path = write(s, QStringLiteral("상품 写真 ✓.jpg"));
        m_log.newTexts();
        const imgMess viaMemory = ImageInspector::inspect(path, ImageInspector::Route::Memory);
        QCOMPARE(m_log.newTexts(), QStringList{QStringLiteral("File Path Error:") + path});
        QCOMPARE(QSize(viaMemory.width, viaMemory.height), QSize(4795, 2433));
        QCOMPARE(viaMemory.IsRotate, 270);

        // A path Qt cannot open either: the record stays empty, without errors.
        const imgMess missing =
            ImageInspector::inspect(m_dir.filePath(QStringLiteral("없음.jpg")), ImageInspector::Route::Memory);
        QCOMPARE(QSize(missing.width, missing.height), QSize(0, 0));
        QVERIFY(missing.errors.isEmpty());
    }

    void classesWithLeftovers_data()
    {
        QTest::addColumn<QJsonObject>("classFolder");
        QTest::addColumn<int>("spuId");
        QTest::addColumn<int>("groupId");
        QTest::addColumn<QString>("orders");
        QTest::addColumn<QStringList>("cleaned"); // names logged as they were before losing their apostrophes
        const QJsonObject pdf{{"file", "b.pdf"}, {"text", "%PDF-1.4\n%%EOF\n"}};
        QTest::newRow("album") << folder(
            "相册班", withLeftovers({folder("甲", withLeftovers({cover(), spreads(10)})),
                                     folder("乙", {cover(), cover(QStringLiteral("封面2.jpg")), spreads(12)})}))
                               << 1001 << 2101 << "001 乙 封皮P数不对 12, 002 甲 匹配成功 10 210101 ¥168"
                               << QStringList();
        // Apostrophes and a closing U+FE0F leave the last name only; other signs stay.
        QTest::newRow("frame") << folder("摆台班", withLeftovers({frame7("a'\u2764\uFE0F.jpg"), pdf})) << 1003 << 2301
                               << "001 a\u2764.jpg 匹配成功 1 230101 ¥45, 002 b.pdf 图片格式不支持：PDF 1"
                               << QStringList{"a'\u2764\uFE0F.jpg"};
        // A spreadsheet keeps its number.
        const QJsonArray seriesOrder{folder("01 相册", withLeftovers({cover(), spreads(10)})), frame7("02 摆台.jpg"),
                                     QJsonObject{{"file", "备注.txt"}, {"text", "x"}}};
        QTest::newRow("series") << folder(
            "Bob's 毕业班", withLeftovers({QJsonObject{{"file", "a.xlsx"}, {"text", ""}}, folder("Zoe's\uFE0F", {}),
                                           folder("张三", withLeftovers(seriesOrder)),
                                           folder("李四", {folder("01 相册", {cover(), spreads(10)})})}))
                                << 1005 << 0
                                << "002 Zoes 套系层次不对 0, 003 张三 匹配成功 1 310100 ¥329, 004 李四 套系产品数不对 0"
                                << QStringList{"Zoe's\uFE0F"};
    }

    // Leftovers neither refuse a class nor fail an order, nor take an order number.
    void classesWithLeftovers()
    {
        QFETCH(QJsonObject, classFolder);
        QFETCH(int, spuId);
        QFETCH(int, groupId);
        const spuMess spu =
            groupId ? m_catalogue.productForGroup(spuId, groupId, kPhoto) : m_catalogue.product(spuId, kPhoto);
        const QString root = layout(classFolder);
        QVERIFY(FolderIntake::structureOk(root, spu.kind()));
        QStringList orders;
        for (const groupProductImages &checked : classfolder::checkedClass(root, spu, kPhoto)) {
            orders << QStringLiteral("%1 %2 %3 %4")
                              .arg(checked.orderNo.right(3), checked.name, checked.matchStateText())
                              .arg(checked.pageCount)
                          + (checked.isMatched()
                                 ? QStringLiteral(" %1 ¥%2").arg(checked.skuId).arg(double(checked.price))
                                 : QString());
            // Whoever reads the log finds which order failed.
            if (!checked.isMatched())
                QVERIFY(
                    !testlog::texts().filter(QStringLiteral("%1(%2)").arg(checked.name, checked.orderNo)).isEmpty());
        }
        QTEST(orders.join(QStringLiteral(", ")), "orders");
        const QString prefix = QStringLiteral("图片路径中有特殊字符:") + root + QLatin1Char('/');
        QStringList cleaned;
        for (const QString &text : testlog::texts().filter(prefix))
            cleaned << text.mid(prefix.size());
        QTEST(cleaned, "cleaned");
    }

    // Entries intake cannot take as they are: a FIFO, a link to a device and a
    // dangling link (as a page and as a frame), and names in another encoding.
    void awkwardEntries()
    {
        const QStringList owners{"丙", "丁", "戊"}; // one per special kind, in the kinds' order
        QJsonArray albumOrders{folder("甲", {cover(), spreads(10)}), folder("乙", {cover(), spreads(11)}),
                               folder("辛", {cover(), spreads(10)})};
        for (const QString &owner : owners)
            albumOrders.append(folder(owner, {cover(), spreads(10)}));
        const QString albums = layout(folder("相册班", albumOrders));
        const QString frames = layout(folder("摆台班", {frame7("a.jpg")}));
        for (int kind = 0; kind < owners.size(); ++kind) {
            const auto special = specialfiles::Kind(kind);
            QVERIFY(specialfiles::make(special, albums + '/' + owners[kind] + "/11.jpg", m_dir.path()));
            QVERIFY(specialfiles::make(special, frames + QStringLiteral("/%1.jpg").arg(kind), m_dir.path()));
        }

        // GBK names as Windows archives unpack them: "内页.jpg", "丙", "名单.txt".
        const QByteArray page = QByteArrayLiteral("\xc4\xda\xd2\xb3.jpg");
        const QByteArray orderFolder = QByteArrayLiteral("\xb1\xfb");
        const QByteArray stray = QByteArrayLiteral("\xc3\xfb\xb5\xa5.txt");
        // Made with Qt under decodable names, then renamed byte for byte.
        const QString pageBefore = albums + QStringLiteral("/乙/11.jpg");
        const QString orderBefore = albums + QStringLiteral("/辛");
        const QString strayBefore = m_dir.filePath(QStringLiteral("stray.txt"));
        QVERIFY(testfiles::write(strayBefore, "x"));
        const QList<std::pair<QByteArray, QByteArray>> renames{
            {QFile::encodeName(pageBefore), QFile::encodeName(albums + QStringLiteral("/乙/")) + page},
            {QFile::encodeName(orderBefore), QFile::encodeName(albums + QLatin1Char('/')) + orderFolder},
            {QFile::encodeName(strayBefore), QFile::encodeName(albums + QLatin1Char('/')) + stray}};
        // Directory removal lists with Qt, which cannot see these names.
        const auto renameBack = qScopeGuard([&] {
            for (const auto &[before, raw] : renames)
                std::rename(raw.constData(), before.constData());
        });
        const qint64 pageBytes = QFileInfo(pageBefore).size();
        for (int i = 0; i < 2; ++i)
            QVERIFY(std::rename(renames[i].first.constData(), renames[i].second.constData()) == 0);
        qint64 listedBytes = 0;
        for (const QFileInfo &info : QDir(albums + QStringLiteral("/乙")).entryInfoList(QDir::Files))
            listedBytes += info.size();
        QVERIFY(FolderIntake::structureOk(albums, ProductKind::Album));
        QVERIFY(FolderIntake::structureOk(frames, ProductKind::FrameOrStage));

        QMap<QString, groupProductImages> orders; // both classes' orders, by name
        QVERIFY2(testdeadline::finishes([&] {
                     for (const groupProductImages &order :
                          classfolder::checkedClass(albums, m_catalogue.productForGroup(1001, 2101), kPhoto)
                              + classfolder::checkedClass(frames, m_catalogue.productForGroup(1003, 2301), kPhoto))
                         orders.insert(order.name, order);
                 }),
                 "a special file was opened for reading");
        QCOMPARE(orders.size(), 10);
        QVERIFY(orders.value("甲").isMatched() && orders.value("a.jpg").isMatched());
        for (int kind = 0; kind < owners.size(); ++kind) {
            QCOMPARE(orders.value(owners[kind]).matchStateText(), QStringLiteral("不是普通文件:11.jpg"));
            QCOMPARE(orders.value(QStringLiteral("%1.jpg").arg(kind)).matchStateText(),
                     QStringLiteral("不是普通文件:%1.jpg").arg(kind));
        }
        const groupProductImages withPage = orders.value(QStringLiteral("乙"));
        QCOMPARE(withPage.matchStateText(), kUndecodable + QString::fromUtf8(page));
        QCOMPARE(withPage.imageCount, 12);
        QCOMPARE(qint64(withPage.totalBytes), listedBytes + pageBytes);
        QCOMPARE(orders.value(QString::fromUtf8(orderFolder)).matchStateText(),
                 kUndecodable + QString::fromUtf8(orderFolder));

        // A stray file at the top of an album class breaks its rule whatever its name.
        QVERIFY(std::rename(renames[2].first.constData(), renames[2].second.constData()) == 0);
        QVERIFY(!FolderIntake::structureOk(albums, ProductKind::Album));
    }

    void disguisedAndTruncatedImages_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("state");
        // A JPEG that matches the 7-inch frame, as the bytes the other rows start from.
        const QByteArray jpeg = testfiles::read(
            layout(folder("frame", {image("ok.jpg", 182, 131, {{"realPixels", true}})})) + QStringLiteral("/ok.jpg"));
        const int scan = jpeg.indexOf("\xFF\xDA");
        QVERIFY(scan > 0);
        QTest::newRow("empty") << "e.jpg" << QByteArray() << "图片格式不对:e";
        QTest::newRow("cut off mid-scan, upper-case suffix")
            << "c.JPG" << jpeg.left(scan + (jpeg.size() - scan) / 2) << "图片不完整:c";
        QTest::newRow("PDF") << "d.pdf" << QByteArray("%PDF-1.4\n%%EOF\n") << "匹配成功";
        QTest::newRow("JPEG named .pdf") << "d.pdf" << jpeg << "图片格式不对:d";
    }

    // Each file is one frame order; what the operator reads is its state text.
    void disguisedAndTruncatedImages()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        const QString path = m_dir.filePath(QStringLiteral("disguised/%1/").arg(QTest::currentDataTag()) + name);
        QVERIFY(testfiles::write(path, bytes));
        const groupProductImages order =
            classfolder::checked(path, m_catalogue.productForGroup(1003, 2301, kPhoto), kPhoto);
        QTEST(order.matchStateText(), "state");
        if (!order.failed.isEmpty())
            QCOMPARE(order.failed.last().singleImages.value(0).imageName, fileMd5Hex(path));
    }

private:
    QString write(SampleImage s, const QString &name)
    {
        s.path = m_dir.filePath(name);
        QString error;
        if (!SampleWriter::write(s, &error))
            qWarning() << "sample not written:" << error;
        return s.path;
    }

    QString layout(const QJsonObject &description)
    {
        const QString out = m_dir.filePath(QStringLiteral("layout%1").arg(++m_layouts));
        QString error;
        if (ClassLayout::build(description, out, &error) < 0)
            qWarning() << error;
        return out + QLatin1Char('/') + description.value("folder").toString();
    }

    testlog::Follower m_log;
    QTemporaryDir m_dir;
    Catalogue m_catalogue;
    int m_layouts = 0;
};

QTEST_MAIN(TstIntake)
#include "tst_intake.moc"