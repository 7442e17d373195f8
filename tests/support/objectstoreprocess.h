#pragma once

#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

// The local object store (s3rver behind the verifying front) started by a
// test on a free loopback port, with its control API.
class ObjectStoreProcess
{
public:
    ~ObjectStoreProcess()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool start()
    {
        m_process.setProgram(QStringLiteral("node"));
        m_process.setArguments({QStringLiteral(OBJECTSTORE_SCRIPT), QStringLiteral("--port"), QStringLiteral("0"),
                                QStringLiteral("--dir"), m_dir.path()});
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        if (!m_process.waitForStarted(10000))
            return false;
        QByteArray out;
        while (!out.contains("listening") && m_process.waitForReadyRead(20000))
            out += m_process.readAll();
        const QRegularExpressionMatch m =
            QRegularExpression(QStringLiteral("port (\\d+)")).match(QString::fromUtf8(out));
        m_port = m.hasMatch() ? m.captured(1).toUShort() : 0;
        if (!m_port)
            qWarning("object store did not start: %s", out.constData());
        return m_port != 0;
    }

    QString url() const { return QStringLiteral("http://127.0.0.1:%1").arg(m_port); }

    QJsonObject control(const QString &name, const QJsonObject &body = QJsonObject())
    {
        QNetworkAccessManager manager;
        QNetworkRequest request(QUrl(url() + QStringLiteral("/__control/") + name));
        request.setTransferTimeout(10000);
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply *reply = manager.post(request, QJsonDocument(body).toJson());
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        const QJsonObject answer = QJsonDocument::fromJson(reply->readAll()).object();
        delete reply;
        return answer;
    }

    // The object's bytes by its public address; empty with status 0 on failure.
    QByteArray get(const QString &address, int *status = nullptr)
    {
        QNetworkAccessManager manager;
        QNetworkRequest request{QUrl(address)};
        request.setTransferTimeout(10000);
        QNetworkReply *reply = manager.get(request);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        if (status)
            *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray bytes = reply->readAll();
        delete reply;
        return bytes;
    }

    // Per object path, the requests by method since the last reset.
    QJsonObject requests() { return control(QStringLiteral("requests")); }
    int writes() { return control(QStringLiteral("stats")).value("writes").toInt(); }
    int rejected(const QString &code)
    {
        return control(QStringLiteral("stats")).value("rejected").toObject().value(code).toInt();
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    quint16 m_port = 0;
};
