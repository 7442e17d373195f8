#include <atomic>
#include <limits>
#include <thread>

#include <QDateTime>
#include <QtTest>

#include "core/timeutils.h"
#include "core/vellruntime.h"

class TstSession : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { VellRuntime::instance().clear(); }

    void isExpired_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expired");
        const QDateTime now = QDateTime::currentDateTime();
        const QString fmt = QStringLiteral("yyyy-MM-dd hh:mm:ss");
        QTest::newRow("empty") << QString() << true;
        QTest::newRow("one minute ahead") << now.addSecs(60).toString(fmt) << false;
        QTest::newRow("one second ago") << now.addSecs(-1).toString(fmt) << true;
        QTest::newRow("ISO with T does not parse") << now.addSecs(3600).toString(Qt::ISODate) << true;
        QTest::newRow("impossible date") << QStringLiteral("2099-02-30 10:00:00") << true;
    }

    void isExpired()
    {
        QFETCH(QString, text);
        QTEST(TimeUtils::isExpired(text), "expired");
    }

    void readersNeverSeeHalfALogin()
    {
        VellRuntime &rt = VellRuntime::instance();
        const auto login = [&rt](int n) {
            const QString id = QString::number(n);
            rt.applyLogin(QJsonObject{{"userId", n}, {"storeId", n}, {"access_token", "token-" + id}}, "user-" + id,
                          "pass-" + id);
        };
        login(1);
        std::atomic<bool> done{false};
        std::thread writer([&] {
            for (int i = 0; i < 20000; ++i)
                login(1 + i % 2);
            done = true;
        });
        int torn = 0;
        int reads = 0;
        for (; !done; ++reads) {
            const SessionData s = rt.snapshot();
            const QString n = QString::number(s.userId);
            torn += s.storeId != s.userId || s.userName != "user-" + n || s.password != "pass-" + n
                    || s.access_token != "token-" + n;
        }
        writer.join();
        QVERIFY(reads > 0);
        QCOMPARE(torn, 0);
    }

    void numbersThatDoNotFit_data()
    {
        QTest::addColumn<QJsonValue>("value");
        QTest::addColumn<int>("read");
        QTest::newRow("fraction truncated") << QJsonValue(-3.7) << -3;
        QTest::newRow("largest") << QJsonValue(2147483647.0) << 2147483647;
        QTest::newRow("one past largest") << QJsonValue(2147483648.0) << 0;
        QTest::newRow("-1e300") << QJsonValue(-1e300) << 0;
        QTest::newRow("infinity") << QJsonValue(std::numeric_limits<double>::infinity()) << 0;
        QTest::newRow("NaN") << QJsonValue(std::numeric_limits<double>::quiet_NaN()) << 0;
        QTest::newRow("as string") << QJsonValue("20001") << 0;
    }

    void numbersThatDoNotFit()
    {
        QFETCH(QJsonValue, value);
        QFETCH(int, read);
        VellRuntime &session = VellRuntime::instance();
        session.setLoginInfo(QJsonObject{{"userId", value}, {"storeId", value}});
        session.setStoreInfo(QJsonObject{{"addressId", value}, {"startups", value}});
        const SessionData data = session.snapshot();
        QCOMPARE(QList<int>({data.userId, data.storeId, data.addressId, data.startups}), QList<int>(4, read));
    }
};

QTEST_GUILESS_MAIN(TstSession)
#include "tst_session.moc"
