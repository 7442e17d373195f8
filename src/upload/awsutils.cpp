#include "upload/awsutils.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>

#include "core/logmanager.h"
#include "intake/filedigest.h"
#include "net/httputils.h"
#include "upload/credentialcache.h"
#include "upload/s3transfer.h"

namespace {

QMutex g_optionsLock;
AwsUtils::Options g_options;

S3Transfer::Limits limitsOf(const AwsUtils::Options &options)
{
    return S3Transfer::Limits{options.connectSeconds, options.stallSeconds, options.keepConnections};
}

} // namespace

AwsUtils::AwsUtils(QObject *parent)
    : QObject(parent)
{
}

const QStringList &AwsUtils::keyTable()
{
    static const QStringList keys{QStringLiteral("agent"), QStringLiteral("customer"), QStringLiteral("normal"),
                                  QStringLiteral("product"), QStringLiteral("special")};
    return keys;
}

QString AwsUtils::transferLogDir()
{
    return S3Transfer::logDir();
}

void AwsUtils::initialise()
{
    S3Transfer::initialise();
    QDir().mkpath(transferLogDir());
    ensureCredentials();
}

void AwsUtils::ensureCredentials()
{
    CredentialCache::ensure();
}

bool AwsUtils::fetchCredentials(const QString &key)
{
    return CredentialCache::fetch(key);
}

StsCredentials AwsUtils::credentials()
{
    return CredentialCache::current();
}

void AwsUtils::clearCredentials()
{
    CredentialCache::clear();
}

void AwsUtils::setOptions(const Options &options)
{
    QMutexLocker lock(&g_optionsLock);
    g_options = options;
}

AwsUtils::Options AwsUtils::options()
{
    QMutexLocker lock(&g_optionsLock);
    return g_options;
}

QString AwsUtils::bucketName(bool bucketType)
{
    return bucketType ? QStringLiteral("normal-order-image") : QStringLiteral("special-order-image");
}

QString AwsUtils::objectKey(const QString &localPath, const QString &imageName)
{
    QString extension;
    if (QFileInfo::exists(localPath)) {
        QString normalised = localPath;
        normalised.replace(QLatin1Char('\\'), QLatin1Char('/'));
        const QString fileName = normalised.section(QLatin1Char('/'), -1);
        extension = fileName.section(QLatin1Char('.'), -1);
    }
    return imageName + QLatin1Char('.') + extension;
}

bool AwsUtils::isStored(const QString &url, qint64 size, const QString &md5Hex)
{
    const Options opt = options();
    return S3Transfer::isStored(url, size, md5Hex, limitsOf(opt));
}

qint64 AwsUtils::clockOffset()
{
    return S3Transfer::clockOffset();
}

void AwsUtils::setClockOffset(qint64 seconds)
{
    S3Transfer::setClockOffset(seconds);
}

QString AwsUtils::upload(const QString &localPath, const QString &imageName, bool bucketType)
{
    S3Transfer::initialise();
    m_failure = Failure::None;
    m_reason.clear();
    const bool fetched = CredentialCache::ensure();
    StsCredentials creds = credentials();
    const Options opt = options();
    const QString bucket = bucketName(bucketType);
    const QString key = objectKey(localPath, imageName);

    const auto fail = [&](Failure failure, const QString &message) {
        m_failure = failure;
        m_reason = message;
        LogManager::logError(QStringLiteral("图片上传失败：%1").arg(message));
        qDebug().noquote() << QStringLiteral("图片上传失败：%1").arg(message);
        return QString();
    };
    if (!creds.usable()) {
        const HttpUtils &http = HttpUtils::instance();
        if (!fetched && http.lastFailedCertificate())
            return fail(Failure::Certificate, http.lastMessage());
        return fail(Failure::NoCredentials, QStringLiteral("没有可用的存储凭证"));
    }
    const auto urlOf = [&](const StsCredentials &c) {
        return c.requestBase() + QLatin1Char('/') + bucket + QLatin1Char('/') + key;
    };

    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        S3Transfer::Attempt missing;
        missing.code = CURLE_READ_ERROR;
        missing.curlError = file.errorString();
        S3Transfer::logFailure(urlOf(creds), missing, 0);
        return fail(Failure::FileMissing, QStringLiteral("%1: %2").arg(localPath, file.errorString()));
    }
    const QString sha256 = QString::fromLatin1(streamDigest(file, DigestAlgorithm::Sha256).toHex());
    // The MD5 taken when the image was checked: a file changed since then is
    // refused by the store rather than printed.
    QByteArray md5;
    const QString checkedMd5 = imageName.section(QLatin1Char('/'), -1);
    static const QRegularExpression md5Pattern(QStringLiteral("^[0-9a-f]{32}$"));
    if (md5Pattern.match(checkedMd5).hasMatch()) {
        md5 = QByteArray::fromHex(checkedMd5.toLatin1());
    } else {
        file.seek(0);
        md5 = streamDigest(file, DigestAlgorithm::Md5);
    }
    const S3Transfer::Limits limits = limitsOf(opt);

    S3Transfer::Attempt attempt;
    int tries = 0;
    bool renewed = false;
    bool clockSet = false;
    forever {
        ++tries;
        attempt = S3Transfer::put(urlOf(creds), file, creds, sha256, md5, limits);
        if (attempt.succeeded())
            return creds.endpoint + QLatin1Char('/') + bucket + QLatin1Char('/') + key;
        const QString s3Code = attempt.s3Code();
        if (s3Code == QLatin1String("RequestTimeTooSkewed") && !clockSet) {
            // Signed again at the store's time, as the SDKs do.
            const QDateTime storeTime = S3Transfer::httpDate(attempt.headers.date);
            if (storeTime.isValid()) {
                clockSet = true;
                setClockOffset(QDateTime::currentDateTimeUtc().secsTo(storeTime));
                LogManager::logInfo(
                    QStringLiteral("本机时间与存储服务相差%1秒，按存储服务时间签名").arg(clockOffset()));
                continue;
            }
        }
        if ((s3Code == QLatin1String("ExpiredToken") || s3Code == QLatin1String("InvalidToken")
             || s3Code == QLatin1String("InvalidAccessKeyId"))
            && !renewed) {
            // A set that differs from the refused one is tried at once.
            renewed = true;
            StsCredentials fresh;
            if (CredentialCache::renewAfterRefusal(creds, &fresh)) {
                creds = fresh;
                continue;
            }
        }
        if (!attempt.transient() || tries > opt.retries)
            break;
        QThread::msleep(ulong(opt.backoffMs) << (tries - 1));
    }

    S3Transfer::logFailure(urlOf(creds), attempt, tries);
    Failure failure = Failure::Transient;
    if (attempt.certificateRefused())
        failure = Failure::Certificate;
    else if (attempt.s3Code() == QLatin1String("BadDigest"))
        failure = Failure::FileChanged;
    return fail(failure, attempt.describe());
}
