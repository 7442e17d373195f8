#include <QJsonArray>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtTest>

#include "classlayout.h"
#include "core/apppaths.h"
#include "intake/filedigest.h"
#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"
#include "support/catalogue.h"
#include "support/logfile.h"

// Whole orders on disk, generated, checked against the local backend's catalogue.
class TstReadImageToProduct : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void albumMatchesAndIsPriced();
    void albumFaults_data();
    void albumFaults();
    void frameTurnedAndPdf();
    void series();
    void taskOnAPoolSignalsOnce();
    void structureRules();
    void ordersFromEntries();

private:
    QString layout(const QJsonObject &description);
    groupProductImages check(const QString &path, const spuMess &spu, const StoreTerms &terms = StoreTerms());

    QTemporaryDir m_dir;
    Catalogue m_catalogue;
    int m_layouts = 0;
};

namespace {

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
    return QJsonObject{{"images", "{n}.jpg"}, {"count", count}, {"start", start}, {"mm", QJsonArray{406, 206}}, {"dpi", 300}};
}

} // namespace

void TstReadImageToProduct::initTestCase()
{
    QVERIFY(m_dir.isValid());
    AppPaths::setAppDataDir(m_dir.filePath(QStringLiteral("appdata")));
    QVERIFY(m_catalogue.load());
}

QString TstReadImageToProduct::layout(const QJsonObject &description)
{
    const QString out = m_dir.filePath(QStringLiteral("layout%1").arg(++m_layouts));
    QString error;
    if (ClassLayout::build(description, out, &error) < 0)
        qWarning() << error;
    return out + QLatin1Char('/') + description.value("folder").toString();
}

groupProductImages TstReadImageToProduct::check(const QString &path, const spuMess &spu, const StoreTerms &terms)
{
    groupProductImages order;
    readImageToProduct task(path, spu, &order, false, terms);
    task.setAutoDelete(false);
    QSignalSpy spy(&task, &readImageToProduct::productCheckOK);
    task.run();
    if (spy.size() != 1)
        qWarning() << "productCheckOK emitted" << spy.size() << "times";
    return order;
}

void TstReadImageToProduct::albumMatchesAndIsPriced()
{
    const QString path = layout(folder("张三", {cover8(), spreads8(12)}));
    const spuMess spu = m_catalogue.productForGroup(1001, 2101);
    const groupProductImages order = check(path, spu, StoreTerms{0, QStringLiteral("PHOTO")});

    QCOMPARE(order.matchStateText(), QStringLiteral("匹配成功"));
    QCOMPARE(order.skuId, 210101);
    QCOMPARE(order.skuGroupId, 2101);
    QCOMPARE(order.productName, QStringLiteral("8寸 皮质封面"));
    QCOMPARE(order.pageCount, 12);
    QCOMPARE(order.imageCount, 13);
    // Base 168 and one online step of 8 beyond 10 pages.
    QCOMPARE(order.price, 176.0f);
    QCOMPARE(order.createdSubOrders.size(), 1);

    const subOrderImages sub = order.matched.value(210101);
    QCOMPARE(sub.name, QStringLiteral("张三"));
    QCOMPARE(sub.id, order.createdSubOrders.first().id);
    QCOMPARE(sub.coverImages.size(), 1);
    QStringList names;
    for (const imgMess &m : sub.innerImages)
        names << m.name;
    QCOMPARE(names, (QStringList{"1", "2", "3", "4", "5", "6", "7", "8", "9", "10", "11", "12"}));
    QCOMPARE(sub.innerImages.first().imageName, fileMd5Hex(path + QStringLiteral("/1.jpg")));
    QCOMPARE(sub.innerImages.first().pageType, QStringLiteral("TEXT"));
    QCOMPARE(sub.priceText, QStringLiteral("8.00"));
    QVERIFY(sub.noQrCode);
}

void TstReadImageToProduct::albumFaults_data()
{
    QTest::addColumn<QJsonArray>("entries");
    QTest::addColumn<QString>("state");

    QTest::newRow("two covers") << QJsonArray{cover8("封面1.jpg"), cover8("封面2.jpg"), spreads8(12)}
                                << QStringLiteral("封皮P数不对");
    QTest::newRow("odd page count") << QJsonArray{cover8(), spreads8(11)} << QStringLiteral("产品P数不对");
    QTest::newRow("CMYK cover")
        << QJsonArray{QJsonObject{{"image", "封面.jpg"}, {"mm", QJsonArray{446, 236}}, {"colorMode", "4"}}, spreads8(12)}
        << QStringLiteral("色彩模式应为RGB:封面");
    QTest::newRow("72 ppi page")
        << QJsonArray{cover8(), spreads8(11), QJsonObject{{"image", "12.jpg"}, {"mm", QJsonArray{406, 206}}, {"resolution", "72/1"}}}
        << QStringLiteral("分辨率错误");
    QTest::newRow("png among the pages")
        << QJsonArray{cover8(), spreads8(12), QJsonObject{{"file", "13.png"}, {"text", "x"}}}
        << QStringLiteral("图片格式不对:13");
    QTest::newRow("10寸 pages in an 8寸 book")
        << QJsonArray{cover8(), QJsonObject{{"images", "{n}.jpg"}, {"count", 12}, {"mm", QJsonArray{506, 256}}}}
        << QStringLiteral("图片尺寸有误");
    QTest::newRow("cover of the other size")
        << QJsonArray{QJsonObject{{"image", "封面.jpg"}, {"mm", QJsonArray{546, 286}}}, spreads8(12)}
        << QStringLiteral("封面图片尺寸有误");
    QTest::newRow("mac files skipped") << QJsonArray{cover8(), spreads8(12), QJsonObject{{"file", "._1.jpg"}, {"text", ""}},
                                                     QJsonObject{{"file", ".DS_Store"}, {"text", ""}}}
                                       << QStringLiteral("匹配成功");
}

void TstReadImageToProduct::albumFaults()
{
    QFETCH(QJsonArray, entries);
    const QString path = layout(folder("李四", entries));
    QTEST(check(path, m_catalogue.productForGroup(1001, 2101)).matchStateText(), "state");
}

void TstReadImageToProduct::frameTurnedAndPdf()
{
    const QString root = layout(folder("摆台班", {QJsonObject{{"image", "王五.jpg"}, {"mm", QJsonArray{131, 182}}},
                                                QJsonObject{{"file", "赵六.pdf"}, {"text", "%PDF-1.4"}}}));
    const spuMess spu = m_catalogue.productForGroup(1003, 2301);
    QCOMPARE(spu.kind(), ProductKind::FrameOrStage);

    const groupProductImages turned = check(root + QStringLiteral("/王五.jpg"), spu);
    QCOMPARE(turned.matchStateText(), QStringLiteral("匹配成功"));
    QCOMPARE(turned.matched.value(230101).singleImages.first().IsRotate, 90);
    QCOMPARE(turned.price, 45.0f);

    const groupProductImages pdf = check(root + QStringLiteral("/赵六.pdf"), spu);
    QCOMPARE(pdf.matchStateText(), QStringLiteral("匹配成功"));
    QVERIFY(pdf.matched.value(230101).singleImages.first().isPdf);
}

void TstReadImageToProduct::series()
{
    const QJsonArray album{cover8(), spreads8(10)};
    const QString root = layout(folder(
        "毕业班", {folder("张三", {folder("01 相册", album), QJsonObject{{"image", "02 摆台.jpg"}, {"mm", QJsonArray{182, 131}}},
                                   QJsonObject{{"file", "备注.txt"}, {"text", "ignored"}}}),
                   folder("李四", {folder("01 相册", album)}), folder("王五", {})}));
    const spuMess spu = m_catalogue.product(1005, StoreTerms{0, QStringLiteral("PHOTO")});
    QCOMPARE(spu.kind(), ProductKind::Series);

    const groupProductImages full = check(root + QStringLiteral("/张三"), spu, StoreTerms{0, QStringLiteral("PHOTO")});
    QCOMPARE(full.matchStateText(), QStringLiteral("匹配成功"));
    QCOMPARE(full.skuId, 310100);
    QCOMPARE(full.skuGroupId, 3101);
    QCOMPARE(full.matched.keys(), (QList<qint32>{310101, 310102}));
    QCOMPARE(full.matched.value(310102).name, QStringLiteral("02 摆台.jpg"));
    QCOMPARE(full.price, 329.0f);

    QCOMPARE(check(root + QStringLiteral("/李四"), spu).matchStateText(), QStringLiteral("套系产品数不对"));
    QCOMPARE(check(root + QStringLiteral("/王五"), spu).matchStateText(), QStringLiteral("套系层次不对"));
}

void TstReadImageToProduct::taskOnAPoolSignalsOnce()
{
    const QString path = layout(folder("孙七", {cover8(), spreads8(10)}));
    groupProductImages order;
    auto *task = new readImageToProduct(path, m_catalogue.productForGroup(1001, 2101), &order, false, StoreTerms());
    QList<groupProductImages *> received;
    connect(task, &readImageToProduct::productCheckOK, this,
            [&received](groupProductImages *o, bool) { received << o; }, Qt::QueuedConnection);
    QThreadPool pool;
    pool.start(task);
    QTRY_COMPARE(received.size(), 1);
    QCOMPARE(received.first(), &order);
    QCOMPARE(order.matchStateText(), QStringLiteral("匹配成功"));
    pool.waitForDone();
}

void TstReadImageToProduct::structureRules()
{
    const QString albums = layout(folder("相册班", {folder("张三", {}), QJsonObject{{"file", "stray.jpg"}, {"text", ""}}}));
    QVERIFY(!FolderIntake::structureOk(albums, ProductKind::Album));
    const QString mac = layout(folder("相册班2", {folder("张三", {}), QJsonObject{{"file", ".DS_Store"}, {"text", ""}}}));
    QVERIFY(!FolderIntake::structureOk(mac, ProductKind::Album));
    QVERIFY(FolderIntake::structureOk(mac, ProductKind::FrameOrStage) == false);
    const QString series = layout(folder("套系班", {folder("张三", {}), QJsonObject{{"file", "名单.XLSX"}, {"text", ""}}}));
    QVERIFY(FolderIntake::structureOk(series, ProductKind::Series));
    QVERIFY(!FolderIntake::structureOk(series, ProductKind::Album));
    const QString frames = layout(folder("摆台班", {QJsonObject{{"file", "a.jpg"}, {"text", ""}}}));
    QVERIFY(FolderIntake::structureOk(frames, ProductKind::FrameOrStage));
    QVERIFY(FolderIntake::structureOk(layout(folder("空班", {})), ProductKind::Album));
}

void TstReadImageToProduct::ordersFromEntries()
{
    const QString series = layout(folder("三班", {QJsonObject{{"file", "a.xlsx"}, {"text", ""}}, folder("Tom", {}),
                                                 folder("Ann", {}), folder("Zoe\uFE0F", {})}));
    const QDateTime created(QDate(2026, 12, 4), QTime(20, 15, 30, 123));
    const auto orders = FolderIntake::createOrders(series, m_catalogue.product(1005), created);
    QCOMPARE(orders.size(), size_t(3));
    QCOMPARE(orders.at(0)->orderNo, QStringLiteral("20261204201530123002"));
    QCOMPARE(orders.at(0)->name, QStringLiteral("Ann"));
    QCOMPARE(orders.at(1)->orderNo, QStringLiteral("20261204201530123003"));
    QCOMPARE(orders.at(2)->name, QStringLiteral("Zoe"));
    QVERIFY(QFileInfo(series + QStringLiteral("/Zoe")).isDir());
    QCOMPARE(orders.at(2)->className, QStringLiteral("三班"));
    QCOMPARE(orders.at(2)->productName, QStringLiteral("毕业季套系"));

    const QString frames = layout(folder("摆台班", {QJsonObject{{"file", ".DS_Store"}, {"text", ""}},
                                                   QJsonObject{{"file", "a.JPEG"}, {"text", ""}},
                                                   QJsonObject{{"file", "b.pdf"}, {"text", ""}}}));
    const auto frameOrders = FolderIntake::createOrders(frames, m_catalogue.product(1003), created);
    QCOMPARE(frameOrders.size(), size_t(3));
    QCOMPARE(frameOrders.at(0)->message, QStringLiteral("图片格式不支持：DS_STORE"));
    QCOMPARE(frameOrders.at(1)->message, QString());
    QCOMPARE(frameOrders.at(2)->message, QString());
    QVERIFY(testlog::texts().contains(QStringLiteral("图片格式不支持：DS_STORE")));
}

QTEST_MAIN(TstReadImageToProduct)
#include "tst_readimagetoproduct.moc"
