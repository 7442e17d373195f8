#pragma once

#include <QList>
#include <QSize>
#include <QStringList>

#include "catalog/spumess.h"
#include "catalog/storeterms.h"
#include "model/groupproductimages.h"

// Matches collected sub-orders against a product's SKU groups: cover and
// page counts, pixel sizes within the windows, and the price. No files, no
// network; any thread.
class PageMatcher final
{
public:
    enum Fit { NoFit = 0, Fits = 1, FitsTurned = 2 };

    PageMatcher(const spuMess &spu, const StoreTerms &terms);

    // Tries the candidate groups in order, resetting the order between them;
    // true when one matched. After a miss the order keeps the last group's
    // failure details.
    bool match(groupProductImages &order, const QList<subOrderImages> &collected) const;
    bool tryGroup(groupProductImages &order, QList<subOrderImages> subs, const skuGroupMess &group) const;

    // One size against one geometry: the first window for 254 ppi, the second
    // otherwise; half width halves the width bounds.
    static int fit(QSize size, qint32 dpi, qint32 rotation, const composeSizeMess &cs, bool halfWidth,
                   bool allowRotation);
    // fit(), trying both windows for a resolution other than 254 or 300 and
    // recording the one that fitted (254 for the first, else 300).
    static int fitWithFallback(imgMess &image, QSize size, const composeSizeMess &cs, bool halfWidth,
                               bool allowRotation);
    // Every page of `list` at the common size, turning those that fit only
    // turned; errors go to `errors`.
    static bool singlePageCheck(QList<imgMess> &list, bool sizesDiffer, QSize common, const composeSizeMess &cs,
                                QStringList &errors, const QString &subName);
    static bool albumCheck(subOrderImages &sub, const skuMess &sku);

    // The price of `pageCount` pages beyond the SKU's base, and its base price.
    float stepPrice(const skuMess &sku, qint32 pageCount) const;
    float basePrice(const skuMess &sku) const;

private:
    bool startupPricing() const;
    bool matchSubOrder(subOrderImages &sub, const skuGroupMess &group, const QMap<qint32, subOrderImages> &matched,
                       qint32 *skuId, qint32 *pageCount) const;

    spuMess m_spu;
    StoreTerms m_terms;
};
