#include <QProcess>
#include <QSemaphore>
#include <QSqlRecord>
#include <QThreadPool>
#include <QtTest>

#include "store/shareddatabase.h"
#include "support/logfile.h"
#include "support/orderbuilder.h"
#include "support/uploadenvironment.h"
#include "upload/databasethread.h"
#include "upload/orderrecords.h"
#include "upload/uploadimage.h"

// The scheduler with the real worker, tasks, backend and verifying store.
class TstUploadImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanupTestCase();
    void leaseWhenThereIsRoom_data();
    void leaseWhenThereIsRoom();
    void eachImageSentOnce();
    void failedUploadComesBack();
    void imageThatCannotBeSentIsHeld_data();
    void imageThatCannotBeSentIsHeld();
    void wrongClockStillUploads();

private:
    int leasesAskedFor(const std::function<void()> &action);
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

// Pool threads that made network requests end before the process's statics.
void TstUploadImage::cleanupTestCase()
{
    QThreadPool::globalInstance()->waitForDone();
    DatabaseThread::instance().stop();
}

void TstUploadImage::init()
{
    OrderRecords::setRetryDelays(1, 4);
    QTRY_COMPARE(m_scheduler->inFlightCount(), 0);
    for (const char *table : {"orders", "subOrders", "images", "uploadHolds"})
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DELETE FROM %1").arg(QLatin1String(table))));
    m_up.store.control(QStringLiteral("reset"));
    m_progress.clear();
}

// The leases `action` made the scheduler ask for: the worker answers in
// arrival order, so every lease asked for comes back before a list asked after.
int TstUploadImage::leasesAskedFor(const std::function<void()> &action)
{
    const auto served = [this] {
        const int lists = m_lists;
        DatabaseThread::instance().fetchOrders(1);
        return QTest::qWaitFor([&] { return m_lists > lists; }, 10000);
    };
    if (!served())
        return -1;
    const int leases = m_leases;
    action();
    return served() ? m_leases - leases : -1;
}

// Images without a file: each task fails at once.
QList<imgMess> TstUploadImage::fakes(int n)
{
    QList<imgMess> images;
    for (int i = 0; i < n; ++i) {
        imgMess m;
        m.id = 1000 + i;
        m.localPath = m_up.env.path() + QStringLiteral("/nowhere/%1.jpg").arg(i);
        m.imageName = QStringLiteral("10001/%1").arg(i);
        m.orderId = QStringLiteral("FAKE");
        m.url = QStringLiteral("http://store/%1.jpg").arg(i);
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

void TstUploadImage::leaseWhenThereIsRoom_data()
{
    QTest::addColumn<int>("inFlight");
    QTest::addColumn<QString>("event");
    QTest::addColumn<int>("leases");
    QTest::newRow("stored, 10 to 9") << 10 << "stored" << 1;
    QTest::newRow("failed, 10 to 9") << 10 << "failed" << 1;
    QTest::newRow("stored, 11 to 10") << 11 << "stored" << 0;
    QTest::newRow("two outcomes, the second lease still queued") << 10 << "stored twice" << 1;
    QTest::newRow("tick at 9") << 9 << "tick" << 1;
    QTest::newRow("tick at 10") << 10 << "tick" << 0;
    QTest::newRow("start at 10") << 10 << "start" << 0;
}

// The pool's threads are held, so the count moves only by the outcomes
// handed to the scheduler here; the worker is paused meanwhile, so a second
// request finds the first still queued.
void TstUploadImage::leaseWhenThereIsRoom()
{
    QFETCH(int, inFlight);
    QFETCH(QString, event);
    QThreadPool *pool = QThreadPool::globalInstance();
    // Static: a failed check returns while they still wake up.
    static QSemaphore held;
    for (int i = 0; i < pool->maxThreadCount(); ++i)
        pool->start([] { held.acquire(); });
    bool released = false;
    const auto release = [&] {
        if (!std::exchange(released, true))
            held.release(pool->maxThreadCount());
    };
    const auto releaseOnFailure = qScopeGuard(release);
    const QList<imgMess> images = fakes(inFlight);
    m_scheduler->uploadImageGetSlot(images);
    QCOMPARE(m_scheduler->inFlightCount(), inFlight);
    // Leased again while in flight, they are not sent a second time.
    m_scheduler->uploadImageGetSlot(images);

    const int leases = leasesAskedFor([&] {
        DatabaseThread::instance().setPaused(true);
        if (event.startsWith("stored"))
            m_scheduler->slot_runOver(images.at(0));
        if (event == "stored twice")
            m_scheduler->slot_runOver(images.at(1));
        if (event == "failed")
            m_scheduler->slot_uploadFailed(images.at(0), QString());
        if (event == "tick")
            m_scheduler->now_time_SLOT();
        if (event == "start")
            m_scheduler->startUploading(true);
        DatabaseThread::instance().setPaused(false);
    });
    const int outcomes = event == "stored twice" ? 2 : event == "stored" || event == "failed" ? 1 : 0;
    QCOMPARE(m_scheduler->inFlightCount(), inFlight - outcomes);
    QTEST(leases, "leases");

    release();
    QTRY_COMPARE(m_scheduler->inFlightCount(), 0);
    pool->waitForDone();
    const QJsonObject requests = m_up.store.control(QStringLiteral("requests"));
    QCOMPARE(requests.size(), inFlight);
    for (auto it = requests.begin(); it != requests.end(); ++it)
        QCOMPARE(it.value().toObject(), (QJsonObject{{"HEAD", 1}}));
}

// 1,000 images through the scheduler, the worker, the tasks and the store,
// driven by the outcomes alone (no timer): each object is asked for once and
// written once.
void TstUploadImage::eachImageSentOnce()
{
    constexpr int kOrders = 20;
    for (int o = 0; o < kOrders; ++o) {
        orderGroup order = orderWithFiles(QStringLiteral("N%1").arg(o), 50);
        DatabaseThread::instance().createOrder(order);
    }
    m_scheduler->now_time_SLOT();
    QTRY_COMPARE_WITH_TIMEOUT(value("SELECT count(*) FROM images WHERE status='uploaded'").toInt(), kOrders * 50, 120000);
    QCOMPARE(value("SELECT sum(uploadedCount) FROM orders WHERE status='uploaded'").toInt(), kOrders * 50);
    const QJsonObject requests = m_up.store.control(QStringLiteral("requests"));
    QCOMPARE(requests.size(), kOrders * 50);
    for (auto it = requests.begin(); it != requests.end(); ++it)
        QCOMPARE(it.value().toObject(), (QJsonObject{{"HEAD", 1}, {"PUT", 1}}));
}

// The store fails the first two writes; the image is back in the queue
// after 1 s, then 2 s, and lands long before its one-hour lease ends.
void TstUploadImage::failedUploadComesBack()
{
    const ScopedStorageOptions options(0, 2);
    m_up.store.control("fault", QJsonObject{{"kind", "fail"}, {"times", 2}});
    DatabaseThread::instance().createOrder(orderWithFiles("R1", 1));
    const int before = int(testlog::lines().size());
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, m_scheduler, &uploadImage::now_time_SLOT);
    ticks.start(100);
    QTRY_COMPARE_WITH_TIMEOUT(value("SELECT status FROM images WHERE orderId='R1'").toString(), QStringLiteral("uploaded"),
                              20000);
    QCOMPARE(m_up.store.rejected("InternalError"), 2);
    QCOMPARE(m_up.store.writes(), 1);
    const QStringList pauses = testlog::texts().mid(before).filter(QStringLiteral("秒后重试："));
    QCOMPARE(pauses.size(), 2);
    QVERIFY2(pauses.at(0).startsWith(QStringLiteral("图片上传失败，1秒后重试："))
                 && pauses.at(1).startsWith(QStringLiteral("图片上传失败，2秒后重试：")),
             qPrintable(pauses.join('|')));
    QTRY_COMPARE(m_progress.value(0), qMakePair(QStringLiteral("R1"), 1));
}

void TstUploadImage::imageThatCannotBeSentIsHeld_data()
{
    QTest::addColumn<bool>("removed");
    QTest::addColumn<QString>("problem");
    QTest::newRow("changed since its check") << false << QStringLiteral("图片在检查后被修改");
    QTest::newRow("missing") << true << QStringLiteral("本地图片不存在");
}

// One of two files is changed or gone: the other lands, this one waits for
// the operator without further tries, the log and the uploading list name
// it, and once the file is back a new check sends it.
void TstUploadImage::imageThatCannotBeSentIsHeld()
{
    QFETCH(bool, removed);
    QFETCH(QString, problem);
    const orderGroup order = orderWithFiles("H1", 2);
    const QString bad = order.subOrders.first().matched.value(1).innerImages.at(1).localPath;
    QFile file(bad);
    QVERIFY(file.open(QIODevice::ReadWrite));
    const QByteArray original = file.readAll();
    file.close();
    if (removed)
        QVERIFY(file.remove());
    else
        QVERIFY(m_up.writeFile(bad.mid(m_up.env.path().size() + 8), 3000) == bad);
    DatabaseThread::instance().createOrder(order);
    const int before = int(testlog::lines().size());
    QTimer ticks;
    connect(&ticks, &QTimer::timeout, m_scheduler, &uploadImage::now_time_SLOT);
    ticks.start(100);

    const QString heldProblem = QStringLiteral("SELECT problem FROM uploadHolds WHERE notBefore IS NULL AND localPath='%1'")
                                    .arg(bad);
    QTRY_COMPARE_WITH_TIMEOUT(value(heldProblem).toString(), problem, 20000);
    QTRY_COMPARE(value("SELECT count(*) FROM images WHERE orderId='H1' AND status='uploaded'").toInt(), 1);
    const int leases = m_leases;
    QTRY_VERIFY(m_leases >= leases + 5);
    QCOMPARE(m_up.store.rejected("BadDigest"), removed ? 0 : 1);
    QCOMPARE(value(QStringLiteral("SELECT status FROM images WHERE localPath='%1'").arg(bad)).toString(),
             QStringLiteral("waiting"));
    QCOMPARE(testlog::texts().mid(before).filter(QStringLiteral("图片需要人工处理，订单H1，文件%1：%2").arg(bad, problem)).size(),
             1);

    QSignalSpy lists(&DatabaseThread::instance(), &DatabaseThread::ordersGetSig);
    DatabaseThread::instance().fetchOrders(1);
    QTRY_COMPARE(lists.size(), 1);
    const QList<orderGroup> shown = lists.first().at(1).value<QList<orderGroup>>();
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().details.value(OrderRecords::heldImagesKey()).toStringList(),
             QStringList{QStringLiteral("%1：%2").arg(bad, problem)});

    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write(original);
    file.close();
    DatabaseThread::instance().releaseHeldImages({QStringLiteral("'H1'")});
    QTRY_COMPARE_WITH_TIMEOUT(value("SELECT count(*) FROM images WHERE orderId='H1' AND status='uploaded'").toInt(), 2,
                              20000);
    QCOMPARE(value("SELECT count(*) FROM uploadHolds WHERE notBefore IS NULL").toInt(), 0);
}

// The upload agent runs with its clock 20 minutes ahead: the store refuses
// the first writes as too skewed, and the agent signs at the store's time.
void TstUploadImage::wrongClockStillUploads()
{
    QVERIFY2(QFile::exists(QStringLiteral(FAKETIME_LIBRARY)), "faketime is not installed (scripts/install.sh)");
    DatabaseThread::instance().createOrder(orderWithFiles("S1", 3));
    DatabaseThread::instance().stop();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("LD_PRELOAD"), QStringLiteral(FAKETIME_LIBRARY));
    environment.insert(QStringLiteral("FAKETIME"), QStringLiteral("+20m"));
    // In the sanitized build the preload comes before AddressSanitizer's runtime.
    environment.insert(QStringLiteral("ASAN_OPTIONS"),
                       environment.value(QStringLiteral("ASAN_OPTIONS")) + QStringLiteral(":verify_asan_link_order=0"));
    QProcess agent;  // killed when it goes out of scope
    agent.setProgram(QStringLiteral(UPLOADAGENT_EXECUTABLE));
    agent.setArguments({QStringLiteral("--interval"), QStringLiteral("200")});
    agent.setProcessEnvironment(environment);
    agent.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    agent.start();
    QVERIFY(agent.waitForStarted(10000));
    QTRY_COMPARE_WITH_TIMEOUT(value("SELECT count(*) FROM images WHERE orderId='S1' AND status='uploaded'").toInt(), 3,
                              30000);
    agent.kill();
    QVERIFY(agent.waitForFinished(10000));
    const int skewed = m_up.store.rejected("RequestTimeTooSkewed");
    QVERIFY2(skewed >= 1 && skewed <= 3, qPrintable(QString::number(skewed)));
    QCOMPARE(m_up.store.writes(), 3);
}

QTEST_GUILESS_MAIN(TstUploadImage)
#include "tst_uploadimage.moc"
