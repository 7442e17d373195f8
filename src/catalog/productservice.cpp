#include "catalog/productservice.h"

#include <QJsonArray>

#include "catalog/productparser.h"
#include "catalog/storeterms.h"
#include "core/jsonnumber.h"
#include "core/vellruntime.h"
#include "net/endpoints.h"
#include "net/httputils.h"

bool ProductService::search(const QString &text, QList<QPair<qint32, QString>> *found)
{
    HttpUtils &http = HttpUtils::instance();
    const QString url = Endpoints::productSearch().arg(QString::number(VellRuntime::instance().storeId()), text);
    if (!http.httpGet(url, HttpUtils::formType(), true))
        return false;
    found->clear();
    for (const QJsonValue &value : http.getJson().value(QStringLiteral("data")).toArray()) {
        const QJsonObject item = value.toObject();
        found->append(
            {JsonNumber::toInt32(item.value(QStringLiteral("id"))), item.value(QStringLiteral("spuName")).toString()});
    }
    return true;
}

bool ProductService::query(qint32 spuId, spuMess *spu, QString *problem)
{
    HttpUtils &http = HttpUtils::instance();
    if (!http.httpGet(Endpoints::productQuery().arg(spuId), HttpUtils::formType(), true))
        return false;
    if (!ProductParser::readProduct(http.getJson().value(QStringLiteral("data")), StoreTerms::fromSession(), spu,
                                    problem))
        return false;
    spu->id = spuId;
    return true;
}

bool ProductService::loadGroupGeometry(spuMess *spu, qint32 groupId)
{
    if (!spu->groupsById.contains(groupId))
        return false;
    HttpUtils &http = HttpUtils::instance();
    const QJsonArray body{QJsonObject{{QStringLiteral("isSample"), false}, {QStringLiteral("skuGroupId"), groupId}}};
    const QString url = Endpoints::skuGroupList().arg(VellRuntime::instance().storeId());
    if (!http.httpPostArray(url, body, HttpUtils::jsonType(), true))
        return false;
    skuGroupMess group = spu->groupsById.value(groupId);
    if (!ProductParser::applyGroupList(group, http.getJson(), spu->spuMinDpi, spu->spuMaxDpi))
        return false;
    spu->replaceGroup(group);
    return true;
}

bool ProductService::templateImages(qint32 id, QStringList *urls)
{
    HttpUtils &http = HttpUtils::instance();
    const QString url = Endpoints::skuMainImage().arg(VellRuntime::instance().storeId()).arg(id);
    if (!http.httpGet(url, HttpUtils::formType(), true))
        return false;
    urls->clear();
    for (const QJsonValue &value : http.getJson().value(QStringLiteral("data")).toArray())
        urls->append(value.toString());
    return true;
}
