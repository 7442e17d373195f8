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
    void series();
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
