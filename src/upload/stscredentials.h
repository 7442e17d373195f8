#pragma once

#include <QString>

// One set of temporary storage credentials as the backend hands them out.
struct StsCredentials
{
    QString accessKeyId;
    QString secretAccessKey;
    QString sessionToken;
    QString bucketName;
    QString endpoint;     // as sent, scheme included
    QString endpointHost; // the endpoint without "http://" and "https://"
    QString expiration;   // "yyyy-MM-dd hh:mm:ss", ten minutes before the real expiry
    QString credentialKey = QStringLiteral("normal");
    qint32 userId = 0; // the store account they were fetched for

    // Where requests go: over https only when the endpoint says so, over
    // http when it says http or names no scheme; never the one for the other.
    QString requestBase() const
    {
        const bool secure = endpoint.startsWith(QLatin1String("https://"), Qt::CaseInsensitive);
        return (secure ? QStringLiteral("https://") : QStringLiteral("http://")) + endpointHost;
    }
    // Without an endpoint or a key a request could only go nowhere.
    bool usable() const { return !endpointHost.isEmpty() && !accessKeyId.isEmpty() && !secretAccessKey.isEmpty(); }
    bool sameKeys(const StsCredentials &other) const
    {
        return sessionToken == other.sessionToken && accessKeyId == other.accessKeyId
               && secretAccessKey == other.secretAccessKey;
    }
};
