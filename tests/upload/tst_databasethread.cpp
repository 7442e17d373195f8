#include <QtTest>

#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "upload/databasethread.h"

// The worker through its requests and signals, as the GUI thread sees it.
class TstDatabaseThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void twoLeasesBeforeTheWorkerRuns();
    void requestsServedInArrivalOrder();
    void emptyUrlChangesNothing();

private:
    DatabaseThread &worker() { return DatabaseThread::instance(); }
    void waitIdle();

    ClientEnvironment m_env;
    QList<QList<imgMess>> m_leases;
    QList<QPair<int, int>> m_lists;  // type, number of orders
    QList<QPair<QString, int>> m_counts;
    QList<QHash<int, QJsonObject>> m_cartItems;
};

void TstDatabaseThread::initTestCase()
{
    QVERIFY(m_env.setUp(QJsonObject()));
    VellRuntime::instance().applyLogin(QJsonObject{{"userId", 10001}, {"storeId", 20001}}, "13800000001", "pw");
    // Receivers live on this thread: every result arrives queued.
    connect(&worker(), &DatabaseThread::uploadImages, this, [this](const QList<imgMess> &l) { m_leases << l; });
    connect(&worker(), &DatabaseThread::ordersGetSig, this,
            [this](int type, const QList<orderGroup> &o) { m_lists << qMakePair(type, int(o.size())); });
    connect(&worker(), &DatabaseThread::uploadingOrderDate, this,
            [this](const QString &id, int n) { m_counts << qMakePair(id, n); });
    connect(&worker(), &DatabaseThread::subOrderGetSig, this,
            [this](const QStringList &, const QHash<int, QJsonObject> &items) { m_cartItems << items; });
}

void TstDatabaseThread::init()
{
    waitIdle();
    for (const char *table : {"orders", "subOrders", "images", "product"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
    m_leases.clear();
    m_lists.clear();
    m_counts.clear();
    m_cartItems.clear();
}

void TstDatabaseThread::cleanupTestCase()
{
    worker().stop();
}

// A list request answered means everything queued before it was served.
void TstDatabaseThread::waitIdle()
{
    const int before = m_lists.size();
    worker().fetchOrders(1);
    QTRY_COMPARE(m_lists.size(), before + 1);
    m_lists.removeLast();
}

void TstDatabaseThread::twoLeasesBeforeTheWorkerRuns()
{
    worker().createOrder(orderbuilder::order("L", "班", {orderbuilder::line("L-1", "张三", 1, 2, 0, 60)}));
    waitIdle();
    worker().setPaused(true);
    worker().fetchImagesToUpload(3600);
    worker().fetchImagesToUpload(3600);
    worker().setPaused(false);
    waitIdle();
    QCOMPARE(m_leases.size(), 1);
    QCOMPARE(m_leases.first().size(), 50);

    // Once served, the next lease request is taken again; 0 s means an hour.
    worker().fetchImagesToUpload(0);
    QTRY_COMPARE(m_leases.size(), 2);
    QCOMPARE(m_leases.last().size(), 10);
}

void TstDatabaseThread::requestsServedInArrivalOrder()
{
    worker().setPaused(true);
    worker().fetchOrders(1);
    worker().createOrder(orderbuilder::order("O1", "班", {orderbuilder::line("O1-1", "张三", 1, 2, 0, 1)}));
    worker().fetchOrders(1);
    worker().createOrder(orderbuilder::order("O2", "班", {orderbuilder::line("O2-1", "李四", 1, 2, 0, 1)}));
    worker().fetchOrders(1);
    worker().deleteOrders({"'O1'", "'O2'"});
    worker().fetchOrders(1);
    worker().setPaused(false);
    QTRY_COMPARE(m_lists.size(), 4);
    QCOMPARE(m_lists, (QList<QPair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {1, 0}}));
}

void TstDatabaseThread::emptyUrlChangesNothing()
{
    worker().createOrder(orderbuilder::order("E", "班", {orderbuilder::line("E-1", "张三", 1, 2, 0, 1)}));
    worker().fetchImagesToUpload(3600);
    QTRY_COMPARE(m_leases.size(), 1);
    imgMess image = m_leases.first().first();
    const int before = testlog::lines().size();
    worker().storeUploadedImage(image);
    waitIdle();
    QVERIFY(m_counts.isEmpty());
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), "SELECT i.status, o.uploadedCount FROM images i, orders o", rows);
    QCOMPARE(rows.first().value(0).toString(), QStringLiteral("uploading"));
    QCOMPARE(rows.first().value(1).toInt(), 0);
    QCOMPARE(testlog::texts().mid(before).first(),
             QStringLiteral("图片上传成功图片路径为空123：%1:E").arg(image.id));
}

QTEST_GUILESS_MAIN(TstDatabaseThread)
#include "tst_databasethread.moc"
