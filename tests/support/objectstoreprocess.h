#pragma once

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "support/loopbackprocess.h"

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

    // The object's bytes by its public address; empty with status 0 on failure.
    QByteArray get(const QString &address, int *status = nullptr) { return ask(address, QByteArray(), status); }

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
