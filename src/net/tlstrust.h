#pragma once

#include <QList>
#include <QString>

class QNetworkRequest;
class QSslError;

// What https requests trust: the system's certificate authorities and, when
// the configuration names a CA file, the studio's own beside them.
// Verification is never switched off: a certificate that fails ends the
// request, with certificateFailure() as its reason.
class TlsTrust final
{
public:
    TlsTrust() = delete;

    // Gives the request the trusted authorities. Empty, or the certificate
    // failure that ends an https request unsent when the named CA file holds
    // no certificate.
    static QString apply(QNetworkRequest &request);
    // "证书校验失败：" and `reason`: how every refused certificate is told,
    // in the log and to the operator.
    static QString certificateFailure(const QString &reason);
    // The same from the errors of a refused handshake; empty when there are none.
    static QString certificateFailure(const QList<QSslError> &errors);
};
