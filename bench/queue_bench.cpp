// The durable queue under load, through the database worker: orders holding
// 10,000 images are created, leased in batches of 50 and recorded as
// uploaded one by one. Prints images per second, write transactions per
// image (from the database header's change counter), the cost of one image
// against a bare durable commit on the same file measured in the same run,
// and the time of each list query with 10,000 stored orders.
#include <cstdio>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtEndian>

#include "core/apppaths.h"
#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "upload/databasethread.h"
#include "upload/orderrecords.h"

namespace {

constexpr int kOrders = 10000;

// Bytes 24..27 of an SQLite file count its write transactions (rollback journal).
quint32 changeCounter()
{
    QFile file(AppPaths::databaseFile());
    if (!file.open(QIODevice::ReadOnly))
        return 0;
    const QByteArray header = file.read(28);
    return header.size() == 28 ? qFromBigEndian<quint32>(header.constData() + 24) : 0;
}

orderGroup benchOrder(int i)
{
    imgMess page;
    page.name = QStringLiteral("1");
    page.imageName = QStringLiteral("%1").arg(i, 32, 16, QLatin1Char('0'));
    page.width = 4795;
    page.height = 2433;
    page.xdpi = page.ydpi = 300;
    page.size = 1000000;
    page.localPath = QStringLiteral("/photos/class/order %1/1.jpg").arg(i);
    subOrderImages entry;
    entry.name = QStringLiteral("order %1").arg(i);
    entry.addSingle(page);
    entry.pageType = QStringLiteral("SINGLE");
    groupProductImages line;
    line.orderNo = QStringLiteral("B%1-1").arg(i, 6, 10, QLatin1Char('0'));
    line.name = entry.name;
    line.skuId = 230101;
    line.skuGroupId = 2301;
    line.price = 45;
    line.imageCount = 1;
    line.totalBytes = page.size;
    line.matched.insert(230101, entry);
    orderGroup order;
    order.orderNo = QStringLiteral("B%1").arg(i, 6, 10, QLatin1Char('0'));
    order.name = QStringLiteral("班级 %1").arg(i / 40);
    order.productName = QStringLiteral("水晶摆台");
    order.skuGroupName = QStringLiteral("7寸摆台");
    order.skuGroupNames = {order.skuGroupName};
    order.spuID = 1003;
    order.subOrders = {line};
    order.fileCout = 1;
    order.size = 0.95f;
    return order;
}

// The cost floor of the queue: one durable single-row commit on the same file.
double bareCommitMs(int rounds)
{
    QSqlDatabase &db = sharedDatabase();
    db.open();
    QSqlQuery query(db);
    query.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS bench_floor(id INTEGER PRIMARY KEY, v INTEGER)"));
    query.exec(QStringLiteral("INSERT INTO bench_floor(id, v) VALUES(1, 0)"));
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < rounds; ++i)
        query.exec(QStringLiteral("UPDATE bench_floor SET v = v + 1 WHERE id = 1"));
    const double ms = timer.nsecsElapsed() / 1e6 / rounds;
    query.exec(QStringLiteral("DROP TABLE bench_floor"));
    return ms;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    AppPaths::setAppDataDir(home.filePath(QStringLiteral("appdata")));
    VellRuntime::instance().applyLogin(QJsonObject{{"userId", 10001}, {"storeId", 20001}}, "13800000001", "pw");
    DatabaseThread &worker = DatabaseThread::instance();

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kOrders; ++i)
        worker.createOrder(benchOrder(i));
    bool listed = false;
    QObject::connect(&worker, &DatabaseThread::ordersGetSig, &app, [&listed] { listed = true; });
    worker.fetchOrders(1);
    while (!listed)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double createSeconds = timer.nsecsElapsed() / 1e9;

    const double floorMs = bareCommitMs(500);

    int recorded = 0;
    int leasedTotal = 0;
    bool leaseAnswered = false;
    QList<imgMess> batch;
    QObject::connect(&worker, &DatabaseThread::uploadImages, &app, [&](const QList<imgMess> &images) {
        batch = images;
        leaseAnswered = true;
    });
    QObject::connect(&worker, &DatabaseThread::uploadingOrderDate, &app, [&recorded] { ++recorded; });

    const quint32 countersBefore = changeCounter();
    timer.restart();
    forever {
        leaseAnswered = false;
        worker.fetchImagesToUpload(3600);
        while (!leaseAnswered)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (batch.isEmpty())
            break;
        leasedTotal += int(batch.size());
        for (imgMess image : batch) {
            image.url = QStringLiteral("http://127.0.0.1:27090/normal-order-image/") + image.imageName + ".jpg";
            worker.storeUploadedImages({image});
        }
        while (recorded < leasedTotal)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const double uploadSeconds = timer.nsecsElapsed() / 1e9;
    const quint32 transactions = changeCounter() - countersBefore;
    worker.stop();

    // Lists with 10,000 stored orders: a third in the cart, a third still uploading.
    execStatement(sharedDatabase(), QStringLiteral("UPDATE orders SET status='CARTOK' WHERE id % 3 = 0"));
    execStatement(sharedDatabase(),
                  QStringLiteral("UPDATE orders SET status='uploading', uploadedCount=0 WHERE id % 3 = 1"));
    double listMs[4] = {0, 0, 0, 0};
    int listRows[4] = {0, 0, 0, 0};
    for (int type = 1; type <= 3; ++type) {
        OrderRecords::fetchOrders(100, type); // warm
        QElapsedTimer t;
        t.start();
        const int rounds = 5;
        for (int r = 0; r < rounds; ++r)
            listRows[type] = int(OrderRecords::fetchOrders(100, type).size());
        listMs[type] = t.nsecsElapsed() / 1e6 / rounds;
    }

    const double perImageMs = uploadSeconds * 1000.0 / recorded;
    std::printf("queue: %d orders created in %.1f s (%.0f orders/s)\n", kOrders, createSeconds,
                kOrders / createSeconds);
    std::printf("queue: %d images leased and recorded in %.1f s: %.0f images/s\n", recorded, uploadSeconds,
                recorded / uploadSeconds);
    std::printf("queue: write transactions per uploaded image: %.3f\n", double(transactions) / recorded);
    std::printf("queue: one image %.3f ms, one bare durable commit %.3f ms, ratio %.2f\n", perImageMs, floorMs,
                perImageMs / floorMs);
    const char *names[4] = {"", "uploading (1)", "uploaded (2)", "cart (3)"};
    for (int type = 1; type <= 3; ++type)
        std::printf("queue: list %-14s %6.2f ms for %d rows of %d orders\n", names[type], listMs[type], listRows[type],
                    kOrders);
    return 0;
}
