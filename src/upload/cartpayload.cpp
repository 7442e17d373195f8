#include "upload/cartpayload.h"

#include <map>

#include <QJsonDocument>
#include <QSqlRecord>
#include <QVariant>

#include "core/configfile.h"
#include "core/logmanager.h"
#include "core/numbertext.h"
#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "store/sqlstatements.h"

namespace {

QJsonObject storedImage(const imgMess &page, int sort, const QString &type)
{
    return QJsonObject{{"rotate", page.IsRotate},
                       {"itemType", "CUSTOM"},
                       {"name", page.name},
                       {"sort", sort},
                       {"type", type},
                       {"url", CartPayload::placeholderUrl()},
                       {"imgDetail", QJsonObject{{"color", page.color},
                                                 {"height", page.height},
                                                 {"width", page.width},
                                                 {"xdpi", page.xdpi},
                                                 {"ydpi", page.ydpi}}}};
}

QJsonObject storedBlock(qint32 skuId, const subOrderImages &entry)
{
    QJsonObject block{{"skuId", skuId}};
    const QList<imgMess> *pages = nullptr;
    QString type;
    if (!entry.innerImages.isEmpty()) {
        pages = &entry.innerImages;
        type = entry.pageType == QLatin1String("SINGLE") ? QStringLiteral("SINGLE") : QStringLiteral("TEXT");
    } else if (!entry.singleImages.isEmpty()) {
        pages = &entry.singleImages;
        type = QStringLiteral("SINGLE");
    }
    QJsonArray images;
    if (pages) {
        for (int i = 0; i < pages->size(); ++i)
            images.append(storedImage(pages->at(i), i, type));
        block.insert("page", images.size());
    }
    block.insert("images", images);
    return block;
}

// Prices are floats: rows stored before they were written in their shortest
// form hold the digits of the float widened to double, which the shop would
// take as a different price.
QString priceText(const QVariant &stored)
{
    bool isNumber = false;
    const double value = stored.toDouble(&isNumber);
    if (stored.isNull() || !isNumber)
        return stored.toString();
    return NumberText::shortest(float(value));
}

QJsonObject cartImage(const QSqlRecord &row)
{
    const QString url = row.value("url").toString();
    const bool pdf = url.endsWith(QLatin1String(".pdf"), Qt::CaseInsensitive);
    QJsonObject image{{"rotate", row.value("IsRotate").toInt()},
                      {"itemType", "CUSTOM"},
                      {"name", row.value("name").toString()},
                      {"type", row.value("type").toString()},
                      {"sort", row.value("sort").toInt()},
                      {"url", url},
                      {"specialEffect", pdf},
                      {"specialLayout", row.value("specialLayout").toInt()},
                      {"specialLayoutWhitePagePosition", row.value("specialLayoutWhitePagePosition").toString()}};
    if (!pdf)
        image.insert("imgDetail", QJsonDocument::fromJson(row.value("imageMess").toString().toUtf8()).object());
    return image;
}

} // namespace

QString CartPayload::placeholderUrl()
{
    return configFile::imageHost() + QStringLiteral("/normal-order-image/10001/5f284fbbf9f10951a69a539fa550b03e.jpg");
}

QJsonArray CartPayload::buildStoredPayload(const orderGroup &order)
{
    const SessionData session = VellRuntime::instance().snapshot();
    QJsonArray lines;
    for (const groupProductImages &line : order.subOrders) {
        QJsonArray skus;
        for (auto it = line.matched.begin(); it != line.matched.end(); ++it)
            skus.append(storedBlock(it.key(), it.value()));
        lines.append(QJsonObject{{"addressId", session.addressId},
                                 {"channel", "B2B"},
                                 {"memo", line.name},
                                 {"normal", false},
                                 {"quantity", 1},
                                 {"sample", false},
                                 {"spuId", order.spuID},
                                 {"series", order.ifSeries},
                                 {"skuGroupId", line.skuGroupId},
                                 {"skuId", line.skuId},
                                 {"spuType", true},
                                 {"storeId", session.storeId},
                                 {"skus", skus}});
    }
    return lines;
}

QHash<int, QJsonObject> CartPayload::fetchCartItems(const QString &joinedOrderNos)
{
    QHash<int, QJsonObject> items;
    const SessionData session = VellRuntime::instance().snapshot();
    QList<QSqlRecord> lines;
    const QSqlError error = runQuery(sharedDatabase(), Sql::SQL_SELECT_SUBORDERS.arg(joinedOrderNos), lines);
    if (error.type() != QSqlError::NoError) {
        LogManager::logError(QStringLiteral("获取子订单失败:") + error.text());
        return items;
    }

    for (const QSqlRecord &line : lines) {
        const int groupId = line.value("skuGroupID").toInt();
        QJsonObject item = items.value(groupId);
        if (item.isEmpty()) {
            item = QJsonObject{{"channel", "B2B"},
                               {"itemType", "CUSTOM"},
                               {"normal", false},
                               {"originType", "PCT"},
                               {"sample", false},
                               {"series", line.value("ifSeries").toBool()},
                               {"skuGroupId", groupId},
                               {"spuId", line.value("spuID").toInt()},
                               {"storeId", session.storeId},
                               {"spus", QJsonArray()}};
        }
        item.insert("skuId", line.value("skuID").toInt());

        const QString orderName = line.value("orderName").toString();
        QJsonObject lineObject{{"addressId", session.addressId},
                               {"memo", QStringLiteral("%1-%2").arg(orderName, line.value("name").toString())},
                               {"price", priceText(line.value("price"))},
                               {"quantity", 1},
                               {"spuId", line.value("spuID").toInt()},
                               {"folderName", orderName}};

        QList<QSqlRecord> rows;
        const QString sql = Sql::SQL_SELECT_SUBORDER_IMAGES.arg(sqlEscaped(line.value("orderNo").toString()));
        const QSqlError imageError = runQuery(sharedDatabase(), sql, rows);
        if (imageError.type() != QSqlError::NoError)
            LogManager::logError(QStringLiteral("获取子订单图片失败:") + imageError.text());

        std::map<int, QJsonArray> bySku;
        std::map<int, int> pages;
        for (const QSqlRecord &row : rows) {
            if (row.value("url").toString().isEmpty())
                LogManager::logError(QStringLiteral("图片没上传完，图片路径为空"));
            const int skuId = row.value("skuId").toInt();
            bySku[skuId].append(cartImage(row));
            if (row.value("type").toString() != QLatin1String("COVER"))
                ++pages[skuId];
        }
        QJsonArray skus;
        for (const auto &[skuId, images] : bySku)
            skus.append(QJsonObject{{"images", images}, {"page", pages[skuId]}, {"skuId", skuId}});
        lineObject.insert("skus", skus);

        QJsonArray spus = item.value("spus").toArray();
        spus.append(lineObject);
        item.insert("spus", spus);
        items.insert(groupId, item);
    }
    return items;
}
