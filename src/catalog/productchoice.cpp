#include "catalog/productchoice.h"

#include <QDebug>

#include "catalog/productservice.h"
#include "catalog/productspec.h"

productRecord ProductChoice::recordOf(const spuMess &spu, const skuGroupMess &group, qint32 skuId, double price)
{
    productRecord r;
    r.spuId = spu.id;
    r.skuId = skuId;
    r.skuGroupId = group.id;
    r.priceText = QString::number(price, 'f', 2);
    r.isSeries = group.isSeries || spu.isSeries;
    r.spuName = spu.spuName;
    r.skuGroupName = group.skuGroupName;
    return r;
}

bool ProductChoice::search(const QString &text)
{
    if (text.size() < 2)
        return false;
    for (const QString &name : std::as_const(m_names)) {
        if (text.contains(name))
            return true;
    }
    QList<QPair<qint32, QString>> found;
    if (!ProductService::search(text, &found) || found.isEmpty())
        return false;
    for (const auto &[id, name] : found) {
        if (!m_known.contains(name)) {
            m_known.insert(name, id);
            m_names << name;
        }
    }
    qDebug() << "productlist:" << found.size();
    return true;
}

void ProductChoice::forget()
{
    m_known.clear();
    m_names.clear();
}

bool ProductChoice::choose(const QString &name, QString *problem)
{
    if (name.isEmpty() || !m_known.contains(name)) {
        *problem = QStringLiteral("请输入准确产品名字");
        return false;
    }
    spuMess product;
    if (!ProductService::query(m_known.value(name), &product, problem))
        return false;
    m_product = product;
    return true;
}

ProductChoice::Outcome ProductChoice::seriesOutcome()
{
    Outcome outcome;
    outcome.ready = true;
    const QMap<qint32, skuGroupMess> groups = m_product.groupsById;
    for (skuGroupMess group : groups) {
        const ProductSpecText spec = ProductSpec::build(m_product, group);
        if (spec.goldStamp) {
            // Every copy carries the mark: the template download reads the candidates.
            group.goldStamp = true;
            m_product.replaceGroup(group);
            outcome.goldStamp = true;
        }
        for (const QString &line : spec.lines) {
            if (!outcome.specLines.contains(line))
                outcome.specLines << line;
        }
    }
    if (outcome.goldStamp) {
        m_product.goldStamp = true;
        return outcome;
    }
    for (const skuGroupMess &group : std::as_const(m_product.groupsById))
        outcome.skuTable.insert(group.seriesSkuId, recordOf(m_product, group, group.seriesSkuId, group.price));
    return outcome;
}

ProductChoice::Outcome ProductChoice::select(qint32 dictId, qint32 valueId)
{
    if (m_product.dicts.contains(dictId))
        m_product.dicts[dictId].selectedValue = valueId;
    return settle();
}

ProductChoice::Outcome ProductChoice::settle()
{
    Outcome outcome;
    m_product.updateCandidates();
    if (!m_product.allPropertiesChosen() || m_product.candidateGroups.isEmpty())
        return outcome;
    const qint32 groupId = m_product.candidateGroups.first().id;
    ProductService::loadGroupGeometry(&m_product, groupId);
    const skuGroupMess group = m_product.groupsById.value(groupId);
    outcome.ready = true;
    const ProductSpecText spec = ProductSpec::build(m_product, group);
    if (spec.goldStamp) {
        m_product.goldStamp = true;
        skuGroupMess marked = group;
        marked.goldStamp = true;
        m_product.replaceGroup(marked);
        outcome.goldStamp = true;
        return outcome;
    }
    outcome.specLines = spec.lines;
    if (group.skus.size() == 1)
        outcome.pagesText = QStringLiteral("支持P数:") + group.skus.first().pageListText;
    for (const skuMess &sku : group.skus) {
        productRecord r = recordOf(m_product, group, sku.id, sku.onlineSalePrice);
        r.pageListText = sku.pageListText;
        r.goldStamp = sku.specialPrint;
        outcome.skuTable.insert(sku.id, r);
    }
    return outcome;
}
