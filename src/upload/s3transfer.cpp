#include "upload/s3transfer.h"

#include <atomic>
#include <mutex>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLocale>
#include <QMutex>
#include <QRegularExpression>
#include <QTcpServer>
#include <QUrl>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/logmanager.h"
#include "net/tlstrust.h"
#include "upload/sendlimit.h"

namespace {

QMutex g_logLock;
std::atomic<qint64> g_clockOffset{0};

std::mutex g_shareLocks[CURL_LOCK_DATA_LAST];

void lockShare(CURL *, curl_lock_data data, curl_lock_access, void *)
{
    g_shareLocks[data].lock();
}

void unlockShare(CURL *, curl_lock_data data, void *)
{
    g_shareLocks[data].unlock();
}

// Name lookups and TLS sessions are shared by every thread's handle, so a
// thread that starts when the window grows resumes a session instead of
// paying a full handshake. Kept for the whole process.
CURLSH *sharedCache()
{
    static CURLSH *share = [] {
        CURLSH *s = curl_share_init();
        if (s) {
            curl_share_setopt(s, CURLSHOPT_LOCKFUNC, lockShare);
            curl_share_setopt(s, CURLSHOPT_UNLOCKFUNC, unlockShare);
            curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_DNS);
            curl_share_setopt(s, CURLSHOPT_SHARE, CURL_LOCK_DATA_SSL_SESSION);
        }
        return s;
    }();
    return share;
}

// One handle per pool thread, reset before each use: a handle keeps its
// connections, so a thread's checks and writes go over kept connections
// instead of connecting for each image.
CURL *threadHandle(bool keepConnections)
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
    if (handle.curl) {
        curl_easy_reset(handle.curl);
        curl_easy_setopt(handle.curl, CURLOPT_SHARE, sharedCache());
        // libcurl verifies the peer and its name by default, against the
        // system's authorities (its CA path); a studio's own CA file joins them.
        const QString caFile = configFile::caFile();
        if (!caFile.isEmpty())
            curl_easy_setopt(handle.curl, CURLOPT_CAINFO, QFile::encodeName(caFile).constData());
        if (!keepConnections) {
            curl_easy_setopt(handle.curl, CURLOPT_FRESH_CONNECT, 1L);
            curl_easy_setopt(handle.curl, CURLOPT_FORBID_REUSE, 1L);
        }
    }
    return handle.curl;
}

// The certificate or the authorities to check it with were refused; another
// try would meet the same certificate.
bool certificateRefused(CURLcode code)
{
    return code == CURLE_PEER_FAILED_VERIFICATION || code == CURLE_SSL_CACERT_BADFILE || code == CURLE_SSL_ISSUER_ERROR
           || code == CURLE_SSL_INVALIDCERTSTATUS || code == CURLE_SSL_PINNEDPUBKEYNOTMATCH;
}

// libcurl's own words for the failure, or the code's general text.
QString certificateFailure(CURLcode code, const QString &curlError)
{
    return TlsTrust::certificateFailure(curlError.isEmpty() ? QString::fromLatin1(curl_easy_strerror(code))
                                                            : curlError);
}

// The Host header a request to `url` sends: the port only when it is not
// the scheme's own.
QByteArray hostHeader(const QUrl &url)
{
    const int standard = url.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80;
    QString host = url.host(QUrl::FullyEncoded);
    if (host.contains(QLatin1Char(':')))
        host = QLatin1Char('[') + host + QLatin1Char(']');
    const int port = url.port(standard);
    return "Host: " + (port == standard ? host : host + QLatin1Char(':') + QString::number(port)).toUtf8();
}

size_t readFromFile(char *buffer, size_t size, size_t count, void *stream)
{
    qint64 want = qint64(size * count);
    // Under the operator's limit each transfer takes small turns, so none
    // waits long behind the others.
    if (const qint64 chunk = SendLimit::chunkBytes(); chunk > 0)
        want = qMin(want, chunk);
    const qint64 n = static_cast<QFile *>(stream)->read(buffer, want);
    if (n > 0)
        SendLimit::await(n);
    return n < 0 ? CURL_READFUNC_ABORT : size_t(n);
}

size_t collectHeaders(char *data, size_t size, size_t count, void *sink)
{
    const QByteArray line(data, qsizetype(size * count));
    const int colon = line.indexOf(':');
    if (colon > 0) {
        auto *headers = static_cast<S3Transfer::AnswerHeaders *>(sink);
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

// libcurl 7.88 signs with a caller's X-Amz-Date but then sends that header
// a second time, and a store refuses the doubled header. So a request at a
// corrected time is signed by libcurl in a dry run whose connection ends in a
// local socket that never answers; the Authorization line it wrote goes with
// the real request. The dry run speaks plain http, as a handshake with that
// socket would never end: the scheme is not signed, and `headers` name the
// real request's Host. Empty when the dry run produced none.
QByteArray authorizationFor(const QByteArray &url, curl_slist *headers, const QByteArray &userPwd, curl_off_t size)
{
    QTcpServer sink;
    if (!sink.listen(QHostAddress::LocalHost))
        return QByteArray();
    QUrl target(QString::fromUtf8(url));
    target.setPort(target.port(target.scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0 ? 443 : 80));
    target.setScheme(QStringLiteral("http"));
    const QByteArray plainUrl = target.toEncoded();
    const QByteArray connectTo =
        QStringLiteral("%1:%2:127.0.0.1:%3").arg(target.host()).arg(target.port()).arg(sink.serverPort()).toUtf8();
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
    curl_easy_setopt(curl, CURLOPT_URL, plainUrl.constData());
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

QString amzDateNow()
{
    return QDateTime::currentDateTimeUtc()
        .addSecs(g_clockOffset.load())
        .toString(QStringLiteral("yyyyMMdd'T'hhmmss'Z'"));
}

} // namespace

void S3Transfer::initialise()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

QString S3Transfer::logDir()
{
    return AppPaths::logDir() + QStringLiteral("/aws_sdk");
}

QDateTime S3Transfer::httpDate(const QByteArray &text)
{
    const QDateTime parsed =
        QLocale::c().toDateTime(QString::fromLatin1(text), QStringLiteral("ddd, dd MMM yyyy hh:mm:ss 'GMT'"));
    return parsed.isValid() ? QDateTime(parsed.date(), parsed.time(), Qt::UTC) : QDateTime();
}

qint64 S3Transfer::clockOffset()
{
    return g_clockOffset.load();
}

void S3Transfer::setClockOffset(qint64 seconds)
{
    g_clockOffset.store(seconds);
}

bool S3Transfer::Attempt::succeeded() const
{
    return code == CURLE_OK && status >= 200 && status < 300 && !unconfirmed;
}

bool S3Transfer::Attempt::certificateRefused() const
{
    return ::certificateRefused(code);
}

bool S3Transfer::Attempt::transient() const
{
    if (code != CURLE_OK)
        return code != CURLE_READ_ERROR && !certificateRefused();
    return unconfirmed || status >= 500 || status == 429;
}

QString S3Transfer::Attempt::s3Code() const
{
    const QRegularExpressionMatch m =
        QRegularExpression(QStringLiteral("<Code>([^<]*)</Code>")).match(QString::fromUtf8(reply));
    return m.hasMatch() ? m.captured(1) : QString();
}

QString S3Transfer::Attempt::describe() const
{
    if (code == CURLE_ABORTED_BY_CALLBACK)
        return QStringLiteral("no progress, transfer stalled");
    if (certificateRefused())
        return ::certificateFailure(code, curlError);
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

S3Transfer::Attempt S3Transfer::put(const QString &url, QFile &file, const StsCredentials &creds, const QString &sha256,
                                    const QByteArray &md5, const Limits &limits)
{
    const QString contentMd5 = QString::fromLatin1(md5.toBase64());
    Attempt attempt;
    file.seek(0);
    CURL *curl = threadHandle(limits.keepConnections);
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
        headers = curl_slist_append(headers, hostHeader(QUrl(url)).constData());
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
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(limits.connectSeconds));
    // libcurl asks for 100-continue before a large body and would wait for it
    // on every write; the body goes at once instead (a refusal still ends the
    // transfer, with the store's answer).
    curl_easy_setopt(curl, CURLOPT_EXPECT_100_TIMEOUT_MS, 0L);
    StallWatch watch;
    watch.limitMs = qint64(limits.stallSeconds) * 1000;
    watch.sinceProgress.start();
    curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, watchStall);
    curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &watch);
    curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);

    attempt.code = curl_easy_perform(curl);
    // The handle outlives this frame's buffer.
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &attempt.status);
    attempt.curlError = QString::fromLocal8Bit(errorBuffer);
    attempt.unconfirmed = attempt.code == CURLE_OK && attempt.status >= 200 && attempt.status < 300
                          && !etagIsMd5(attempt.headers.etag, md5.toHex());
    curl_slist_free_all(headers);
    return attempt;
}

bool S3Transfer::isStored(const QString &url, qint64 size, const QString &md5Hex, const Limits &limits)
{
    initialise();
    CURL *curl = threadHandle(limits.keepConnections);
    if (!curl)
        return false;
    const QByteArray urlBytes = url.toUtf8();
    curl_easy_setopt(curl, CURLOPT_URL, urlBytes.constData());
    curl_easy_setopt(curl, CURLOPT_NOBODY, 1L);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(limits.connectSeconds));
    // A host that never answers must not hold a pool thread.
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, long(limits.stallSeconds));
    AnswerHeaders headers;
    curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, collectHeaders);
    curl_easy_setopt(curl, CURLOPT_HEADERDATA, &headers);
    char errorBuffer[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errorBuffer);
    long status = 0;
    const CURLcode code = curl_easy_perform(curl);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, nullptr);
    if (code != CURLE_OK) {
        // The file is sent all the same; the host's certificate is still
        // the operator's to see.
        if (::certificateRefused(code))
            LogManager::logError(QStringLiteral("图片地址查询失败：%1：%2")
                                     .arg(url, certificateFailure(code, QString::fromLocal8Bit(errorBuffer))));
        return false;
    }
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
    // A portal or a proxy answers 200 to anything; only the object's own
    // length and digest show that it is the checked file.
    return status == 200 && headers.length == size && etagIsMd5(headers.etag, md5Hex.toLatin1());
}

void S3Transfer::logFailure(const QString &url, const Attempt &attempt, int tries)
{
    QMutexLocker lock(&g_logLock);
    const QString dir = logDir();
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
