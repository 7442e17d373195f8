#pragma once

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>

#include "support/testcertificates.h"

// A helper server a test starts on a free loopback port; killed with the test.
// Started with a certificate of TestCertificates it serves https, and the
// test asks it with the test CA trusted.
class LoopbackProcess
{
public:
    ~LoopbackProcess() { stop(); }

    void stop()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }

    bool tls() const { return !m_trusted.isEmpty(); }

    // Blocks until the server said which port it listens on.
    bool start(const QString &program, QStringList arguments, const TestCertificates *certificates = nullptr,
               TestCertificates::Kind kind = TestCertificates::Trusted)
    {
        m_trusted.clear();
        if (certificates) {
            arguments << certificates->serverArguments(kind);
            m_trusted = certificates->authorities();
        }
        m_process.setProgram(program);
        m_process.setArguments(arguments);
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start();
        static const QRegularExpression said(QStringLiteral("listening on port (\\d+)\\D"));
        QByteArray out;
        QRegularExpressionMatch m;
        while (!(m = said.match(QString::fromUtf8(out))).hasMatch() && m_process.waitForStarted(10000)
               && m_process.waitForReadyRead(20000))
            out += m_process.readAll();
        m_port = m.hasMatch() ? m.captured(1).toUShort() : 0;
        if (!m_port)
            qWarning("%s did not start: %s", qPrintable(program), out.constData());
        return m_port != 0;
    }

    // The answer's body to a GET, or to a POST of `body` when it is not null;
    // `status` gets the HTTP status, 0 when there was no answer. https
    // trusts `authorities` alone.
    static QByteArray fetch(const QString &url, const QByteArray &body = QByteArray(), int *status = nullptr,
                            const QList<QSslCertificate> &authorities = {})
    {
        QNetworkAccessManager manager;
        QNetworkRequest request{QUrl(url)};
        request.setTransferTimeout(10000);
        if (!authorities.isEmpty()) {
            QSslConfiguration tls = request.sslConfiguration();
            tls.setCaCertificates(authorities);
            request.setSslConfiguration(tls);
        }
        request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
        QNetworkReply *reply = body.isNull() ? manager.get(request) : manager.post(request, body);
        QEventLoop loop;
        QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        if (status)
            *status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray answer = reply->readAll();
        delete reply;
        return answer;
    }

protected:
    QString scheme() const { return tls() ? QStringLiteral("https") : QStringLiteral("http"); }
    QByteArray ask(const QString &url, const QByteArray &body = QByteArray(), int *status = nullptr) const
    {
        return fetch(url, body, status, m_trusted);
    }

    QProcess m_process;
    quint16 m_port = 0;
    QList<QSslCertificate> m_trusted;
};
