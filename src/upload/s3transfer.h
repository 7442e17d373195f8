#pragma once

#include <curl/curl.h>

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include "upload/stscredentials.h"

class QFile;

// One request to the object store through libcurl: a PutObject signed with
// libcurl's AWS Signature V4 (payload hash, session token, Content-MD5) on
// the calling thread's kept connection, or a HEAD on a public address. No
// retry and no credential renewal: those are the caller's.
class S3Transfer final
{
public:
    S3Transfer() = delete;

    // The answer's headers a transfer looks at.
    struct AnswerHeaders
    {
        QByteArray date; // from which a client with a wrong clock learns the store's time
        QByteArray etag;
        qint64 length = -1;
    };

    struct Attempt
    {
        CURLcode code = CURLE_OK;
        long status = 0;
        QByteArray reply;
        AnswerHeaders headers;
        QString curlError; // libcurl's reason, when the transfer itself failed
        // A 2xx whose ETag is not the MD5 sent: something on the way (a
        // portal, a proxy) answered, not the store.
        bool unconfirmed = false;

        bool succeeded() const;
        // The store's certificate, or the authorities to check it with, refused.
        bool certificateRefused() const;
        // Worth another try: the connection, a timeout, an answer that did
        // not come from the store, or the store's own trouble. A refused
        // certificate is not: the same one would come again.
        bool transient() const;
        QString s3Code() const;
        QString describe() const;
    };

    struct Limits
    {
        int connectSeconds = 10;
        int stallSeconds = 30; // no byte moved for this long ends a transfer
        bool keepConnections = true;
    };

    // Once per process, before the first transfer.
    static void initialise();
    static Attempt put(const QString &url, QFile &file, const StsCredentials &creds, const QString &sha256,
                       const QByteArray &md5, const Limits &limits);
    // True when a HEAD for `url` answers 200 with the object's own length and
    // an ETag that is its MD5 (hex); anything else is not proof it is stored.
    static bool isStored(const QString &url, qint64 size, const QString &md5Hex, const Limits &limits);
    // One line per failed transfer in logDir(); keys, secret and token never appear.
    static void logFailure(const QString &url, const Attempt &attempt, int tries);
    static QString logDir();
    // An HTTP date, "Sun, 06 Nov 1994 08:49:37 GMT"; invalid otherwise.
    static QDateTime httpDate(const QByteArray &text);
    // Seconds the store's clock is ahead of ours; requests are signed at our
    // time plus this.
    static qint64 clockOffset();
    static void setClockOffset(qint64 seconds);
};
