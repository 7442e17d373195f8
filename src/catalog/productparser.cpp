#include "catalog/productparser.h"

#include <cmath>

#include <QJsonArray>
#include <QJsonDocument>

#include "core/jsonnumber.h"
#include "core/logmanager.h"

namespace {

// No print product measures or costs this much; larger values read as
// missing rather than as infinities in single precision.
constexpr double kMaxReal = 1.0e7;

qint32 num(const QJsonObject &obj, const char *key)
{
    return JsonNumber::toInt32(obj.value(QLatin1String(key)));
}

float real(const QJsonObject &obj, const char *key)
{
    const double value = obj.value(QLatin1String(key)).toDouble(0.0);
    return std::isfinite(value) && std::fabs(value) <= kMaxReal ? float(value) : 0.0f;
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

// The value as the operator would find it in the catalogue, cut short.
QString shortJson(const QJsonValue &value)
{
    if (value.isUndefined())
        return QStringLiteral("缺失");
    const QByteArray wrapped = QJsonDocument(QJsonArray{value}).toJson(QJsonDocument::Compact);
    const QString text = QString::fromUtf8(wrapped.mid(1, wrapped.size() - 2));
    return text.size() > 40 ? text.left(40) + QStringLiteral("…") : text;
}

bool isId(const QJsonValue &value)
{
    return JsonNumber::toInt32(value) > 0;
}

// What the product query's `data` lacks for the client to read it, or empty.
QString shapeProblem(const QJsonObject &data)
{
    const QJsonValue groups = data.value(QLatin1String("skuGroupList"));
    if (!groups.isArray())
        return QStringLiteral("skuGroupList 不是数组: %1").arg(shortJson(groups));
    if (groups.toArray().isEmpty())
        return QStringLiteral("没有SKU组");
    const QJsonValue dicts = data.value(QLatin1String("spuDictList"));
    if (!dicts.isUndefined() && !dicts.isNull() && !dicts.isArray())
        return QStringLiteral("spuDictList 不是数组: %1").arg(shortJson(dicts));
    const bool series = flag(data, "isSeries");
    for (const QJsonValue &groupValue : groups.toArray()) {
        const QJsonObject group = groupValue.toObject();
        if (!groupValue.isObject() || !isId(group.value(QLatin1String("id"))))
            return QStringLiteral("SKU组的 id 不对: %1").arg(shortJson(groupValue));
        const QJsonValue skuList = group.value(QLatin1String("skuList"));
        if (!skuList.isArray() || skuList.toArray().isEmpty())
            return QStringLiteral("SKU组 %1 的 skuList 不是数组或为空").arg(num(group, "id"));
        QJsonArray skus = skuList.toArray();
        if (series) {
            const QJsonValue members = skus.at(0).toObject().value(QLatin1String("seriesAssociateSkuList"));
            if (!members.isArray())
                return QStringLiteral("套系组 %1 的 seriesAssociateSkuList 不是数组").arg(num(group, "id"));
            skus = members.toArray();
        }
        for (const QJsonValue &sku : skus) {
            if (!sku.isObject() || !isId(sku.toObject().value(QLatin1String("id"))))
                return QStringLiteral("SKU组 %1 中SKU的 id 不对: %2").arg(num(group, "id")).arg(shortJson(sku));
        }
    }
    return QString();
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
        cs.areaWidth = cs.totalWidth + float(num(area, "areaLeft")) + float(num(area, "areaRight"));
        cs.areaHeight = cs.totalHeight + float(num(area, "areaTop")) + float(num(area, "areaBottom"));
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

bool ProductParser::applyGroupList(skuGroupMess &group, const QJsonObject &response, qint32 firstDpi, qint32 secondDpi)
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

bool ProductParser::readProduct(const QJsonValue &data, const StoreTerms &terms, spuMess *spu, QString *problem)
{
    QString detail =
        data.isObject() ? shapeProblem(data.toObject()) : QStringLiteral("data 不是对象: %1").arg(shortJson(data));
    spuMess parsed;
    if (detail.isEmpty()) {
        parsed = parseProduct(data.toObject(), terms);
        for (const skuGroupMess &group : parsed.groupsById) {
            for (const skuMess &sku : group.skus) {
                if (detail.isEmpty())
                    detail = sku.rangeProblem();
            }
        }
    }
    if (!detail.isEmpty()) {
        *problem = QStringLiteral("产品数据有误，请联系客服: %1").arg(detail);
        LogManager::logWarning(*problem);
        return false;
    }
    *spu = parsed;
    return true;
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
