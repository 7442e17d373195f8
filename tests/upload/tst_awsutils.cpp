#include <QtTest>

#include "support/logfile.h"
#include "support/uploadenvironment.h"
#include "upload/saveimagerunnable.h"

// The storage client and the upload task against the verifying local store.
class TstAwsUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QVERIFY(m_up.setUp()); }

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
        const QString path = m_up.writeFile(QStringLiteral("object.jpg"), 300000);
        const imgMess image = UploadEnvironment::imageFor(path);
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
        const QString url = storage.upload(path, image.imageName, true);
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
            QFile file(path);
            QCOMPARE(url, m_up.store.url() + "/normal-order-image/" + image.imageName + ".jpg");
            QVERIFY(file.open(QIODevice::ReadOnly) && m_up.store.get(url) == file.readAll());
            return;
        }
        const QStringList texts = testlog::texts().mid(logged);
        QVERIFY2(!texts.isEmpty() && texts.last().startsWith(QStringLiteral("图片上传失败："))
                     && texts.last().contains(code),
                 qPrintable(texts.join('|')));
        if (code.isEmpty())
            return;
        // The refusal is described in the transfer log, without any secret.
        QFile log(AwsUtils::transferLogDir() + "/log_" + QDate::currentDate().toString("yyyy-MM-dd") + ".log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray lines = log.readAll();
        QVERIFY(lines.contains(code.toUtf8()) && !lines.contains("local-dev-secret-key")
                && !lines.contains("session-token"));
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

private:
    UploadEnvironment m_up;
};

QTEST_GUILESS_MAIN(TstAwsUtils)
#include "tst_awsutils.moc"
