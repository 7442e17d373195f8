#include <QCryptographicHash>
#include <QSqlRecord>
#include <QtTest>

#include "store/shareddatabase.h"
#include "support/orderbuilder.h"
#include "support/uploadenvironment.h"
#include "upload/databasethread.h"
#include "upload/uploadimage.h"

// The scheduler with the real worker, tasks, backend and verifying store.
class TstUploadImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void tickLeasesBelowTen();
    void leaseRaisesTheCount();

private:
    bool leaseAskedFor(const std::function<void()> &action);
    QList<imgMess> fakes(int n);
    orderGroup orderWithFiles(const QString &orderNo, int files);
    QVariant value(const QString &sql);

    UploadEnvironment m_up;
    uploadImage *m_scheduler = nullptr;
    int m_leases = 0;
    int m_lists = 0;
    QList<QPair<QString, int>> m_progress;
};

void TstUploadImage::initTestCase()
{
    QVERIFY(m_up.setUp());
    m_scheduler = new uploadImage(this);
    DatabaseThread &worker = DatabaseThread::instance();
    connect(&worker, &DatabaseThread::uploadImages, this, [this] { ++m_leases; });
    connect(&worker, &DatabaseThread::ordersGetSig, this, [this] { ++m_lists; });
    connect(m_scheduler, &uploadImage::updateUploadingOrder, this,
            [this](const QString &order, int n) { m_progress << qMakePair(order, n); });
}

void TstUploadImage::init()
{
    QTRY_COMPARE(m_scheduler->inFlightCount(), 0);
    for (const char *table : {"orders", "subOrders", "images"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
    m_up.store.control(QStringLiteral("reset"));
    m_progress.clear();
}

// Whether `action` made the scheduler ask for a lease: the worker answers in
// arrival order, so a lease asked for comes back before a list asked after.
bool TstUploadImage::leaseAskedFor(const std::function<void()> &action)
{
    const int leases = m_leases;
    const int lists = m_lists;
    action();
    DatabaseThread::instance().fetchOrders(1);
    if (!QTest::qWaitFor([&] { return m_lists > lists; }, 10000))
        return false;
    return m_leases > leases;
}

QList<imgMess> TstUploadImage::fakes(int n)
{
    QList<imgMess> images;
    for (int i = 0; i < n; ++i) {
        imgMess m;
        m.id = 1000 + i;
        m.localPath = m_up.env.path() + QStringLiteral("/nowhere/%1.jpg").arg(i);
        m.imageName = QStringLiteral("10001/%1").arg(i);
        m.orderId = QStringLiteral("FAKE");
        images << m;
    }
    return images;
}

orderGroup TstUploadImage::orderWithFiles(const QString &orderNo, int files)
{
    groupProductImages line = orderbuilder::line(orderNo + "-1", QStringLiteral("张三"), 1, 2, 0, files);
    for (imgMess &page : line.matched[1].innerImages) {
        page.localPath = m_up.writeFile(QStringLiteral("%1/%2.jpg").arg(orderNo, page.name), 20000 + page.name.toInt());
        page.imageName = UploadEnvironment::imageFor(page.localPath).imageName.section('/', -1);
    }
    return orderbuilder::order(orderNo, QStringLiteral("一班"), {line});
}

QVariant TstUploadImage::value(const QString &sql)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), sql, rows);
    return rows.isEmpty() ? QVariant() : rows.first().value(0);
}

void TstUploadImage::tickLeasesBelowTen()
{
    QVERIFY(leaseAskedFor([this] {
        m_scheduler->uploadImageGetSlot(fakes(9));
        QCOMPARE(m_scheduler->inFlightCount(), 9);
        m_scheduler->now_time_SLOT();
    }));
    QTRY_COMPARE(m_scheduler->inFlightCount(), 0);
    QVERIFY(!leaseAskedFor([this] {
        m_scheduler->uploadImageGetSlot(fakes(10));
        m_scheduler->now_time_SLOT();
        m_scheduler->startUploading(true);
    }));
}

void TstUploadImage::leaseRaisesTheCount()
{
    m_scheduler->uploadImageGetSlot(fakes(50));
    QCOMPARE(m_scheduler->inFlightCount(), 50);
    // Every one fails (no file), and each failure leaves the count.
    QTRY_COMPARE_WITH_TIMEOUT(m_scheduler->inFlightCount(), 0, 30000);
}

QTEST_GUILESS_MAIN(TstUploadImage)
#include "tst_uploadimage.moc"
