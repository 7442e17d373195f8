#include "catalog/productspec.h"

#include <QSet>

namespace {

QString resolutionText(const spuMess &spu)
{
    return QStringLiteral("支持分辨率: %1，%2像素/英寸   色彩模式: RGB").arg(spu.spuMaxDpi).arg(spu.spuMinDpi);
}

// "%1  <label>: W*Hmm(含出血)  出血(mm): 上()下()左()右()内()" on `text`.
QString sizeLine(const QString &text, const QString &pattern, const composeSizeMess &cs)
{
    const auto n = &ProductSpec::number;
    return pattern.arg(text, n(cs.totalWidth), n(cs.totalHeight), n(cs.bleedTop), n(cs.bleedBottom), n(cs.bleedLeft),
                       n(cs.bleedRight), n(cs.bleedIn));
}

const QString kCoverLine = QStringLiteral("%1  封面尺寸: %2*%3mm(含出血)  出血(mm): 上(%4)下(%5)左(%6)右(%7)内(%8)");

QString albumSizes(const QString &head, const skuMess &sku)
{
    QString text = head;
    if (sku.cover.totalWidth != 0.0f)
        text = sizeLine(text, kCoverLine, sku.cover);
    if (sku.text.totalWidth != 0.0f) {
        if (sku.specialLayout) {
            text = QStringLiteral("%1  首尾页尺寸: %2*%3mm(含出血)")
                       .arg(text, ProductSpec::number(sku.text.totalWidth / 2.0f),
                            ProductSpec::number(sku.text.totalHeight));
        }
        text = sizeLine(text, QStringLiteral("%1  设计尺寸: %3*%4mm(含出血)  出血(mm): 上(%5)下(%6)左(%7)右(%8)内(%9)"),
                        sku.text);
    }
    if (sku.other.totalWidth != 0.0f) {
        text = sizeLine(text, QStringLiteral("%1  单页尺寸: %3*%4mm(含出血)  出血(mm): 上(%5)下(%6)左(%7)右(%8)内(%9)"),
                        sku.other);
    }
    return text;
}

QString memberLine(const spuMess &spu, const skuMess &member)
{
    QString text = QStringLiteral("规格: %1   ").arg(member.skuFrontName) + QStringLiteral("支持P数:")
                   + member.pageListText + QStringLiteral("   ") + resolutionText(spu);
    if (member.cover.totalWidth != 0.0f)
        text = sizeLine(text, kCoverLine, member.cover);
    if (member.text.totalWidth != 0.0f) {
        text = sizeLine(text, QStringLiteral("%1  内页尺寸: %2*%3mm(含出血)  出血(mm): 上(%4)下(%5)左(%6)右(%7)内(%8)"),
                        member.text);
    }
    if (member.other.totalWidth != 0.0f) {
        text = sizeLine(text, QStringLiteral("%1  单页尺寸: %2*%3mm(含出血)  出血(mm): 上(%4)下(%5)左(%6)右(%7)内(%8)"),
                        member.other);
    }
    return text;
}

} // namespace

QString ProductSpec::number(float value)
{
    return QString::number(double(value), 'g', 6);
}

ProductSpecText ProductSpec::build(const spuMess &spu, const skuGroupMess &group)
{
    ProductSpecText result;
    for (const skuMess &sku : group.skus) {
        if (sku.specialPrint) {
            result.goldStamp = true;
            result.goldStampSkuId = sku.id;
            return result;
        }
    }

    if (spu.isSeries) {
        QSet<QString> seen;
        for (const skuMess &member : group.skus) {
            const QString key = QStringLiteral("%1-%2").arg(member.spuId).arg(member.composeSizeGroupId);
            if (seen.contains(key))
                continue;
            seen.insert(key);
            result.lines << memberLine(spu, member);
        }
        return result;
    }

    // One line per SKU; a SKU without geometry of its own shows that of the first one that has it.
    QString shared;
    for (const skuMess &sku : group.skus) {
        if (shared.isEmpty() && !(sku.cover.isEmpty() && sku.text.isEmpty() && sku.other.isEmpty()))
            shared = albumSizes(resolutionText(spu), sku);
    }
    for (const skuMess &sku : group.skus) {
        const bool own = !(sku.cover.isEmpty() && sku.text.isEmpty() && sku.other.isEmpty());
        const QString sizes = own                ? albumSizes(resolutionText(spu), sku)
                              : shared.isEmpty() ? resolutionText(spu)
                                                 : shared;
        result.lines << QStringLiteral("%1 %2").arg(sizes, QStringLiteral("支持P数:") + sku.pageListText);
    }
    return result;
}
