#include <atomic>

#include <QElapsedTimer>
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
    void rejectedCallIsSentTwice();
    void transportFailures();
    void unauthorizedRefreshesOnce();
    void tokenRequestUnauthorizedNeverRefreshes();
    void hangingEndpointTimesOut();
    void concurrentCallsReadTheirOwnResult();

private:
    QString storeInfoUrl() const;
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

void TstHttpUtils::rejectedCallIsSentTwice()
{
    m_backend.fault(kStorePath, QStringLiteral("fail"), 2);
    HttpUtils &http = HttpUtils::instance();
    QVERIFY(!http.httpGet(storeInfoUrl(), HttpUtils::formType(), true));
    QCOMPARE(http.lastMessage(), QStringLiteral("test.failed"));
    QCOMPARE(m_backend.paths(), QStringList(2, kStorePath + "20001"));

    // Rejected once, then accepted: the repeat's answer is the outcome.
    m_backend.reset();
    m_backend.fault(kStorePath, QStringLiteral("fail"), 1);
    QVERIFY(http.httpGet(storeInfoUrl(), HttpUtils::formType(), true));
    QCOMPARE(http.getJson().value("data").toObject().value("storeType").toString(), QStringLiteral("PHOTO"));
}

void TstHttpUtils::transportFailures()
{
    HttpUtils &http = HttpUtils::instance();
    m_backend.fault(kStorePath, QStringLiteral("http500"), 2);
    QVERIFY(!http.httpGet(storeInfoUrl(), HttpUtils::formType(), true));
    QCOMPARE(networkErrorLines(), 2);
    QCOMPARE(m_backend.requests().size(), 2);
    QVERIFY(!http.lastMessage().isEmpty());

    m_logSeen = testlog::lines().size();
    m_backend.reset();
    m_backend.fault(QStringLiteral("oms/cart"), QStringLiteral("http500"), 2);
    QVERIFY(!http.httpPostArray(Endpoints::cartBatch(), QJsonArray{QJsonObject{{"skuId", 1}}}, HttpUtils::jsonType(),
                                true));
    QCOMPARE(networkErrorLines(), 1);
    QCOMPARE(m_backend.requests().size(), 1);

    // A body that is not JSON: "net.error", logged, and repeated once.
    m_logSeen = testlog::lines().size();
    m_backend.reset();
    m_backend.fault(kStorePath, QStringLiteral("nonjson"), 2);
    QVERIFY(!http.httpGet(storeInfoUrl(), HttpUtils::formType(), true));
    QCOMPARE(http.lastMessage(), QStringLiteral("net.error"));
    QCOMPARE(networkErrorLines(), 2);
    QCOMPARE(m_backend.requests().size(), 2);
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

void TstHttpUtils::tokenRequestUnauthorizedNeverRefreshes()
{
    m_backend.fault(kTokenPath, QStringLiteral("unauthorized"), -1);
    HttpUtils &http = HttpUtils::instance();
    QVERIFY(!http.getToken(kUser, kPassword));
    QCOMPARE(m_backend.paths(), QStringList{kTokenPath});

    // A token request rejected otherwise is repeated once like any call.
    m_backend.reset();
    m_backend.fault(kTokenPath, QStringLiteral("fail"), 1);
    QVERIFY(http.getToken(kUser, kPassword));
    QCOMPARE(m_backend.paths(), QStringList(2, kTokenPath));
}

void TstHttpUtils::hangingEndpointTimesOut()
{
    m_backend.fault(kStorePath, QStringLiteral("delay"), 2, 5000);
    HttpUtils &http = HttpUtils::instance();
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!http.httpGet(storeInfoUrl(), HttpUtils::formType(), true));
    QVERIFY2(timer.elapsed() < 4500, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(networkErrorLines(), 2);
    QVERIFY(!http.lastMessage().isEmpty());
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
