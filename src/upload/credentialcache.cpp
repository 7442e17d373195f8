#include "upload/credentialcache.h"

#include <QDateTime>
#include <QJsonObject>
#include <QMutex>

#include "core/timeutils.h"
#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "upload/awsutils.h"

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QMutex g_cacheLock; // guards g_cache
QMutex g_renewLock; // one renewal at a time; others wait and then see its result
StsCredentials g_cache;

} // namespace

bool CredentialCache::ensure()
{
    QMutexLocker renewal(&g_renewLock);
    const StsCredentials cached = current();
    // Another account logged in since: its images go under its own set.
    if (!cached.expiration.isEmpty() && !TimeUtils::isExpired(cached.expiration)
        && cached.userId == VellRuntime::instance().userId())
        return true;
    return fetch(cached.credentialKey);
}

bool CredentialCache::fetch(const QString &key)
{
    const QString word = key.isEmpty() ? AwsUtils::keyTable().at(2) : key;
    {
        QMutexLocker lock(&g_cacheLock);
        g_cache.credentialKey = word;
    }
    const qint32 userId = VellRuntime::instance().userId();
    HttpUtils &http = HttpUtils::instance();
    if (!http.httpGet(Endpoints::stsSessionToken().arg(word), HttpUtils::formType(), true))
        return false;
    const QJsonObject data = http.getJson().value(QStringLiteral("data")).toObject();
    StsCredentials fresh;
    fresh.accessKeyId = data.value(QStringLiteral("accessKeyId")).toString();
    fresh.secretAccessKey = data.value(QStringLiteral("secretAccessKey")).toString();
    fresh.sessionToken = data.value(QStringLiteral("sessionToken")).toString();
    fresh.bucketName = data.value(QStringLiteral("bucketName")).toString();
    fresh.endpoint = data.value(QStringLiteral("endpoint")).toString();
    fresh.endpointHost = fresh.endpoint;
    fresh.endpointHost.remove(QStringLiteral("http://"), Qt::CaseInsensitive);
    fresh.endpointHost.remove(QStringLiteral("https://"), Qt::CaseInsensitive);
    const QDateTime expiry = QDateTime::fromString(data.value(QStringLiteral("expiration")).toString(), kTimeFormat);
    fresh.expiration = expiry.isValid() ? expiry.addSecs(-600).toString(kTimeFormat) : QString();
    fresh.credentialKey = word;
    fresh.userId = userId;
    QMutexLocker lock(&g_cacheLock);
    g_cache = fresh;
    return true;
}

StsCredentials CredentialCache::current()
{
    QMutexLocker lock(&g_cacheLock);
    return g_cache;
}

void CredentialCache::clear()
{
    QMutexLocker lock(&g_cacheLock);
    g_cache = StsCredentials();
}

bool CredentialCache::renewAfterRefusal(const StsCredentials &refused, StsCredentials *fresh)
{
    {
        QMutexLocker lock(&g_cacheLock);
        if (g_cache.sessionToken == refused.sessionToken && g_cache.accessKeyId == refused.accessKeyId) {
            const QString word = g_cache.credentialKey;
            g_cache = StsCredentials();
            g_cache.credentialKey = word;
        }
    }
    ensure();
    *fresh = current();
    return fresh->usable() && !fresh->sameKeys(refused);
}
