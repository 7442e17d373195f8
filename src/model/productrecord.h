#pragma once

#include <QMetaType>
#include <QString>

// One SKU of the chosen product as the order table keeps it and the
// `product` table caches it.
struct productRecord
{
    qint32 spuId = 0;
    qint32 skuId = 0;
    qint32 skuGroupId = 0;
    qint32 parentId = -1;
    QString priceText; // onlineSalePrice with two decimals
    bool isSeries = false;
    QString spuName;
    QString skuGroupName;
    QString pageListText;
    bool goldStamp = false;
};

Q_DECLARE_METATYPE(productRecord)
