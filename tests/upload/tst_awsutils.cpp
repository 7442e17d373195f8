#include <QtTest>

#include "support/logfile.h"
#include "support/uploadenvironment.h"
#include "upload/saveimagerunnable.h"

// The storage client and the upload task against the verifying local store.
class TstAwsUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_up.setUp());
        QVERIFY(m_certificates.make());
    }

    void init()
    {
        m_up.store.control(QStringLiteral("reset"));
        m_up.store.control(QStringLiteral("credentials"),
                           QJsonObject{{"secretAccessKey", "local-dev-secret-key-0123456789abcdef"},
                                       {"sessionToken", "local-dev-session-token"}});
        m_up.setCredentials(15);
        AwsUtils::clearCredentials();
        m_up.backend.reset();
    }

    void upload_data()
    {
        using F = AwsUtils::Failure;
        QTest::addColumn<QString>("setup");
        QTest::addColumn<int>("offset");   // the clock offset known before
        QTest::addColumn<QString>("code"); // what the store refused, `refusals` times
        QTest::addColumn<int>("refusals");
        QTest::addColumn<int>("stsRequests");
        QTest::addColumn<int>("failure");
        QTest::newRow("new object") << "" << 0 << "" << 0 << 1 << int(F::None);
        QTest::newRow("transient failures retried") << "store fails" << 0 << "InternalError" << 2 << 1 << int(F::None);
        QTest::newRow("stalled transfer sent again") << "store stalls" << 0 << "" << 0 << 1 << int(F::None);
        QTest::newRow("wrong secret") << "store secret" << 0 << "SignatureDoesNotMatch" << 1 << 1 << int(F::Transient);
        QTest::newRow("expired token, renewal the same")
            << "store token" << 0 << "ExpiredToken" << 1 << 2 << int(F::Transient);
        QTest::newRow("expired token renewed")
            << "store token renewed" << 0 << "ExpiredToken" << 1 << 2 << int(F::None);
        QTest::newRow("unknown token renewed")
            << "forged token renewed" << 0 << "InvalidToken" << 1 << 2 << int(F::None);
        QTest::newRow("no endpoint") << "no endpoint" << 0 << "" << 0 << 1 << int(F::NoCredentials);
        QTest::newRow("no access key") << "no accessKeyId" << 0 << "" << 0 << 1 << int(F::NoCredentials);
        QTest::newRow("known clock offset, signed at it") << "" << 60 << "" << 0 << 1 << int(F::None);
        QTest::newRow("stale clock offset, learnt again")
            << "" << -1200 << "RequestTimeTooSkewed" << 1 << 1 << int(F::None);
        // A 200 without the object's ETag is no write: tried again, then failed.
        QTest::newRow("portal answers 200") << "portal" << 0 << "ETag" << 0 << 1 << int(F::Transient);
    }

    void upload()
    {
        QFETCH(QString, setup);
        QFETCH(int, offset);
        QFETCH(QString, code);
        QFETCH(int, refusals);
        AwsUtils::setClockOffset(offset);
        const auto restore = qScopeGuard([] { AwsUtils::setClockOffset(0); });
        const imgMess image = UploadEnvironment::imageFor(m_up.writeFile(QStringLiteral("object.jpg"), 300000));
        const auto storeCredentials = [this](const char *key, const char *value) {
            m_up.store.control(QStringLiteral("credentials"), QJsonObject{{key, value}});
        };
        if (setup == "store fails" || setup == "store stalls")
            m_up.store.control("fault", QJsonObject{{"kind", setup == "store fails" ? "fail" : "stall"}, {"times", 2}});
        else if (setup == "portal")
            m_up.store.control("fault", QJsonObject{{"kind", "portal"}, {"times", -1}});
        else if (setup == "store secret")
            storeCredentials("secretAccessKey", "another-secret");
        else if (setup == "store token")
            storeCredentials("sessionToken", "renewed-token");
        else if (setup.startsWith("no "))
            m_up.setCredentials(15, QJsonObject{{setup.mid(3), ""}});
        if (setup.startsWith("forged"))
            m_up.setCredentials(15, QJsonObject{{"sessionToken", "forged-token"}});
        // The cached set is refused; the upload fetches a fresh one and goes through.
        if (setup.endsWith("renewed")) {
            AwsUtils().ensureCredentials();
            const char *token = setup.startsWith("store") ? "renewed-token" : "local-dev-session-token";
            storeCredentials("sessionToken", token);
            m_up.setCredentials(15, QJsonObject{{"sessionToken", token}});
        }

        const int logged = testlog::lines().size();
        AwsUtils storage;
        const QString url = storage.upload(image.localPath, image.imageName, true);
        QFETCH(int, failure);
        const bool stored = failure == int(AwsUtils::Failure::None);
        QCOMPARE(!url.isEmpty(), stored);
        QCOMPARE(int(storage.lastFailure()), failure);
        const QJsonObject stats = m_up.store.control(QStringLiteral("stats"));
        QCOMPARE(stats["rejected"].toObject(), (refusals ? QJsonObject{{code, refusals}} : QJsonObject()));
        QCOMPARE(stats["writes"].toInt(), int(stored));
        QTEST(int(m_up.backend.paths().filter("pub/oss/sdsXsky/sts/sessionToken/").size()), "stsRequests");
        QVERIFY(code == "RequestTimeTooSkewed" ? qAbs(AwsUtils::clockOffset()) <= 2
                                               : AwsUtils::clockOffset() == offset);
        if (stored) {
            QCOMPARE(url, m_up.store.url() + "/normal-order-image/" + image.imageName + ".jpg");
            QCOMPARE(m_up.store.get(url), testfiles::read(image.localPath));
            return;
        }
        const QStringList texts = testlog::texts().mid(logged);
        QVERIFY2(!texts.isEmpty() && texts.last().startsWith(QStringLiteral("图片上传失败："))
                     && texts.last().contains(code),
                 qPrintable(texts.join('|')));
        if (code.isEmpty())
            return;
        // The refusal is described in the transfer log, without any secret.
        const QString lines = transferLog();
        QVERIFY(lines.contains(code) && !lines.contains("local-dev-secret-key") && !lines.contains("session-token"));
    }

    // The image host's answer counts only with the object's own length and
    // MD5: a portal's 200, or another object under the key, sends the file.
    void taskAsksTheImageHost_data()
    {
        QTest::addColumn<QString>("second");
        QTest::addColumn<int>("writes"); // after both runs
        QTest::addColumn<bool>("stored");
        QTest::newRow("served: no second write") << "" << 1 << true;
        QTest::newRow("served with another length") << "other length" << 2 << true;
        QTest::newRow("portal: nothing stored") << "portal" << 1 << false;
    }

    void taskAsksTheImageHost()
    {
        QFETCH(QString, second);
        QFETCH(bool, stored);
        imgMess image = UploadEnvironment::imageFor(m_up.writeFile(QStringLiteral("served.jpg"), 3000));
        for (int run = 0; run < 2; ++run) {
            if (run == 1 && second == "portal")
                m_up.store.control("fault", QJsonObject{{"kind", "portal"}, {"times", -1}});
            if (run == 1 && second == "other length")
                image.size += 1;
            SaveImageRunnable task(image);
            QSignalSpy over(&task, &SaveImageRunnable::runOver);
            QSignalSpy failed(&task, &SaveImageRunnable::uploadFailed);
            task.run();
            const bool done = run == 0 || stored;
            QCOMPARE(over.size(), int(done));
            QCOMPARE(failed.size(), int(!done));
            if (run == 1 && second.isEmpty())
                QCOMPARE(over.first().first().value<imgMess>().url, SaveImageRunnable::publicUrl(image));
        }
        QTEST(m_up.store.writes(), "writes");
    }

    // An https endpoint is written to over https, its certificate checked
    // against the system's authorities and the CA file. A refused one fails
    // at the first try, for the operator, with libcurl's reason; a store
    // without TLS behind an https endpoint is never written to in plain.
    void tls_data()
    {
        using C = TestCertificates;
        QTest::addColumn<int>("peer"); // the store's certificate; -1: plain http behind https, -2: without a scheme
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<int>("offset");     // a known clock offset has the request signed in a dry run
        QTest::addColumn<QString>("logged"); // the end of the transfer log's line; empty: stored
        const QString refused = QStringLiteral("after 1 attempt(s): 证书校验失败：");
        const QString ca = m_certificates.caFile();
        const QString noCertificate = m_certificates.keyFile(C::Trusted);
        QTest::newRow("trusted through caFile") << int(C::Trusted) << ca << 0 << QString();
        QTest::newRow("trusted, signed at an offset") << int(C::Trusted) << ca << 60 << QString();
        QTest::newRow("another host")
            << int(C::OtherHost) << ca << 0
            << refused + "SSL: no alternative certificate subject name matches target host name '127.0.0.1'";
        QTest::newRow("self-signed") << int(C::SelfSigned) << ca << 0
                                     << refused + "SSL certificate problem: self-signed certificate";
        QTest::newRow("CA not configured")
            << int(C::Trusted) << QString() << 0
            << refused + "SSL certificate problem: unable to get local issuer certificate";
        QTest::newRow("CA file without a certificate")
            << int(C::Trusted) << noCertificate << 0 << refused + "error setting certificate file: " + noCertificate;
        QTest::newRow("plain store behind https") << -1 << ca << 0 << "wrong version number (SSL connect error)";
        QTest::newRow("no scheme: plain http") << -2 << ca << 0 << QString();
    }

    void tls()
    {
        QFETCH(int, peer);
        QFETCH(int, offset);
        QFETCH(QString, logged);
        ObjectStoreProcess store;
        QVERIFY(peer < 0 ? store.start() : store.start(&m_certificates, TestCertificates::Kind(peer)));
        const QString endpoint = (peer == -2 ? "" : "https://") + store.url().section(QStringLiteral("://"), 1);
        m_up.setCredentials(15, QJsonObject{{"endpoint", endpoint}});
        QFETCH(QString, caFile);
        QVERIFY(m_up.reconfigure(QJsonObject{{"caFile", caFile}}));
        AwsUtils::setClockOffset(offset);
        const auto restore = qScopeGuard([this] {
            AwsUtils::setClockOffset(0);
            m_up.reconfigure();
        });
        const imgMess image = UploadEnvironment::imageFor(m_up.writeFile(QStringLiteral("tls.jpg"), 100000));

        const int before = testlog::lines().size();
        AwsUtils storage;
        const QString url = storage.upload(image.localPath, image.imageName, true);
        using F = AwsUtils::Failure;
        QCOMPARE(int(storage.lastFailure()), int(logged.isEmpty() ? F::None
                                                 : peer < 0       ? F::Transient
                                                                  : F::Certificate));
        if (logged.isEmpty()) {
            const QString object = "/normal-order-image/" + image.imageName + ".jpg";
            QCOMPARE(url, endpoint + object);
            QCOMPARE(store.get(store.url() + object), testfiles::read(image.localPath));
            QCOMPARE(store.writes(), 1);
            return;
        }
        QVERIFY(url.isEmpty());
        const QStringList texts = testlog::texts().mid(before);
        QVERIFY(!texts.isEmpty());
        QCOMPARE(texts.last(), QStringLiteral("图片上传失败：") + storage.lastReason());
        QVERIFY2(texts.last().endsWith(logged.section(QStringLiteral("attempt(s): "), -1)), qPrintable(texts.last()));
        const QString last = transferLog().trimmed().section(QLatin1Char('\n'), -1);
        QVERIFY2(last.contains(" PUT " + endpoint + "/normal-order-image/") && last.contains(logged), qPrintable(last));
        if (peer < 0)
            QCOMPARE(store.requests(), QJsonObject());
    }

private:
    static QString transferLog()
    {
        return QString::fromUtf8(testlog::rawContent(AwsUtils::transferLogDir() + "/log_"
                                                     + QDate::currentDate().toString("yyyy-MM-dd") + ".log"));
    }

    UploadEnvironment m_up;
    TestCertificates m_certificates;
};

QTEST_GUILESS_MAIN(TstAwsUtils)
#include "tst_awsutils.moc"
