// Backend JSON in: one object read both as the product query's `data` and as
// the store group list answer, then everything the pages derive from it.
#include <cstddef>
#include <cstdint>

#include <QJsonDocument>
#include <QJsonObject>

#include "catalog/productparser.h"
#include "catalog/productspec.h"
#include "fuzzsupport.h"

extern "C" int LLVMFuzzerInitialize(int *argc, char ***argv)
{
    fuzz::start(argc, argv);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QJsonDocument doc = QJsonDocument::fromJson(QByteArray(reinterpret_cast<const char *>(data), int(size)));
    const QJsonObject object = doc.object();
    for (const StoreTerms &terms : {StoreTerms{0, QString()}, StoreTerms{1, QStringLiteral("WEDDINGDRESS")},
                                    StoreTerms{0, QStringLiteral("LATERSTAGE")}}) {
        spuMess spu = ProductParser::parseProduct(object, terms);
        for (skuGroupMess group : spu.groupsById) {
            if (ProductParser::applyGroupList(group, object, spu.spuMinDpi, spu.spuMaxDpi))
                spu.replaceGroup(group);
            ProductSpec::build(spu, group);
            for (dictMess &dict : spu.dicts)
                dict.selectedValue = group.dictIds.value(dict.id);
            spu.updateCandidates();
        }
    }
    return 0;
}
