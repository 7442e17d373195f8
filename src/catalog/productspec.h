#pragma once

#include <QStringList>

#include "catalog/spumess.h"

// The lines describing a product's group on the new-order page: resolution,
// sizes with bleed and supported page counts.
struct ProductSpecText
{
    QStringList lines;      // one label each
    bool goldStamp = false; // a gold-stamp SKU stopped the building: show nothing
    qint32 goldStampSkuId = 0;
};

class ProductSpec final
{
public:
    ProductSpec() = delete;

    // Non-series: one line per SKU with resolution, sizes with bleed and its
    // page list. Series: one line per distinct member of the group.
    static ProductSpecText build(const spuMess &spu, const skuGroupMess &group);

    static QString number(float value); // format 'g', default precision
};
