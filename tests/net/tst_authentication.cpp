#include <QtTest>

#include "core/vellruntime.h"
#include "net/authentication.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"

class TstAuthentication : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"webKey", "xy"}}));
    }

    void webToken_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        // Worked by hand: 'a'^'x' = 19, 'b'^'y' = 1b, ':'^'x' = 42, 'c'^'y' = 1a, 'd'^'x' = 1c.
        QTest::newRow("ab cd") << "ab" << QStringLiteral("cd") << "191b421a1c";
        QTest::newRow("empty password") << "a" << QString() << "1943";
        // Only the low byte of each UTF-16 unit counts: U+5F20 gives 0x20 ^ 'x'.
        QTest::newRow("chinese user") << QStringLiteral("张") << QString() << "5843";
    }

    void webToken()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QTEST(Authentication::webToken(user, password), "expected");
    }

    // Symbols that mean something in a query string reach the backend as typed,
    // at login and at the one silent refresh after the token was revoked.
    void loginAndStoreInfo_data()
    {
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("storeId");
        QTest::addColumn<QString>("store"); // type, start-ups, name
        QTest::newRow("apostrophe") << "wedding'88" << 20002 << QStringLiteral("WEDDINGDRESS 1 花嫁婚纱摄影");
        QTest::newRow("ampersand") << "rock&roll" << 20011 << QStringLiteral("PHOTO 0 符号密码测试店1");
        QTest::newRow("hash") << "no#1fan" << 20012 << QStringLiteral("PHOTO 0 符号密码测试店2");
        QTest::newRow("plus and equals") << "a+b=c" << 20013 << QStringLiteral("PHOTO 0 符号密码测试店3");
        QTest::newRow("percent before hex digits")
            << "tax%20free" << 20014 << QStringLiteral("PHOTO 0 符号密码测试店4");
        QTest::newRow("space") << "open sesame" << 20015 << QStringLiteral("PHOTO 0 符号密码测试店5");
    }

    void loginAndStoreInfo()
    {
        QFETCH(QString, password);
        QFETCH(int, storeId);
        const QString phone = QString::number(13800000000LL + storeId - 20000); // the backend's demo accounts
        QVERIFY2(HttpUtils::instance().getToken(phone, password), qPrintable(HttpUtils::instance().lastMessage()));
        const QString oldToken = VellRuntime::instance().accessToken();
        m_backend.reset();
        m_backend.control(QStringLiteral("revokeTokens"));
        QVERIFY(Authentication::getStoreInfo());
        const SessionData s = VellRuntime::instance().snapshot();
        QCOMPARE(QList<int>({s.storeId, s.addressId}), QList<int>({storeId, storeId + 10000}));
        QTEST(QStringLiteral("%1 %2 %3").arg(s.storeType).arg(s.startups).arg(s.storeName), "store");
        QCOMPARE(s.password, password);
        QCOMPARE(VellRuntime::instance().userName(), phone);
        const QString store = QStringLiteral("crm/store/getStoreBasicInfoByStoreId/%1").arg(storeId);
        QCOMPARE(m_backend.paths(), (QStringList{store, QStringLiteral("crm/oauth/token"), store}));
        const QJsonArray requests = m_backend.requests();
        QCOMPARE(requests.first()[QLatin1String("token")].toString(), oldToken);
        QCOMPARE(requests.last()[QLatin1String("token")].toString(), s.access_token);
    }

private:
    BackendProcess m_backend;
    ClientEnvironment m_env;
};

QTEST_GUILESS_MAIN(TstAuthentication)
#include "tst_authentication.moc"
