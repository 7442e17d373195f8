#include "localbackend.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QJsonDocument>
#include <QPointer>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpSocket>
#include <QTimer>

namespace {

QByteArray json(const QJsonValue &value)
{
    return value.isArray() ? QJsonDocument(value.toArray()).toJson(QJsonDocument::Compact)
                           : QJsonDocument(value.toObject()).toJson(QJsonDocument::Compact);
}

LocalBackend::Response ok(const QJsonValue &data)
{
    LocalBackend::Response r;
    r.body = json(QJsonObject{{"code", 200}, {"success", true}, {"message", "ok"}, {"data", data}});
    return r;
}

LocalBackend::Response fail(const QString &message, int code = 500)
{
    LocalBackend::Response r;
    r.body = json(QJsonObject{{"code", code}, {"success", false}, {"message", message}, {"data", QJsonValue()}});
    return r;
}

LocalBackend::Response html(const QString &title, const QString &body)
{
    LocalBackend::Response r;
    r.contentType = "text/html; charset=utf-8";
    r.body = QStringLiteral("<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>%1</title></head>"
                            "<body><h1>%1</h1>%2</body></html>")
                 .arg(title.toHtmlEscaped(), body)
                 .toUtf8();
    return r;
}

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 401:
        return "Unauthorized";
    case 404:
        return "Not Found";
    case 500:
        return "Internal Server Error";
    default:
        return "Status";
    }
}

bool readJson(const QString &path, QJsonDocument *doc, QString *error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(path);
        return false;
    }
    QJsonParseError parse;
    *doc = QJsonDocument::fromJson(file.readAll(), &parse);
    if (parse.error != QJsonParseError::NoError) {
        *error = QStringLiteral("%1: %2 at %3").arg(path, parse.errorString()).arg(parse.offset);
        return false;
    }
    return true;
}

// What "/download/NAME" serves.
QByteArray installerBody(const QString &name)
{
    return "MZ local installer stand-in: " + name.toUtf8() + '\n';
}

// The number after `prefix` in `path`, or -1.
int idAfter(const QString &path, const QString &prefix)
{
    bool okNumber = false;
    const int id = path.mid(prefix.size()).section(QLatin1Char('/'), 0, 0).toInt(&okNumber);
    return okNumber ? id : -1;
}

// A query value as a servlet-style backend reads it: "+" is a blank, then
// %XX escapes are decoded. A value sent without percent-encoding that holds
// "+" or "%" therefore arrives changed, as it would at the shop.
QString formValue(const QUrlQuery &query, const QString &key)
{
    QByteArray raw = query.queryItemValue(key, QUrl::FullyEncoded).toLatin1();
    raw.replace('+', ' ');
    return QUrl::fromPercentEncoding(raw);
}

} // namespace

LocalBackend::LocalBackend(const QString &dataDir, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_dataDir(dataDir)
{
}

bool LocalBackend::load(QString *error)
{
    QJsonDocument accounts, catalogue, version, sts;
    if (!readJson(m_dataDir + "/accounts.json", &accounts, error)
        || !readJson(m_dataDir + "/catalogue.json", &catalogue, error)
        || !readJson(m_dataDir + "/version.json", &version, error) || !readJson(m_dataDir + "/sts.json", &sts, error))
        return false;
    m_accounts = accounts.array();
    m_catalogue = catalogue.object();
    m_version = version.object();
    m_sts = sts.object();
    return true;
}

bool LocalBackend::useTls(const QString &certificateFile, const QString &keyFile, QString *error)
{
    const QList<QSslCertificate> chain = QSslCertificate::fromPath(certificateFile);
    QFile keyIn(keyFile);
    if (chain.isEmpty() || !keyIn.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read the certificate %1 or the key %2").arg(certificateFile, keyFile);
        return false;
    }
    const QByteArray pem = keyIn.readAll();
    QSslKey key(pem, QSsl::Ec);
    if (key.isNull())
        key = QSslKey(pem, QSsl::Rsa);
    if (key.isNull()) {
        *error = QStringLiteral("%1 holds no EC or RSA private key").arg(keyFile);
        return false;
    }
    sslSetup(chain.first(), key);
    m_tls = true;
    return true;
}

quint16 LocalBackend::start(quint16 port)
{
    m_port = listen(QHostAddress::LocalHost, port);
    return m_port;
}

QString LocalBackend::baseUrl() const
{
    return (m_tls ? QStringLiteral("https://127.0.0.1:%1") : QStringLiteral("http://127.0.0.1:%1")).arg(m_port);
}

QByteArray LocalBackend::substitute(const QByteArray &text) const
{
    QByteArray out = text;
    out.replace("{base}", baseUrl().toUtf8());
    return out;
}

bool LocalBackend::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    Request req;
    switch (request.method()) {
    case QHttpServerRequest::Method::Get:
        req.method = QStringLiteral("GET");
        break;
    case QHttpServerRequest::Method::Post:
        req.method = QStringLiteral("POST");
        break;
    case QHttpServerRequest::Method::Head:
        req.method = QStringLiteral("HEAD");
        break;
    default:
        req.method = QStringLiteral("OTHER");
        break;
    }
    const QString fullPath = request.url().path(QUrl::FullyDecoded);
    req.query = request.query();
    req.body = request.body();
    for (const auto &header : request.headers()) {
        const QByteArray name = header.first.toLower();
        if (name == "token") {
            req.hasToken = true;
            req.token = QString::fromLocal8Bit(header.second);
        } else if (name == "content-type") {
            req.contentType = QString::fromLatin1(header.second);
        }
    }

    Response response;
    if (fullPath.startsWith(QLatin1String("/api/"))) {
        req.path = fullPath.mid(5);
        response = api(req);
    } else if (fullPath.startsWith(QLatin1String("/__control/"))) {
        req.path = fullPath.mid(11);
        response = control(req);
    } else {
        req.path = fullPath;
        response = page(req);
    }

    if (response.drop) {
        // The request was served; only the answer is lost on the way.
        QPointer<QTcpSocket> target(socket);
        QTimer::singleShot(0, this, [target] {
            if (target)
                target->abort();
        });
        return true;
    }
    if (response.streamPiece > 0) {
        stream(socket, response);
        return true;
    }
    if (response.delayMs <= 0 && response.sentBytes < 0) {
        QHttpServerResponder responder = makeResponder(request, socket);
        responder.write(response.body, {{"Content-Type", response.contentType}},
                        static_cast<QHttpServerResponder::StatusCode>(response.status));
        return true;
    }

    // Written by hand: late, or announcing the whole body but closing the
    // connection part-way. A client that gave up meanwhile has closed its
    // socket: nothing to send.
    QPointer<QTcpSocket> target(socket);
    QTimer::singleShot(qMax(0, response.delayMs), this, [target, response] {
        if (!target || target->state() != QAbstractSocket::ConnectedState)
            return;
        const QByteArray sent = response.sentBytes < 0 ? response.body : response.body.left(response.sentBytes);
        QByteArray raw = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status)
                         + "\r\nContent-Type: " + response.contentType + "\r\nContent-Length: "
                         + QByteArray::number(response.body.size()) + "\r\nConnection: close\r\n\r\n" + sent;
        target->write(raw);
        target->disconnectFromHost();
    });
    return true;
}

// A body that never ends or trickles in. It stops after its limit, so a
// client that fails to give up still gets to the end of it.
void LocalBackend::stream(QTcpSocket *socket, const Response &response)
{
    socket->write("HTTP/1.1 200 OK\r\nContent-Type: " + response.contentType + "\r\nConnection: close\r\n\r\n");
    QPointer<QTcpSocket> target(socket);
    auto *timer = new QTimer(socket);
    qint64 sent = 0;
    connect(timer, &QTimer::timeout, socket, [target, timer, response, sent]() mutable {
        if (!target || target->state() != QAbstractSocket::ConnectedState) {
            timer->stop();
            return;
        }
        // Only as fast as the client reads, so the stream holds no memory here.
        if (target->bytesToWrite() > 1024 * 1024)
            return;
        if (sent >= response.streamLimit) {
            timer->stop();
            target->disconnectFromHost();
            return;
        }
        const qint64 size = qMin<qint64>(response.streamPiece, response.streamLimit - sent);
        QByteArray piece(size, Qt::Uninitialized);
        for (qint64 i = 0; i < size; ++i)
            piece[i] = response.streamPattern.at((sent + i) % response.streamPattern.size());
        target->write(piece);
        sent += size;
    });
    timer->start(qMax(0, response.delayMs));
}

void LocalBackend::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    makeResponder(request, socket).write(QHttpServerResponder::StatusCode::NotFound);
}

bool LocalBackend::takeFault(const QString &path, Fault *fault)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (!path.startsWith(it.key()))
            continue;
        *fault = it.value();
        if (it->times > 0 && --it->times == 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

LocalBackend::Response LocalBackend::applyFault(const Fault &fault, Response normal)
{
    Response r;
    if (fault.kind == QLatin1String("unauthorized"))
        return fail(QStringLiteral("auth.unauthorized"), 401);
    if (fault.kind == QLatin1String("fail"))
        return fail(QStringLiteral("test.failed"));
    if (fault.kind == QLatin1String("badmessage")) {
        r.body = R"({"success": false, "message": 42})";
        return r;
    }
    if (fault.kind == QLatin1String("nosuccess")) {
        r.body = R"({"message": "no.envelope", "data": {"storeType": "NOENVELOPE"}})";
        return r;
    }
    if (fault.kind == QLatin1String("array")) {
        r.body = "[1, 2, 3]";
        return r;
    }
    if (fault.kind == QLatin1String("empty"))
        return r;
    if (fault.kind == QLatin1String("answer")) {
        r.body = fault.body;
        return r;
    }
    if (fault.kind == QLatin1String("endless")) {
        r.streamPattern = "x";
        // Large pieces: the client's size cap must come long before its
        // one-second deadline, even in a sanitized build on a busy machine.
        r.streamPiece = 1024 * 1024;
        r.streamLimit = qint64(64) * 1024 * 1024;
        return r;
    }
    if (fault.kind == QLatin1String("drip")) {
        r.streamPattern = fault.body.isEmpty() ? QByteArray(R"({"success": true})") : fault.body;
        r.streamPiece = 1;
        r.streamLimit = r.streamPattern.size();
        r.delayMs = fault.delayMs > 0 ? fault.delayMs : 1000;
        return r;
    }
    if (fault.kind == QLatin1String("nonjson")) {
        r.contentType = "text/html";
        r.body = "<html><body>backend error</body></html>";
        return r;
    }
    if (fault.kind == QLatin1String("http500")) {
        r = fail(QStringLiteral("server.error"));
        r.status = 500;
        return r;
    }
    if (fault.kind == QLatin1String("http401")) {
        r = fail(QStringLiteral("auth.unauthorized"), 401);
        r.status = 401;
        return r;
    }
    if (fault.kind == QLatin1String("delay"))
        normal.delayMs = fault.delayMs;
    if (fault.kind == QLatin1String("drop"))
        normal.drop = true;
    return normal;
}

LocalBackend::Response LocalBackend::api(const Request &req)
{
    m_requests.append(QJsonObject{{"method", req.method},
                                  {"path", req.path},
                                  {"query", req.query.toString(QUrl::FullyDecoded)},
                                  {"token", req.hasToken ? QJsonValue(req.token) : QJsonValue()},
                                  {"contentType", req.contentType},
                                  {"body", QString::fromUtf8(req.body)}});

    Fault fault;
    const bool faulty = takeFault(req.path, &fault);
    if (faulty && fault.kind.startsWith(QLatin1String("template:")))
        return catalogueFault(fault, req);
    // These two serve the request as usual and only hold back or lose the answer.
    if (faulty && fault.kind != QLatin1String("delay") && fault.kind != QLatin1String("drop"))
        return applyFault(fault, Response());

    Response r;
    const QString p = req.path;
    if (p.startsWith(QLatin1String("crm/oauth/token"))) {
        r = token(req);
    } else if (p.startsWith(QLatin1String("crm/open/software/versions/getVersions/"))) {
        // Asked while the client starts, before any login: no token needed.
        r = versions();
    } else if (!m_tokens.contains(req.token)) {
        r = fail(QStringLiteral("auth.unauthorized"), 401);
    } else if (p.startsWith(QLatin1String("crm/store/getStoreBasicInfoByStoreId/"))) {
        r = storeInfo(idAfter(p, QStringLiteral("crm/store/getStoreBasicInfoByStoreId/")));
    } else if (p.startsWith(QLatin1String("pms/open/spu/listForSearch/"))) {
        r = search(p.mid(QStringLiteral("pms/open/spu/listForSearch/").size()).section(QLatin1Char('/'), 1));
    } else if (p.startsWith(QLatin1String("pms/open/spu/query/"))) {
        r = productQuery(idAfter(p, QStringLiteral("pms/open/spu/query/")));
    } else if (p.startsWith(QLatin1String("pms/store/sku/group/feign/list/"))) {
        r = skuGroupList(req);
    } else if (p.startsWith(QLatin1String("pms/group/getskuMainImageBySkuId/"))) {
        r = mainImages(p.section(QLatin1Char('/'), -1).toInt());
    } else if (p.startsWith(QLatin1String("pub/oss/sdsXsky/sts/sessionToken/"))) {
        r = sts(p.section(QLatin1Char('/'), -1));
    } else if (p == QLatin1String("oms/cart/item/spu/batch") && req.method == QLatin1String("POST")) {
        r = cart(req);
    } else {
        r = fail(QStringLiteral("api.notFound"), 404);
    }
    return faulty ? applyFault(fault, r) : r;
}

LocalBackend::Response LocalBackend::token(const Request &req)
{
    if (req.method != QLatin1String("POST") || req.query.queryItemValue("grant_type") != QLatin1String("password")
        || req.query.queryItemValue("client_id") != QLatin1String("client-app")
        || req.query.queryItemValue("client_secret") != QLatin1String("739214")
        || req.query.queryItemValue("type") != QLatin1String("STORE"))
        return fail(QStringLiteral("auth.badRequest"), 400);

    const QString user = formValue(req.query, QStringLiteral("username"));
    const QString password = formValue(req.query, QStringLiteral("password"));
    for (int i = 0; i < m_accounts.size(); ++i) {
        const QJsonObject account = m_accounts.at(i).toObject();
        if (account.value("phone").toString() != user)
            continue;
        if (account.value("password").toString() != password)
            return fail(QStringLiteral("auth.badCredentials"), 400);
        const QString tok = QStringLiteral("tok-%1-%2").arg(account.value("userId").toInt()).arg(++m_tokenSerial);
        m_tokens.insert(tok, i);
        Response r;
        r.body = json(QJsonObject{{"access_token", tok},
                                  {"token_type", "bearer"},
                                  {"expires_in", 43199},
                                  {"userId", account.value("userId")},
                                  {"storeId", account.value("storeId")},
                                  {"storeName", account.value("storeName")}});
        return r;
    }
    return fail(QStringLiteral("auth.userNotFound"), 400);
}

QJsonObject LocalBackend::accountOfToken(const QString &token) const
{
    return m_accounts.at(m_tokens.value(token)).toObject();
}

LocalBackend::Response LocalBackend::storeInfo(int storeId)
{
    for (const QJsonValue &value : m_accounts) {
        const QJsonObject account = value.toObject();
        if (account.value("storeId").toInt() == storeId) {
            return ok(QJsonObject{{"storeId", storeId},
                                  {"storeName", account.value("storeName")},
                                  {"addressId", account.value("addressId")},
                                  {"startups", account.value("startups")},
                                  {"storeType", account.value("storeType")}});
        }
    }
    return fail(QStringLiteral("store.notFound"), 404);
}

// Signed over what the offer's download URL serves, unless the offer holds a
// "signature" of its own or asks for none ("signing": "none") or for one over
// other bytes ("signing": "other").
LocalBackend::Response LocalBackend::versions()
{
    QJsonObject offer = QJsonDocument::fromJson(substitute(json(m_version))).object();
    const QString signing = offer.take("signing").toString();
    const QString path = QUrl(offer.value("downloadUrl").toString()).path(QUrl::FullyDecoded);
    if (m_signer.isLoaded() && !offer.contains("signature") && signing != QLatin1String("none")
        && path.startsWith(QLatin1String("/download/"))) {
        QByteArray bytes = installerBody(path.mid(10));
        if (signing == QLatin1String("other"))
            bytes += "and some other bytes";
        offer.insert("signature", QString::fromLatin1(m_signer.sign(bytes)));
    }
    return ok(offer);
}

LocalBackend::Response LocalBackend::search(const QString &text)
{
    QJsonArray found;
    for (const QJsonValue &value : m_catalogue.value("products").toArray()) {
        const QJsonObject query = value.toObject().value("query").toObject();
        if (query.value("spuName").toString().contains(text, Qt::CaseInsensitive))
            found.append(QJsonObject{{"id", query.value("id")}, {"spuName", query.value("spuName")}});
    }
    return ok(found);
}

LocalBackend::Response LocalBackend::productQuery(int spuId)
{
    for (const QJsonValue &value : m_catalogue.value("products").toArray()) {
        const QJsonObject query = value.toObject().value("query").toObject();
        if (query.value("id").toInt() == spuId)
            return ok(query);
    }
    return fail(QStringLiteral("spu.notFound"), 404);
}

LocalBackend::Response LocalBackend::skuGroupList(const Request &req)
{
    const QJsonArray body = QJsonDocument::fromJson(req.body).array();
    const int groupId = body.at(0).toObject().value("skuGroupId").toInt(-1);
    if (body.size() != 1 || groupId < 0 || body.at(0).toObject().value("isSample").toBool(true))
        return fail(QStringLiteral("param.invalid"), 400);
    for (const QJsonValue &value : m_catalogue.value("products").toArray()) {
        const QJsonObject detail =
            value.toObject().value("groupDetails").toObject().value(QString::number(groupId)).toObject();
        if (!detail.isEmpty())
            return ok(QJsonArray{detail});
    }
    return fail(QStringLiteral("skuGroup.notFound"), 404);
}

LocalBackend::Response LocalBackend::mainImages(int id)
{
    const QJsonArray images = m_catalogue.value("mainImages").toObject().value(QString::number(id)).toArray();
    return ok(QJsonDocument::fromJson(substitute(json(images))).array());
}

// Answers a hostile or compromised backend could give the template
// download: a product name that climbs out of its folder, addresses of
// other schemes, and file names hiding separators.
LocalBackend::Response LocalBackend::catalogueFault(const Fault &fault, const Request &req)
{
    const QString kind = fault.kind.mid(9);
    const QString body = QString::fromUtf8(fault.body);
    if (kind == QLatin1String("traversing")) {
        Response r = productQuery(idAfter(req.path, QStringLiteral("pms/open/spu/query/")));
        QJsonObject answer = QJsonDocument::fromJson(r.body).object();
        QJsonObject data = answer.value("data").toObject();
        data.insert("spuName",
                    body.isEmpty() ? QStringLiteral("../../Microsoft/Windows/Start Menu/Programs/Startup") : body);
        answer.insert("data", data);
        r.body = json(answer);
        return r;
    }
    if (kind == QLatin1String("scheme")) {
        const QString scheme = body.isEmpty() ? QStringLiteral("file") : body;
        QString address = scheme + QStringLiteral(":template.jpg");
        if (scheme == QLatin1String("file"))
            address = QUrl::fromLocalFile(QFileInfo(m_dataDir + "/accounts.json").absoluteFilePath()).toString();
        else if (scheme == QLatin1String("qrc"))
            address = QStringLiteral("qrc:/qss/mainWindow.qss");
        else if (scheme == QLatin1String("data"))
            address = QStringLiteral("data:application/octet-stream;base64,TVqQAAMAAAAEAAAA");
        else if (scheme == QLatin1String("ftp"))
            address = QStringLiteral("ftp://127.0.0.1:%1/template.jpg").arg(m_port);
        return ok(QJsonArray{address});
    }
    if (kind == QLatin1String("escapingname")) {
        const QString images = baseUrl() + QStringLiteral("/images/");
        return ok(QJsonArray{images + "..%5C..%5C..%5CStartup%5Ctemplate.bat",
                             images + "..%2F..%2F..%2FStartup%2Ftemplate.bat", images + "..%20",
                             images + "cover.jpg%3AZone.Identifier"});
    }
    return fail(QStringLiteral("fault.unknown"), 400);
}

// A stand-in template image whose bytes follow its name, so a file saved
// under the wrong name shows. Faults on "/images/": "endless" streams past
// any sensible template size without a length, "drip" sends the image a
// byte every `delayMs`.
LocalBackend::Response LocalBackend::templateImage(const Request &req)
{
    Response r;
    r.contentType = "image/jpeg";
    r.body = "template stand-in " + req.path.mid(8).toUtf8() + '\n';
    for (int i = 0; i < 256; ++i)
        r.body += char(i);
    Fault fault;
    if (!takeFault(req.path, &fault))
        return r;
    r.streamPattern = r.body;
    if (fault.kind == QLatin1String("endless")) {
        // Large pieces, so the client's cap comes before its deadline even in
        // a sanitized build.
        r.streamPiece = 1024 * 1024;
        r.streamLimit = qint64(80) * 1024 * 1024;
    } else if (fault.kind == QLatin1String("drip")) {
        r.streamPiece = 1;
        r.streamLimit = r.body.size();
        r.delayMs = fault.delayMs > 0 ? fault.delayMs : 1000;
    }
    return r;
}

LocalBackend::Response LocalBackend::sts(const QString &key)
{
    static const QStringList keys{"agent", "customer", "normal", "product", "special"};
    if (!keys.contains(key))
        return fail(QStringLiteral("sts.keyUnknown"), 400);
    QJsonObject data = m_sts;
    const int minutes = data.take("expiresInMinutes").toInt(15);
    if (!data.contains("expiration")) {
        data.insert("expiration",
                    QDateTime::currentDateTime().addSecs(minutes * 60).toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")));
    }
    return ok(data);
}

LocalBackend::Response LocalBackend::cart(const Request &req)
{
    const QJsonDocument doc = QJsonDocument::fromJson(req.body);
    if (!doc.isArray() || doc.array().isEmpty())
        return fail(QStringLiteral("cart.empty"), 400);
    const QJsonObject account = accountOfToken(req.token);
    m_cartPosts.append(QJsonObject{
        {"storeId", account.value("storeId")}, {"userId", account.value("userId")}, {"items", doc.array()}});
    return ok(QJsonValue(true));
}

LocalBackend::Response LocalBackend::control(const Request &req)
{
    const QJsonObject body = QJsonDocument::fromJson(req.body).object();
    Response r;
    if (req.path == QLatin1String("reset")) {
        m_faults.clear();
        m_requests = QJsonArray();
        m_cartPosts = QJsonArray();
    } else if (req.path == QLatin1String("revokeTokens")) {
        m_tokens.clear();
    } else if (req.path == QLatin1String("fault")) {
        Fault fault;
        fault.kind = body.value("kind").toString();
        fault.times = body.value("times").toInt(1);
        fault.delayMs = body.value("delayMs").toInt(0);
        fault.body = body.value("body").toString().toUtf8();
        m_faults.insert(body.value("path").toString(), fault);
    } else if (req.path == QLatin1String("requests")) {
        r.body = json(m_requests);
    } else if (req.path == QLatin1String("cart")) {
        r.body = json(m_cartPosts);
    } else if (req.path == QLatin1String("version")) {
        m_version = body;
    } else if (req.path == QLatin1String("sts")) {
        m_sts = body;
    } else {
        r.status = 404;
    }
    if (r.body.isEmpty())
        r.body = "{}";
    return r;
}

// Installer downloads that go wrong the ways a web server or a dropped
// connection make them.
LocalBackend::Response LocalBackend::downloadFault(const Fault &fault, Response normal)
{
    if (fault.kind == QLatin1String("truncated")) {
        normal.sentBytes = normal.body.size() / 2;
        return normal;
    }
    if (fault.kind == QLatin1String("http404")) {
        Response r = html(QStringLiteral("页面不存在"), QString());
        r.status = 404;
        return r;
    }
    if (fault.kind == QLatin1String("page"))
        return html(QStringLiteral("系统维护中"), QStringLiteral("<p>请稍后再试。</p>"));
    if (fault.kind == QLatin1String("notinstaller")) {
        normal.body = "PK not an installer\n";
        return normal;
    }
    if (fault.kind == QLatin1String("delay"))
        normal.delayMs = fault.delayMs;
    return normal;
}

LocalBackend::Response LocalBackend::page(const Request &req)
{
    if (req.path.startsWith(QLatin1String("/download/"))) {
        Response r;
        r.contentType = "application/octet-stream";
        r.body = installerBody(req.path.mid(10));
        Fault fault;
        if (takeFault(req.path, &fault))
            return downloadFault(fault, r);
        return r;
    }
    if (req.path == QLatin1String("/") || req.path.isEmpty())
        return html(QStringLiteral("影楼印品商城"), QStringLiteral("<p>欢迎使用本地开发商城。</p>"));
    if (req.path == QLatin1String("/cart")) {
        const QString mes = req.query.queryItemValue("mes").toHtmlEscaped();
        return html(QStringLiteral("购物车"), QStringLiteral("<p>账号交接串: <code id=\"mes\">%1</code></p>").arg(mes));
    }
    if (req.path == QLatin1String("/products"))
        return html(QStringLiteral("全部产品"), QStringLiteral("<p>产品列表</p>"));
    if (req.path.startsWith(QLatin1String("/images/")))
        return templateImage(req);
    Response r = html(QStringLiteral("页面不存在"), QString());
    r.status = 404;
    return r;
}
