#include <QImage>
#include <QJsonArray>
#include <QRegularExpression>
#include <QTableWidget>
#include <QtTest>

#include "classlayout.h"
#include "guidedtour.h"
#include "net/authentication.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/dialoganswer.h"
#include "support/files.h"
#include "support/uploadenvironment.h"
#include "ui/mainwindow.h"
#include "ui/neworderwid.h"
#include "upload/databasethread.h"

// The programs beside the client. The guided tour drives the whole road
// through the real main window, the local backend and the verifying local
// store: every sample class dropped, its matched orders submitted, uploaded
// intact and added to the cart, and the tour's page showing each step. The
// preflight program checks a generated class whose faults are known.
class TstTools : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_up.setUp());
        for (const char *preset : {"album-class", "frame-class", "series-class"}) {
            const QByteArray layout = testfiles::read(QStringLiteral(PRESET_DIR "/%1.json").arg(QLatin1String(preset)));
            QVERIFY(
                ClassLayout::build(QJsonDocument::fromJson(layout).object(), m_photos.filePath(QLatin1String(preset)))
                > 0);
        }
        m_albumClass = m_photos.filePath(QStringLiteral("album-class/三年二班"));
        // The separator of the lists' old row keys, a quote and a percent sign
        // in a class folder's name: its orders go like any other.
        QVERIFY(
            QDir(m_photos.path())
                .rename(QStringLiteral("frame-class/水晶摆台 二年一班"), QStringLiteral("frame-class/") + kFrameClass));
    }

    void cleanupTestCase()
    {
        QThreadPool::globalInstance()->waitForDone();
        DatabaseThread::instance().stop();
    }

    void reportsEveryOrder()
    {
        QByteArray out;
        QCOMPARE(runPreflight(
                     {QStringLiteral("--group"), QStringLiteral("2101"), QStringLiteral("--json"), m_albumClass}, &out),
                 1);
        const QJsonObject report = QJsonDocument::fromJson(out).object();
        // The class with its matched and failed counts, then per order: name, number
        // suffix, state, SKU, pages, price, faults. 254 ppi pages use the first
        // window; 14 pages is two online steps.
        QStringList orders{report["class"].toString()
                           + QString::asprintf(" %d/%d", report["matched"].toInt(), report["failed"].toInt())};
        for (const QJsonValue &o : report["orders"].toArray())
            orders << QStringLiteral("%1 %2 %3 ")
                              .arg(o["name"].toString(), o["orderNo"].toString().right(3), o["state"].toString())
                          + QString::asprintf("%d %dP %g %d", o["skuId"].toInt(), o["pageCount"].toInt(),
                                              o["price"].toDouble(), int(o["errors"].toArray().size()));
        QCOMPARE(orders, (QStringList{"三年二班 2/5", "01 张三 001 匹配成功 210101 12P 176 0",
                                      "02 李四 002 匹配成功 210101 14P 184 0", "03 王五 003 产品P数不对 0 11P 0 1",
                                      "04 赵六 004 色彩模式应为RGB:封面 0 0P 0 1", "05 孙七 005 分辨率错误 0 0P 0 1",
                                      "06 周八 006 封皮P数不对 0 12P 0 1", "07 吴九 007 图片尺寸有误 0 12P 0 2"}));
    }

    void refusedFolder()
    {
        QByteArray out;
        // An album class holds folders only; one order folder alone holds files.
        QCOMPARE(runPreflight({m_albumClass + QStringLiteral("/02 李四")}, &out), 3);
        QVERIFY(QString::fromUtf8(out).contains(QStringLiteral("产品层次有问题，请参照示例图组织产品层次")));
    }

    void wholeRoad()
    {
        MainWindow window;
        window.resize(1366, 768);
        window.show();
        GuidedTour tour(window, m_out.path());
        tour.setUploadTimeoutMs(90000);
        const QDir photos(m_photos.path());
        const bool done =
            tour.run(QStringLiteral("13800000001"), QStringLiteral("demo1234"),
                     {{QStringLiteral("水晶摆台"), photos.filePath(QStringLiteral("frame-class/") + kFrameClass)},
                      {QStringLiteral("毕业季套系"), photos.filePath(QStringLiteral("series-class/毕业季 六年一班"))},
                      {QStringLiteral("经典对裱相册"), m_albumClass}});
        QVERIFY2(done, qPrintable(tour.failure()));

        // The page lists every step with its picture, in order.
        const QString html = QString::fromUtf8(testfiles::read(tour.pagePath()));
        QVERIFY(html.contains(QStringLiteral("整个流程已走完")));
        QStringList captions;
        const QRegularExpression step(QStringLiteral("<li><p>([^<]*)</p><img src=\"(\\d+)\\.png\""));
        for (const QRegularExpressionMatch &m : step.globalMatch(html)) {
            QCOMPARE(m.captured(2).toInt(), captions.size() + 1);
            QVERIFY2(QImage(m_out.filePath(m.captured(2) + ".png")).width() >= 400, qPrintable(m.captured(2)));
            captions << m.captured(1);
        }
        QCOMPARE(captions.size(), tour.stepCount());
        // The page holds the captions as HTML.
        QVERIFY(captions.contains(QStringLiteral("拖入班级“%1”：5 个订单检查完毕，勾选其中匹配成功的 3 个")
                                      .arg(kFrameClass.toHtmlEscaped())));
        QVERIFY(captions.last().startsWith(QStringLiteral("加购记录：3 个订单")));
        // The window itself says what reached the cart: the browser may not open.
        const QStringList added = captions.filter(QStringLiteral("已加入购物车，请到商城购物车中结算"));
        QCOMPARE(added.size(), 1);
        for (const QString &name :
             {QStringLiteral("三年二班"), QStringLiteral("毕业季 六年一班"), kFrameClass.toHtmlEscaped()})
            QVERIFY2(added.first().contains(QStringLiteral("“%1”").arg(name)), qPrintable(added.first()));

        // What did not match in the last class stays on the page with its reason; the
        // reasons of each order are the preflight test's.
        auto *newOrders = window.findChild<neworderwid *>("checkProductWid");
        productTableWidget *fresh = newOrders->orderTable();
        QCOMPARE(fresh->table()->rowCount(), 5);
        QCOMPARE(fresh->table()->item(4, 5)->text(), QStringLiteral("图片尺寸有误"));
        // Its columns take the list's width: none cut off, no empty strip beside them.
        int columns = 0;
        for (int c = 0; c < fresh->table()->columnCount(); ++c)
            columns += fresh->table()->isColumnHidden(c) ? 0 : fresh->table()->columnWidth(c);
        const int room = fresh->table()->viewport()->width();
        QVERIFY2(columns <= room && columns > room - 60, qPrintable(QStringLiteral("%1 of %2").arg(columns).arg(room)));
        // A class still on the page is not taken twice.
        {
            DialogAnswer answer(QStringLiteral("OK"));
            QVERIFY(!newOrders->handleFolder(m_albumClass));
            QCOMPARE(answer.seen.size(), 1);
            QVERIFY(answer.seen.first().contains(QStringLiteral("这个班级已经导入，请换一下班级")));
        }

        // Every image reached the store, intact.
        QList<QSqlRecord> images;
        runQuery(sharedDatabase(), "SELECT url, localPath FROM images", images);
        QVERIFY(images.size() >= 28);
        for (const QSqlRecord &row : images) {
            QFile file(row.value(1).toString());
            QVERIFY(row.value(0).toString().startsWith(m_up.store.url() + "/normal-order-image/10001/"));
            QVERIFY(file.open(QIODevice::ReadOnly) && m_up.store.get(row.value(0).toString()) == file.readAll());
        }

        // Every order reached the cart in one post of the three classes' groups; how lines
        // merge is the payload test's.
        const QJsonArray posts = m_up.backend.control("cart").array();
        QCOMPARE(posts.size(), 1);
        QCOMPARE(posts.first()["items"].toArray().size(), 3);
        QCOMPARE(tour.openedUrls(), QList<QUrl>{QUrl(m_up.backend.baseUrl() + "cart?mes="
                                                     + Authentication::webToken("13800000001", "demo1234"))});
    }

private:
    int runPreflight(const QStringList &args, QByteArray *out)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_DATA_HOME"), m_out.filePath(QStringLiteral("xdg")));
        return testfiles::run(QStringLiteral(PREFLIGHT_EXECUTABLE),
                              QStringList{QStringLiteral("--product"), QStringLiteral(CATALOGUE_JSON),
                                          QStringLiteral("--spu"), QStringLiteral("1001")}
                                  + args,
                              out, env);
    }

    const QString kFrameClass = QStringLiteral("水晶摆台 二年*一班\"%");
    UploadEnvironment m_up;
    QTemporaryDir m_photos;
    QTemporaryDir m_out;
    QString m_albumClass;
};

QTEST_MAIN(TstTools)
#include "tst_tools.moc"
