// File bytes in: the bytes become one order file named .jpg, checked the way a
// dropped frame order is (inspection, MD5, page match), and inspected once
// more through the in-memory route.
#include <cstddef>
#include <cstdint>

#include <QFile>

#include "fuzzsupport.h"
#include "intake/imageinspector.h"
#include "intake/readimagetoproduct.h"

namespace {

spuMess g_frame;

} // namespace

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::start(argc, argv);
    g_frame = fuzz::catalogue().productForGroup(1003, 2301);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString path = fuzz::scratch() + QStringLiteral("/01 张三.jpg");
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            std::abort();
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    groupProductImages order;
    order.path = path;
    readImageToProduct check(path, g_frame, &order, false, StoreTerms());
    check.setAutoDelete(false);
    check.run();
    ImageInspector::inspect(path, ImageInspector::Route::Memory);
    return 0;
}
