#pragma once

#include <QJsonObject>
#include <QRandomGenerator>

#include "core/vellruntime.h"
#include "intake/filedigest.h"
#include "model/imgmess.h"
#include "net/httputils.h"
#include "support/backendprocess.h"
#include "support/clientenvironment.h"
#include "support/files.h"
#include "support/orderbuilder.h"
#include "upload/awsutils.h"

// The local object store (s3rver behind the verifying front) with its control API.
class ObjectStoreProcess : public LoopbackProcess
{
public:
    ~ObjectStoreProcess() { stop(); } // before its folder goes

    bool start(const TestCertificates *certificates = nullptr, TestCertificates::Kind kind = TestCertificates::Trusted)
    {
        return LoopbackProcess::start(QStringLiteral("node"),
                                      {QStringLiteral(OBJECTSTORE_SCRIPT), "--port", "0", "--dir", m_dir.path()},
                                      certificates, kind);
    }

    QString url() const { return QStringLiteral("%1://127.0.0.1:%2").arg(scheme()).arg(m_port); }

    QJsonObject control(const QString &name, const QJsonObject &body = QJsonObject())
    {
        return QJsonDocument::fromJson(ask(url() + QStringLiteral("/__control/") + name, QJsonDocument(body).toJson()))
            .object();
    }

    // The object's bytes by its public address; empty on failure.
    QByteArray get(const QString &address) { return ask(address); }

    // Per object path, the requests by method since the last reset.
    QJsonObject requests() { return control(QStringLiteral("requests")); }
    int writes() { return control(QStringLiteral("stats")).value("writes").toInt(); }
    int connections() { return control(QStringLiteral("stats")).value("connections").toInt(); }
    int rejected(const QString &code)
    {
        return control(QStringLiteral("stats")).value("rejected").toObject().value(code).toInt();
    }

private:
    QTemporaryDir m_dir;
};

// A logged-in client whose backend hands out credentials for the local
// object store, which is also the public image host. With certificates both
// speak https only, and the client trusts their CA through "caFile".
class UploadEnvironment
{
public:
    BackendProcess backend;
    ObjectStoreProcess store;
    ClientEnvironment env;

    bool setUp(const TestCertificates *certificates = nullptr)
    {
        if (!backend.start(certificates) || !store.start(certificates))
            return false;
        m_config = QJsonObject{{"baseUrl", backend.baseUrl()}, {"imageHost", store.url()}, {"requestTimeout", 10}};
        if (certificates)
            m_config.insert(QStringLiteral("caFile"), certificates->caFile());
        if (!reconfigure())
            return false;
        setCredentials(15);
        AwsUtils::clearCredentials();
        AwsUtils::Options options;
        options.backoffMs = 50;
        options.stallSeconds = 2;
        AwsUtils::setOptions(options);
        return HttpUtils::instance().getToken(QStringLiteral("13800000001"), QStringLiteral("demo1234"));
    }

    // The configuration setUp wrote, with `changes` over it, read again.
    bool reconfigure(const QJsonObject &changes = QJsonObject())
    {
        QJsonObject config = m_config;
        for (auto it = changes.begin(); it != changes.end(); ++it)
            config.insert(it.key(), it.value());
        return env.setUp(config);
    }

    // What the backend hands out next; `extra` overrides fields.
    void setCredentials(int minutes, const QJsonObject &extra = QJsonObject())
    {
        QJsonObject sts{{"accessKeyId", "LOCALDEVACCESSKEY01"},
                        {"secretAccessKey", "local-dev-secret-key-0123456789abcdef"},
                        {"sessionToken", "local-dev-session-token"},
                        {"bucketName", "normal-order-image"},
                        {"endpoint", store.url()},
                        {"expiresInMinutes", minutes}};
        for (auto it = extra.begin(); it != extra.end(); ++it)
            sts.insert(it.key(), it.value());
        backend.control(QStringLiteral("sts"), sts);
    }

    // A file of `bytes` random bytes under the environment's folder.
    QString writeFile(const QString &name, int bytes)
    {
        const QString path = env.path() + QStringLiteral("/photos/") + name;
        QByteArray data(bytes, Qt::Uninitialized);
        QRandomGenerator::global()->fillRange(reinterpret_cast<quint32 *>(data.data()), bytes / 4);
        return testfiles::write(path, data) ? path : QString();
    }

    // An order of one line of `files` pages, each a file of random bytes (about
    // `bytes`) named by its MD5 as the check names it.
    orderGroup orderWithFiles(const QString &orderNo, int files, int bytes = 20000)
    {
        groupProductImages line = orderbuilder::line(orderNo + "-1", QStringLiteral("顾客"), 1, 2, 0, files);
        for (imgMess &page : line.matched[1].innerImages) {
            page.localPath = writeFile(QStringLiteral("%1/%2.jpg").arg(orderNo, page.name), bytes + page.name.toInt());
            page.imageName = fileMd5Hex(page.localPath);
        }
        return orderbuilder::order(orderNo, QStringLiteral("一班"), {line});
    }

    // A leased record of the file, named as the store names it.
    static imgMess imageFor(const QString &path)
    {
        imgMess image =
            orderbuilder::image(QFileInfo(path).completeBaseName(),
                                QStringLiteral("%1/%2").arg(VellRuntime::instance().userId()).arg(fileMd5Hex(path)));
        image.localPath = path;
        image.size = QFileInfo(path).size();
        return image;
    }

private:
    QJsonObject m_config;
};
