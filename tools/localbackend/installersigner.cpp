#include "installersigner.h"

#include <memory>

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <QFile>

InstallerSigner::~InstallerSigner()
{
    EVP_PKEY_free(m_key);
}

bool InstallerSigner::load(const QString &pemFile, QString *error)
{
    QFile file(pemFile);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read %1").arg(pemFile);
        return false;
    }
    const QByteArray pem = file.readAll();
    const std::unique_ptr<BIO, decltype(&BIO_free)> bio(BIO_new_mem_buf(pem.constData(), int(pem.size())), BIO_free);
    EVP_PKEY *key = bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr) : nullptr;
    if (!key || EVP_PKEY_get_id(key) != EVP_PKEY_ED25519) {
        EVP_PKEY_free(key);
        *error = QStringLiteral("%1 holds no Ed25519 private key").arg(pemFile);
        return false;
    }
    EVP_PKEY_free(m_key);
    m_key = key;
    return true;
}

QByteArray InstallerSigner::sign(const QByteArray &bytes) const
{
    const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    QByteArray signature(64, Qt::Uninitialized);
    size_t length = size_t(signature.size());
    if (!m_key || !ctx || EVP_DigestSignInit(ctx.get(), nullptr, nullptr, nullptr, m_key) != 1
        || EVP_DigestSign(ctx.get(), reinterpret_cast<unsigned char *>(signature.data()), &length,
                          reinterpret_cast<const unsigned char *>(bytes.constData()), size_t(bytes.size()))
               != 1)
        return QByteArray();
    signature.resize(qsizetype(length));
    return signature.toBase64();
}
