#pragma once

#include <QAbstractHttpServer>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QSet>
#include <QUrlQuery>

#include "installersigner.h"

// A stand-in for the shop backend on loopback: the API under "/api/" with the
// backend's envelope, served from JSON files; plain web pages for the home
// and cart links; installer downloads; and a "/__control/" API through which
// tests switch on faults and read what arrived.
class LocalBackend final : public QAbstractHttpServer
{
    Q_OBJECT

public:
    struct Request
    {
        QString method;
        QString path; // after "/api/", or the whole path elsewhere
        QUrlQuery query;
        bool hasToken = false;
        QString token;
        QString contentType;
        QByteArray body;
    };

    struct Response
    {
        int status = 200;
        QByteArray contentType = "application/json";
        QByteArray body;
        int delayMs = 0;
        bool drop = false;  // close the connection without an answer
        int sentBytes = -1; // fewer than the body: the connection closes early
        // Streamed without a length: `streamPattern` repeated, `streamPiece`
        // bytes every `delayMs`, until `streamLimit` bytes have gone out.
        QByteArray streamPattern;
        int streamPiece = 0;
        qint64 streamLimit = 0;
    };

    explicit LocalBackend(const QString &dataDir, QObject *parent = nullptr);

    // Reads every data file; false with a reason when one is missing or malformed.
    bool load(QString *error);
    // The key the version answer's signatures are made with; without one they are left out.
    bool loadSigningKey(const QString &pemFile, QString *error) { return m_signer.load(pemFile, error); }
    // Serves https only, with this certificate and key (PEM); before start().
    bool useTls(const QString &certificateFile, const QString &keyFile, QString *error);
    // Loopback only; 0 picks a free port. Returns the port, 0 on failure.
    quint16 start(quint16 port);
    QString baseUrl() const;

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    struct Fault
    {
        QString kind;
        int times = 1; // -1: until reset
        int delayMs = 0;
        QByteArray body; // the answer of kind "answer", the dripped text of "drip"
    };

    void stream(QTcpSocket *socket, const Response &response);
    Response api(const Request &req);
    Response control(const Request &req);
    Response page(const Request &req);
    bool takeFault(const QString &path, Fault *fault);
    Response applyFault(const Fault &fault, Response normal);
    Response downloadFault(const Fault &fault, Response normal);

    Response token(const Request &req);
    Response storeInfo(int storeId);
    Response versions();
    Response search(const QString &text);
    Response productQuery(int spuId);
    Response skuGroupList(const Request &req);
    Response mainImages(int id);
    Response catalogueFault(const Fault &fault, const Request &req);
    Response templateImage(const Request &req);
    Response sts(const QString &key);
    Response cart(const Request &req);

    QJsonObject accountOfToken(const QString &token) const;
    QByteArray substitute(const QByteArray &text) const;

    QString m_dataDir;
    quint16 m_port = 0;
    bool m_tls = false;
    QJsonArray m_accounts;
    QJsonObject m_catalogue;
    QJsonObject m_version;
    InstallerSigner m_signer;
    QJsonObject m_sts;
    QHash<QString, int> m_tokens; // token -> index in m_accounts
    int m_tokenSerial = 0;
    QHash<QString, Fault> m_faults; // path prefix -> fault
    QJsonArray m_requests;
    QJsonArray m_cartPosts;
};
