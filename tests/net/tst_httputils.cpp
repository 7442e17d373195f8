#include <atomic>

#include <QThreadPool>
#include <QtTest>

#include "core/configfile.h"
#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/logfile.h"

class TstHttpUtils : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void versionCheckBeforeLoginSendsEmptyToken();
    void repeats_data();
    void repeats();
    void unauthorizedRefreshesOnce();
    void boundedCalls_data();
    void boundedCalls();
    void concurrentCallsReadTheirOwnResult();

private:
    QString storeInfoUrl() const;
    bool call(const QString &kind);
    int networkErrorLines();

    BackendProcess m_backend;
    ClientEnvironment m_env;
    int m_logSeen = 0;
};

namespace {
const QString kStorePath = QStringLiteral("crm/store/getStoreBasicInfoByStoreId/");
const QString kTokenPath = QStringLiteral("crm/oauth/token");
const QString kUser = QStringLiteral("13800000001");
const QString kPassword = QStringLiteral("demo1234");
} // namespace

void TstHttpUtils::initTestCase()
{
    QVERIFY(m_backend.start());
    QVERIFY(m_env.setUp(QJsonObject{{"baseUrl", m_backend.baseUrl()}, {"requestTimeout", 1}}));
    QCOMPARE(configFile::apiUrl(), m_backend.baseUrl() + QStringLiteral("api/"));
    QVERIFY(HttpUtils::instance().getToken(kUser, kPassword));
}

void TstHttpUtils::init()
{
    m_backend.reset();
    m_logSeen = testlog::lines().size();
}

QString TstHttpUtils::storeInfoUrl() const
{
    return Endpoints::storeInfo().arg(VellRuntime::instance().storeId());
}

int TstHttpUtils::networkErrorLines()
{
    const QStringList texts = testlog::texts().mid(m_logSeen);
    return int(std::count_if(texts.begin(), texts.end(),
                             [](const QString &t) { return t.startsWith(QStringLiteral("网络错误:")); }));
}

void TstHttpUtils::versionCheckBeforeLoginSendsEmptyToken()
{
    VellRuntime::instance().clear();
    HttpUtils &http = HttpUtils::instance();
    QVERIFY(http.httpGet(Endpoints::versions().arg(QStringLiteral("Windows")), HttpUtils::formType(), true));
    QCOMPARE(http.getJson().value("data").toObject().value("version").toString(), QStringLiteral("2.1.1"));
    const QJsonObject request = m_backend.requests().first().toObject();
    QCOMPARE(request.value("token"), QJsonValue(QString()));
    QCOMPARE(request.value("contentType").toString(), HttpUtils::formType());
    QVERIFY(http.getToken(kUser, kPassword));
}

bool TstHttpUtils::call(const QString &kind)
{
    HttpUtils &http = HttpUtils::instance();
    if (kind == QLatin1String("token"))
        return http.getToken(kUser, kPassword);
    if (kind == QLatin1String("post"))
        return http.httpPostArray(Endpoints::cartBatch(), QJsonArray{QJsonObject{{"skuId", 1}}}, HttpUtils::jsonType(),
                                  true);
    return http.httpGet(storeInfoUrl(), HttpUtils::formType(), true);
}

// A call the backend rejects, or that fails on the way, is sent once more;
// a POST that reached the backend never is, nor a refused token request.
void TstHttpUtils::repeats_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("fault");
    QTest::addColumn<int>("times");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("sent");
    QTest::addColumn<int>("errorLines");
    QTest::addColumn<QString>("message");
    QTest::newRow("rejected twice") << "get" << "fail" << 2 << false << 2 << 0 << "test.failed";
    QTest::newRow("rejected once, then the repeat's answer") << "get" << "fail" << 1 << true << 2 << 0 << "";
    QTest::newRow("http 500") << "get" << "http500" << 2 << false << 2 << 2 << "";
    QTest::newRow("http 500 on a POST") << "post" << "http500" << 2 << false << 1 << 1 << "";
    QTest::newRow("body not JSON") << "get" << "nonjson" << 2 << false << 2 << 2 << "net.error";
    QTest::newRow("token refused never refreshes") << "token" << "unauthorized" << -1 << false << 1 << 0 << "";
    QTest::newRow("token rejected once") << "token" << "fail" << 1 << true << 2 << 0 << "";
}

void TstHttpUtils::repeats()
{
    QFETCH(QString, kind);
    QFETCH(QString, fault);
    QFETCH(int, times);
    QFETCH(int, sent);
    QFETCH(QString, message);
    const QString path = kind == "token" ? kTokenPath : kind == "post" ? QStringLiteral("oms/cart") : kStorePath;
    m_backend.fault(path, fault, times);
    QTEST(call(kind), "ok");
    QTEST(networkErrorLines(), "errorLines");
    const QStringList paths = m_backend.paths();
    QCOMPARE(paths.size(), sent);
    for (const QString &p : paths)
        QVERIFY2(p.startsWith(path), qPrintable(p));
    if (!message.isEmpty())
        QCOMPARE(HttpUtils::instance().lastMessage(), message);
}

void TstHttpUtils::unauthorizedRefreshesOnce()
{
    HttpUtils &http = HttpUtils::instance();
    const QString oldToken = VellRuntime::instance().accessToken();
    m_backend.fault(kStorePath, QStringLiteral("unauthorized"), 1);
    QVERIFY(http.httpGet(storeInfoUrl(), HttpUtils::formType(), true));
    QCOMPARE(m_backend.paths(), (QStringList{kStorePath + "20001", kTokenPath, kStorePath + "20001"}));

    const QJsonArray requests = m_backend.requests();
    QCOMPARE(requests.at(0).toObject().value("token").toString(), oldToken);
    const QString newToken = VellRuntime::instance().accessToken();
    QVERIFY(newToken != oldToken);
    QCOMPARE(requests.at(2).toObject().value("token").toString(), newToken);
    QCOMPARE(VellRuntime::instance().userName(), kUser);
}

void TstHttpUtils::boundedCalls_data()
{
    QTest::addColumn<bool>("post");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("delayMs");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("sent");
    const QString late = QStringLiteral("请求超过1秒未完成，已中止");
    const QString large = QStringLiteral("应答超过8MB，已中止");
    // A drip of {"success": true} would complete, and succeed, after 5 s.
    QTest::newRow("GET never answered") << false << "delay" << 5000 << late << 2;
    QTest::newRow("GET dripping") << false << "drip" << 300 << late << 2;
    QTest::newRow("GET endless body") << false << "endless" << 0 << large << 2;
    QTest::newRow("POST dripping") << true << "drip" << 300 << late << 1;
    QTest::newRow("POST endless body") << true << "endless" << 0 << large << 1;
}

void TstHttpUtils::boundedCalls()
{
    QFETCH(bool, post);
    QFETCH(QString, kind);
    QFETCH(int, delayMs);
    QFETCH(QString, message);
    QFETCH(int, sent);
    HttpUtils &http = HttpUtils::instance();
    const QString path = post ? QStringLiteral("oms/cart") : kStorePath;
    m_backend.fault(path, kind, -1, delayMs);
    QVERIFY(!call(post ? QStringLiteral("post") : QStringLiteral("get")));
    QCOMPARE(http.lastMessage(), message);
    QCOMPARE(testlog::texts().mid(m_logSeen), QStringList(sent, QStringLiteral("网络错误:") + message));
    QCOMPARE(m_backend.requests().size(), sent);
    // A POST that was answered, even in part, may have been acted on.
    QCOMPARE(http.lastOutcomeUnknown(), post);
}

void TstHttpUtils::concurrentCallsReadTheirOwnResult()
{
    // Slow answers on both paths make the calls overlap.
    m_backend.fault(QStringLiteral("crm/open/software"), QStringLiteral("delay"), -1, 40);
    m_backend.fault(kStorePath, QStringLiteral("delay"), -1, 25);
    const QString versionsUrl = Endpoints::versions().arg(QStringLiteral("Windows"));
    std::atomic<int> poolWrong{0};
    std::atomic<bool> poolDone{false};
    QThreadPool::globalInstance()->start([&] {
        HttpUtils &http = HttpUtils::instance();
        for (int i = 0; i < 15; ++i) {
            if (!http.httpGet(versionsUrl, HttpUtils::formType(), true)
                || http.getJson().value("data").toObject().value("version").toString() != QLatin1String("2.1.1"))
                ++poolWrong;
        }
        poolDone = true;
    });

    HttpUtils &http = HttpUtils::instance();
    int guiWrong = 0;
    int guiCalls = 0;
    while (!poolDone) {
        ++guiCalls;
        if (!http.httpGet(storeInfoUrl(), HttpUtils::formType(), true)
            || http.getJson().value("data").toObject().value("storeType").toString() != QLatin1String("PHOTO"))
            ++guiWrong;
    }
    QThreadPool::globalInstance()->waitForDone();
    QVERIFY(guiCalls > 1);
    QCOMPARE(guiWrong, 0);
    QCOMPARE(poolWrong.load(), 0);
}

QTEST_MAIN(TstHttpUtils)
#include "tst_httputils.moc"
