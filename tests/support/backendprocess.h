#pragma once

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>

// The local backend started by a test on a free loopback port, with its
// control API (faults, recorded requests, cart posts).
class BackendProcess
{
public:
    ~BackendProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool start()
    {
        m_process.setProgram(QStringLiteral(LOCALBACKEND_EXECUTABLE));
        m_process.setArguments({QStringLiteral("--port"), QStringLiteral("0")});
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QByteArray out;
        while (!out.contains('\n') && m_process.waitForReadyRead(10000))
            out += m_process.readAllStandardOutput();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("port (\\d+)")).match(QString::fromUtf8(out));
        m_port = m.hasMatch() ? m.captured(1).toUShort() : 0;
        return m_port != 0;
    }

    QString baseUrl() const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_port); }

    QJsonDocument control(const QString &path, const QJsonObject &body = QJsonObject())
    {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(baseUrl() + QStringLiteral("__control/") + path));
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply *reply =
            body.isEmpty() && !path.contains(QLatin1String("reset")) && !path.contains(QLatin1String("revoke"))
                ? manager.get(request)
                : manager.post(request, QJsonDocument(body).toJson());
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll());
        delete reply;
        return doc;
    }

    void reset() { control(QStringLiteral("reset")); }

    void fault(const QString &path, const QString &kind, int times = 1, int delayMs = 0)
    {
        control(QStringLiteral("fault"),
                QJsonObject{{"path", path}, {"kind", kind}, {"times", times}, {"delayMs", delayMs}});
    }

    QJsonArray requests() { return control(QStringLiteral("requests")).array(); }

    // The recorded paths, in arrival order.
    QStringList paths()
    {
        QStringList out;
        for (const QJsonValue &r : requests())
            out << r.toObject().value(QStringLiteral("path")).toString();
        return out;
    }

private:
    QProcess m_process;
    quint16 m_port = 0;
};
