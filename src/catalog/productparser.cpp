#include "catalog/productparser.h"

#include <QJsonArray>

#include "core/logmanager.h"

namespace {

qint32 num(const QJsonObject &obj, const char *key)
{
    const QJsonValue v = obj.value(QLatin1String(key));
    return v.isDouble() ? qint32(v.toDouble()) : 0;
}

float real(const QJsonObject &obj, const char *key)
{
    return float(obj.value(QLatin1String(key)).toDouble(0.0));
}

bool flag(const QJsonObject &obj, const char *key)
{
    return obj.value(QLatin1String(key)).toBool(false);
}

QString text(const QJsonObject &obj, const char *key)
{
    return obj.value(QLatin1String(key)).toString();
}

QJsonArray array(const QJsonObject &obj, const char *key)
{
    return obj.value(QLatin1String(key)).toArray();
}

void readPageSettings(skuMess &sku, const QJsonArray &settings)
{
    for (const QJsonValue &value : settings) {
        const QJsonObject setting = value.toObject();
        const QString type = text(setting, "skuPageType");
        const QString pdfPage = text(setting, "pdfPage");
        if (type == QLatin1String("COVER"))
            sku.coverPdfPage = pdfPage;
        else if (type == QLatin1String("TEXT"))
            sku.textPdfPage = pdfPage;
        else
            sku.otherPdfPage = pdfPage;
        for (const QJsonValue &code : array(setting, "skuPageCodeSettingList")) {
            const QJsonObject barCode = code.toObject().value(QStringLiteral("spuBarCode")).toObject();
            if (text(barCode, "codeType") == QLatin1String("BLESSING_WALL_QR_CODE"))
                sku.noQrCode = false;
        }
    }
}

} // namespace

skuMess ProductParser::parseSku(const QJsonObject &entry)
{
    skuMess sku;
    sku.id = num(entry, "id");
    sku.spuId = num(entry, "spuId");
    sku.skuGroupId = num(entry, "skuGroupId");
    sku.composeSizeGroupId = num(entry, "composeSizeGroupId");
    sku.skuFrontName = text(entry, "skuFrontName");
    sku.basePage = num(entry, "basePage");
    sku.maxPage = num(entry, "maxPage");
    sku.baseStep = num(entry, "baseStep");
    sku.coverPage = num(entry, "coverPage");
    sku.specialLayout = flag(entry, "specialLayout");
    sku.isComposeHalfP = flag(entry, "isComposeHalfP");
    sku.isSeries = flag(entry, "isSeries");
    sku.specialPrint = flag(entry, "specialPrint");
    sku.basePagePrice = real(entry, "basePagePrice");
    sku.baseStepPrice = real(entry, "baseStepPrice");
    sku.onlineBaseStepPrice = real(entry, "onlineBaseStepPrice");
    sku.startupsBasePagePrice = real(entry, "startupsBasePagePrice");
    sku.startupsBaseStepPrice = real(entry, "startupsBaseStepPrice");
    sku.onlineSalePrice = entry.value(QStringLiteral("onlineSalePrice")).toDouble(0.0);
    readPageSettings(sku, array(entry, "skuPageSettingList"));
    sku.pageListText = skuMess::pageList(sku.basePage, sku.maxPage, sku.baseStep);
    return sku;
}

composeSizeMess ProductParser::parseComposeSize(const QJsonObject &size, const QJsonArray &areas, qint32 firstDpi,
                                                qint32 secondDpi)
{
    composeSizeMess cs;
    const QJsonObject pageName = size.value(QStringLiteral("spuPageName")).toObject();
    const QJsonObject bleed = size.value(QStringLiteral("spuBleedDTO")).toObject();
    cs.pageTypeCode = text(pageName, "pageTypeCode");
    cs.sizeWidth = real(size, "sizeWidth");
    cs.sizeHeight = real(size, "sizeHeight");
    if (text(pageName, "templatePropertyCode") == QLatin1String("HALF_PAGE"))
        cs.sizeWidth *= 2.0f;
    cs.bleedIn = real(bleed, "bleedIn");
    cs.bleedBottom = real(bleed, "bleedBottom");
    cs.bleedLeft = real(bleed, "bleedLeft");
    cs.bleedRight = real(bleed, "bleedRight");
    cs.bleedTop = real(bleed, "bleedTop");
    cs.totalWidth = cs.sizeWidth + cs.bleedLeft + cs.bleedRight;
    cs.totalHeight = cs.sizeHeight + cs.bleedTop + cs.bleedBottom;

    cs.areaWidth = cs.totalWidth;
    cs.areaHeight = cs.totalHeight;
    for (const QJsonValue &value : areas) {
        const QJsonObject area = value.toObject();
        if (text(area, "pageTypeCode") != cs.pageTypeCode)
            continue;
        cs.areaWidth = cs.totalWidth + float(num(area, "areaLeft") + num(area, "areaRight"));
        cs.areaHeight = cs.totalHeight + float(num(area, "areaTop") + num(area, "areaBottom"));
        break;
    }
    cs.computeWindows(firstDpi, secondDpi);
    return cs;
}

void ProductParser::applyGeometry(skuMess &sku, const QJsonObject &entry, qint32 firstDpi, qint32 secondDpi)
{
    const QJsonArray areas = array(entry, "composeAreaList");
    for (const QJsonValue &value : array(entry, "composeSizeList")) {
        const QJsonObject size = value.toObject();
        const composeSizeMess cs = parseComposeSize(size, areas, firstDpi, secondDpi);
        if (cs.pageTypeCode == QLatin1String("TEXT")) {
            sku.text = cs;
        } else if (cs.pageTypeCode == QLatin1String("COVER")) {
            sku.cover = cs;
            sku.isBase = flag(size, "isBase");
        } else {
            sku.other = cs;
            sku.otherPageType = cs.pageTypeCode;
        }
    }
}

bool ProductParser::applyGroupList(skuGroupMess &group, const QJsonObject &response, qint32 firstDpi,
                                   qint32 secondDpi)
{
    if (num(response, "code") != 200 || !flag(response, "success")) {
        LogManager::logWarning(QStringLiteral("接口调用失败"));
        return false;
    }
    const QJsonObject first = array(response, "data").at(0).toObject();
    for (const QJsonValue &value : array(first, "skuList")) {
        const QJsonObject entry = value.toObject();
        auto it = group.skus.find(num(entry, "id"));
        if (it != group.skus.end())
            applyGeometry(*it, entry, firstDpi, secondDpi);
    }
    return true;
}

double ProductParser::seriesSetPrice(const QJsonObject &seriesSku, const StoreTerms &terms)
{
    const bool startupsSpu = flag(seriesSku, "startupsSpu");
    if (startupsSpu && terms.startups == 1 && terms.isWeddingDress())
        return real(seriesSku, "startupsBasePagePrice");
    if (terms.isLaterStage())
        return real(seriesSku, "startupsBasePagePrice");
    if (!startupsSpu && !terms.isWeddingDress())
        return seriesSku.value(QStringLiteral("onlineSalePrice")).toDouble(0.0);
    return real(seriesSku, "basePagePrice");
}

spuMess ProductParser::parseProduct(const QJsonObject &data, const StoreTerms &terms)
{
    spuMess spu;
    spu.id = num(data, "id");
    spu.spuMinDpi = num(data, "spuMinDpi");
    spu.spuMaxDpi = num(data, "spuMaxDpi");
    spu.isSeries = flag(data, "isSeries");
    spu.startupsSpu = flag(data, "startupsSpu");
    spu.spuType = text(data, "spuType");
    spu.spuName = text(data, "spuName");
    spu.raw = data;

    for (const QJsonValue &value : array(data, "spuDictList")) {
        const QJsonObject entry = value.toObject();
        dictMess dict;
        dict.id = num(entry, "id");
        dict.propKey = text(entry, "propKey");
        for (const QJsonValue &v : array(entry, "dictList"))
            dict.values.append({num(v.toObject(), "id"), text(v.toObject(), "propVal")});
        spu.dicts.insert(dict.id, dict);
    }

    for (const QJsonValue &value : array(data, "skuGroupList")) {
        const QJsonObject entry = value.toObject();
        skuGroupMess group;
        group.id = num(entry, "id");
        group.spuId = num(entry, "spuId");
        group.isSeries = flag(entry, "isSeries");
        group.skuGroupName = text(entry, "skuGroupName");
        group.dictIds = skuGroupMess::parseDictIdSet(text(entry, "dictIdSet"));
        const QJsonArray skuList = array(entry, "skuList");
        if (spu.isSeries) {
            const QJsonObject seriesSku = skuList.at(0).toObject();
            group.seriesSkuId = num(seriesSku, "id");
            group.price = seriesSetPrice(seriesSku, terms);
            group.associatedSkus = array(seriesSku, "seriesAssociateSkuList");
            for (const QJsonValue &m : group.associatedSkus) {
                skuMess member = parseSku(m.toObject());
                applyGeometry(member, m.toObject(), spu.spuMinDpi, spu.spuMaxDpi);
                group.skus.insert(member.id, member);
            }
        } else {
            for (const QJsonValue &s : skuList) {
                const skuMess sku = parseSku(s.toObject());
                group.skus.insert(sku.id, sku);
            }
        }
        spu.groupsById.insert(group.id, group);
    }
    spu.updateCandidates();
    return spu;
}
