// A generated tree in: the input is a small program (see fuzz::TreeOp) that
// lays out a class folder of folders, JPEGs, odd bytes, empty files and links
// under names in several scripts and raw bytes; the folder rules, the order
// records and each order's check then run on it for every product kind.
#include <cstddef>
#include <cstdint>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include <QFile>

#include "fuzzsupport.h"
#include "intake/folderintake.h"
#include "intake/readimagetoproduct.h"
#include "samplewriter.h"

namespace {

QByteArray g_jpeg;
std::vector<spuMess> g_products;

constexpr int kMaxOps = 48;
constexpr int kMaxDepth = 4;
constexpr int kMaxChecked = 8;

struct Reader
{
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    bool done() const { return at >= size; }
    uint8_t next() { return at < size ? data[at++] : 0; }
};

QByteArray readName(Reader &in)
{
    QByteArray name;
    const int length = 1 + in.next() % 8;
    for (int i = 0; i < length; ++i)
        name += fuzz::nameChar(in.next());
    if (name == "." || name == "..")
        name += 'x';
    return name;
}

bool writeFile(const QByteArray &path, const QByteArray &bytes)
{
    QFile file(QFile::decodeName(path));
    // Names that do not decode cannot be written through Qt; the raw call can.
    if (QFile::encodeName(file.fileName()) != path) {
        FILE *raw = std::fopen(path.constData(), "wb");
        if (!raw)
            return false;
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), raw);
        std::fclose(raw);
        return true;
    }
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

void build(const QByteArray &root, Reader &in)
{
    std::vector<QByteArray> folders{root};
    std::vector<QByteArray> made;
    for (int op = 0; op < kMaxOps && !in.done(); ++op) {
        const QByteArray &current = folders.back();
        switch (in.next() % fuzz::OpCount) {
        case fuzz::OpFolder: {
            const QByteArray path = current + '/' + readName(in);
            if (::mkdir(path.constData(), 0755) == 0) {
                made.push_back(path);
                if (int(folders.size()) < kMaxDepth)
                    folders.push_back(path);
            }
            break;
        }
        case fuzz::OpUp:
            if (folders.size() > 1)
                folders.pop_back();
            break;
        case fuzz::OpJpeg:
        case fuzz::OpBytes:
        case fuzz::OpEmpty: {
            const uint8_t kind = in.data[in.at - 1] % fuzz::OpCount;
            const QByteArray name = readName(in);
            const QByteArray path = current + '/' + name + fuzz::suffix(in.next());
            QByteArray bytes;
            if (kind == fuzz::OpJpeg) {
                bytes = g_jpeg;
            } else if (kind == fuzz::OpBytes) {
                const int length = in.next();
                for (int i = 0; i < length && !in.done(); ++i)
                    bytes += char(in.next());
            }
            if (writeFile(path, bytes))
                made.push_back(path);
            break;
        }
        case fuzz::OpLink: {
            const QByteArray path = current + '/' + readName(in) + fuzz::suffix(in.next());
            const size_t index = in.next();
            const QByteArray target = index < made.size() ? made[index] : QByteArray("nowhere.jpg");
            if (::symlink(target.constData(), path.constData()) == 0)
                made.push_back(path);
            break;
        }
        }
    }
}

int removeEntry(const char *path, const struct stat *, int, struct FTW *)
{
    ::remove(path);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::start(argc, argv);
    const Catalogue &catalogue = fuzz::catalogue();
    g_products = {catalogue.productForGroup(1001, 2101), catalogue.productForGroup(1003, 2301),
                  catalogue.product(1005)};

    SampleImage sample;
    sample.path = fuzz::scratch() + QStringLiteral("/sample.jpg");
    sample.width = 2598;
    sample.height = 1772;
    QFile file(sample.path);
    if (!SampleWriter::write(sample) || !file.open(QIODevice::ReadOnly))
        std::abort();
    g_jpeg = file.readAll();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString rootName = fuzz::scratch() + QStringLiteral("/三年二班");
    const QByteArray root = QFile::encodeName(rootName);
    ::nftw(root.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    if (::mkdir(root.constData(), 0755) != 0)
        std::abort();
    Reader in{data, size};
    build(root, in);

    const QDateTime created(QDate(2024, 5, 1), QTime(9, 30));
    for (const spuMess &spu : g_products) {
        FolderIntake::structureOk(rootName, spu.kind());
        const auto orders = FolderIntake::createOrders(rootName, spu, created);
        for (size_t i = 0; i < orders.size() && int(i) < kMaxChecked; ++i) {
            readImageToProduct check(orders[i]->path, spu, orders[i].get(), false, StoreTerms());
            check.setAutoDelete(false);
            check.run();
        }
    }
    ::nftw(root.constData(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
    return 0;
}
