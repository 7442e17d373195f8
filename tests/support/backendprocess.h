#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "support/loopbackprocess.h"

// The local backend with its control API (faults, recorded requests, cart posts).
class BackendProcess : public LoopbackProcess
{
public:
    bool start(const TestCertificates *certificates = nullptr, TestCertificates::Kind kind = TestCertificates::Trusted)
    {
        return LoopbackProcess::start(QStringLiteral(LOCALBACKEND_EXECUTABLE), {"--port", "0"}, certificates, kind);
    }

    QString baseUrl() const { return QStringLiteral("%1://127.0.0.1:%2/").arg(scheme()).arg(m_port); }

    // Reads are GETs; changes (a body, a reset, a revocation) are POSTs.
    QJsonDocument control(const QString &path, const QJsonObject &body = QJsonObject())
    {
        const bool change = !body.isEmpty() || path.contains(QLatin1String("reset")) || path.contains("revoke");
        return QJsonDocument::fromJson(
            ask(baseUrl() + QStringLiteral("__control/") + path, change ? QJsonDocument(body).toJson() : QByteArray()));
    }

    void reset() { control(QStringLiteral("reset")); }

    // `body` is what an "answer" fault answers, or what a template fault puts in its field.
    void fault(const QString &path, const QString &kind, int times = 1, int delayMs = 0, const QString &body = {})
    {
        control(QStringLiteral("fault"),
                QJsonObject{{"path", path}, {"kind", kind}, {"times", times}, {"delayMs", delayMs}, {"body", body}});
    }

    QJsonArray requests() { return control(QStringLiteral("requests")).array(); }

    // The recorded paths, in arrival order.
    QStringList paths()
    {
        QStringList out;
        for (const QJsonValue &r : requests())
            out << r[QLatin1String("path")].toString();
        return out;
    }
};
