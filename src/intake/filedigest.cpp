#include "intake/filedigest.h"

#include <memory>

#include <openssl/evp.h>

#include <QFile>

// OpenSSL's MD5 measured faster than Qt's (bench/hash_bench).
QString fileMd5Hex(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    if (!ctx || EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr) != 1)
        return QString();
    QByteArray block(1 << 20, Qt::Uninitialized);
    forever {
        const qint64 n = file.read(block.data(), block.size());
        if (n < 0)
            return QString();
        if (n == 0)
            break;
        EVP_DigestUpdate(ctx.get(), block.constData(), size_t(n));
    }
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &length);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char *>(digest), int(length)).toHex());
}
