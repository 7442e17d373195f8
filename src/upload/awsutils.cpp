#include "upload/awsutils.h"

#include <atomic>
#include <memory>
#include <mutex>

#include <curl/curl.h>

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QMutex>
#include <QRegularExpression>
#include <QTcpServer>
#include <QThread>
#include <QUrl>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "core/timeutils.h"
#include "core/vellruntime.h"
#include "intake/filedigest.h"
#include "net/endpoints.h"
#include "net/httputils.h"

namespace {

const QString kTimeFormat = QStringLiteral("yyyy-MM-dd hh:mm:ss");

QMutex g_cacheLock; // guards g_cache
QMutex g_renewLock; // one renewal at a time; others wait and then see its result
StsCredentials g_cache;
QMutex g_optionsLock;
AwsUtils::Options g_options;
QMutex g_transferLogLock;
std::atomic<qint64> g_clockOffset{0};

void globalInit()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

// One handle per pool thread, reset before each use: a handle keeps its
// connections, so a thread's checks and writes go over kept connections
// instead of connecting for each image.
CURL *threadHandle()
{
    struct Handle
    {
        CURL *curl = curl_easy_init();
        ~Handle()
        {
            if (curl)
                curl_easy_cleanup(curl);
        }
    };
    thread_local Handle handle;
    if (handle.curl)
        curl_easy_reset(handle.curl);
    return handle.curl;
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *stream)
{
    const qint64 n = static_cast<QFile *>(stream)->read(buffer, qint64(size * count));
    return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
}

// The answer's headers a transfer looks at.
struct AnswerHeaders
{
    QByteArray date; // from which a client with a wrong clock learns the store's time
    QByteArray etag;
    qint64 length = -1;
};

size_t collectHeaders(char *data, size_t size, size_t count, void *sink)
{
    const QByteArray line(data, qsizetype(size * count));
    const int colon = line.indexOf(':');
    if (colon > 0) {
        auto *headers = static_cast<AnswerHeaders *>(sink);
        const QByteArray name = line.left(colon).trimmed().toLower();
        const QByteArray value = line.mid(colon + 1).trimmed();
        if (name == "date")
            headers->date = value;
        else if (name == "etag")
            headers->etag = value;
        else if (name == "content-length")
            headers->length = value.toLongLong();
    }
    return size * count;
}

// A single-part object's ETag is the quoted MD5 of its bytes.
bool etagIsMd5(QByteArray etag, const QByteArray &md5Hex)
{
    if (etag.startsWith("W/"))
        return false;
    if (etag.size() >= 2 && etag.startsWith('"') && etag.endsWith('"'))
        etag = etag.mid(1, etag.size() - 2);
    return !md5Hex.isEmpty() && etag.toLower() == md5Hex.toLower();
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
    AnswerHeaders headers;
    QString curlError;
    // A 2xx whose ETag is not the MD5 sent: something on the way (a portal,
    // a proxy) answered, not the store.
    bool unconfirmed = false;

    bool succeeded() const { return code == CURLE_OK && status >= 200 && status < 300 && !unconfirmed; }
    // Worth another try: the connection, a timeout, an answer that did not
    // come from the store, or the store's own trouble.
    bool transient() const
    {
        if (code != CURLE_OK)
            return code != CURLE_READ_ERROR;
        return unconfirmed || status >= 500 || status == 429;
    }
    QString s3Code() const
    {
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<Code>([^<]*)</Code>")).match(QString::fromUtf8(reply));
        return m.hasMatch() ? m.captured(1) : QString();
    }
    QString describe() const
    {
        if (code == CURLE_ABORTED_BY_CALLBACK)
            return QStringLiteral("no progress, transfer stalled");
        if (code != CURLE_OK)
            return QStringLiteral("%1 (%2)").arg(curlError, QString::fromLatin1(curl_easy_strerror(code)));
        if (unconfirmed)
            return QStringLiteral("HTTP %1 without the stored object's ETag (ETag: %2)")
                .arg(status)
                .arg(QString::fromLatin1(headers.etag.left(80)));
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("<Message>([^<]*)</Message>")).match(QString::fromUtf8(reply));
        return QStringLiteral("HTTP %1 %2 %3").arg(status).arg(s3Code(), m.hasMatch() ? m.captured(1) : QString());
    }
};

// libcurl 7.88 signs with a caller's X-Amz-Date but then sends that header
// a second time, and a store refuses the doubled header. So a request at a
// corrected time is signed by libcurl in a dry run whose connection ends in a
// local socket that never answers; the Authorization line it wrote goes with
// the real request. Empty when the dry run produced none.
QByteArray authorizationFor(const QByteArray &url, curl_slist *headers, const QByteArray &userPwd, curl_off_t size)
{
    QTcpServer sink;
    if (!sink.listen(QHostAddress::LocalHost))
        return QByteArray();
    const QUrl target(QString::fromUtf8(url));
    const QByteArray connectTo =
        QStringLiteral("%1:%2:127.0.0.1:%3").arg(target.host()).arg(target.port(80)).arg(sink.serverPort()).toUtf8();
    curl_slist *route = curl_slist_append(nullptr, connectTo.constData());
    QByteArray sent;
    CURL *curl = curl_easy_init();
    if (!curl) {
        curl_slist_free_all(route);
        return QByteArray();
    }
    const auto keepHeaders = [](CURL *, curl_infotype type, char *data, size_t size, void *out) -> int {
        if (type == CURLINFO_HEADER_OUT)
            static_cast<QByteArray *>(out)->append(data, qsizetype(size));
        return 0;
    };
    const auto stopWhenSent = [](void *out, curl_off_t, curl_off_t, curl_off_t, curl_off_t) -> int {
        return static_cast<QByteArray *>(out)->isEmpty() ? 0 : 1;
    };
    const auto noBody = [](char *, size_t, size_t, void *) -> size_t { return CURL_READFUNC_ABORT; };
    curl_easy_setopt(curl, CURLOPT_URL, url.constData());
    curl_easy_setopt(curl, CURLOPT_CONNECT_TO, route);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, size);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, static_cast<curl_read_callback>(noBody));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, "aws:amz:us-east-1:s3");
    curl_easy_setopt(curl, CURLOPT_USERPWD, userPwd.constData());
    curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
    curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, static_cast<curl_debug_callback>(keepHeaders));
    curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &sent);
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, static_cast<curl_xferinfo_callback>(stopWhenSent));
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &sent);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 5L);
    curl_easy_perform(curl);
    curl_easy_cleanup(curl);
    curl_slist_free_all(route);
    for (const QByteArray &line : sent.split('\n')) {
        if (line.toLower().startsWith("authorization:"))
            return line.trimmed();
    }
    return QByteArray();
}

// An HTTP date, "Sun, 06 Nov 1994 08:49:37 GMT"; invalid otherwise.
QDateTime httpDate(const QByteArray &text)
{
    const QDateTime parsed =
        QLocale::c().toDateTime(QString::fromLatin1(text), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    return parsed.isValid() ? QDateTime(parsed.date(), parsed.time(), Qt::UTC) : QDateTime();
}

QString amzDateNow()
{
    return QDateTime::currentDateTimeUtc()
        .addSecs(g_clockOffset.load())
        .toString(QStringLiteral("yyyyMMdd'T'hhmmss'Z'"));
}

Attempt putOnce(const QString &url, QFile &file, const StsCredentials &creds, const QString &sha256,
                const QString &contentMd5, const QByteArray &md5Hex, const AwsUtils::Options &opt)
{
    Attempt attempt;
    file.seek(0);
    CURL *curl = threadHandle();
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

    if (g_clockOffset.load() != 0) {
        headers = curl_slist_append(headers, ("X-Amz-Date: " + amzDateNow()).toUtf8().constData());
        const QByteArray authorization = authorizationFor(urlBytes, headers, userPwd, curl_off_t(file.size()));
        if (authorization.isEmpty()) {
            curl_slist_free_all(headers);
            attempt.code = CURLE_FAILED_INIT;
            attempt.curlError = QStringLiteral("signing at the corrected time failed");
            return attempt;
        }
        headers = curl_slist_append(headers, authorization.constData());
    } else {
        curl_easy_setopt(curl, CURLOPT_AWS_SIGV4, "aws:amz:us-east-1:s3");
        curl_easy_setopt(curl, CURLOPT_USERPWD, userPwd.constData());
    }

    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, readFromFile);
    curl_easy_setopt(curl, CURLOPT_READDATA, &file);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, curl_off_t(file.size()));
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collectReply);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &attempt.reply);
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeaders);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &attempt.headers);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(opt.connectSeconds));
    // libcurl asks for 100-continue before a large body and would wait for it
    // on every write; the body goes at once instead (a refusal still ends the
    // transfer, with the store's answer).
    curl_easy_setopt(curl, CURLOPT_EXPECT_100_TIMEOUT_MS, 0L);
    StallWatch watch;
    watch.limitMs = qint64(opt.stallSeconds) * 1000;
    watch.sinceProgress.start();
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, watchStall);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    attempt.code = curl_easy_perform(curl);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &attempt.status);
    attempt.curlError = QString::fromLocal8Bit(errorBuffer);
    attempt.unconfirmed = attempt.code == CURLE_OK && attempt.status >= 200 && attempt.status < 300
                          && !etagIsMd5(attempt.headers.etag, md5Hex);
    curl_slist_free_all(headers);
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
    // Another account logged in since: its images go under its own set.
    if (!current.expiration.isEmpty() && !TimeUtils::isExpired(current.expiration)
        && current.userId == VellRuntime::instance().userId())
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
    fresh.endpointHost.remove(QStringLiteral("http://"));
    fresh.endpointHost.remove(QStringLiteral("https://"));
    const QDateTime expiry = QDateTime::fromString(data.value(QStringLiteral("expiration")).toString(), kTimeFormat);
    fresh.expiration = expiry.isValid() ? expiry.addSecs(-600).toString(kTimeFormat) : QString();
    fresh.credentialKey = word;
    fresh.userId = userId;
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

bool AwsUtils::isStored(const QString &url, qint64 size, const QString &md5Hex)
{
    globalInit();
    CURL *curl = threadHandle();
    if (!curl)
        return false;
    const QByteArray urlBytes = url.toUtf8();
    const Options opt = options();
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(opt.connectSeconds));
    // A host that never answers must not hold a pool thread.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(opt.stallSeconds));
    AnswerHeaders headers;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeaders);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    long status = 0;
    if (curl_easy_perform(curl) != CURLE_OK)
        return false;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    // A portal or a proxy answers 200 to anything; only the object's own
    // length and digest show that it is the checked file.
    return status == 200 && headers.length == size && etagIsMd5(headers.etag, md5Hex.toLatin1());
}

qint64 AwsUtils::clockOffset()
{
    return g_clockOffset.load();
}

void AwsUtils::setClockOffset(qint64 seconds)
{
    g_clockOffset.store(seconds);
}

QString AwsUtils::upload(const QString &localPath, const QString &imageName, bool bucketType)
{
    globalInit();
    m_failure = Failure::None;
    ensureCredentials();
    StsCredentials creds = credentials();
    const Options opt = options();
    const QString bucket = bucketName(bucketType);
    const QString key = objectKey(localPath, imageName);

    const auto fail = [&](Failure failure, const QString &message) {
        m_failure = failure;
        LogManager::logError(QStringLiteral("图片上传失败：%1").arg(message));
        qDebug().noquote() << QStringLiteral("图片上传失败：%1").arg(message);
        return QString();
    };
    // Without an endpoint or a key a request could only go nowhere.
    const auto usable = [](const StsCredentials &c) {
        return !c.endpointHost.isEmpty() && !c.accessKeyId.isEmpty() && !c.secretAccessKey.isEmpty();
    };
    if (!usable(creds))
        return fail(Failure::NoCredentials, QStringLiteral("没有可用的存储凭证"));
    const auto urlOf = [&](const StsCredentials &c) {
        return QStringLiteral("http://") + c.endpointHost + QLatin1Char('/') + bucket + QLatin1Char('/') + key;
    };

    QFile file(localPath);
    if (!file.open(QIODevice::ReadOnly)) {
        Attempt missing;
        missing.code = CURLE_READ_ERROR;
        missing.curlError = file.errorString();
        logTransfer(urlOf(creds), missing, 0);
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
    const QString contentMd5 = QString::fromLatin1(md5.toBase64());

    Attempt attempt;
    int tries = 0;
    bool renewed = false;
    bool clockSet = false;
    forever {
        ++tries;
        attempt = putOnce(urlOf(creds), file, creds, sha256, contentMd5, md5.toHex(), opt);
        if (attempt.succeeded())
            return creds.endpoint + QLatin1Char('/') + bucket + QLatin1Char('/') + key;
        const QString s3Code = attempt.s3Code();
        if (s3Code == QLatin1String("RequestTimeTooSkewed") && !clockSet) {
            // Signed again at the store's time, as the SDKs do.
            const QDateTime storeTime = httpDate(attempt.headers.date);
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
            // The set is dropped unless another upload has renewed it
            // meanwhile; a set that differs from the refused one is tried at once.
            renewed = true;
            {
                QMutexLocker lock(&g_cacheLock);
                if (g_cache.sessionToken == creds.sessionToken && g_cache.accessKeyId == creds.accessKeyId) {
                    const QString word = g_cache.credentialKey;
                    g_cache = StsCredentials();
                    g_cache.credentialKey = word;
                }
            }
            ensureCredentials();
            const StsCredentials fresh = credentials();
            if (usable(fresh)
                && (fresh.sessionToken != creds.sessionToken || fresh.accessKeyId != creds.accessKeyId
                    || fresh.secretAccessKey != creds.secretAccessKey)) {
                creds = fresh;
                continue;
            }
        }
        if (!attempt.transient() || tries > opt.retries)
            break;
        QThread::msleep(ulong(opt.backoffMs) << (tries - 1));
    }

    logTransfer(urlOf(creds), attempt, tries);
    return fail(attempt.s3Code() == QLatin1String("BadDigest") ? Failure::FileChanged : Failure::Transient,
                attempt.describe());
}
