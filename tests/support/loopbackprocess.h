#pragma once

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSslConfiguration>
#include <QTemporaryDir>

#include "support/files.h"

// A certificate authority made at test time with the openssl program, and
// server certificates for the TLS modes of the local backend and object
// store: one it signed for 127.0.0.1 and localhost, one it signed for
// another host, a self-signed one and an expired one it signed.
class TestCertificates
{
public:
    enum Kind { Trusted, OtherHost, SelfSigned, Expired };

    // False, with openssl's words on the test's error output, when a step failed.
    bool make()
    {
        const QString here = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");
        return m_dir.isValid() && newKey(file("ca.key"), caFile(), "/CN=orderdesk test CA", {"-x509", "-days", "30"})
               && signedBy(Trusted, here)
               && signedBy(OtherHost, QStringLiteral("subjectAltName=DNS:store.other.invalid"))
               && signedBy(Expired, here)
               && newKey(keyFile(SelfSigned), certificateFile(SelfSigned), "/CN=127.0.0.1",
                         {"-x509", "-addext", here, "-days", "30"});
    }

    QString caFile() const { return file("ca.pem"); }
    QString certificateFile(Kind kind) const { return file(name(kind) + ".pem"); }
    QString keyFile(Kind kind) const { return file(name(kind) + ".key"); }
    // What a local peer is started with to serve https with that certificate.
    QStringList serverArguments(Kind kind) const
    {
        return {QStringLiteral("--tls-cert"), certificateFile(kind), QStringLiteral("--tls-key"), keyFile(kind)};
    }

private:
    static QString name(Kind kind)
    {
        static const QStringList names{"trusted", "otherhost", "selfsigned", "expired"};
        return names.at(kind);
    }
    QString file(const QString &name) const { return m_dir.filePath(name); }

    // openssl, with the clock put back to `at` when one is given.
    static bool run(const QStringList &arguments, const QString &at = QString())
    {
        return (at.isEmpty() ? testfiles::run(QStringLiteral("openssl"), arguments)
                             : testfiles::run(QStringLiteral("faketime"), QStringList{at, "openssl"} + arguments))
               == 0;
    }

    // A P-256 key and, with "-x509" among `more`, its self-signed certificate, else its request.
    static bool newKey(const QString &key, const QString &out, const QString &subject, const QStringList &more)
    {
        return run(QStringList{"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", key,
                               "-out", out, "-subj", subject}
                   + more);
    }

    // Valid for 30 days from now; the expired one as if signed early in 2020.
    bool signedBy(Kind kind, const QString &names) const
    {
        const QString request = file(name(kind) + ".csr");
        return newKey(keyFile(kind), request, "/CN=" + name(kind), {"-addext", names})
               && run({"x509", "-req", "-in", request, "-CA", caFile(), "-CAkey", file("ca.key"), "-CAcreateserial",
                       "-days", "30", "-copy_extensions", "copy", "-out", certificateFile(kind)},
                      kind == Expired ? QStringLiteral("2020-01-01 00:00:00") : QString());
    }

    QTemporaryDir m_dir;
};

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

    // Blocks until the server said which port it listens on.
    bool start(const QString &program, QStringList arguments, const TestCertificates *certificates = nullptr,
               TestCertificates::Kind kind = TestCertificates::Trusted)
    {
        m_trusted.clear();
        if (certificates) {
            arguments << certificates->serverArguments(kind);
            m_trusted = QSslCertificate::fromPath(certificates->caFile());
        }
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start(program, arguments);
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
    // https trusts `authorities` alone.
    static QByteArray fetch(const QString &url, const QByteArray &body = QByteArray(),
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
        const QByteArray answer = reply->readAll();
        delete reply;
        return answer;
    }

protected:
    // https when started with a certificate, trusting the test CA alone.
    QString scheme() const { return m_trusted.isEmpty() ? QStringLiteral("http") : QStringLiteral("https"); }
    QByteArray ask(const QString &url, const QByteArray &body = QByteArray()) const
    {
        return fetch(url, body, m_trusted);
    }

    QProcess m_process;
    quint16 m_port = 0;
    QList<QSslCertificate> m_trusted;
};
