#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include "core/configfile.h"
#include "net/authentication.h"
#include "net/httputils.h"
#include "orders/listlayout.h"
#include "orders/orderprogressbar.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/dialoganswer.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/queryvalue.h"
#include "support/urlcatcher.h"
#include "upload/databasethread.h"
#include "upload/orderrecords.h"

// The order list offscreen, with the real worker and the local backend.
class TstProductTableWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        // The second address leads nowhere: a backend that cannot be reached.
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()},
                                        {"baseUrlW", "http://127.0.0.1:1/"},
                                        {"webKey", "sk"},
                                        {"requestTimeout", 1}}));
        QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
        QVERIFY(Authentication::getStoreInfo());
        OrderRecords::saveProducts({orderbuilder::product(210101)});
        connect(&DatabaseThread::instance(), &DatabaseThread::ordersGetSig, this,
                [this](int, const QList<orderGroup> &o) {
                    m_fetched = o;
                    ++m_loads;
                });
    }

    void init()
    {
        fetch();
        QVERIFY(blockCartMarking(false));
        QVERIFY(clearQueue());
        m_backend.reset();
        m_urls.opened.clear();
    }

    void cleanupTestCase() { DatabaseThread::instance().stop(); }

    // Every list's columns share its whole width and never more: the table
    // shows no horizontal scroll bar, so a column past the edge is cut off.
    void columnsFitTheList_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("album");
        QTest::addColumn<int>("width");
        for (const int width : {640, 1003, 1920}) {
            for (const int type : {0, 1, 2, 3})
                QTest::addRow("type %d, %d px", type, width) << type << false << width;
            QTest::addRow("album, %d px", width) << 0 << true << width;
        }
    }

    void columnsFitTheList()
    {
        QFETCH(int, type);
        QFETCH(bool, album);
        QFETCH(int, width);
        const ListLayout layout = ListLayout::of(type, album);
        const QList<int> widths = layout.widths(width);
        QCOMPARE(widths.size(), layout.headers().size());
        int sum = 0;
        for (const int w : widths) {
            QVERIFY(w > 20);
            sum += w;
        }
        QVERIFY2(sum <= width && sum >= width - layout.margin - int(widths.size()),
                 qPrintable(QStringLiteral("%1 of %2 px").arg(sum).arg(width)));
    }

    void tickedNewOrders_data()
    {
        QTest::addColumn<QString>("third"); // the third row's check: "matched", "checking" or "failed"
        QTest::addColumn<QString>("total");
        QTest::addColumn<QString>("refusal");
        const QString unpriced = QStringLiteral("已选2个订单，合计：¥176.00（1个未匹配成功，未计价）");
        QTest::newRow("all matched") << "matched" << QStringLiteral("已选2个订单，合计：¥406.50") << QString();
        QTest::newRow("one still being checked")
            << "checking" << unpriced << QStringLiteral("选中的订单中有还未匹配成功的订单，请确认订单的状态。");
        QTest::newRow("one failed") << "failed" << unpriced
                                    << QStringLiteral("选中的订单中有匹配失败的,替换后再上传。");
    }

    // The price of each matched order and the ticked total are on screen before
    // "提交"; a refused submission names the real reason.
    void tickedNewOrders()
    {
        QFETCH(QString, third);
        productTableWidget list(productTableWidget::NewOrder);
        list.setupList();
        list.show();
        list.setSkuTable({{1, orderbuilder::product(1)}});
        // Two pages of 1.2 GiB: an order past 32 bits of bytes.
        groupProductImages a = orderbuilder::line("T-001", "张三", 1, 2101, 0, 1);
        for (int i = 0; i < 2; ++i) {
            imgMess page = orderbuilder::image(QString::number(i + 2), QStringLiteral("T-001b%1").arg(i));
            page.size = qint64(1288490189);
            a.matched[1].addInner(page);
        }
        a.totalBytes = a.matched[1].bytes;
        groupProductImages b = orderbuilder::line("T-002", "李四", 1, 2101, 0, 3, 99.0f);
        groupProductImages c = orderbuilder::line("T-003", "王五", 1, 2101, 0, 3, 230.5f);
        list.addGroupRow(QStringLiteral("一班"), &a);
        list.addGroupRow(QStringLiteral("一班"), &b);
        list.addGroupRow(QStringLiteral("二班"), &c);
        if (third == QLatin1String("failed"))
            c.message = QStringLiteral("产品P数不对");
        // The checks report before their rows are built.
        for (groupProductImages *record : {&a, &b, &c}) {
            if (record != &c || third != QLatin1String("checking"))
                list.updateCheckResult(record, false);
        }
        QTRY_COMPARE(list.table()->rowCount(), 3);
        QCOMPARE(list.table()->item(0, 6)->text(), QStringLiteral("¥176.00"));
        QCOMPARE(list.table()->item(0, 4)->text(), QStringLiteral("2457.60M"));
        auto *total = list.findChild<QLabel *>("checkedTotal");
        QVERIFY(total->isVisibleTo(&list));
        tick(list, {1, 0, 2});
        auto *all = list.findChild<QCheckBox *>("selectAll");
        QCOMPARE(all->checkState(), Qt::Checked);
        tick(list, {1});
        QCOMPARE(all->checkState(), Qt::PartiallyChecked);
        QTEST(total->text(), "total");

        QFETCH(QString, refusal);
        if (!refusal.isEmpty()) {
            QCOMPARE(submit(list, QStringLiteral("我知道了")), QStringList{refusal});
            QCOMPARE(list.table()->rowCount(), 3);
            return;
        }

        // Rows stay until their order is in the database: a submission the file
        // refuses is told and can be sent again.
        QVERIFY(execStatement(sharedDatabase(), "ALTER TABLE images RENAME TO gone"));
        const int logged = int(testlog::texts().size());
        QCOMPARE(submit(list, QStringLiteral("我知道了")),
                 QStringList{QStringLiteral("一班,二班未能保存到本地数据库，订单仍在列表中。"
                                            "请检查磁盘空间和文件权限后重新提交。")});
        QVERIFY(execStatement(sharedDatabase(), "ALTER TABLE gone RENAME TO images"));
        QCOMPARE(list.table()->rowCount(), 3);
        QCOMPARE(queryValue("SELECT count(*) FROM orders").toInt(), 0);
        QVERIFY(testlog::texts().mid(logged).join('\n').contains(QStringLiteral("订单未能保存，保留在列表中:一班")));
        const QStringList told = submit(list, QStringLiteral("继续上传"));
        QCOMPARE(told.size(), 1);
        QVERIFY(told.first().contains(QStringLiteral("一班,二班上传中!上传完成后请去待结算界面进行结算")));
        QCOMPARE(list.table()->rowCount(), 1);
        QCOMPARE(queryValue("SELECT count(*) FROM images").toInt(), 6);
        QCOMPARE(queryValue("SELECT max(size) FROM images").toLongLong(), qint64(1288490189));
        QCOMPARE(QString::number(queryValue("SELECT size FROM orders WHERE name='一班'").toDouble(), 'f', 2),
                 QStringLiteral("2457.60"));
    }

    void progressRows()
    {
        productTableWidget list(productTableWidget::Uploading);
        list.setupList();
        orderGroup order = stored("P1", "一班");
        order.fileCout = 3;
        order.uploadedCount = 2;
        orderGroup done = stored("P2", "二班");
        done.fileCout = 4;
        done.uploadedCount = 4;
        done.size = 2048.5f;
        // A list reloaded before it was built holds only the new load.
        list.addOrders({order, done});
        list.clearTable();
        list.addOrders({order, done});
        QTRY_COMPARE(list.pendingRows(), 0);
        QCOMPARE(list.table()->rowCount(), 2);
        QCOMPARE(list.table()->item(0, 4)->text() + ' ' + list.table()->item(1, 4)->text(),
                 QStringLiteral("12.50M 2.00G"));
        // The percentage is cut, never rounded up to a complete look.
        QCOMPARE(bar(list, 0)->percentText() + bar(list, 0)->statusText(), QStringLiteral("66%上传中…"));
        // A stored order already complete stays until the list is rebuilt.
        QCOMPARE(bar(list, 1)->statusText(), QStringLiteral("上传完成"));
        list.updateUploadProgress("nobody", 5);
        list.updateUploadProgress("P1", 10);
        QCOMPARE(list.table()->rowCount(), 1);
        QCOMPARE(list.rowKey(0), QStringLiteral("P2"));

        // An order with an image that cannot be sent names it; "重新检查" lets
        // the worker try it again.
        QVERIFY(execStatement(sharedDatabase(), "INSERT INTO uploadHolds(imageId,orderId,localPath,problem) "
                                                "VALUES(77,'P3','/photos/3.jpg','本地图片不存在')"));
        orderGroup held = stored("P3", "三班");
        held.details.insert(OrderRecords::heldImagesKey(), QStringList{"/photos/3.jpg：本地图片不存在"});
        // Progress that completes an order still waiting for its row drops it.
        order.uploadedCount = 0;
        list.addOrders({held, order});
        list.updateUploadProgress("P1", 10);
        QTRY_COMPARE(list.pendingRows(), 0);
        QCOMPARE(list.table()->rowCount(), 2);
        QCOMPARE(bar(list, 1)->percentText() + bar(list, 1)->statusText(), QStringLiteral("等待上传…"));
        QWidget *cell = list.table()->cellWidget(1, 6);
        QVERIFY(cell && cell->toolTip().contains("/photos/3.jpg：本地图片不存在"));
        for (QPushButton *b : cell->findChildren<QPushButton *>()) {
            if (b->text() == QStringLiteral("重新检查"))
                b->click();
        }
        QCOMPARE(list.table()->item(1, 6)->text(), QStringLiteral("等待重新检查"));
        QTRY_COMPARE(queryValue("SELECT count(*) FROM uploadHolds WHERE orderId='P3'").toInt(), 0);

        // No image will ever report for an order without images.
        orderGroup empty = stored("P4", "四班");
        empty.fileCout = 0;
        list.addOrders({empty});
        QTRY_COMPARE(list.pendingRows(), 0);
        QCOMPARE(list.rowKey(2), QStringLiteral("P4"));
        QCOMPARE(bar(list, 2)->percentText() + bar(list, 2)->statusText(), QStringLiteral("100%无需上传"));
    }

    // Orders the shop took but the list could not mark; the journal's own test
    // covers the same state left by a crash.
    void postedOrdersAreMarkedNotPostedAgain()
    {
        addUploaded({"M1", "M2"});
        QVERIFY(blockCartMarking(true));
        productTableWidget list(productTableWidget::Uploaded);
        list.setupList();
        load(list);
        list.findChild<QCheckBox *>("selectAll")->click();
        submit(list, QStringLiteral("我知道了"));
        QCOMPARE(list.table()->rowCount(), 0);
        QTRY_COMPARE(queryValue("SELECT count(*) FROM cartPosts WHERE state='posted'").toInt(), 2);

        // Still not markable: the rows come back as in the cart and are not sent.
        load(list);
        QCOMPARE(list.table()->rowCount(), 2);
        QCOMPARE(stateText(list, 1), QStringLiteral("已加入购物车"));
        list.findChild<QCheckBox *>("selectAll")->click();
        QCOMPARE(submit(list, QStringLiteral("我知道了")),
                 QStringList{QStringLiteral("“班”,“班”已加入购物车，不能重复提交")});

        QVERIFY(blockCartMarking(false));
        load(list);
        QCOMPARE(list.table()->rowCount(), 0);
        QCOMPARE(queryValue("SELECT count(*) FROM orders WHERE status='CARTOK'").toInt(), 2);
        QCOMPARE(queryValue("SELECT count(*) FROM cartPosts").toInt(), 0);
        QCOMPARE(cartPosts(), 1);

        // Now cart records, which the cart list clears all at once, even before its rows are built.
        productTableWidget cart(productTableWidget::Cart);
        cart.setupList();
        fetch(productTableWidget::Cart);
        cart.addOrders(m_fetched);
        DialogAnswer answer(QStringLiteral("确定"));
        cart.findChild<QPushButton *>("deletBtn")->click();
        QCOMPARE(answer.seen, QStringList{QStringLiteral("确定要清空全部加购记录吗?")});
        QCOMPARE(cart.table()->rowCount(), 0);
        QTRY_COMPARE(queryValue("SELECT count(*) FROM orders").toInt(), 0);
    }

    // A post the shop refused or never received is retried as an ordinary
    // first post; one whose outcome is unknown asks the operator first.
    void cartPost_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("answer"); // on the second submission
        QTest::addColumn<int>("dialogs");    // on the second submission
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("posts");
        QTest::newRow("error envelope") << "fail" << QStringLiteral("我知道了") << 1 << "CARTOK" << 1;
        QTest::newRow("backend unreachable") << "unreachable" << QStringLiteral("我知道了") << 1 << "CARTOK" << 1;
        QTest::newRow("timeout, not again") << "delay" << QStringLiteral("取消") << 2 << "uploaded" << 1;
        QTest::newRow("dropped, already in the cart") << "drop" << QStringLiteral("已在购物车") << 1 << "CARTOK" << 1;
        QTest::newRow("timeout, posted again") << "delay" << QStringLiteral("重新加入") << 3 << "CARTOK" << 2;
    }

    void cartPost()
    {
        QFETCH(QString, fault);
        QFETCH(QString, answer);
        QFETCH(QString, status);
        const bool refused = fault == "fail" || fault == "unreachable";
        addUploaded({"K1", "K2", "K3"});
        productTableWidget list(productTableWidget::Uploaded);
        list.setupList();
        load(list);
        tick(list, {0, 2});
        if (fault == "unreachable")
            configFile::switchBackend(false);
        else // longer than the client waits; the shop takes the items all the same
            m_backend.fault("oms/cart", fault, refused ? 2 : 1, refused ? 0 : 5000);
        QCOMPARE(submit(list, QStringLiteral("我知道了")),
                 QStringList{refused
                                 ? QStringLiteral("加入购物车出错")
                                 : QStringLiteral("加入购物车的结果未知（网络超时或连接中断），订单可能已加入购物车。"
                                                  "请到商城购物车中查看，不要重复提交。")});
        configFile::switchBackend(true);
        const QString maybe = refused ? QStringLiteral("上传完成") : QStringLiteral("可能已加入购物车");
        QCOMPARE(list.table()->rowCount(), 3);
        QCOMPARE(stateText(list, 0), maybe);
        QVERIFY(m_urls.opened.isEmpty());
        QCOMPARE(cartPosts(), refused ? 0 : 1);
        QTRY_COMPARE(queryValue("SELECT count(*) FROM cartPosts").toInt(), refused ? 0 : 2);

        // As after a restart: an unknown outcome still shows on the rows.
        m_backend.reset();
        load(list);
        QCOMPARE(stateText(list, 0), maybe);
        tick(list, {0, 2});
        const int logged = int(testlog::texts().size());
        const QStringList second = submit(list, answer);
        QTEST(int(second.size()), "dialogs");
        QCOMPARE(second.first(),
                 refused
                     ? QStringLiteral("“班”,“班”已加入购物车，请到商城购物车中结算")
                     : QStringLiteral("“班”,“班”可能已加入购物车，请先到商城购物车中查看。购物车中已有这些订单吗?"));
        QTRY_COMPARE(queryValue("SELECT status FROM orders WHERE orderNo='K1'").toString(), status);
        QCOMPARE(queryValue("SELECT status FROM orders WHERE orderNo='K2'").toString(), QStringLiteral("uploaded"));
        QTRY_COMPARE(queryValue("SELECT count(*) FROM cartPosts").toInt(), status == "CARTOK" ? 0 : 2);
        QCOMPARE(list.table()->rowCount(), status == "CARTOK" ? 1 : 3);
        QTEST(cartPosts() + (refused ? 0 : 1), "posts");
        if (refused) {
            QVERIFY(testlog::texts().mid(logged).contains(QStringLiteral("加入购物车成功:K3,K1")));
            QCOMPARE(m_urls.opened.size(), 1);
        }
    }

private:
    // Clicks "提交" answering every dialog with `button`; returns what they said
    // once the list takes clicks again.
    QStringList submit(productTableWidget &list, const QString &button)
    {
        DialogAnswer answer(button);
        auto *submit = list.findChild<QPushButton *>("uploadBtn");
        submit->click();
        if (!QTest::qWaitFor([&] { return submit->isEnabled() && !answer.seen.isEmpty(); }))
            return answer.seen << QStringLiteral("(the list did not take clicks again)");
        return answer.seen;
    }
    // Clicks the rows' boxes in this order.
    static void tick(productTableWidget &list, const QList<int> &rows)
    {
        for (const int row : rows)
            list.table()->cellWidget(row, 0)->findChild<QCheckBox *>("checkBox")->click();
    }
    orderProgressBar *bar(productTableWidget &list, int row)
    {
        return qobject_cast<orderProgressBar *>(list.table()->cellWidget(row, 5));
    }
    QString stateText(productTableWidget &list, int row) { return list.table()->item(row, 6)->text(); }
    int cartPosts() { return int(m_backend.control("cart").array().size()); }
    // Returns once the worker has served every earlier request.
    void fetch(int type = 1)
    {
        const int before = m_loads;
        DatabaseThread::instance().fetchOrders(type);
        QTRY_COMPARE(m_loads, before + 1);
    }

    // The list as the main window fills it from the worker.
    void load(productTableWidget &list)
    {
        fetch(list.listType());
        list.clearTable();
        list.addOrders(m_fetched);
        QTRY_COMPARE(list.pendingRows(), 0);
    }

    void addUploaded(const QStringList &orderNos)
    {
        for (const QString &no : orderNos)
            QVERIFY(OrderRecords::createOrder(stored(no, "班")));
        QVERIFY(
            execStatement(sharedDatabase(), "UPDATE images SET status='uploaded', url='http://s/'||orderId||'.jpg'"));
        QVERIFY(execStatement(sharedDatabase(), "UPDATE orders SET status='uploaded'"));
    }

    orderGroup stored(const QString &orderNo, const QString &name)
    {
        orderGroup order =
            orderbuilder::order(orderNo, name, {orderbuilder::line(orderNo + "-1", "张三", 210101, 2101, 1, 10)});
        order.size = 12.5f;
        order.orderCount = 1;
        return order;
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
    UrlCatcher m_urls;
    int m_loads = 0;
    QList<orderGroup> m_fetched;
};

QTEST_MAIN(TstProductTableWidget)
#include "tst_producttablewidget.moc"
