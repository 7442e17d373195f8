// fuzz_seeds OUTDIR: writes the seed corpora of the product parser (every
// product of the local backend's catalogue, each group's list answer folded
// into its query) and of the folder intake (album, frame and series trees).
#include <cstdio>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "fuzzsupport.h"

namespace {

bool save(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

bool productSeeds(const QString &dir)
{
    QFile file(QStringLiteral(CATALOGUE_JSON));
    if (!file.open(QIODevice::ReadOnly))
        return false;
    int n = 0;
    const QJsonArray products =
        QJsonDocument::fromJson(file.readAll()).object().value(QLatin1String("products")).toArray();
    for (const QJsonValue &p : products) {
        const QJsonObject query = p.toObject().value(QLatin1String("query")).toObject();
        const QJsonObject details = p.toObject().value(QLatin1String("groupDetails")).toObject();
        QList<QJsonObject> seeds{query};
        for (const QJsonValue &detail : details) {
            QJsonObject seed = query;
            seed.insert(QLatin1String("code"), 200);
            seed.insert(QLatin1String("success"), true);
            seed.insert(QLatin1String("data"), QJsonArray{detail});
            seeds << seed;
        }
        for (const QJsonObject &seed : seeds) {
            if (!save(QStringLiteral("%1/product-%2.json").arg(dir).arg(++n), QJsonDocument(seed).toJson()))
                return false;
        }
    }
    return n > 0;
}

// Name operands: a length byte (stored minus one) and name-table codes.
QByteArray name(std::initializer_list<unsigned char> codes)
{
    QByteArray bytes(1, char(codes.size() - 1));
    for (unsigned char c : codes)
        bytes += char(c);
    return bytes;
}

QByteArray op(fuzz::TreeOp code, const QByteArray &operands = QByteArray(), int suffix = -1)
{
    QByteArray bytes(1, char(code));
    bytes += operands;
    if (suffix >= 0)
        bytes += char(suffix);
    return bytes;
}

bool intakeSeeds(const QString &dir)
{
    using namespace fuzz;
    const QByteArray cover = name({8, 9}); // 封面
    const QByteArray album = op(OpFolder, name({2, 0xA, 4, 10})) + op(OpJpeg, cover, 0) + op(OpJpeg, name({3}), 0)
                             + op(OpJpeg, name({2, 3}), 1) + op(OpUp) + op(OpFolder, name({2, 3}))
                             + op(OpJpeg, cover, 2) + op(OpBytes, name({11, 3}), 0) + char(4)
                             + QByteArray("\xFF\xD8\xFF\xE0", 4) + op(OpUp) + op(OpEmpty, name({10}), 6);
    const QByteArray frame = op(OpJpeg, name({2, 3}), 0) + op(OpJpeg, name({2, 2}), 3) + op(OpEmpty, name({0}), 4)
                             + op(OpBytes, name({1}), 7) + char(3) + QByteArray("PNG") + op(OpLink, name({12, 13}), 0)
                             + char(0);
    const QByteArray series = op(OpFolder, name({2, 3})) + op(OpFolder, name({0})) + op(OpJpeg, cover, 0)
                              + op(OpJpeg, name({3}), 1) + op(OpUp) + op(OpJpeg, name({7}), 0) + op(OpUp)
                              + op(OpEmpty, name({10}), 6) + op(OpLink, name({14, 0}), 0) + char(2);
    int n = 0;
    for (const QByteArray &seed : {album, frame, series}) {
        if (!save(QStringLiteral("%1/tree-%2").arg(dir).arg(++n), seed))
            return false;
    }
    return true;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds OUTDIR\n");
        return 2;
    }
    const QString out = QFile::decodeName(argv[1]);
    const QString products = out + QStringLiteral("/productparser");
    const QString trees = out + QStringLiteral("/folderintake");
    if (!QDir().mkpath(products) || !QDir().mkpath(trees) || !productSeeds(products) || !intakeSeeds(trees)) {
        std::fprintf(stderr, "fuzz_seeds: cannot write under %s\n", argv[1]);
        return 1;
    }
    return 0;
}
