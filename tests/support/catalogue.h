#pragma once

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "catalog/productparser.h"
#include "support/files.h"

// The local backend's catalogue, read the way the client reads the answers.
class Catalogue
{
public:
    bool load()
    {
        m_data = QJsonDocument::fromJson(testfiles::read(QStringLiteral(CATALOGUE_JSON))).object();
        return !m_data.isEmpty();
    }

    // The `data` object of the product query.
    QJsonObject productData(qint32 spuId) const { return entry(spuId).value("query").toObject(); }

    // The product with every group's geometry, as after the page selected each.
    spuMess product(qint32 spuId, const StoreTerms &terms = StoreTerms()) const
    {
        const QJsonObject backend = entry(spuId);
        spuMess spu = ProductParser::parseProduct(backend.value("query").toObject(), terms);
        for (skuGroupMess group : spu.groupsById) {
            // The store group list answer, with its envelope.
            const QJsonArray detail{backend.value("groupDetails")[QString::number(group.id)]};
            const QJsonObject answer{{"code", 200}, {"success", true}, {"data", detail}};
            if (!spu.isSeries && ProductParser::applyGroupList(group, answer, spu.spuMinDpi, spu.spuMaxDpi))
                spu.replaceGroup(group);
        }
        return spu;
    }

    // The same with the properties chosen so that `groupId` is the one candidate.
    spuMess productForGroup(qint32 spuId, qint32 groupId, const StoreTerms &terms = StoreTerms()) const
    {
        spuMess spu = product(spuId, terms);
        const skuGroupMess group = spu.groupsById.value(groupId);
        for (dictMess &dict : spu.dicts)
            dict.selectedValue = group.dictIds.value(dict.id);
        spu.updateCandidates();
        return spu;
    }

private:
    // A product of the local backend: its query answer and its groups' details.
    QJsonObject entry(qint32 spuId) const
    {
        for (const QJsonValue &p : m_data.value("products").toArray()) {
            if (p["query"]["id"].toInt() == spuId)
                return p.toObject();
        }
        return QJsonObject();
    }

    QJsonObject m_data;
};
