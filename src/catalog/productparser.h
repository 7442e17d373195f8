#pragma once

#include <QJsonObject>
#include <QJsonValue>
#include <QString>

#include "catalog/spumess.h"
#include "catalog/storeterms.h"

// Reads the backend's product answers into the product records. Missing
// numbers read as 0, booleans as false, strings as empty. No network.
class ProductParser final
{
public:
    ProductParser() = delete;

    // The `data` object of the product query. Series carry their members'
    // geometry; other products get theirs from the store group list.
    static spuMess parseProduct(const QJsonObject &data, const StoreTerms &terms);
    // The same for an answer not yet known to be an object; refuses, with the
    // operator's text in `problem` and a warning logged, data of the wrong
    // shape (ids that are not numbers, lists that are not arrays, no groups)
    // and SKUs whose page range cannot be offered. `spu` is kept on refusal.
    static bool readProduct(const QJsonValue &data, const StoreTerms &terms, spuMess *spu, QString *problem);
    static skuMess parseSku(const QJsonObject &entry);
    // Places each compose size of `entry` in the cover, text or other slot.
    static void applyGeometry(skuMess &sku, const QJsonObject &entry, qint32 firstDpi, qint32 secondDpi);
    static composeSizeMess parseComposeSize(const QJsonObject &size, const QJsonArray &areas, qint32 firstDpi,
                                            qint32 secondDpi);
    // The store group list answer for `group`; false, with a warning logged,
    // unless its code is 200 and it succeeded.
    static bool applyGroupList(skuGroupMess &group, const QJsonObject &response, qint32 firstDpi, qint32 secondDpi);
    // The set price of a series from its own SKU entry.
    static double seriesSetPrice(const QJsonObject &seriesSku, const StoreTerms &terms);
};
