// Compares Qt's MD5 and SHA-256 with OpenSSL's EVP on the same buffer in one
// run, and prints throughput and the ratio of each pair.
#include <chrono>
#include <cstdio>
#include <functional>

#include <openssl/evp.h>

#include <QByteArray>
#include <QCryptographicHash>

namespace {

using Clock = std::chrono::steady_clock;

double secondsFor(int rounds, const std::function<void()> &work)
{
    const auto t0 = Clock::now();
    for (int i = 0; i < rounds; ++i)
        work();
    return std::chrono::duration<double>(Clock::now() - t0).count();
}

QByteArray evpDigest(const EVP_MD *md, const QByteArray &data, int block)
{
    EVP_MD_CTX *ctx = EVP_MD_CTX_new();
    EVP_DigestInit_ex(ctx, md, nullptr);
    for (qsizetype off = 0; off < data.size(); off += block)
        EVP_DigestUpdate(ctx, data.constData() + off, size_t(std::min<qsizetype>(block, data.size() - off)));
    unsigned char out[EVP_MAX_MD_SIZE];
    unsigned int len = 0;
    EVP_DigestFinal_ex(ctx, out, &len);
    EVP_MD_CTX_free(ctx);
    return QByteArray(reinterpret_cast<const char *>(out), int(len));
}

QByteArray qtDigest(QCryptographicHash::Algorithm algo, const QByteArray &data, int block)
{
    QCryptographicHash hash(algo);
    for (qsizetype off = 0; off < data.size(); off += block)
        hash.addData(QByteArrayView(data.constData() + off, std::min<qsizetype>(block, data.size() - off)));
    return hash.result();
}

} // namespace

int main()
{
    const int block = 1 << 20;
    QByteArray data(64 * block, Qt::Uninitialized);
    for (qsizetype i = 0; i < data.size(); ++i)
        data[i] = char((i * 2654435761u) >> 13);
    const double mb = data.size() / 1e6;
    const int rounds = 5;

    struct Pair
    {
        const char *name;
        QCryptographicHash::Algorithm qt;
        const EVP_MD *evp;
    };
    for (const Pair &p :
         {Pair{"MD5", QCryptographicHash::Md5, EVP_md5()}, Pair{"SHA-256", QCryptographicHash::Sha256, EVP_sha256()}}) {
        if (qtDigest(p.qt, data, block) != evpDigest(p.evp, data, block)) {
            std::printf("%s: digests differ\n", p.name);
            return 1;
        }
        const double tq = secondsFor(rounds, [&] { qtDigest(p.qt, data, block); });
        const double te = secondsFor(rounds, [&] { evpDigest(p.evp, data, block); });
        std::printf("%-8s Qt %7.1f MB/s   OpenSSL EVP %7.1f MB/s   Qt time / EVP time %.2f\n", p.name, rounds * mb / tq,
                    rounds * mb / te, tq / te);
    }
    return 0;
}
