#include <QCheckBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QSqlRecord>
#include <QTableWidget>
#include <QtTest>

#include "core/vellruntime.h"
#include "net/authentication.h"
#include "net/httputils.h"
#include "orders/orderprogressbar.h"
#include "orders/producttablewidget.h"
#include "store/shareddatabase.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/dialoganswer.h"
#include "support/logfile.h"
#include "support/urlcatcher.h"
#include "support/orderbuilder.h"
#include "upload/databasethread.h"
#include "upload/orderrecords.h"

// The order list offscreen, with the real worker and the local backend.
class TstProductTableWidget : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void sizeTexts();
    void selectAllFollowsTheRows();
    void newOrdersLeaveOnlyWhenStored();
    void clearAllCartRecords();
    void progressRows();
    void cartSubmission();

private:
    orderGroup stored(const QString &orderNo, const QString &name, float size = 12.5f);
    QCheckBox *check(productTableWidget &list, int row);
    QVariant value(const QString &sql);

    BackendProcess m_backend;
    ClientEnvironment m_env;
    UrlCatcher m_urls;
};

void TstProductTableWidget::initTestCase()
{
    QVERIFY(m_backend.start());
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"webKey", "sk"}}));
    QVERIFY(HttpUtils::instance().getToken("13800000001", "demo1234"));
    QVERIFY(Authentication::getStoreInfo());
}

void TstProductTableWidget::cleanupTestCase()
{
    DatabaseThread::instance().stop();
}

orderGroup TstProductTableWidget::stored(const QString &orderNo, const QString &name, float size)
{
    orderGroup order = orderbuilder::order(orderNo, name, {orderbuilder::line(orderNo + "-1", "张三", 210101, 2101, 1, 10)});
    order.size = size;
    order.orderCount = 1;
    return order;
}

QCheckBox *TstProductTableWidget::check(productTableWidget &list, int row)
{
    return list.table()->cellWidget(row, 0)->findChild<QCheckBox *>("checkBox");
}

QVariant TstProductTableWidget::value(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}

void TstProductTableWidget::sizeTexts()
{
    QCOMPARE(productTableWidget::sizeText(2048.0f), QStringLiteral("2.00G"));
    QCOMPARE(productTableWidget::sizeText(1024.0f), QStringLiteral("1024.00M"));
    QCOMPARE(productTableWidget::sizeText(0.5f), QStringLiteral("0.50M"));
}

void TstProductTableWidget::selectAllFollowsTheRows()
{
    productTableWidget list(productTableWidget::Uploaded);
    list.setupList();
    list.addOrders({stored("S1", "一班"), stored("S2", "二班"), stored("S3", "三班")});
    auto *all = list.findChild<QCheckBox *>("selectAll");
    for (int row = 0; row < 3; ++row)
        check(list, row)->click();
    QCOMPARE(all->checkState(), Qt::Checked);
    check(list, 1)->click();
    QCOMPARE(all->checkState(), Qt::PartiallyChecked);
    all->click();
    QVERIFY(check(list, 1)->isChecked());
    QCOMPARE(all->checkState(), Qt::Checked);
}

// Rows stay on screen until their order is in the database: a submission the
// file refuses is told and can be sent again.
void TstProductTableWidget::newOrdersLeaveOnlyWhenStored()
{
    productTableWidget list(productTableWidget::NewOrder);
    list.setupList();
    list.setSkuTable(false, {{1, orderbuilder::product(1)}});
    groupProductImages first = orderbuilder::line("N-001", "张三", 1, 2101, 0, 3);
    groupProductImages second = orderbuilder::line("N-002", "李四", 1, 2101, 0, 2);
    list.addGroupRow(QStringLiteral("一班"), &first);
    list.addGroupRow(QStringLiteral("二班"), &second);
    for (groupProductImages *record : {&first, &second})
        list.updateCheckResult(record, false);
    check(list, 0)->click();
    check(list, 1)->click();
    QPushButton *submit = list.findChild<QPushButton *>("uploadBtn");

    QVERIFY(execStatement(sharedDatabase(), "ALTER TABLE images RENAME TO gone"));
    const int logged = testlog::lines().size();
    {
        DialogAnswer answer(QStringLiteral("我知道了"));
        submit->click();
        QTRY_COMPARE(answer.seen.size(), 1);
        QCOMPARE(answer.seen.first(), QStringLiteral("一班,二班未能保存到本地数据库，订单仍在列表中。"
                                                     "请检查磁盘空间和文件权限后重新提交。"));
    }
    QVERIFY(execStatement(sharedDatabase(), "ALTER TABLE gone RENAME TO images"));
    QCOMPARE(list.table()->rowCount(), 2);
    QVERIFY(submit->isEnabled());
    QCOMPARE(value("SELECT count(*) FROM orders WHERE name IN ('一班','二班')").toInt(), 0);
    const QString log = testlog::texts().mid(logged).join('\n');
    QVERIFY(log.contains(QStringLiteral("no such table: images")));
    QVERIFY(log.contains(QStringLiteral("订单未能保存，保留在列表中:一班")));

    {
        DialogAnswer answer(QStringLiteral("继续上传"));
        submit->click();
        QTRY_COMPARE(answer.seen.size(), 1);
        QVERIFY(answer.seen.first().contains(QStringLiteral("一班,二班上传中!上传完成后请去待结算界面进行结算")));
    }
    QCOMPARE(list.table()->rowCount(), 0);
    QCOMPARE(value("SELECT count(*) FROM images i JOIN orders o ON i.orderId = o.orderNo "
                   "WHERE o.name IN ('一班','二班')").toInt(), 5);
}

void TstProductTableWidget::clearAllCartRecords()
{
    for (const char *no : {"D1", "D2"})
        QVERIFY(OrderRecords::createOrder(stored(no, "班")));
    productTableWidget cart(productTableWidget::Cart);
    cart.setupList();
    cart.addOrders({stored("D1", "一班"), stored("D2", "二班")});
    DialogAnswer answer(QStringLiteral("确定"));
    cart.findChild<QPushButton *>("deletBtn")->click();
    QCOMPARE(answer.seen, QStringList{QStringLiteral("确定要清空全部加购记录吗?")});
    QCOMPARE(cart.table()->rowCount(), 0);
    QTRY_COMPARE(value("SELECT count(*) FROM orders WHERE orderNo IN ('D1','D2')").toInt(), 0);
}

void TstProductTableWidget::progressRows()
{
    productTableWidget list(productTableWidget::Uploading);
    list.setupList();
    orderGroup order = stored("P1", "一班");
    order.fileCout = 10;
    order.uploadedCount = 3;
    orderGroup done = stored("P2", "二班");
    done.fileCout = 4;
    done.uploadedCount = 4;
    list.addOrders({order, done});
    auto *bar = qobject_cast<orderProgressBar *>(list.table()->cellWidget(0, 5));
    QCOMPARE(bar->percentText(), QStringLiteral("30%"));
    // A stored order already complete stays until the list is rebuilt.
    QCOMPARE(qobject_cast<orderProgressBar *>(list.table()->cellWidget(1, 5))->statusText(), QStringLiteral("上传完成"));
    list.updateUploadProgress("nobody", 5);
    list.updateUploadProgress("P1", 0);
    QCOMPARE(bar->statusText(), QStringLiteral("等待上传…"));
    list.updateUploadProgress("P1", 10);
    QCOMPARE(list.table()->rowCount(), 1);
    QCOMPARE(list.rowKey(0), QStringLiteral("P2"));

    // An order with an image that cannot be sent names it; "重新检查" lets
    // the worker try it again.
    QVERIFY(execStatement(sharedDatabase(), "INSERT INTO uploadHolds(imageId,orderId,localPath,problem) "
                                            "VALUES(77,'P3','/photos/3.jpg','本地图片不存在')"));
    orderGroup held = stored("P3", "三班");
    held.details.insert(OrderRecords::heldImagesKey(), QStringList{"/photos/3.jpg：本地图片不存在"});
    list.addOrders({held});
    QWidget *cell = list.table()->cellWidget(1, 6);
    QVERIFY(cell && cell->toolTip().contains("/photos/3.jpg：本地图片不存在"));
    for (QPushButton *b : cell->findChildren<QPushButton *>()) {
        if (b->text() == QStringLiteral("重新检查"))
            b->click();
    }
    QCOMPARE(list.table()->item(1, 6)->text(), QStringLiteral("等待重新检查"));
    QTRY_COMPARE(value("SELECT count(*) FROM uploadHolds WHERE orderId='P3'").toInt(), 0);
}

void TstProductTableWidget::cartSubmission()
{
    OrderRecords::saveProducts({orderbuilder::product(210101)});
    for (const QString no : {"K1", "K2", "K3"}) {
        QVERIFY(OrderRecords::createOrder(stored(no, "班")));
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE images SET status='uploaded', url='http://s/%1.jpg' "
                                                               "WHERE orderId='%1'").arg(no)));
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE orders SET status='uploaded' WHERE orderNo='%1'").arg(no)));
    }
    productTableWidget list(productTableWidget::Uploaded);
    list.setupList();
    list.addOrders(OrderRecords::fetchOrders(100, 2));
    QCOMPARE(list.table()->rowCount(), 3);
    QPushButton *submit = list.findChild<QPushButton *>("uploadBtn");

    // A failed post keeps every row.
    check(list, 0)->click();
    check(list, 2)->click();
    m_backend.fault("oms/cart", "fail", 2);
    {
        DialogAnswer answer(QStringLiteral("我知道了"));
        submit->click();
        QTRY_VERIFY(submit->isEnabled());
        QCOMPARE(answer.seen, QStringList{QStringLiteral("加入购物车出错")});
    }
    QCOMPARE(list.table()->rowCount(), 3);
    QVERIFY(m_urls.opened.isEmpty());

    m_backend.reset();
    submit->click();
    QTRY_VERIFY(submit->isEnabled());
    QCOMPARE(list.table()->rowCount(), 1);
    QCOMPARE(list.rowKey(0), QStringLiteral("K2"));
    QTRY_COMPARE(value("SELECT count(*) FROM orders WHERE status='CARTOK'").toInt(), 2);
    QCOMPARE(value("SELECT status FROM orders WHERE orderNo='K2'").toString(), QStringLiteral("uploaded"));

    const QJsonArray posts = m_backend.control("cart").array();
    QCOMPARE(posts.size(), 1);
    QCOMPARE(posts.first().toObject().value("items").toArray().first().toObject().value("spus").toArray().size(), 2);
    QCOMPARE(m_urls.opened.size(), 1);
    QCOMPARE(m_urls.opened.first().toString(),
             m_backend.baseUrl() + "cart?mes=" + Authentication::webToken("13800000001", "demo1234"));
}

QTEST_MAIN(TstProductTableWidget)
#include "tst_producttablewidget.moc"
