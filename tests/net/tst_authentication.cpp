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
    void initTestCase();
    void webToken_data();
    void webToken();
    void storeInfoAfterLogin();
    void passwordsWithQuerySymbols_data();
    void passwordsWithQuerySymbols();

private:
    BackendProcess m_backend;
    ClientEnvironment m_env;
};

void TstAuthentication::initTestCase()
{
    QVERIFY(m_backend.start());
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"webKey", "xy"}}));
}

void TstAuthentication::webToken_data()
{
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expected");

    // Worked by hand: 'a'^'x' = 19, 'b'^'y' = 1b, ':'^'x' = 42, 'c'^'y' = 1a, 'd'^'x' = 1c.
    QTest::newRow("ab cd") << "ab" << "cd" << "191b421a1c";
    QTest::newRow("empty password") << "a" << "" << "1943";
    // Only the low byte of each UTF-16 unit counts: U+5F20 gives 0x20 ^ 'x'.
    QTest::newRow("chinese user") << QStringLiteral("张") << "" << "5843";
}

void TstAuthentication::webToken()
{
    QFETCH(QString, user);
    QFETCH(QString, password);
    const QString token = Authentication::webToken(user, password);
    QTEST(token, "expected");

    const QString text = user + ':' + password;
    QCOMPARE(token.size(), 2 * text.size());
    // The web shop reverses it with the same key.
    const QByteArray bytes = QByteArray::fromHex(token.toLatin1());
    for (int i = 0; i < bytes.size(); ++i)
        QCOMPARE(quint8(bytes.at(i) ^ "xy"[i % 2]), quint8(text.at(i).unicode() & 0xFF));
}

void TstAuthentication::storeInfoAfterLogin()
{
    QVERIFY(HttpUtils::instance().getToken(QStringLiteral("13800000002"), QStringLiteral("wedding'88")));
    QVERIFY(Authentication::getStoreInfo());
    const SessionData s = VellRuntime::instance().snapshot();
    QCOMPARE(s.storeId, 20002);
    QCOMPARE(s.storeName, QStringLiteral("花嫁婚纱摄影"));
    QCOMPARE(s.addressId, 30002);
    QCOMPARE(s.startups, 1);
    QCOMPARE(s.storeType, QStringLiteral("WEDDINGDRESS"));
    const QJsonObject request = m_backend.requests().last().toObject();
    QCOMPARE(request.value("path").toString(), QStringLiteral("crm/store/getStoreBasicInfoByStoreId/20002"));
    QCOMPARE(request.value("token").toString(), s.access_token);
}

void TstAuthentication::passwordsWithQuerySymbols_data()
{
    QTest::addColumn<QString>("phone");
    QTest::addColumn<QString>("password");
    QTest::addColumn<int>("storeId");
    QTest::newRow("ampersand") << "13800000011" << "rock&roll" << 20011;
    QTest::newRow("hash") << "13800000012" << "no#1fan" << 20012;
    QTest::newRow("plus and equals") << "13800000013" << "a+b=c" << 20013;
    QTest::newRow("percent before hex digits") << "13800000014" << "tax%20free" << 20014;
    QTest::newRow("space") << "13800000015" << "open sesame" << 20015;
}

void TstAuthentication::passwordsWithQuerySymbols()
{
    QFETCH(QString, phone);
    QFETCH(QString, password);
    QVERIFY2(HttpUtils::instance().getToken(phone, password), qPrintable(HttpUtils::instance().lastMessage()));
    QTEST(VellRuntime::instance().storeId(), "storeId");
    QCOMPARE(VellRuntime::instance().snapshot().password, password);

    // The silent refresh sends the same credentials again.
    m_backend.control(QStringLiteral("revokeTokens"));
    QVERIFY(Authentication::getStoreInfo());
}

QTEST_GUILESS_MAIN(TstAuthentication)
#include "tst_authentication.moc"
