#include <atomic>

#include <QtTest>

#include "core/vellruntime.h"
#include "net/authentication.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"

namespace {
const QString kStorePath = QStringLiteral("crm/store/getStoreBasicInfoByStoreId/");
const QString kTokenPath = QStringLiteral("crm/oauth/token");
const QString kCartPath = QStringLiteral("oms/cart");
const QString kUser = QStringLiteral("13800000001");
const QString kPassword = QStringLiteral("demo1234");

QString storeInfoUrl()
{
    return Endpoints::storeInfo().arg(VellRuntime::instance().storeId());
}

// A GET that succeeds only with `key` of the answer's data at `expected`.
bool getReads(const QString &url, const char *key, const char *expected)
{
    HttpUtils &http = HttpUtils::instance();
    return http.httpGet(url, HttpUtils::formType(), true)
           && http.getJson().value("data").toObject().value(QLatin1String(key)).toString() == QLatin1String(expected);
}
} // namespace

class TstHttpUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QVERIFY(m_backend.start());
        QVERIFY(m_certificates.make());
        m_config = QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"requestTimeout", 1}, {"webKey", "xy"}};
        QVERIFY(m_env.setUp(m_config));
        QVERIFY(HttpUtils::instance().getToken(kUser, kPassword));
    }

    void init() { m_backend.reset(); }

    // A call the backend rejects, or that fails on the way, is sent once more;
    // a POST that reached the backend never is, nor a refused token request.
    // Calls are bounded in time and size; a POST answered even in part may
    // have been acted on, so its outcome is unknown.
    void repeats_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<int>("times");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<int>("sent");
        QTest::addColumn<int>("errorLines");
        QTest::addColumn<QString>("message"); // empty: not checked
        QTest::addColumn<bool>("unknown");
        const QString late = QStringLiteral("请求超过1秒未完成，已中止");
        const QString large = QStringLiteral("应答超过8MB，已中止");
        QTest::newRow("rejected twice") << kStorePath << "fail" << 2 << false << 2 << 0 << "test.failed" << false;
        QTest::newRow("rejected once, then the repeat's answer")
            << kStorePath << "fail" << 1 << true << 2 << 0 << QString() << false;
        QTest::newRow("http 500 on a POST") << kCartPath << "http500" << 2 << false << 1 << 1 << QString() << false;
        QTest::newRow("body not JSON") << kStorePath << "nonjson" << 2 << false << 2 << 2 << "net.error" << false;
        QTest::newRow("token refused never refreshes")
            << kTokenPath << "unauthorized" << -1 << false << 1 << 0 << QString() << false;
        QTest::newRow("token rejected once") << kTokenPath << "fail" << 1 << true << 2 << 0 << QString() << false;
        // A drip of {"success": true} every 300 ms would complete, and succeed,
        // after 5 s: only a deadline on the whole call stops it, not one on silence.
        QTest::newRow("GET dripping") << kStorePath << "drip" << -1 << false << 2 << 2 << late << false;
        QTest::newRow("POST dripping") << kCartPath << "drip" << -1 << false << 1 << 1 << late << true;
        QTest::newRow("POST endless body") << kCartPath << "endless" << -1 << false << 1 << 1 << large << true;
    }

    void repeats()
    {
        QFETCH(QString, path);
        QFETCH(QString, message);
        QFETCH(QString, fault);
        QFETCH(int, times);
        // The size cap, not the deadline, must end an endless answer: time
        // enough for 8 MB even in a sanitized build.
        QJsonObject config = m_config;
        if (fault == QLatin1String("endless"))
            config.insert("requestTimeout", 30);
        QVERIFY(m_env.setUp(config));
        const auto restore = qScopeGuard([this] { m_env.setUp(m_config); });
        m_backend.fault(path, fault, times, fault == "drip" ? 300 : 0);
        HttpUtils &http = HttpUtils::instance();
        const int logged = int(testlog::lines().size());
        QTEST(call(path), "ok");
        const QStringList errors =
            testlog::texts().mid(logged).filter(QRegularExpression(QStringLiteral("^网络错误:")));
        QFETCH(int, errorLines);
        QCOMPARE(errors, QStringList(errorLines, QStringLiteral("网络错误:") + http.lastMessage()));
        const QStringList paths = m_backend.paths();
        QTEST(int(paths.size()), "sent");
        QCOMPARE(paths.filter(QRegularExpression(QLatin1Char('^') + path)), paths);
        if (!message.isEmpty())
            QCOMPARE(http.lastMessage(), message);
        QTEST(http.lastOutcomeUnknown(), "unknown");
    }

    void concurrentCallsReadTheirOwnResult()
    {
        // Slow answers on both paths make the calls overlap.
        m_backend.fault(QStringLiteral("crm/open/software"), QStringLiteral("delay"), -1, 40);
        m_backend.fault(kStorePath, QStringLiteral("delay"), -1, 25);
        std::atomic<int> poolWrong{0};
        std::atomic<bool> poolDone{false};
        QThreadPool::globalInstance()->start([&] {
            for (int i = 0; i < 15; ++i)
                poolWrong += !getReads(Endpoints::versions().arg(QStringLiteral("Windows")), "version", "2.1.1");
            poolDone = true;
        });
        int guiWrong = 0;
        int guiCalls = 0;
        for (; !poolDone; ++guiCalls)
            guiWrong += !getReads(storeInfoUrl(), "storeType", "PHOTO");
        QThreadPool::globalInstance()->waitForDone();
        QVERIFY(guiCalls > 1);
        QCOMPARE(guiWrong, 0);
        QCOMPARE(poolWrong.load(), 0);
    }

    void webToken_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("expected");
        // Worked by hand: 'a'^'x' = 19, 'b'^'y' = 1b, ':'^'x' = 42, 'c'^'y' = 1a, 'd'^'x' = 1c.
        QTest::newRow("ab cd") << "ab" << QStringLiteral("cd") << "191b421a1c";
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
        const QString store = kStorePath + QString::number(storeId);
        QCOMPARE(m_backend.paths(), (QStringList{store, kTokenPath, store}));
        const QJsonArray requests = m_backend.requests();
        QCOMPARE(requests.first()[QLatin1String("token")].toString(), oldToken);
        QCOMPARE(requests.last()[QLatin1String("token")].toString(), s.access_token);
    }

    // An https backend is asked over https, its certificate checked against
    // the system's authorities and the CA file. A refused one fails the call
    // at once, without the repeat, with Qt's reason logged and shown to the
    // operator; a backend without TLS behind an https address gets nothing.
    void tls_data()
    {
        QTest::addColumn<int>("peer"); // the backend's certificate; -1: plain http
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("reason"); // empty: login and store information succeed
        const QString ca = m_certificates.caFile();
        const QString noCertificate = m_certificates.keyFile(TestCertificates::Trusted);
        QTest::newRow("trusted through caFile") << int(TestCertificates::Trusted) << ca << QString();
        QTest::newRow("another host") << int(TestCertificates::OtherHost) << ca
                                      << "The host name did not match any of the valid hosts for this certificate";
        QTest::newRow("self-signed") << int(TestCertificates::SelfSigned) << ca
                                     << "The certificate is self-signed, and untrusted";
        QTest::newRow("expired") << int(TestCertificates::Expired) << ca << "The certificate has expired";
        QTest::newRow("CA not configured") << int(TestCertificates::Trusted) << QString()
                                           << "The issuer certificate of a locally looked up certificate could not be "
                                              "found; No certificates could be verified";
        QTest::newRow("CA file without a certificate") << int(TestCertificates::Trusted) << noCertificate
                                                       << QStringLiteral("CA文件%1中没有可读的证书").arg(noCertificate);
        QTest::newRow("plain backend behind https") << -1 << ca << "-";
    }

    void tls()
    {
        QFETCH(int, peer);
        QFETCH(QString, caFile);
        QFETCH(QString, reason);
        BackendProcess backend;
        QVERIFY(peer < 0 ? backend.start() : backend.start(&m_certificates, TestCertificates::Kind(peer)));
        QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", "https://" + backend.baseUrl().section(QStringLiteral("://"), 1)},
                                        {"requestTimeout", 5},
                                        {"webKey", "xy"},
                                        {"caFile", caFile}}));
        const auto restore = qScopeGuard([this] {
            m_env.setUp(m_config);
            HttpUtils::instance().getToken(kUser, kPassword);
        });

        HttpUtils &http = HttpUtils::instance();
        const int logged = int(testlog::lines().size());
        const bool loggedIn = http.getToken(kUser, kPassword);
        const QStringList afterLogin = testlog::texts().mid(logged);
        const bool read =
            loggedIn ? Authentication::getStoreInfo() : http.httpGet(storeInfoUrl(), HttpUtils::formType(), true);
        QCOMPARE(loggedIn && read, reason.isEmpty());
        if (reason.isEmpty()) {
            QCOMPARE(backend.paths(),
                     (QStringList{kTokenPath, kStorePath + QString::number(VellRuntime::instance().storeId())}));
            return;
        }
        QCOMPARE(http.lastFailedCertificate(), peer >= 0);
        const QStringList errors =
            testlog::texts().mid(logged).filter(QRegularExpression(QStringLiteral("^网络错误:")));
        if (peer < 0) {
            // Not a certificate: the GET is sent once more, neither in plain.
            QCOMPARE(errors.size(), 3);
            QCOMPARE(backend.paths(), QStringList());
            return;
        }
        // Each call logged once, the GET not repeated; the login form shows the text.
        const QString text = QStringLiteral("证书校验失败：") + reason;
        QCOMPARE(afterLogin, QStringList(QStringLiteral("网络错误:") + text));
        QCOMPARE(errors, QStringList(2, QStringLiteral("网络错误:") + text));
        QCOMPARE(http.errorMessage(), text);
    }

private:
    bool call(const QString &path)
    {
        HttpUtils &http = HttpUtils::instance();
        if (path == kTokenPath)
            return http.getToken(kUser, kPassword);
        if (path == kCartPath)
            return http.httpPostArray(Endpoints::cartBatch(), QJsonArray{QJsonObject{{"skuId", 1}}},
                                      HttpUtils::jsonType(), true);
        return http.httpGet(storeInfoUrl(), HttpUtils::formType(), true);
    }

    BackendProcess m_backend;
    ClientEnvironment m_env;
    TestCertificates m_certificates;
    QJsonObject m_config;
};

QTEST_MAIN(TstHttpUtils)
#include "tst_httputils.moc"
