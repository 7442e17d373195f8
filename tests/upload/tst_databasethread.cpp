#include <QtEndian>
#include <QtTest>

#include "core/apppaths.h"
#include "core/vellruntime.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/queryvalue.h"
#include "upload/databasethread.h"

// The worker through its requests and signals, as the GUI thread sees it.
class TstDatabaseThread : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void requestsServedInArrivalOrder();
    void outcomesRecordedTogether();

private:
    DatabaseThread &worker() { return DatabaseThread::instance(); }
    void waitIdle();

    ClientEnvironment m_env;
    QList<QList<imgMess>> m_leases;
    QList<QPair<int, int>> m_lists; // type, number of orders
    QList<QPair<QString, int>> m_counts;
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
}

void TstDatabaseThread::init()
{
    waitIdle();
    for (const char *table : {"orders", "subOrders", "images", "product"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
    m_leases.clear();
    m_lists.clear();
    m_counts.clear();
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

void TstDatabaseThread::requestsServedInArrivalOrder()
{
    worker().setPaused(true);
    for (const QString no : {"O1", "O2"}) {
        worker().fetchOrders(1);
        worker().createOrder(orderbuilder::order(no, "班", {orderbuilder::line(no + "-1", "张三", 1, 2, 0, 1)}));
    }
    worker().fetchOrders(1);
    worker().deleteOrders({"'O1'", "'O2'"});
    worker().fetchOrders(1);
    worker().setPaused(false);
    QTRY_COMPARE(m_lists.size(), 4);
    QCOMPARE(m_lists, (QList<QPair<int, int>>{{1, 0}, {1, 1}, {1, 2}, {1, 0}}));
}

// Bytes 24..27 of the file count its write transactions.
static quint32 writeTransactions()
{
    QFile file(AppPaths::databaseFile());
    return file.open(QIODevice::ReadOnly) ? qFromBigEndian<quint32>(file.read(28).constData() + 24) : 0;
}

// One request's images are one write transaction; one without a URL is
// logged and left uploading.
void TstDatabaseThread::outcomesRecordedTogether()
{
    worker().createOrder(orderbuilder::order("E", "班", {orderbuilder::line("E-1", "张三", 1, 2, 0, 3)}));
    worker().fetchImagesToUpload(3600);
    QTRY_COMPARE(m_leases.size(), 1);
    QList<imgMess> images = m_leases.first();
    images[0].url = images[2].url = QStringLiteral("http://store/a.jpg");
    const int before = testlog::lines().size();
    const quint32 transactions = writeTransactions();
    worker().storeUploadedImages(images);
    waitIdle();
    QCOMPARE(writeTransactions(), transactions + 1);
    QCOMPARE(m_counts, (QList<QPair<QString, int>>{{"E", 2}, {"E", 2}}));
    QCOMPARE(queryValue("SELECT group_concat(status) FROM (SELECT status FROM images ORDER BY id)").toString(),
             QStringLiteral("uploaded,uploading,uploaded"));
    QCOMPARE(testlog::texts().mid(before).first(),
             QStringLiteral("图片上传成功图片路径为空123：%1:E").arg(images[1].id));
}

QTEST_GUILESS_MAIN(TstDatabaseThread)
#include "tst_databasethread.moc"
