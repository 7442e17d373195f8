#include "upload/awsutils.h"

#include <memory>
#include <mutex>

#include <curl/curl.h>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QRegularExpression>
#include <QThread>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "core/timeutils.h"
#include "intake/filedigest.h"
#include "net/endpoints.h"
#include "net/httputils.h"

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QMutex g_cacheLock;    // guards g_cache
QMutex g_renewLock;    // one renewal at a time; others wait and then see its result
StsCredentials g_cache;
QMutex g_optionsLock;
AwsUtils::Options g_options;
QMutex g_transferLogLock;

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *stream)
{
    const qint64 n = static_cast<QFile *>(stream)->read(buffer, qint64(size * count));
    return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
}

size_t collectReply(char *data, size_t size, size_t count, void *sink)
{
    auto *reply = static_cast<QByteArray *>(sink);
    if (reply->size() < 16 * 1024)
        reply->append(data, qsizetype(size * count));
    return size * count;
}

// Ends a transfer when no byte has moved either way for the stall time.
struct StallWatch
{
    qint64 limitMs = 0;
    curl_off_t lastUp = -1;
    curl_off_t lastDown = -1;
    QElapsedTimer sinceProgress;
};

int watchStall(void *data, curl_off_t, curl_off_t downloaded, curl_off_t, curl_off_t uploaded)
{
    auto *watch = static_cast<StallWatch *>(data);
    if (uploaded != watch->lastUp || downloaded != watch->lastDown) {
        watch->lastUp = uploaded;
        watch->lastDown = downloaded;
        watch->sinceProgress.restart();
        return 0;
    }
    return watch->sinceProgress.elapsed() > watch->limitMs ? 1 : 0;
}

struct Attempt
{
    CURLcode code = CURLE_OK;
    long status = 0;
    QByteArray reply;
    QString curlError;

    bool succeeded() const { return code == CURLE_OK && status >= 200 && status < 300; }
    // Worth another try: the connection, a timeout, or the store's own trouble.
    bool transient() const
    {
        if (code != CURLE_OK)
            return code != CURLE_READ_ERROR;
        return status >= 500 || status == 429;
    }
    QString s3Code() const
    {
        const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("<Code>([^<]*)</Code>")).match(QString::fromUtf8(reply));
        return m.hasMatch() ? m.captured(1) : QString();
    }
    QString describe() const
    {
        if (code == CURLE_ABORTED_BY_CALLBACK)
            return QStringLiteral("no progress, transfer stalled");
        if (code != CURLE_OK)
            return QStringLiteral("%1 (%2)").arg(curlError, QString::fromLatin1(curl_easy_strerror(code)));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<Message>([^<]*)</Message>")).match(QString::fromUtf8(reply));
        return QStringLiteral("HTTP %1 %2 %3").arg(status).arg(s3Code(), m.hasMatch() ? m.captured(1) : QString());
    }
};

Attempt putOnce(const QString &url, QFile &file, const StsCredentials &creds, const QString &sha256,
                const QString &contentMd5, const AwsUtils::Options &opt)
{
    Attempt attempt;
    file.seek(0);
    CURL *curl = curl_easy_init();
    if (!curl) {
        attempt.code = CURLE_FAILED_INIT;
        return attempt;
    }
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    const QByteArray urlBytes = url.toUtf8();
    const QByteArray userPwd = (creds.accessKeyId + QLatin1Char(':') + creds.secretAccessKey).toUtf8();
    curl_slist *headers = nullptr;
    headers = curl_slist_append(headers, ("x-amz-content-sha256: " + sha256).toUtf8().constData());
    headers = curl_slist_append(headers, ("x-amz-security-token: " + creds.sessionToken).toUtf8().constData());
    if (!contentMd5.isEmpty())
        headers = curl_slist_append(headers, ("Content-MD5: " + contentMd5).toUtf8().constData());

    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, &file);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, "aws:amz:us-east-1:s3");
    curl_easy_setopt(curl, CURLOPT_USERPWD, userPwd.constData());
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &attempt.reply);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(opt.connectSeconds));
    StallWatch watch;
    watch.limitMs = qint64(opt.stallSeconds) * 1000;
    watch.sinceProgress.start();
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, watchStall);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    attempt.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &attempt.status);
    attempt.curlError = QString::fromLocal8Bit(errorBuffer);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return attempt;
}

// One line per failed transfer; keys, secret and token never appear.
void logTransfer(const QString &url, const Attempt &attempt, int tries)
{
    QMutexLocker lock(&g_transferLogLock);
    const QString dir = AwsUtils::transferLogDir();
    QDir().mkpath(dir);
    QFile file(dir + QStringLiteral("/log_") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd")) + ".log");
    if (!file.open(QIODevice::Append | QIODevice::Text))
        return;
    file.write(QStringLiteral("[%1] PUT %2 failed after %3 attempt(s): %4\n")
                   .arg(QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz")), url)
                   .arg(tries)
                   .arg(attempt.describe())
                   .toUtf8());
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
    return AppPaths::logDir() + QStringLiteral("/aws_sdk");
}

void AwsUtils::initialise()
{
    globalInit();
    QDir().mkpath(transferLogDir());
    ensureCredentials();
}

void AwsUtils::ensureCredentials()
{
    QMutexLocker renewal(&g_renewLock);
    const StsCredentials current = credentials();
    if (!current.expiration.isEmpty() && !TimeUtils::isExpired(current.expiration))
        return;
    fetchCredentials(current.credentialKey);
}

bool AwsUtils::fetchCredentials(const QString &key)
{
    const QString word = key.isEmpty() ? keyTable().at(2) : key;
    {
        QMutexLocker lock(&g_cacheLock);
        g_cache.credentialKey = word;
    }
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
    fresh.endpointHost.remove(QStringLiteral("http://"));
    fresh.endpointHost.remove(QStringLiteral("https://"));
    const QDateTime expiry = QDateTime::fromString(data.value(QStringLiteral("expiration")).toString(), kTimeFormat);
    fresh.expiration = expiry.isValid() ? expiry.addSecs(-600).toString(kTimeFormat) : QString();
    fresh.credentialKey = word;
    QMutexLocker lock(&g_cacheLock);
    g_cache = fresh;
    return true;
}

StsCredentials AwsUtils::credentials()
{
    QMutexLocker lock(&g_cacheLock);
    return g_cache;
}

void AwsUtils::clearCredentials()
{
    QMutexLocker lock(&g_cacheLock);
    g_cache = StsCredentials();
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

QString AwsUtils::upload(const QString &localPath, const QString &imageName, bool bucketType)
{
    globalInit();
    ensureCredentials();
    const StsCredentials creds = credentials();
    const Options opt = options();
    const QString bucket = bucketName(bucketType);
    const QString key = objectKey(localPath, imageName);
    const QString url = QStringLiteral("http://") + creds.endpointHost + QLatin1Char('/') + bucket + QLatin1Char('/') + key;

    const auto fail = [&](const QString &message) {
        LogManager::logError(QStringLiteral("图片上传失败：%1").arg(message));
        qDebug().noquote() << QStringLiteral("图片上传失败：%1").arg(message);
        return QString();
    };

    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        Attempt missing;
        missing.code = CURLE_READ_ERROR;
        missing.curlError = file.errorString();
        logTransfer(url, missing, 0);
        return fail(QStringLiteral("%1: %2").arg(localPath, file.errorString()));
    }
    const QString sha256 = QString::fromLatin1(streamDigest(file, DigestAlgorithm::Sha256).toHex());
    // The MD5 taken when the image was checked: a file changed since then is
    // refused by the store rather than printed.
    QString contentMd5;
    const QString md5Hex = imageName.section(QLatin1Char('/'), -1);
    if (QRegularExpression(QStringLiteral("^[0-9a-f]{32}$")).match(md5Hex).hasMatch()) {
        contentMd5 = QString::fromLatin1(QByteArray::fromHex(md5Hex.toLatin1()).toBase64());
    } else {
        file.seek(0);
        contentMd5 = QString::fromLatin1(streamDigest(file, DigestAlgorithm::Md5).toBase64());
    }

    Attempt attempt;
    int tries = 0;
    forever {
        ++tries;
        attempt = putOnce(url, file, creds, sha256, contentMd5, opt);
        if (attempt.succeeded())
            return creds.endpoint + QLatin1Char('/') + bucket + QLatin1Char('/') + key;
        if (!attempt.transient() || tries > opt.retries)
            break;
        QThread::msleep(ulong(opt.backoffMs) << (tries - 1));
    }

    logTransfer(url, attempt, tries);
    const QString s3Code = attempt.s3Code();
    if (s3Code == QLatin1String("ExpiredToken") || s3Code == QLatin1String("InvalidToken")
        || s3Code == QLatin1String("InvalidAccessKeyId")) {
        // The next upload asks the backend for a fresh set.
        QMutexLocker lock(&g_cacheLock);
        g_cache.expiration.clear();
    }
    return fail(attempt.describe());
}
