#include "net/tlstrust.h"

#include <QDateTime>
#include <QFileInfo>
#include <QMutex>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QStringList>

#include "core/configfile.h"

namespace {

const QString kPrefix = QStringLiteral("证书校验失败：");

// The CA file is read again only when it changed, so a studio that fixes it
// need not restart the client.
QList<QSslCertificate> studioAuthorities(const QString &path)
{
    static QMutex lock;
    static QString readKey;
    static QList<QSslCertificate> read;
    const QFileInfo info(path);
    const QString key =
        QStringLiteral("%1|%2|%3").arg(path).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
    QMutexLocker locker(&lock);
    if (key != readKey) {
        read = QSslCertificate::fromPath(path, QSsl::Pem, QSslCertificate::PatternSyntax::FixedString);
        readKey = key;
    }
    return read;
}

} // namespace

QString TlsTrust::apply(QNetworkRequest &request)
{
    const QString caFile = configFile::caFile();
    if (caFile.isEmpty())
        return QString();
    const QList<QSslCertificate> studio = studioAuthorities(caFile);
    if (studio.isEmpty()) {
        if (request.url().scheme().compare(QLatin1String("https"), Qt::CaseInsensitive) == 0)
            return certificateFailure(QStringLiteral("CA文件%1中没有可读的证书").arg(caFile));
        return QString();
    }
    // Authorities named here replace those Qt would look up by itself, so
    // the system's are named too.
    static const QList<QSslCertificate> system = QSslConfiguration::systemCaCertificates();
    QSslConfiguration tls = request.sslConfiguration();
    tls.setCaCertificates(system + studio);
    request.setSslConfiguration(tls);
    return QString();
}

QString TlsTrust::certificateFailure(const QString &reason)
{
    return kPrefix + reason;
}

QString TlsTrust::certificateFailure(const QList<QSslError> &errors)
{
    QStringList reasons;
    for (const QSslError &error : errors) {
        if (!reasons.contains(error.errorString()))
            reasons << error.errorString();
    }
    return reasons.isEmpty() ? QString() : certificateFailure(reasons.join(QStringLiteral("; ")));
}
