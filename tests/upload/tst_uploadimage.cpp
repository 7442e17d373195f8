#include <QtTest>

#include "support/listedorders.h"
#include "support/logfile.h"
#include "support/queryvalue.h"
#include "support/uploadenvironment.h"
#include "upload/orderrecords.h"
#include "upload/transferwindow.h"
#include "upload/uploadimage.h"

// The scheduler with the real worker, tasks, backend and verifying store, the
// backend and the store speaking https with certificates of a CA the client
// trusts through its CA file.
class TstUploadImage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_certificates.make());
        QVERIFY(m_up.setUp(&m_certificates));
        AwsUtils::Options options = AwsUtils::options();
        options.retries = 0; // every failure goes back to the queue
        AwsUtils::setOptions(options);
        m_scheduler = new uploadImage(this);
        connect(&DatabaseThread::instance(), &DatabaseThread::uploadImages, this, [this] { ++m_leases; });
        connect(&m_ticks, &QTimer::timeout, m_scheduler, &uploadImage::now_time_SLOT);
    }

    void init()
    {
        OrderRecords::setRetryDelays(1, 4);
        m_ticks.stop();
        QTRY_COMPARE(m_scheduler->inFlightCount(), 0);
        QVERIFY(clearQueue());
        m_up.store.control(QStringLiteral("reset"));
    }

    // Pool threads that made network requests end before the process's statics.
    void cleanupTestCase()
    {
        QThreadPool::globalInstance()->waitForDone();
        DatabaseThread::instance().stop();
    }

    // In flight against the fresh window's threshold, which the scheduler has
    // as long as no outcome measured the line.
    void leaseWhenThereIsRoom_data()
    {
        QTest::addColumn<int>("overThreshold");
        QTest::addColumn<QString>("event");
        QTest::addColumn<int>("outcomes");
        QTest::addColumn<int>("leases");
        QTest::newRow("stored, to one below") << 0 << "stored" << 1 << 1;
        QTest::newRow("failed, to one below") << 0 << "failed" << 1 << 1;
        QTest::newRow("stored, to the threshold") << 1 << "stored" << 1 << 0;
        QTest::newRow("two outcomes, the second lease still queued") << 0 << "stored" << 2 << 1;
        QTest::newRow("tick one below") << -1 << "tick" << 0 << 1;
        QTest::newRow("tick at the threshold") << 0 << "tick" << 0 << 0;
        QTest::newRow("start at the threshold") << 0 << "start" << 0 << 0;
    }

    // The pool's threads are held, so the count moves only by the outcomes
    // handed over here; the worker is paused meanwhile, so a second request finds
    // the first still queued. Images without a file: each task fails at once.
    void leaseWhenThereIsRoom()
    {
        QFETCH(int, overThreshold);
        QFETCH(QString, event);
        const int inFlight = TransferWindow().leaseThreshold() + overThreshold;
        QFETCH(int, outcomes);
        QThreadPool *pool = QThreadPool::globalInstance();
        static QSemaphore held; // static: a failed check returns while the pool still waits on it
        for (int i = 0; i < pool->maxThreadCount(); ++i)
            pool->start([] { held.acquire(); });
        auto release = qScopeGuard([pool] { held.release(pool->maxThreadCount()); });
        QList<imgMess> images;
        for (int i = 0; i < inFlight; ++i) {
            images << orderbuilder::image(QString::number(i), QStringLiteral("10001/%1").arg(i));
            images.last().id = 1000 + i;
        }
        m_scheduler->uploadImageGetSlot(images);
        // Leased again while in flight, they are not sent a second time.
        m_scheduler->uploadImageGetSlot(images);
        QCOMPARE(m_scheduler->inFlightCount(), inFlight);

        const int leases = m_leases;
        DatabaseThread::instance().setPaused(true);
        for (int i = 0; i < outcomes; ++i) {
            if (event == "stored")
                m_scheduler->slot_runOver(images.at(i));
            else
                m_scheduler->slot_uploadFailed(images.at(i), QString());
        }
        if (event == "tick")
            m_scheduler->now_time_SLOT();
        if (event == "start")
            m_scheduler->startUploading(true);
        DatabaseThread::instance().setPaused(false);
        // The worker answers in arrival order: a lease asked for comes back before this list.
        QVERIFY(listedOrders());
        QCOMPARE(m_scheduler->inFlightCount(), inFlight - outcomes);
        QTEST(m_leases - leases, "leases");

        release.dismiss();
        held.release(pool->maxThreadCount());
        QTRY_COMPARE(m_scheduler->inFlightCount(), 0);
        pool->waitForDone();
        eachObjectRequested(inFlight, QJsonObject{{"HEAD", 1}});
    }

    // 2,000 small images through the scheduler, the worker, the tasks and the
    // store with the window pinned at its largest and leases asked for every
    // few milliseconds besides the outcomes: each object is written once and
    // never looked for, the image host is never asked for objects no earlier
    // lease can have stored, and the tasks starting together fetch
    // credentials once.
    void eachImageSentOnce()
    {
        AwsUtils::clearCredentials();
        m_up.backend.reset();
        m_up.backend.fault(QStringLiteral("pub/oss"), QStringLiteral("delay"), -1, 300);
        m_scheduler->setTransferRange(TransferWindow::kMax, TransferWindow::kMax);
        const auto unpin =
            qScopeGuard([this] { m_scheduler->setTransferRange(TransferWindow::kMin, TransferWindow::kMax); });
        for (int o = 0; o < 40; ++o)
            DatabaseThread::instance().createOrder(m_up.orderWithFiles(QStringLiteral("N%1").arg(o), 50, 2000));
        m_ticks.start(5);
        QTRY_COMPARE_WITH_TIMEOUT(uploaded(), 2000, 240000);
        m_ticks.stop();
        QCOMPARE(m_scheduler->transfers(), TransferWindow::kMax);
        QCOMPARE(queryValue("SELECT sum(uploadedCount) FROM orders WHERE status='uploaded'").toInt(), 2000);
        eachObjectRequested(2000, QJsonObject{{"PUT", 1}});
        // Kept connections: a few per transfer thread (a slow sanitized run
        // loses some to the store's idle timeout), not one per image.
        QVERIFY2(m_up.store.connections() <= 4 * TransferWindow::kMax,
                 qPrintable(QString::number(m_up.store.connections())));
        QCOMPARE(int(m_up.backend.paths().filter(QStringLiteral("sts/sessionToken/")).size()), 1);
    }

    void outcomeComesBack_data()
    {
        QTest::addColumn<int>("storeFailures");
        QTest::addColumn<bool>("missing"); // the outcome is a failure held for the operator
        QTest::addColumn<bool>("refused"); // the database refuses the outcome's record a while
        QTest::newRow("store fails twice") << 2 << false << false;
        QTest::newRow("record of the upload refused") << 0 << false << true;
        QTest::newRow("record of the failure refused") << 0 << true << true;
    }

    // A failed upload is back in the queue after 1 s, then 2 s, and lands long
    // before its one-hour lease ends. An outcome whose record the database
    // refuses (locked, disk full) is handed in again, not left for that hour.
    void outcomeComesBack()
    {
        QFETCH(int, storeFailures);
        QFETCH(bool, missing);
        QFETCH(bool, refused);
        const QString status = missing ? QStringLiteral("waiting") : QStringLiteral("uploaded");
        if (storeFailures)
            m_up.store.control("fault", QJsonObject{{"kind", "fail"}, {"times", storeFailures}});
        const orderGroup order = m_up.orderWithFiles("F1", 1);
        if (missing)
            QVERIFY(QFile::remove(order.subOrders.first().matched.value(1).innerImages.at(0).localPath));
        const QString trigger = QStringLiteral("CREATE TRIGGER refuse BEFORE UPDATE ON images WHEN NEW.status='%1' "
                                               "BEGIN SELECT RAISE(ABORT, 'disk full'); END");
        QVERIFY(!refused || execStatement(sharedDatabase(), trigger.arg(status)));
        auto drop =
            qScopeGuard([] { execStatement(sharedDatabase(), QStringLiteral("DROP TRIGGER IF EXISTS refuse")); });
        QSignalSpy progress(m_scheduler, &uploadImage::updateUploadingOrder);
        const int before = int(testlog::lines().size());
        DatabaseThread::instance().createOrder(order);
        m_ticks.start(100);
        if (refused) {
            QTRY_VERIFY(testlog::texts().mid(before).join(QLatin1Char('\n')).contains(QStringLiteral("disk full")));
            QVERIFY(execStatement(sharedDatabase(), QStringLiteral("DROP TRIGGER refuse")));
        }
        QTRY_COMPARE_WITH_TIMEOUT(queryValue("SELECT status FROM images").toString(), status, 20000);
        QCOMPARE(queryValue("SELECT count(*) FROM uploadHolds WHERE notBefore IS NULL").toInt(), int(missing));
        QCOMPARE(m_up.store.rejected("InternalError"), storeFailures);
        QCOMPARE(m_up.store.writes(), int(!missing));
        QCOMPARE(testlog::texts().mid(before).filter(QStringLiteral("秒后重试：")).size(), storeFailures);
        if (!missing)
            QTRY_COMPARE(progress.value(progress.size() - 1), (QVariantList{QStringLiteral("F1"), 1}));
    }

    void imageThatCannotBeSentIsHeld_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<QString>("problem");
        QTest::newRow("changed since its check") << "changed" << QStringLiteral("图片在检查后被修改");
        QTest::newRow("missing") << "missing" << QStringLiteral("本地图片不存在");
        // Each certificate's refusal is the storage client's test; any one is held alike.
        QTest::newRow("store for another host")
            << "store"
            << QStringLiteral("证书校验失败：SSL: no alternative certificate subject name matches target host name "
                              "'127.0.0.1'");
    }

    // One of two files is changed or gone, or the store's certificate is
    // refused (both files then): the other lands, the held ones wait for the
    // operator without further tries, the log and the uploading list name
    // them, and once the file or the store is put right a new try sends them.
    void imageThatCannotBeSentIsHeld()
    {
        QFETCH(QString, fault);
        QFETCH(QString, problem);
        const auto storePutRight = [this] {
            m_up.setCredentials(15);
            AwsUtils::clearCredentials();
        };
        const auto restore = qScopeGuard(storePutRight);
        const orderGroup order = m_up.orderWithFiles("H1", 2);
        const QList<imgMess> &pages = order.subOrders.first().matched.value(1).innerImages;
        const QString bad = pages.at(1).localPath;
        QStringList held{bad};
        ObjectStoreProcess refusing;
        if (fault == "store") {
            QVERIFY(refusing.start(&m_certificates, TestCertificates::OtherHost));
            m_up.setCredentials(15, QJsonObject{{"endpoint", refusing.url()}});
            AwsUtils::clearCredentials();
            held.prepend(pages.at(0).localPath);
        } else {
            QVERIFY(QFile::rename(bad, bad + ".kept"));
            QVERIFY(fault == "missing" || m_up.writeFile(bad.mid(m_up.env.path().size() + 8), 3000) == bad);
        }
        DatabaseThread::instance().createOrder(order);
        const int before = int(testlog::lines().size());
        m_ticks.start(100);

        const QString heldProblem =
            QStringLiteral("SELECT problem FROM uploadHolds WHERE notBefore IS NULL AND localPath='%1'");
        for (const QString &path : held)
            QTRY_COMPARE_WITH_TIMEOUT(queryValue(heldProblem.arg(path)).toString(), problem, 20000);
        QTRY_COMPARE(uploaded(), 2 - int(held.size()));
        const int leases = m_leases;
        QTRY_VERIFY(m_leases >= leases + 5);
        QCOMPARE(m_up.store.rejected("BadDigest"), int(fault == "changed"));
        const QStringList texts = testlog::texts().mid(before);
        QStringList shownHeld;
        for (const QString &path : held) {
            QCOMPARE(queryValue(QStringLiteral("SELECT status FROM images WHERE localPath='%1'").arg(path)).toString(),
                     QStringLiteral("waiting"));
            QCOMPARE(texts.count(QStringLiteral("图片需要人工处理，订单H1，文件%1：%2").arg(path, problem)), 1);
            shownHeld << QStringLiteral("%1：%2").arg(path, problem);
        }
        QCOMPARE(texts.filter(QStringLiteral("秒后重试：")), QStringList());
        QList<orderGroup> shown;
        QVERIFY(listedOrders(&shown));
        QCOMPARE(shown.size(), 1);
        QCOMPARE(shown.first().details.value(OrderRecords::heldImagesKey()).toStringList(), shownHeld);

        if (fault == "store")
            storePutRight();
        else
            QVERIFY((fault == "missing" || QFile::remove(bad)) && QFile::rename(bad + ".kept", bad));
        DatabaseThread::instance().releaseHeldImages({QStringLiteral("'H1'")});
        QTRY_COMPARE_WITH_TIMEOUT(uploaded(), 2, 20000);
        QCOMPARE(queryValue("SELECT count(*) FROM uploadHolds WHERE notBefore IS NULL").toInt(), 0);
    }

    // A run that died in the very second this one starts left its leases
    // behind: they are sent now, not when their hour has run out. Last, as the
    // start leaves the scheduler polling (here once an hour).
    void startUpTakesBackLeasesOfTheSameSecond()
    {
        DatabaseThread::instance().createOrder(m_up.orderWithFiles(QStringLiteral("D1"), 3, 1000));
        QTRY_COMPARE(queryValue("SELECT count(*) FROM images").toInt(), 3);
        QVERIFY(execStatement(sharedDatabase(), QStringLiteral("UPDATE images SET status='uploading', uploadDate=%1")
                                                    .arg(QDateTime::currentSecsSinceEpoch())));
        m_scheduler->setInterval(3600 * 1000);
        m_scheduler->startUploading(false);
        QTRY_COMPARE(uploaded(), 3);
        eachObjectRequested(3, QJsonObject{{"HEAD", 1}, {"PUT", 1}});
    }

    // On a shared PC each store account's images go out only while it is
    // logged in, under credentials fetched with its own login; the others
    // wait, and the queue count says how many.
    void eachAccountUploadsOnlyItsOwn()
    {
        const auto login = [](const QString &phone, const QString &password) {
            return HttpUtils::instance().getToken(phone, password);
        };
        const auto restore = qScopeGuard([&login] { login("13800000001", "demo1234"); });
        QSignalSpy counted(&DatabaseThread::instance(), &DatabaseThread::queueCounted);
        // The spy records in the worker's thread, possibly before a wait began.
        const auto othersWaiting = [&counted] {
            counted.clear();
            DatabaseThread::instance().countQueue(0);
            (void)QTest::qWaitFor([&counted] { return !counted.isEmpty(); }, 10000);
            return counted.isEmpty() ? -1 : counted.takeLast().first().value<QueueCounts>().imagesOtherAccounts;
        };
        AwsUtils::clearCredentials();
        // The order belongs to the account that submitted it, though the worker
        // stores it only after the next login.
        QVERIFY(login("13800000002", "wedding'88"));
        DatabaseThread::instance().setPaused(true);
        DatabaseThread::instance().createOrder(m_up.orderWithFiles(QStringLiteral("W1"), 3, 1000));
        for (const bool first : {true, false}) {
            QVERIFY(first ? login("13800000001", "demo1234") : login("13800000002", "wedding'88"));
            DatabaseThread::instance().setPaused(false);
            const QString own = first ? QStringLiteral("P1") : QStringLiteral("W1");
            const QString other = first ? QStringLiteral("W1") : QStringLiteral("P1");
            if (first)
                DatabaseThread::instance().createOrder(m_up.orderWithFiles(own, 4, 1000));
            QTRY_COMPARE(queryValue("SELECT count(*) FROM images WHERE orderId='" + own + "'").toInt(), first ? 4 : 3);
            QCOMPARE(othersWaiting(), first ? 3 : 0);
            m_up.backend.reset();
            m_scheduler->now_time_SLOT();
            QTRY_COMPARE(uploaded(own), first ? 4 : 3);
            m_scheduler->now_time_SLOT();
            QVERIFY(listedOrders()); // the worker has answered that lease
            QCOMPARE(uploaded(other), first ? 0 : 4);
            QCOMPARE(othersWaiting(), first ? 3 : 0);
            // Stored under the store account's own folder.
            const QString under =
                QStringLiteral("' AND url LIKE '%/normal-order-image/%1/%'").arg(first ? 10001 : 10002);
            QCOMPARE(queryValue("SELECT count(*) FROM images WHERE orderId='" + own + under).toInt(), first ? 4 : 3);
            // The credentials were asked for with this login's token.
            QStringList tokens;
            for (const QJsonValue &request : m_up.backend.requests()) {
                if (request["path"].toString().contains(QStringLiteral("sts/sessionToken/")))
                    tokens << request["token"].toString();
            }
            QCOMPARE(tokens, QStringList{VellRuntime::instance().accessToken()});
        }
    }

private:
    static int uploaded(const QString &orderNo = "%")
    {
        return queryValue("SELECT count(*) FROM images WHERE status='uploaded' AND orderId LIKE '" + orderNo + "'")
            .toInt();
    }

    void eachObjectRequested(int objects, const QJsonObject &times)
    {
        const QJsonObject requests = m_up.store.requests();
        QCOMPARE(requests.size(), objects);
        for (auto it = requests.begin(); it != requests.end(); ++it)
            QCOMPARE(it.value().toObject(), times);
    }

    TestCertificates m_certificates;
    UploadEnvironment m_up;
    uploadImage *m_scheduler = nullptr;
    int m_leases = 0;
    QTimer m_ticks;
};

QTEST_GUILESS_MAIN(TstUploadImage)
#include "tst_uploadimage.moc"
