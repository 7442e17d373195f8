#include "net/httputils.h"

#include <QEventLoop>
#include <QJsonDocument>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslError>
#include <QTimer>
#include <QUrl>

#include "core/configfile.h"
#include "core/logmanager.h"
#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/oneshotbody.h"
#include "net/tlstrust.h"

namespace {

// Backend answers are small JSON documents; a reply past this is not one.
constexpr qint64 kMaxBodyBytes = 8 * 1024 * 1024;

// The result of the calling thread's latest call.
struct LastResult
{
    QString message;
    QJsonObject json;
    bool outcomeUnknown = false;
    bool transportFailed = false;
    bool certificateFailed = false;
};

LastResult &last()
{
    thread_local LastResult result;
    return result;
}

void logNetworkError(const QString &text)
{
    LogManager::logError(QStringLiteral("网络错误:%1").arg(text));
}

// The token request carries the account and its password in the query, and
// a transport error's text quotes the whole address: no log line or form may
// show it.
QString withoutQuery(QString text, const QUrl &url)
{
    if (url.hasQuery()) {
        const QString bare = url.toString(QUrl::RemoveQuery);
        text.replace(url.toString(), bare);
        text.replace(QString::fromUtf8(url.toEncoded()), bare);
    }
    return text;
}

QString tooLarge(qint64 maxBytes)
{
    return QStringLiteral("应答超过%1MB，已中止").arg(maxBytes / (1024 * 1024));
}

// How a reply ended when it did not end by itself or with its own error.
struct Ending
{
    QString aborted;     // why it was cut short
    QString certificate; // the refused certificate, as TlsTrust tells it
};

// A server that never answers, answers a byte at a time or never stops must
// not hold a login, an upload or a download thread: the whole call has a
// deadline, and the answer a size limit.
Ending awaitBounded(QNetworkReply *reply, qint64 maxBytes, const std::atomic<bool> *stop = nullptr)
{
    QString abortReason;
    QList<QSslError> sslErrors;
    const QMetaObject::Connection refusal = QObject::connect(
        reply, &QNetworkReply::sslErrors, reply, [&sslErrors](const QList<QSslError> &errors) { sslErrors += errors; });
    const auto abortWith = [reply, &abortReason](const QString &reason) {
        if (abortReason.isEmpty() && !reply->isFinished()) {
            abortReason = reason;
            reply->abort();
        }
    };
    const QMetaObject::Connection progress = QObject::connect(reply, &QNetworkReply::downloadProgress, reply,
                                                              [&abortWith, maxBytes](qint64 received, qint64 total) {
                                                                  if (received > maxBytes || total > maxBytes)
                                                                      abortWith(tooLarge(maxBytes));
                                                              });
    // Progress is reported at most every 100 ms; a fast answer can be all in
    // before the first report.
    const QMetaObject::Connection arrival =
        QObject::connect(reply, &QNetworkReply::readyRead, reply, [reply, &abortWith, maxBytes] {
            if (reply->bytesAvailable() > maxBytes)
                abortWith(tooLarge(maxBytes));
        });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, reply, [&abortWith] {
        abortWith(QStringLiteral("请求超过%1秒未完成，已中止").arg(configFile::requestTimeoutSec()));
    });
    deadline.start(configFile::requestTimeoutSec() * 1000);
    QTimer poll;
    if (stop) {
        QObject::connect(&poll, &QTimer::timeout, reply, [&abortWith, stop] {
            if (stop->load())
                abortWith(QStringLiteral("已取消"));
        });
        poll.start(100);
    }
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    // The reply outlives this frame; what the handlers hold does not.
    QObject::disconnect(progress);
    QObject::disconnect(arrival);
    QObject::disconnect(refusal);
    Ending ending{abortReason, QString()};
    if (abortReason.isEmpty() && reply->error() == QNetworkReply::SslHandshakeFailedError)
        ending.certificate = TlsTrust::certificateFailure(sslErrors);
    return ending;
}

} // namespace

HttpUtils &HttpUtils::instance()
{
    static HttpUtils utils;
    return utils;
}

QString HttpUtils::jsonType()
{
    return QStringLiteral("application/json");
}

QString HttpUtils::formType()
{
    return QStringLiteral("application/x-www-form-urlencoded");
}

bool HttpUtils::httpGet(const QString &url, const QString &contentType, bool withToken, bool isRetry)
{
    return send(Verb::Get, url, QByteArray(), contentType, withToken, isRetry, false);
}

bool HttpUtils::httpPost(const QString &url, const QJsonObject &body, const QString &contentType, bool withToken,
                         bool isRetry)
{
    return send(Verb::Post, url, QJsonDocument(body).toJson(), contentType, withToken, isRetry, false);
}

bool HttpUtils::httpPostArray(const QString &url, const QJsonArray &body, const QString &contentType, bool withToken,
                              bool isRetry)
{
    return send(Verb::Post, url, QJsonDocument(body).toJson(), contentType, withToken, isRetry, false);
}

bool HttpUtils::send(Verb verb, const QString &url, const QByteArray &body, const QString &contentType, bool withToken,
                     bool isRetry, bool tokenRequest)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    if (withToken) {
        // Before login the header goes out empty; a null value would drop it.
        QByteArray token = VellRuntime::instance().accessToken().toLocal8Bit();
        if (token.isNull())
            token = QByteArray("");
        request.setRawHeader("token", token);
    }
    request.setHeader(QNetworkRequest::ContentTypeHeader, contentType);

    last().outcomeUnknown = false;
    if (const QString untrusted = TlsTrust::apply(request); !untrusted.isEmpty()) {
        refusedCertificate(untrusted);
        return false;
    }
    OneShotBody oneShot(body);
    QNetworkReply *reply = nullptr;
    if (verb == Verb::Get) {
        reply = manager.get(request);
    } else {
        request.setHeader(QNetworkRequest::ContentLengthHeader, body.size());
        request.setAttribute(QNetworkRequest::DoNotBufferUploadDataAttribute, true);
        reply = manager.post(request, &oneShot);
    }
    bool bodySent = false;
    connect(reply, &QNetworkReply::uploadProgress, reply,
            [&bodySent](qint64 sent, qint64 total) { bodySent = bodySent || (total > 0 && sent >= total); });
    const Ending ending = awaitBounded(reply, kMaxBodyBytes);

    if (!ending.certificate.isEmpty()) {
        delete reply;
        // The same certificate would be refused again: no repeat.
        refusedCertificate(ending.certificate);
        return false;
    }
    if (reply->error() != QNetworkReply::NoError) {
        // A request never written out cannot have reached the backend; one
        // that was, and got no answer of the backend's own, may have.
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        last().outcomeUnknown = status == 0 || !ending.aborted.isEmpty() ? bodySent : (status == 502 || status == 504);
        last().message = ending.aborted.isEmpty() ? withoutQuery(reply->errorString(), reply->url()) : ending.aborted;
        last().transportFailed = true;
        last().certificateFailed = false;
        logNetworkError(last().message);
        delete reply;
        if (verb == Verb::Get && !isRetry)
            return send(verb, url, body, contentType, withToken, true, tokenRequest);
        return false;
    }

    last().transportFailed = false;
    last().certificateFailed = false;
    const QString text = QString::fromUtf8(reply->readAll());
    delete reply;
    const int code = callBack(text);
    if (code == Success)
        return true;
    if (isRetry)
        return false;
    // A token request answered "auth.unauthorized" is final.
    if (tokenRequest && code == Unauthorized)
        return false;
    if (refreshToken(code))
        return send(verb, url, body, contentType, withToken, true, tokenRequest);
    return false;
}

bool HttpUtils::download(const QUrl &url, QIODevice *sink, qint64 maxBytes, const std::atomic<bool> *stop)
{
    QNetworkAccessManager manager;
    QNetworkRequest request(url);
    // Never from https down to http, and never to another scheme.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    last().outcomeUnknown = false;
    if (const QString untrusted = TlsTrust::apply(request); !untrusted.isEmpty()) {
        refusedCertificate(untrusted);
        return false;
    }
    QNetworkReply *reply = manager.get(request);
    // What is taken out of the reply no longer counts as available: the size
    // is counted here.
    qint64 received = 0;
    QString fault;
    const auto take = [reply, sink, maxBytes, &received, &fault] {
        const QByteArray piece = reply->readAll();
        if (piece.isEmpty() || !fault.isEmpty())
            return;
        received += piece.size();
        if (received > maxBytes)
            fault = tooLarge(maxBytes);
        else if (sink->write(piece) != piece.size())
            fault = QStringLiteral("写入失败：%1").arg(sink->errorString());
        if (!fault.isEmpty())
            reply->abort();
    };
    connect(reply, &QNetworkReply::readyRead, reply, take);
    const Ending ending = awaitBounded(reply, maxBytes, stop);
    if (ending.aborted.isEmpty())
        take();

    QString reason = fault.isEmpty() ? ending.aborted : fault;
    if (reason.isEmpty() && reply->error() != QNetworkReply::NoError)
        reason = withoutQuery(reply->errorString(), reply->url());
    delete reply;
    if (!ending.certificate.isEmpty()) {
        refusedCertificate(ending.certificate);
        return false;
    }
    last().message = reason;
    last().transportFailed = !reason.isEmpty();
    last().certificateFailed = false;
    if (!reason.isEmpty())
        logNetworkError(reason);
    return reason.isEmpty();
}

void HttpUtils::refusedCertificate(const QString &failure)
{
    last().message = failure;
    last().transportFailed = true;
    last().certificateFailed = true;
    logNetworkError(failure);
}

int HttpUtils::callBack(const QString &json)
{
    if (json.isEmpty())
        return Failed;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError) {
        last().message = QStringLiteral("net.error");
        logNetworkError(last().message);
        return Failed;
    }
    const QJsonObject obj = doc.object();
    last().json = obj;

    const QJsonValue message = obj.value(QStringLiteral("message"));
    if (message.isString()) {
        last().message = message.toString();
        if (last().message == QLatin1String("auth.unauthorized"))
            return Unauthorized;
    }
    if (!obj.contains(QStringLiteral("success")))
        return Success;
    return obj.value(QStringLiteral("success")).toBool() ? Success : Failed;
}

QJsonObject HttpUtils::getJson() const
{
    return last().json;
}

QString HttpUtils::lastMessage() const
{
    return last().message;
}

bool HttpUtils::lastOutcomeUnknown() const
{
    return last().outcomeUnknown;
}

bool HttpUtils::lastFailedInTransport() const
{
    return last().transportFailed;
}

bool HttpUtils::lastFailedCertificate() const
{
    return last().certificateFailed;
}

QString HttpUtils::errorMessage() const
{
    // A refused certificate is for the operator to see as it is: no message
    // key stands for it.
    return last().certificateFailed ? last().message : VellRuntime::instance().errorText(last().message);
}

bool HttpUtils::requestToken(const QString &userName, const QString &password)
{
    return send(Verb::Post, Endpoints::token(userName, password), QJsonDocument(QJsonObject()).toJson(), formType(),
                false, false, true);
}

bool HttpUtils::getToken(const QString &userName, const QString &password)
{
    if (!requestToken(userName, password))
        return false;
    VellRuntime::instance().applyLogin(getJson(), userName, password);
    return true;
}

bool HttpUtils::refreshToken(int code)
{
    if (code != Unauthorized)
        return true;
    const SessionData session = VellRuntime::instance().snapshot();
    if (!requestToken(session.userName, session.password))
        return false;
    VellRuntime::instance().setLoginInfo(getJson());
    return true;
}
