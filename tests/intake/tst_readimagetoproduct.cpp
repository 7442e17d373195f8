#include <cstdio>

#include <QJsonArray>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QtTest>

#include "classlayout.h"
#include "core/apppaths.h"
#include "intake/filedigest.h"
#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"
#include "support/catalogue.h"
#include "support/deadline.h"
#include "support/files.h"
#include "support/logfile.h"
#include "support/specialfiles.h"

namespace {

const StoreTerms kPhoto{0, QStringLiteral("PHOTO")};

// `order` as intake made it, or a bare record.
groupProductImages check(const QString &path, const spuMess &spu, groupProductImages order = groupProductImages())
{
    readImageToProduct task(path, spu, &order, false, kPhoto);
    task.setAutoDelete(false);
    task.run();
    return order;
}

// Every order of a class folder, checked as the new-order page does, by name.
QMap<QString, groupProductImages> checkClass(const QString &folder, const spuMess &spu)
{
    QMap<QString, groupProductImages> byName;
    for (const auto &order : FolderIntake::createOrders(folder, spu, QDateTime::currentDateTime()))
        byName.insert(order->name, check(order->path, spu, *order));
    return byName;
}

QJsonObject folder(const QString &name, const QJsonArray &entries)
{
    return QJsonObject{{"folder", name}, {"entries", entries}};
}

QJsonObject cover8(const QString &name = QStringLiteral("封面.jpg"))
{
    return QJsonObject{{"image", name}, {"mm", QJsonArray{446, 236}}, {"dpi", 300}};
}

QJsonObject spreads8(int count, int start = 1)
{
    return QJsonObject{
        {"images", "{n}.jpg"}, {"count", count}, {"start", start}, {"mm", QJsonArray{406, 206}}, {"dpi", 300}};
}

QJsonObject frame7(const QString &name)
{
    return QJsonObject{{"image", name}, {"mm", QJsonArray{182, 131}}};
}

const QString kUndecodable = QStringLiteral("文件名编码无法识别，请重命名:");

} // namespace

// What Windows and macOS leave behind, at the class level and inside orders.
QJsonArray withLeftovers(QJsonArray entries)
{
    for (const char *name : {".DS_Store", "Thumbs.db", "desktop.ini", "._01.jpg", "._封面.jpg"})
        entries.append(QJsonObject{{"file", name}, {"text", "x"}});
    entries.append(folder(".Trashes", {}));
    return entries;
}

// Whole orders on disk, generated, checked against the local backend's catalogue.
class TstReadImageToProduct : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        AppPaths::setAppDataDir(m_dir.filePath(QStringLiteral("appdata")));
        QVERIFY(m_catalogue.load());
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
            "相册班", withLeftovers({folder("甲", withLeftovers({cover8(), spreads8(10)})),
                                     folder("乙", {cover8(), cover8(QStringLiteral("封面2.jpg")), spreads8(12)})}))
                               << 1001 << 2101 << "001 乙 封皮P数不对 12, 002 甲 匹配成功 10 210101 ¥168"
                               << QStringList();
        // Apostrophes and a closing U+FE0F leave the last name only; other signs stay.
        QTest::newRow("frame") << folder("摆台班", withLeftovers({frame7("a'\u2764\uFE0F.jpg"), pdf})) << 1003 << 2301
                               << "001 a\u2764.jpg 匹配成功 1 230101 ¥45, 002 b.pdf 图片格式不支持：PDF 1"
                               << QStringList{"a'\u2764\uFE0F.jpg"};
        // A spreadsheet keeps its number.
        const QJsonArray seriesOrder{folder("01 相册", withLeftovers({cover8(), spreads8(10)})), frame7("02 摆台.jpg"),
                                     QJsonObject{{"file", "备注.txt"}, {"text", "x"}}};
        QTest::newRow("series") << folder(
            "Bob's 毕业班", withLeftovers({QJsonObject{{"file", "a.xlsx"}, {"text", ""}}, folder("Zoe's\uFE0F", {}),
                                           folder("张三", withLeftovers(seriesOrder)),
                                           folder("李四", {folder("01 相册", {cover8(), spreads8(10)})})}))
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
        for (const groupProductImages &checked : checkClass(root, spu)) {
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

    // Entries intake cannot take as they are: every kind of entry that is not a
    // regular file (as a page and as a frame), and names in another encoding.
    void awkwardEntries()
    {
        const QStringList owners{"丙", "丁", "戊", "己", "庚"}; // one per special kind, in the kinds' order
        QJsonArray albumOrders{folder("甲", {cover8(), spreads8(10)}), folder("乙", {cover8(), spreads8(11)}),
                               folder("辛", {cover8(), spreads8(10)})};
        for (const QString &owner : owners)
            albumOrders.append(folder(owner, {cover8(), spreads8(10)}));
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

        QMap<QString, groupProductImages> orders;
        QVERIFY2(testdeadline::finishes([&] {
                     orders = checkClass(albums, m_catalogue.productForGroup(1001, 2101));
                     orders.insert(checkClass(frames, m_catalogue.productForGroup(1003, 2301)));
                 }),
                 "a special file was opened for reading");
        QCOMPARE(orders.size(), 14);
        QVERIFY(orders.value("甲").isMatched() && orders.value("a.jpg").isMatched());
        // Pages keep the order of their numbers, 10 after 9.
        QStringList pages;
        const groupProductImages album = orders.value("甲");
        for (const imgMess &page : album.matched.first().innerImages)
            pages << page.name;
        QCOMPARE(pages.join(' '), QStringLiteral("1 2 3 4 5 6 7 8 9 10"));
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
        const QByteArray jpeg = frameJpeg();
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
        const QString path = writeFile(name, bytes);
        const groupProductImages order = check(path, m_catalogue.productForGroup(1003, 2301, kPhoto));
        QTEST(order.matchStateText(), "state");
        if (!order.failed.isEmpty())
            QCOMPARE(order.failed.last().singleImages.value(0).imageName, fileMd5Hex(path));
    }

private:
    // A JPEG that matches the 7-inch frame, as the bytes other rows start from.
    QByteArray frameJpeg()
    {
        return testfiles::read(
            layout(
                folder("frame", {QJsonObject{{"image", "ok.jpg"}, {"mm", QJsonArray{182, 131}}, {"realPixels", true}}}))
            + QStringLiteral("/ok.jpg"));
    }

    QString writeFile(const QString &name, const QByteArray &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("%1/%2/").arg(QLatin1String(QTest::currentTestFunction()),
                                                                         QLatin1String(QTest::currentDataTag()))
                                            + name);
        return testfiles::write(path, bytes) ? path : QString();
    }

    QString layout(const QJsonObject &description)
    {
        const QString out = m_dir.filePath(QStringLiteral("layout%1").arg(++m_layouts));
        QString error;
        if (ClassLayout::build(description, out, &error) < 0)
            qWarning() << error;
        return out + QLatin1Char('/') + description.value("folder").toString();
    }

    QTemporaryDir m_dir;
    Catalogue m_catalogue;
    int m_layouts = 0;
};

QTEST_MAIN(TstReadImageToProduct)
#include "tst_readimagetoproduct.moc"
