#include "net/installersignature.h"

#include <memory>

#include <openssl/err.h>
#include <openssl/evp.h>

#include <QFile>
#include <QRegularExpression>

namespace {

constexpr int keySize = 32;
constexpr int signatureSize = 64;

} // namespace

InstallerSignature InstallerSignature::builtIn()
{
    return InstallerSignature(QByteArrayLiteral(ORDERDESK_UPDATE_KEY));
}

InstallerSignature::InstallerSignature(const QByteArray &publicKeyHex)
{
    // fromHex() skips what is not a digit: a mistyped key would quietly become another one.
    static const QRegularExpression hex(QStringLiteral("^[0-9a-fA-F]{%1}$").arg(2 * keySize));
    if (hex.match(QString::fromLatin1(publicKeyHex)).hasMatch())
        m_key = QByteArray::fromHex(publicKeyHex);
}

QString InstallerSignature::fault(const QString &file, const QString &signatureBase64) const
{
    if (!hasKey())
        return QStringLiteral("no update key built in");
    if (signatureBase64.isEmpty())
        return QStringLiteral("no signature");
    const QByteArray::FromBase64Result signature =
        QByteArray::fromBase64Encoding(signatureBase64.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!signature || signature.decoded.size() != signatureSize)
        return QStringLiteral("signature is not %1 bytes in base64").arg(signatureSize);

    // Ed25519 takes the message in one piece: the file is mapped rather than copied.
    QFile installer(file);
    const qint64 size = installer.open(QIODevice::ReadOnly) ? installer.size() : 0;
    const uchar *bytes = size > 0 ? installer.map(0, size) : nullptr;
    if (!bytes)
        return QStringLiteral("cannot read the installer");

    const std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)> key(
        EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, reinterpret_cast<const uchar *>(m_key.constData()),
                                    size_t(m_key.size())),
        EVP_PKEY_free);
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    const bool verified = key && ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, key.get()) == 1
                          && EVP_DigestVerify(ctx.get(), reinterpret_cast<const uchar *>(signature.decoded.constData()),
                                              size_t(signature.decoded.size()), bytes, size_t(size))
                                 == 1;
    // A refused signature leaves its reasons queued, where the next TLS user would find them.
    ERR_clear_error();
    return verified ? QString() : QStringLiteral("signature does not match");
}
