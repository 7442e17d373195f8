#pragma once

#include <QProcess>
#include <QSslCertificate>
#include <QStringList>
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

    // False, with openssl's words as a warning, when a step failed.
    bool make()
    {
        const QString here = QStringLiteral("subjectAltName=IP:127.0.0.1,DNS:localhost");
        return m_dir.isValid() && testfiles::write(file("index.txt"), "") && testfiles::write(file("serial"), "1000\n")
               && writeCaConfig()
               && run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                       file("ca.key"), "-out", caFile(), "-subj", "/CN=orderdesk test CA", "-days", "30"})
               && signedBy(Trusted, here, {"-days", "30"})
               && signedBy(OtherHost, QStringLiteral("subjectAltName=DNS:store.other.invalid"), {"-days", "30"})
               && signedBy(Expired, here, {"-startdate", "20200101000000Z", "-enddate", "20200201000000Z"})
               && run({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout",
                       keyFile(SelfSigned), "-out", certificateFile(SelfSigned), "-subj", "/CN=127.0.0.1", "-addext",
                       here, "-days", "30"});
    }

    QString caFile() const { return file("ca.pem"); }
    QList<QSslCertificate> authorities() const { return QSslCertificate::fromPath(caFile()); }
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

    bool run(const QStringList &arguments) const
    {
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start(QStringLiteral("openssl"), arguments);
        const bool done =
            openssl.waitForFinished(30000) && openssl.exitStatus() == QProcess::NormalExit && openssl.exitCode() == 0;
        if (!done)
            qWarning("openssl %s: %s", qPrintable(arguments.first()), openssl.readAll().constData());
        if (openssl.state() != QProcess::NotRunning) {
            openssl.kill();
            openssl.waitForFinished();
        }
        return done;
    }

    // `openssl ca`, as it alone sets any validity period in this openssl.
    bool signedBy(Kind kind, const QString &names, const QStringList &validity) const
    {
        const QString request = file(name(kind) + ".csr");
        return run({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes", "-keyout", keyFile(kind),
                    "-out", request, "-subj", "/CN=" + name(kind), "-addext", names})
               && run(QStringList{"ca", "-batch", "-notext", "-config", file("ca.cnf"), "-cert", caFile(), "-keyfile",
                                  file("ca.key"), "-in", request, "-out", certificateFile(kind)}
                      + validity);
    }

    bool writeCaConfig() const
    {
        return testfiles::write(file("ca.cnf"),
                                QStringLiteral("[ca]\ndefault_ca = test\n[test]\ndatabase = %1\nnew_certs_dir = %2\n"
                                               "serial = %3\ndefault_md = sha256\npolicy = any\ncopy_extensions = "
                                               "copy\nunique_subject = no\n[any]\ncommonName = supplied\n")
                                    .arg(file("index.txt"), m_dir.path(), file("serial"))
                                    .toUtf8());
    }

    QTemporaryDir m_dir;
};
