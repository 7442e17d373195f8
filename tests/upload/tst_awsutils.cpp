#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>
#include <QtTest>

#include "support/logfile.h"
#include "support/uploadenvironment.h"
#include "upload/saveimagerunnable.h"

// The storage client and the upload task against the verifying local store.
class TstAwsUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void twoThreadsRenewAtOnce();
    void newObjectIsStored();
    void rejectedWrites_data();
    void rejectedWrites();
    void transientFailuresAreRetried();
    void refusedTokenIsRenewed_data();
    void refusedTokenIsRenewed();
    void unusableCredentialsSendNothing_data();
    void unusableCredentialsSendNothing();
    void signedAtTheStoresTime_data();
    void signedAtTheStoresTime();
    void stalledStoreFailsWithinTheTimeout();
    void taskSkipsAnObjectAlreadyServed();

private:
    int stsRequests();
    imgMess runTask(const imgMess &image, bool *stored);

    UploadEnvironment m_up;
};

void TstAwsUtils::initTestCase()
{
    QVERIFY(m_up.setUp());
}

void TstAwsUtils::init()
{
    m_up.store.control(QStringLiteral("reset"));
    m_up.store.control(QStringLiteral("credentials"),
                       QJsonObject{{"secretAccessKey", "local-dev-secret-key-0123456789abcdef"},
                                   {"sessionToken", "local-dev-session-token"}});
    m_up.setCredentials(15);
    AwsUtils::clearCredentials();
    m_up.backend.reset();
}

int TstAwsUtils::stsRequests()
{
    return int(m_up.backend.paths().filter(QStringLiteral("pub/oss/sdsXsky/sts/sessionToken/")).size());
}

imgMess TstAwsUtils::runTask(const imgMess &image, bool *stored)
{
    SaveImageRunnable task(image);
    QSignalSpy over(&task, &SaveImageRunnable::runOver);
    QSignalSpy failed(&task, &SaveImageRunnable::uploadFailed);
    task.run();
    *stored = over.size() == 1 && failed.isEmpty();
    const QSignalSpy &spy = *stored ? over : failed;
    return spy.isEmpty() ? imgMess() : spy.first().first().value<imgMess>();
}

void TstAwsUtils::twoThreadsRenewAtOnce()
{
    m_up.backend.fault(QStringLiteral("pub/oss"), QStringLiteral("delay"), -1, 300);
    QList<StsCredentials> seen;
    QMutex lock;
    QList<QThread *> threads;
    for (int i = 0; i < 4; ++i) {
        threads << QThread::create([&] {
            AwsUtils storage;
            storage.ensureCredentials();
            QMutexLocker l(&lock);
            seen << AwsUtils::credentials();
        });
    }
    for (QThread *t : threads)
        t->start();
    for (QThread *t : threads) {
        QVERIFY(t->wait(20000));
        delete t;
    }
    QCOMPARE(stsRequests(), 1);
    QCOMPARE(seen.size(), 4);
    for (const StsCredentials &c : seen) {
        QCOMPARE(c.accessKeyId, QStringLiteral("LOCALDEVACCESSKEY01"));
        QCOMPARE(c.sessionToken, QStringLiteral("local-dev-session-token"));
        QCOMPARE(c.expiration, seen.first().expiration);
        QVERIFY(!c.expiration.isEmpty());
    }
}

void TstAwsUtils::newObjectIsStored()
{
    const QString path = m_up.writeFile(QStringLiteral("class/张三/1.jpg"), 300000);
    const imgMess image = UploadEnvironment::imageFor(path);
    AwsUtils storage;
    const QString url = storage.upload(path, image.imageName, true);
    QCOMPARE(url, m_up.store.url() + "/normal-order-image/" + image.imageName + ".jpg");
    int status = 0;
    const QByteArray stored = m_up.store.get(url, &status);
    QCOMPARE(status, 200);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(stored, file.readAll());
    QCOMPARE(m_up.store.writes(), 1);
}

void TstAwsUtils::rejectedWrites_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("code");
    QTest::newRow("wrong secret") << "secret"
                                  << "SignatureDoesNotMatch";
    QTest::newRow("expired token") << "expired"
                                   << "ExpiredToken";
    QTest::newRow("wrong token") << "token"
                                 << "InvalidToken";
    QTest::newRow("body changed since its check") << "body"
                                                  << "BadDigest";
}

void TstAwsUtils::rejectedWrites()
{
    QFETCH(QString, fault);
    QFETCH(QString, code);
    const QString path = m_up.writeFile(QStringLiteral("rejected.jpg"), 5000);
    const imgMess image = UploadEnvironment::imageFor(path);
    if (fault == "secret")
        m_up.store.control("credentials", QJsonObject{{"secretAccessKey", "another-secret"}});
    else if (fault == "expired")
        m_up.store.control("credentials", QJsonObject{{"sessionToken", "renewed-token"}});
    else if (fault == "token")
        m_up.setCredentials(15, QJsonObject{{"sessionToken", "forged-token"}});
    else if (fault == "body")
        m_up.writeFile(QStringLiteral("rejected.jpg"), 5000);

    const int before = testlog::lines().size();
    const QString url = AwsUtils().upload(path, image.imageName, true);
    QVERIFY(url.isEmpty());
    QCOMPARE(m_up.store.rejected(code), 1);
    QCOMPARE(m_up.store.writes(), 0);
    const QStringList texts = testlog::texts().mid(before);
    QVERIFY(!texts.isEmpty() && texts.last().startsWith(QStringLiteral("图片上传失败：HTTP")));
    QVERIFY(texts.last().contains(code));

    // Described in the transfer log, without any secret.
    QFile log(AwsUtils::transferLogDir() + "/log_" + QDate::currentDate().toString("yyyy-MM-dd") + ".log");
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QByteArray lines = log.readAll();
    QVERIFY(lines.contains(code.toUtf8()));
    QVERIFY(!lines.contains("local-dev-secret-key"));
    QVERIFY(!lines.contains("session-token"));
}

void TstAwsUtils::transientFailuresAreRetried()
{
    m_up.store.control("fault", QJsonObject{{"kind", "fail"}, {"times", 2}});
    const QString path = m_up.writeFile(QStringLiteral("retry.jpg"), 4000);
    const imgMess image = UploadEnvironment::imageFor(path);
    QVERIFY(!AwsUtils().upload(path, image.imageName, true).isEmpty());
    QCOMPARE(m_up.store.rejected("InternalError"), 2);
    QCOMPARE(m_up.store.writes(), 1);
}

void TstAwsUtils::refusedTokenIsRenewed_data()
{
    QTest::addColumn<QString>("code");
    QTest::newRow("token replaced at the store") << "ExpiredToken";
    QTest::newRow("token the store does not know") << "InvalidToken";
}

// The cached set is refused; the upload drops it, fetches a fresh one and
// goes through at once.
void TstAwsUtils::refusedTokenIsRenewed()
{
    QFETCH(QString, code);
    if (code == "InvalidToken")
        m_up.setCredentials(15, QJsonObject{{"sessionToken", "forged-token"}});
    AwsUtils().ensureCredentials();
    if (code == "ExpiredToken")
        m_up.store.control("credentials", QJsonObject{{"sessionToken", "renewed-token"}});
    m_up.setCredentials(
        15, QJsonObject{{"sessionToken", code == "ExpiredToken" ? "renewed-token" : "local-dev-session-token"}});

    const QString path = m_up.writeFile(QStringLiteral("renewed.jpg"), 6000);
    AwsUtils storage;
    QVERIFY(!storage.upload(path, UploadEnvironment::imageFor(path).imageName, true).isEmpty());
    QCOMPARE(m_up.store.rejected(code), 1);
    QCOMPARE(m_up.store.writes(), 1);
    QCOMPARE(stsRequests(), 2);
    QCOMPARE(storage.lastFailure(), AwsUtils::Failure::None);
}

void TstAwsUtils::unusableCredentialsSendNothing_data()
{
    QTest::addColumn<QString>("field");
    QTest::newRow("no endpoint") << "endpoint";
    QTest::newRow("no access key") << "accessKeyId";
}

void TstAwsUtils::unusableCredentialsSendNothing()
{
    QFETCH(QString, field);
    m_up.setCredentials(15, QJsonObject{{field, ""}});
    const QString path = m_up.writeFile(QStringLiteral("nowhere.jpg"), 3000);
    AwsUtils storage;
    QVERIFY(storage.upload(path, UploadEnvironment::imageFor(path).imageName, true).isEmpty());
    QCOMPARE(storage.lastFailure(), AwsUtils::Failure::NoCredentials);
    const QJsonObject stats = m_up.store.control(QStringLiteral("stats"));
    QCOMPARE(stats.value("writes").toInt(), 0);
    QVERIFY2(stats.value("rejected").toObject().isEmpty(), QJsonDocument(stats).toJson().constData());
}

void TstAwsUtils::signedAtTheStoresTime_data()
{
    QTest::addColumn<int>("offset");
    QTest::addColumn<int>("skewAnswers");
    QTest::newRow("known offset, signed at it") << 60 << 0;
    QTest::newRow("stale offset, learnt again") << -1200 << 1;
}

void TstAwsUtils::signedAtTheStoresTime()
{
    QFETCH(int, offset);
    QFETCH(int, skewAnswers);
    AwsUtils::setClockOffset(offset);
    const auto restore = qScopeGuard([] { AwsUtils::setClockOffset(0); });
    const QString path = m_up.writeFile(QStringLiteral("skew.jpg"), 7000);
    QVERIFY(!AwsUtils().upload(path, UploadEnvironment::imageFor(path).imageName, true).isEmpty());
    QCOMPARE(m_up.store.rejected("RequestTimeTooSkewed"), skewAnswers);
    QCOMPARE(m_up.store.writes(), 1);
    QVERIFY(skewAnswers ? qAbs(AwsUtils::clockOffset()) <= 2 : AwsUtils::clockOffset() == offset);
}

void TstAwsUtils::stalledStoreFailsWithinTheTimeout()
{
    const ScopedStorageOptions options(1, 1);
    m_up.store.control("fault", QJsonObject{{"kind", "stall"}, {"times", 2}});
    const QString path = m_up.writeFile(QStringLiteral("stall.jpg"), 4000);
    QElapsedTimer timer;
    timer.start();
    QVERIFY(AwsUtils().upload(path, UploadEnvironment::imageFor(path).imageName, true).isEmpty());
    QVERIFY2(timer.elapsed() < 6000, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(m_up.store.writes(), 0);
}

void TstAwsUtils::taskSkipsAnObjectAlreadyServed()
{
    const QString path = m_up.writeFile(QStringLiteral("served.jpg"), 3000);
    const imgMess image = UploadEnvironment::imageFor(path);
    bool stored = false;
    const imgMess first = runTask(image, &stored);
    QVERIFY(stored);
    QCOMPARE(first.url, m_up.store.url() + "/normal-order-image/" + image.imageName + ".jpg");
    QCOMPARE(m_up.store.writes(), 1);

    const imgMess again = runTask(image, &stored);
    QVERIFY(stored);
    QCOMPARE(again.url, SaveImageRunnable::publicUrl(image));
    QCOMPARE(m_up.store.writes(), 1);
    QCOMPARE(again.orderId, QStringLiteral("ORDER"));
}

QTEST_GUILESS_MAIN(TstAwsUtils)
#include "tst_awsutils.moc"
