#pragma once

#include <atomic>

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QObject>
#include <QString>

// The one HTTP client of the process. Calls block their thread; on the GUI
// thread they wait in a local event loop. Each call has its own manager,
// request and reply, and its result is kept per calling thread, so the result
// read right after a call (getJson, lastMessage, errorMessage) is that call's
// own even while other threads call at the same time.
class QIODevice;
class QUrl;

class HttpUtils final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(HttpUtils)

public:
    enum ResultCode { Failed = 0, Success = 1, Unauthorized = 2 };

    static HttpUtils &instance();

    static QString jsonType(); // "application/json"
    static QString formType(); // "application/x-www-form-urlencoded"

    // True on a successful envelope. A rejected call is sent once more (after
    // a token refresh when the backend answered "auth.unauthorized"); a GET
    // that fails in transport is sent once more, a POST is not.
    bool httpGet(const QString &url, const QString &contentType, bool withToken, bool isRetry = false);
    bool httpPost(const QString &url, const QJsonObject &body, const QString &contentType, bool withToken,
                  bool isRetry = false);
    bool httpPostArray(const QString &url, const QJsonArray &body, const QString &contentType, bool withToken,
                       bool isRetry = false);

    // Streams the answer to a GET of `url` into `sink`: no envelope, no token,
    // no repeat. Fails past the request timeout, past `maxBytes`, on an error
    // status or a refused write, and once `stop` turns true; the reason is then
    // lastMessage() and in the log. Any thread.
    bool download(const QUrl &url, QIODevice *sink, qint64 maxBytes, const std::atomic<bool> *stop = nullptr);

    // The calling thread's last parsed response object.
    QJsonObject getJson() const;
    // The calling thread's last message key or transport error text.
    QString lastMessage() const;
    // True when the calling thread's last call got no usable HTTP answer: the
    // backend could not be reached, timed out or answered with an error status.
    bool lastFailedInTransport() const;
    // True when that failure was a certificate the client does not trust
    // (TlsTrust); lastMessage() is then "证书校验失败：" and the reason.
    bool lastFailedCertificate() const;
    // The operator text of lastMessage() from the error table, or a refused
    // certificate's own text; empty when unknown.
    QString errorMessage() const;
    // True when the calling thread's last call failed after its request may
    // have reached the backend (no answer after the body was sent, or a
    // gateway error): whether the backend acted on it is not known.
    bool lastOutcomeUnknown() const;

    // Parses one response body into the calling thread's result.
    Q_INVOKABLE int callBack(const QString &json);

    // Password grant; on success fills the session with token and credentials.
    bool getToken(const QString &userName, const QString &password);
    // True at once unless code is Unauthorized; then requests a new token with
    // the session's credentials and returns whether that succeeded.
    bool refreshToken(int code);

private:
    enum class Verb { Get, Post };
    HttpUtils() = default;

    bool send(Verb verb, const QString &url, const QByteArray &body, const QString &contentType, bool withToken,
              bool isRetry, bool tokenRequest);
    bool requestToken(const QString &userName, const QString &password);
    // Records a refused certificate as the calling thread's result and logs it.
    static void refusedCertificate(const QString &failure);
};
