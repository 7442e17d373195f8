#pragma once

#include "model/ordergroup.h"
#include "model/productrecord.h"

// Matched customer orders made by hand, as a successful check leaves them.
namespace orderbuilder {

inline imgMess image(const QString &name, const QString &md5, int width = 4795, int height = 2433)
{
    imgMess m;
    m.name = name;
    m.imageName = md5;
    m.width = width;
    m.height = height;
    m.xdpi = m.ydpi = 300;
    m.size = 1000;
    m.localPath = QStringLiteral("/photos/") + name + QStringLiteral(".jpg");
    return m;
}

// One customer order whose single SKU entry holds `covers` cover pages and
// `inner` inner pages.
inline groupProductImages line(const QString &orderNo, const QString &name, qint32 skuId, qint32 groupId, int covers,
                               int inner, float price = 176.0f)
{
    subOrderImages entry;
    entry.name = name;
    entry.skuId = skuId;
    for (int i = 0; i < covers; ++i)
        entry.addCover(image(QStringLiteral("%1封面%2").arg(name).arg(i), orderNo + QStringLiteral("c%1").arg(i)));
    for (int i = 0; i < inner; ++i)
        entry.addInner(image(QStringLiteral("%1").arg(i + 1), orderNo + QStringLiteral("i%1").arg(i)));
    groupProductImages order;
    order.orderNo = orderNo;
    order.name = name;
    order.skuId = skuId;
    order.skuGroupId = groupId;
    order.price = price;
    order.imageCount = entry.count;
    order.totalBytes = entry.bytes;
    order.matched.insert(skuId, entry);
    return order;
}

// The product record of an album SKU of the local catalogue.
inline productRecord product(qint32 skuId)
{
    productRecord p;
    p.spuId = 1001;
    p.skuId = skuId;
    p.skuGroupId = 2101;
    p.priceText = QStringLiteral("198.00");
    p.spuName = QStringLiteral("经典对裱相册");
    p.skuGroupName = QStringLiteral("8寸 皮质封面");
    return p;
}

inline orderGroup order(const QString &orderNo, const QString &className, const QList<groupProductImages> &lines)
{
    orderGroup o;
    o.orderNo = orderNo;
    o.name = className;
    o.productName = QStringLiteral("经典对裱相册");
    o.skuGroupName = QStringLiteral("8寸 皮质封面");
    o.skuGroupNames = QStringList{o.skuGroupName};
    o.spuID = 1001;
    o.subOrders = lines;
    for (const groupProductImages &l : lines) {
        o.fileCout += l.imageCount;
        o.size += float(l.totalBytes) / 1048576.0f;
    }
    return o;
}

} // namespace orderbuilder
