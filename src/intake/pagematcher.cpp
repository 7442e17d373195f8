#include "intake/pagematcher.h"

#include "core/logmanager.h"
#include "intake/checktexts.h"

PageMatcher::PageMatcher(const spuMess &spu, const StoreTerms &terms)
    : m_spu(spu)
    , m_terms(terms)
{
}

int PageMatcher::fit(QSize size, qint32 dpi, qint32 rotation, const composeSizeMess &cs, bool halfWidth,
                     bool allowRotation)
{
    if (rotation == 90 || rotation == 270)
        size.transpose();
    const bool first = dpi == 254;
    qint32 minW = first ? cs.minWidth1 : cs.minWidth2;
    qint32 maxW = first ? cs.maxWidth1 : cs.maxWidth2;
    const qint32 minH = first ? cs.minHeight1 : cs.minHeight2;
    const qint32 maxH = first ? cs.maxHeight1 : cs.maxHeight2;
    if (halfWidth) {
        minW /= 2;
        maxW /= 2;
    }
    const qint32 w = size.width();
    const qint32 h = size.height();
    if (minW < w && w < maxW && minH < h && h < maxH)
        return Fits;
    if (allowRotation && minW < h && h < maxW && minH < w && w < maxH)
        return FitsTurned;
    return NoFit;
}

int PageMatcher::fitWithFallback(imgMess &image, QSize size, const composeSizeMess &cs, bool halfWidth,
                                 bool allowRotation)
{
    if (image.xdpi == 254 || image.xdpi == 300)
        return fit(size, image.xdpi, image.IsRotate, cs, halfWidth, allowRotation);
    // A resolution the metadata did not give (decoder values such as 72):
    // whichever window the pixels fit decides it.
    int result = fit(size, 254, image.IsRotate, cs, halfWidth, allowRotation);
    if (result != NoFit) {
        image.xdpi = image.ydpi = 254;
        return result;
    }
    result = fit(size, 300, image.IsRotate, cs, halfWidth, allowRotation);
    image.xdpi = image.ydpi = 300;
    return result;
}

bool PageMatcher::singlePageCheck(QList<imgMess> &list, bool sizesDiffer, QSize common, const composeSizeMess &cs,
                                  QStringList &errors, const QString &subName)
{
    if (sizesDiffer)
        return false;
    QList<imgMess> checked = list;
    for (imgMess &image : checked) {
        if (image.isPdf)
            continue;
        const int result = fitWithFallback(image, common, cs, false, true);
        if (result == NoFit) {
            errors << CheckTexts::pageSize;
            return false;
        }
        if (result == FitsTurned) {
            LogManager::logInfo(QStringLiteral("%1:图片旋转了：%2").arg(subName).arg(image.IsRotate));
            image.IsRotate += 90;
            if (image.IsRotate > 359)
                image.IsRotate = 0;
        }
    }
    list = checked;
    return true;
}

bool PageMatcher::albumCheck(subOrderImages &sub, const skuMess &sku)
{
    if (!sub.coverImages.isEmpty()) {
        if (sub.coverSizesDiffer)
            return false;
        for (imgMess &cover : sub.coverImages) {
            if (cover.isPdf)
                continue;
            if (fitWithFallback(cover, sub.coverSize, sku.cover, false, false) != Fits) {
                sub.errors << CheckTexts::coverSize;
                return false;
            }
            break;
        }
    }

    if (!sub.innerSizesDiffer) {
        if (sku.specialLayout) {
            sub.errors << CheckTexts::firstLastSize;
            return false;
        }
        for (imgMess &inner : sub.innerImages) {
            if (inner.isPdf)
                continue;
            if (fitWithFallback(inner, sub.innerSize, sku.text, inner.specialLayout, false) != Fits) {
                sub.errors << CheckTexts::pageSize;
                return false;
            }
            break;
        }
        return true;
    }

    const int last = int(sub.innerImages.size()) - 1;
    for (int i = 0; i <= last; ++i) {
        imgMess &inner = sub.innerImages[i];
        if (sku.specialLayout && (i == 0 || i == last)) {
            inner.specialLayout = true;
            inner.specialLayoutWhitePagePosition = i == 0 ? QStringLiteral("LEFT") : QStringLiteral("RIGHT");
        }
        if (inner.isPdf)
            continue;
        const bool half = sku.specialLayout && (i == 0 || i == last);
        if (fitWithFallback(inner, QSize(inner.width, inner.height), sku.text, half, false) != Fits) {
            sub.errors << CheckTexts::pageSize;
            return false;
        }
    }
    return true;
}

bool PageMatcher::startupPricing() const
{
    return (m_spu.startupsSpu && m_terms.startups == 1 && m_terms.isWeddingDress()) || m_terms.isLaterStage();
}

float PageMatcher::basePrice(const skuMess &sku) const
{
    return startupPricing() ? sku.startupsBasePagePrice : sku.basePagePrice;
}

float PageMatcher::stepPrice(const skuMess &sku, qint32 pageCount) const
{
    // A SKU without a step has a single page count: nothing beyond the base.
    const float ratio = sku.baseStep == 0 ? 0.0f : float(pageCount - sku.basePage) / float(sku.baseStep);
    float step;
    if (startupPricing())
        step = sku.startupsBaseStepPrice;
    else
        step = m_terms.isWeddingDress() ? sku.baseStepPrice : sku.onlineBaseStepPrice;
    const float price = step * ratio;
    LogManager::logInfo(QStringLiteral("skuPrice:%1;endPrice:%2").arg(double(basePrice(sku))).arg(double(price)));
    return price;
}

bool PageMatcher::matchSubOrder(subOrderImages &sub, const skuGroupMess &group,
                                const QMap<qint32, subOrderImages> &matched, qint32 *skuId, qint32 *pageCount) const
{
    const bool singleMode = sub.innerImages.isEmpty();
    const qint32 ownPages = singleMode ? qint32(sub.singleImages.size()) : qint32(sub.innerImages.size());
    // Shown even when no SKU takes this many covers, so the operator sees what was counted.
    *pageCount = ownPages;
    bool coverCountFits = false;
    QStringList attemptErrors;
    for (const skuMess &sku : group.skus) {
        if (matched.contains(sku.id))
            continue;
        if (sub.coverImages.size() != sku.coverPage)
            continue;
        coverCountFits = true;
        qint32 pages = ownPages;
        if (!singleMode && sku.isBase && !sub.coverImages.isEmpty())
            pages += qint32(sub.coverImages.size());
        *pageCount = pages;
        if (!sku.pageCounts().contains(pages))
            continue;

        // Each SKU works on its own copy: a failed attempt leaves no marks.
        subOrderImages attempt = sub;
        bool passed;
        if (singleMode) {
            passed = singlePageCheck(attempt.singleImages, attempt.singleSizesDiffer, attempt.singleSize, sku.other,
                                     attempt.errors, attempt.name);
        } else if (sku.otherPageType == QLatin1String("SINGLE")) {
            passed = singlePageCheck(attempt.innerImages, attempt.innerSizesDiffer, attempt.innerSize, sku.text,
                                     attempt.errors, attempt.name);
        } else {
            passed = albumCheck(attempt, sku);
        }
        if (passed) {
            sub = attempt;
            *skuId = sku.id;
            return true;
        }
        attemptErrors += attempt.errors.mid(sub.errors.size());
    }
    sub.errors += attemptErrors;
    if (!group.isSeries && !m_spu.isSeries)
        sub.errors << (coverCountFits ? CheckTexts::pageCount : CheckTexts::coverCount);
    return false;
}

bool PageMatcher::tryGroup(groupProductImages &order, QList<subOrderImages> subs, const skuGroupMess &group) const
{
    const bool series = m_spu.isSeries;
    if (series && subs.size() != group.skus.size()) {
        order.message += CheckTexts::seriesCount;
        return false;
    }

    for (subOrderImages &sub : subs) {
        if (!sub.errors.isEmpty()) {
            order.failed.append(sub);
            order.totalBytes += sub.bytes;
            order.imageCount += sub.count;
            return false;
        }
        qint32 skuId = 0;
        qint32 pageCount = 0;
        const bool ok = matchSubOrder(sub, group, order.matched, &skuId, &pageCount);
        order.pageCount = pageCount;
        order.totalBytes += sub.bytes;
        order.imageCount += sub.count;
        if (!ok) {
            order.failed.append(sub);
            return false;
        }
        const skuMess &sku = group.skus[skuId];
        sub.skuId = skuId;
        sub.pageType = sku.otherPageType;
        sub.noQrCode = sku.noQrCode;
        const float step = stepPrice(sku, pageCount);
        sub.priceText = QString::number(double(step), 'f', 2);
        order.price += step;
        order.matched.insert(skuId, sub);
        if (!series)
            order.skuId = skuId;
    }

    LogManager::logInfo(QStringLiteral("sku.price:%1").arg(group.price));
    if (series) {
        order.skuId = group.seriesSkuId;
        order.price += float(group.price);
    } else if (!order.matched.isEmpty()) {
        order.price += basePrice(group.skus.value(order.skuId));
    }
    order.skuGroupId = group.id;
    order.productName = group.skuGroupName;
    return true;
}

bool PageMatcher::match(groupProductImages &order, const QList<subOrderImages> &collected) const
{
    const QString intakeMessage = order.message;
    const QList<skuGroupMess> &candidates = m_spu.candidateGroups;
    for (int i = 0; i < candidates.size(); ++i) {
        if (tryGroup(order, collected, candidates.at(i)))
            return true;
        if (i + 1 < candidates.size()) {
            order.reset();
            // A file type refused at intake stays refused whatever group is tried.
            order.message = intakeMessage;
        }
    }
    LogManager::logInfo(
        QStringLiteral("找了一圈没找到产品:%1(%2) %3").arg(order.name, order.orderNo, order.matchStateText()));
    return false;
}
