#pragma once

#include <QJsonArray>
#include <QMap>
#include <QString>

#include "catalog/skumess.h"

// A concrete variant of a product (or one series set) with its SKUs.
struct skuGroupMess
{
    qint32 id = 0;
    qint32 spuId = 0;
    QString skuGroupName;
    bool isSeries = false;
    QMap<qint32, qint32> dictIds; // property id -> value id
    double price = 0.0;           // set price of a series
    qint32 seriesSkuId = 0;       // a series' own SKU (first entry of its skuList)
    QMap<qint32, skuMess> skus;   // ascending SKU id; a series' members
    QJsonArray associatedSkus;
    bool goldStamp = false;

    // The dict id/value pairs of "3:12;5" style text; a pair with fewer than
    // two parts is ignored.
    static QMap<qint32, qint32> parseDictIdSet(const QString &text);
};
