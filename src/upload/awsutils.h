#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include "upload/stscredentials.h"

// Puts image files into the S3-compatible store (the requests themselves are
// S3Transfer's, the credentials CredentialCache's): the retry and renewal
// policy of one upload, the object's bucket and key, and the options every
// upload follows. A write counts only when the answer's ETag is the MD5 sent.
// upload() may run on any thread.
class AwsUtils final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(AwsUtils)

public:
    struct Options
    {
        int retries = 3;     // further attempts after a transient failure
        int backoffMs = 500; // doubled for each further attempt
        int connectSeconds = 10;
        int stallSeconds = 30; // no byte moved for this long ends a transfer
        // Off only to measure what kept connections save.
        bool keepConnections = true;
    };

    // Why the last upload() of this object failed. Transient troubles (the
    // network, the store, credentials) go away by themselves; a missing or
    // changed file needs the operator, and so does a certificate of the store
    // or the backend that is refused: the same one would come again until
    // the store, the CA file or the machine's clock is put right.
    enum class Failure { None, Transient, NoCredentials, FileMissing, FileChanged, Certificate };

    explicit AwsUtils(QObject *parent = nullptr);

    // 0 "agent", 1 "customer", 2 "normal", 3 "product", 4 "special".
    static const QStringList &keyTable();

    // Once per process: the transfer library, the transfer log folder, and
    // the first credentials.
    void initialise();
    // Fetches credentials when the cached ones are missing or expired.
    void ensureCredentials();
    // False when the backend call failed; the cache keeps its values.
    bool fetchCredentials(const QString &key);
    // The stored object's address (endpoint/bucket/key), or empty after a
    // failure, which is logged.
    QString upload(const QString &localPath, const QString &imageName, bool bucketType);
    Failure lastFailure() const { return m_failure; }
    // What the last failure logged after "图片上传失败："; for a certificate
    // "证书校验失败：" and its reason.
    QString lastReason() const { return m_reason; }

    static StsCredentials credentials();
    static void clearCredentials();
    static void setOptions(const Options &options);
    static Options options();
    // True when a HEAD for `url` answers 200 with the object's own length and
    // an ETag that is its MD5 (hex); anything else is not proof it is stored.
    static bool isStored(const QString &url, qint64 size, const QString &md5Hex);
    // The object key: imageName + "." + the file's extension.
    static QString objectKey(const QString &localPath, const QString &imageName);
    static QString bucketName(bool bucketType);
    // Where failed transfers are described, without secrets.
    static QString transferLogDir();
    // Seconds the store's clock is ahead of ours, learnt from its answer to a
    // request it found too skewed; requests are signed at our time plus this.
    static qint64 clockOffset();
    static void setClockOffset(qint64 seconds);

private:
    Failure m_failure = Failure::None;
    QString m_reason;
};
