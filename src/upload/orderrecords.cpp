#include "upload/orderrecords.h"

#include <atomic>

#include <QDateTime>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlRecord>
#include <QVariant>

#include "core/logmanager.h"
#include "core/numbertext.h"
#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "store/sqlstatements.h"
#include "upload/cartpayload.h"

namespace {

std::atomic<int> g_firstRetrySeconds{15};
std::atomic<int> g_retryCapSeconds{300};

QString minuteNow()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm"));
}

QString secondsNow()
{
    return QString::number(QDateTime::currentSecsSinceEpoch());
}

QString number(qint64 value)
{
    return QString::number(value);
}

QString imageTuple(const imgMess &image, const QString &userId, const QString &subOrderId, const QString &orderId,
                   qint32 skuId, int sort, const QString &type)
{
    const QJsonObject mess{{"color", image.color},
                           {"height", image.height},
                           {"width", image.width},
                           {"xdpi", image.xdpi},
                           {"ydpi", image.ydpi}};
    return Sql::SQL_INSERT_IMAGE_TUPLE.arg(
        sqlEscaped(image.name), userId, sqlEscaped(image.imageName), sqlEscaped(subOrderId), sqlEscaped(orderId),
        number(skuId), number(image.size), number(image.IsRotate), number(sort), sqlEscaped(type),
        sqlEscaped(image.localPath), sqlEscaped(QString::fromUtf8(QJsonDocument(mess).toJson(QJsonDocument::Compact))),
        number(image.specialLayout ? 1 : 0), sqlEscaped(image.specialLayoutWhitePagePosition),
        number(image.BucketType ? 1 : 0));
}

void attachHeldImages(QList<orderGroup> &orders)
{
    QList<QSqlRecord> rows;
    if (runQuery(sharedDatabase(), Sql::SQL_SELECT_HELD_IMAGES, rows).type() != QSqlError::NoError)
        return;
    QHash<QString, QStringList> held;
    for (const QSqlRecord &row : rows) {
        held[row.value(0).toString()] << QStringLiteral("%1：%2").arg(row.value(1).toString(), row.value(2).toString());
    }
    for (orderGroup &order : orders) {
        if (held.contains(order.orderNo))
            order.details.insert(OrderRecords::heldImagesKey(), held.value(order.orderNo));
    }
}

} // namespace

bool OrderRecords::insertImages(const groupProductImages &line, const QString &orderNo, qint32 customerId)
{
    const QString userId = number(customerId);
    QStringList tuples;
    for (auto it = line.matched.begin(); it != line.matched.end(); ++it) {
        const subOrderImages &entry = it.value();
        const qint32 skuId = it.key();
        for (int i = 0; i < entry.coverImages.size(); ++i)
            tuples << imageTuple(entry.coverImages.at(i), userId, line.orderNo, orderNo, skuId, i,
                                 QStringLiteral("COVER"));
        for (int i = 0; i < entry.innerImages.size(); ++i)
            tuples << imageTuple(entry.innerImages.at(i), userId, line.orderNo, orderNo, skuId, i,
                                 QStringLiteral("TEXT"));
        const QString otherType = entry.pageType.isEmpty() ? QStringLiteral("SINGLE") : entry.pageType;
        for (int i = 0; i < entry.singleImages.size(); ++i)
            tuples << imageTuple(entry.singleImages.at(i), userId, line.orderNo, orderNo, skuId, i, otherType);
    }
    if (tuples.isEmpty())
        return true;
    const QString sql = Sql::SQL_INSERT_IMAGES + tuples.join(QLatin1Char(','));
    if (execStatement(sharedDatabase(), sql))
        return true;
    LogManager::logError(QStringLiteral("增加图片到数据库失败:") + sql);
    return false;
}

bool OrderRecords::insertSubOrder(const groupProductImages &line, const QString &orderNo, const QString &created,
                                  qint32 customerId)
{
    const QString sql =
        Sql::SQL_INSERT_SUBORDER.arg(sqlEscaped(line.orderNo), sqlEscaped(line.name), created, sqlEscaped(orderNo),
                                     number(line.skuId), number(line.imageCount), NumberText::shortest(line.price));
    if (!insertImages(line, orderNo, customerId))
        return false;
    if (execStatement(sharedDatabase(), sql))
        return true;
    LogManager::logError(QStringLiteral("增加子订单SQL失败:") + sql);
    return false;
}

bool OrderRecords::createOrder(const orderGroup &order, const QList<productRecord> &products)
{
    const QString payload =
        QString::fromUtf8(QJsonDocument(CartPayload::buildStoredPayload(order)).toJson(QJsonDocument::Compact));
    const QString created = minuteNow();
    const qint32 customerId = order.customerId != 0 ? order.customerId : VellRuntime::instance().userId();
    const QString sql = Sql::SQL_INSERT_ORDER.arg(
        sqlEscaped(order.orderNo), sqlEscaped(order.name), sqlEscaped(order.productName),
        sqlEscaped(order.skuGroupNames.join(QStringLiteral("/n"))), created, sqlEscaped(payload),
        NumberText::shortest(order.size), number(customerId), number(order.subOrders.size()), number(order.fileCout),
        number(order.spuID), number(order.ifSeries ? 1 : 0));
    const bool stored = runAtomically(sharedDatabase(), [&] {
        if (!saveProducts(products))
            return false;
        for (const groupProductImages &line : order.subOrders) {
            if (!insertSubOrder(line, order.orderNo, created, customerId))
                return false;
        }
        return execStatement(sharedDatabase(), sql);
    });
    if (!stored)
        LogManager::logError(QStringLiteral("订单保存失败，未写入任何记录:%1").arg(order.orderNo));
    return stored;
}

bool OrderRecords::saveProducts(const QList<productRecord> &products)
{
    for (const productRecord &p : products) {
        if (!execStatement(sharedDatabase(), Sql::SQL_INSERT_PRODUCT.arg(
                                                 sqlEscaped(p.spuName), sqlEscaped(p.skuGroupName),
                                                 sqlEscaped(p.priceText), number(p.skuId), number(p.spuId),
                                                 number(p.skuGroupId), number(p.isSeries ? 1 : 0), number(p.parentId))))
            return false;
    }
    return true;
}

void OrderRecords::deleteOrders(const QStringList &quotedOrderNos)
{
    const QString list = quotedOrderNos.join(QLatin1Char(','));
    execStatement(sharedDatabase(), Sql::SQL_DELETE_ORDERS.arg(list));
    execStatement(sharedDatabase(), Sql::SQL_DELETE_SUBORDERS.arg(list));
    execStatement(sharedDatabase(), Sql::SQL_DELETE_IMAGES.arg(list));
    execStatement(sharedDatabase(), Sql::SQL_DELETE_HOLDS.arg(list));
}

QList<orderGroup> OrderRecords::fetchOrders(int limit, int listType)
{
    const QString &statement = listType == 1   ? Sql::SQL_SELECT_UPLOADING_ORDERS
                               : listType == 2 ? Sql::SQL_SELECT_UPLOADED_ORDERS
                                               : Sql::SQL_SELECT_CART_ORDERS;
    QList<QSqlRecord> rows;
    const QSqlError error =
        runQuery(sharedDatabase(), statement.arg(number(VellRuntime::instance().userId()), number(limit)), rows);
    QList<orderGroup> orders;
    if (error.type() != QSqlError::NoError) {
        LogManager::logError(QStringLiteral("获取正在上传订单失败:") + error.text());
        return orders;
    }
    for (const QSqlRecord &row : rows) {
        orderGroup order;
        order.orderNo = row.value("orderNo").toString();
        order.name = row.value("name").toString();
        order.productName = row.value("productName").toString();
        order.skuGroupName = row.value("skuGroupName").toString();
        order.timeCart = row.value("timeCart").toString();
        order.spuID = row.value("spuID").toInt();
        order.ifSeries = row.value("ifSeries").toInt() != 0;
        order.orderCount = row.value("orderCount").toInt();
        order.fileCout = row.value("fileCout").toInt();
        order.uploadedCount = row.value("uploadedCount").toInt();
        order.size = row.value("size").toDouble();
        order.status = row.value("status").toString();
        order.orderJson = QJsonDocument::fromJson(row.value("orderJson").toString().toUtf8()).array();
        orders << order;
    }
    if (listType == 1 && !orders.isEmpty())
        attachHeldImages(orders);
    return orders;
}

QueueCounts OrderRecords::countQueue(qint64 sinceSecs)
{
    QList<QSqlRecord> rows;
    const QSqlError error = runQuery(
        sharedDatabase(), Sql::SQL_COUNT_QUEUE.arg(number(sinceSecs), number(VellRuntime::instance().userId())), rows);
    QueueCounts counts;
    if (error.type() != QSqlError::NoError || rows.isEmpty()) {
        LogManager::logError(QStringLiteral("统计上传队列失败:") + error.text());
        return counts;
    }
    counts.imagesDone = rows.first().value(0).toInt();
    counts.bytesDone = qint64(rows.first().value(1).toDouble());
    counts.imagesLeft = rows.first().value(2).toInt();
    counts.bytesLeft = qint64(rows.first().value(3).toDouble());
    counts.imagesOtherAccounts = rows.first().value(4).toInt();
    return counts;
}

QList<imgMess> OrderRecords::leaseImages(int leaseSeconds, qint64 givenBefore, int count)
{
    // Never dated before the run's mark, so a later lease of the same run
    // cannot mistake its own for a dead run's.
    const QString now = QString::number(qMax(QDateTime::currentSecsSinceEpoch(), givenBefore));
    const QString customer = number(VellRuntime::instance().userId());
    QList<QSqlRecord> picked;
    QList<QSqlRecord> rows;
    QSqlError error;
    // Picked and leased in one transaction: the flag read with the old lease
    // time belongs to exactly the rows leased.
    runAtomically(sharedDatabase(), [&] {
        error = runQuery(sharedDatabase(),
                         Sql::SQL_PICK_IMAGES.arg(now, number(leaseSeconds), number(givenBefore), customer,
                                                  number(qBound(1, count, 500))),
                         picked);
        if (error.type() != QSqlError::NoError || picked.isEmpty())
            return error.type() == QSqlError::NoError;
        QStringList ids;
        for (const QSqlRecord &row : picked)
            ids << number(row.value(0).toLongLong());
        error = runQuery(sharedDatabase(), Sql::SQL_LEASE_IMAGES.arg(now, ids.join(QLatin1Char(','))), rows);
        return error.type() == QSqlError::NoError;
    });
    QList<imgMess> images;
    if (error.type() != QSqlError::NoError) {
        LogManager::logError(QStringLiteral("获取上传完成订单出错:") + error.text());
        return images;
    }
    QHash<qint64, bool> mayBeStored;
    for (const QSqlRecord &row : picked)
        mayBeStored.insert(row.value(0).toLongLong(), row.value(1).toBool());
    for (const QSqlRecord &row : rows) {
        imgMess image;
        image.name = row.value("name").toString();
        image.imageName = row.value("imageName").toString();
        image.id = row.value("id").toInt();
        image.size = row.value("size").toLongLong();
        image.subOrderId = row.value("subOrderId").toString();
        image.orderId = row.value("orderId").toString();
        image.localPath = row.value("localPath").toString();
        image.BucketType = row.value("BucketType").toBool();
        image.mayBeStored = mayBeStored.value(image.id, true);
        images << image;
    }
    return images;
}

QList<imgMess> OrderRecords::recordUploadedImages(const QList<imgMess> &images, QHash<QString, int> &counts)
{
    QList<imgMess> refused;
    if (images.isEmpty())
        return refused;
    const QString seconds = secondsNow();
    const QString minute = minuteNow();
    QStringList orders;
    // One commit for the outcomes that came in together: each commit waits
    // for the disk. An order counts an image only when its row really moved
    // from uploading to uploaded, so an image uploaded twice is counted once.
    const bool committed = runAtomically(sharedDatabase(), [&] {
        for (const imgMess &image : images) {
            LogManager::logInfo(
                QStringLiteral("图片上传成功修改数据库：%1:%2:%3").arg(image.url).arg(image.id).arg(image.orderId));
            bool changed = false;
            if (!runInTransactionIfChanged(
                    sharedDatabase(),
                    Sql::SQL_MARK_IMAGE_UPLOADED.arg(seconds, number(image.id), sqlEscaped(image.url)),
                    Sql::SQL_COUNT_UPLOADED_IMAGE.arg(sqlEscaped(image.orderId), minute), &changed)) {
                LogManager::logError(QStringLiteral("更新图片上传完成状态失败"));
                refused << image;
            }
            const QString order = sqlQuoted(image.orderId);
            if (!orders.contains(order))
                orders << order;
        }
        return true;
    });
    if (!committed) {
        LogManager::logError(QStringLiteral("更新图片上传完成状态失败"));
        return images;
    }
    const QString select = Sql::SQL_SELECT_UPLOADED_COUNTS.arg(orders.join(QLatin1Char(',')));
    QList<QSqlRecord> rows;
    if (runQuery(sharedDatabase(), select, rows).type() != QSqlError::NoError) {
        LogManager::logError(QStringLiteral("更新订单上传完状态失败:") + select);
        return refused;
    }
    for (const QSqlRecord &row : rows)
        counts.insert(row.value(0).toString(), row.value(1).toInt());
    return refused;
}

bool OrderRecords::markOrdersInCart(const QStringList &quotedOrderNos)
{
    const QString sql = Sql::SQL_MARK_ORDERS_IN_CART.arg(minuteNow()) + QLatin1Char('(')
                        + quotedOrderNos.join(QLatin1Char(',')) + QLatin1Char(')');
    bool done = execStatement(sharedDatabase(), sql);
    LogManager::logInfo(QStringLiteral("更新订单状态为加入购物车:%1").arg(sql));
    int retries = 0;
    while (!done && retries < 3) {
        LogManager::logError(QStringLiteral("更新订单状态为加入购物车重试次数1:%1").arg(retries));
        ++retries;
        done = execStatement(sharedDatabase(), sql);
    }
    if (retries > 0)
        LogManager::logError(QStringLiteral("更新订单状态为加入购物车重试次数:%1").arg(retries));
    return done;
}

void OrderRecords::setRetryDelays(int firstSeconds, int capSeconds)
{
    g_firstRetrySeconds.store(firstSeconds);
    g_retryCapSeconds.store(capSeconds);
}

bool OrderRecords::recordFailedUpload(const imgMess &image, const QString &problem)
{
    QList<QSqlRecord> rows;
    runQuery(sharedDatabase(), Sql::SQL_SELECT_UPLOAD_ATTEMPTS.arg(number(image.id)), rows);
    const int attempts = (rows.isEmpty() ? 0 : rows.first().value(0).toInt()) + 1;
    const qint64 pause =
        qMin(qint64(g_firstRetrySeconds.load()) << qMin(attempts - 1, 20), qint64(g_retryCapSeconds.load()));
    const QString notBefore = problem.isEmpty() ? QStringLiteral("'%1'").arg(QDateTime::currentSecsSinceEpoch() + pause)
                                                : QStringLiteral("NULL");
    const QString why = problem.isEmpty() ? QStringLiteral("NULL") : sqlQuoted(problem);
    const QString hold = Sql::SQL_HOLD_IMAGE.arg(number(image.id), sqlEscaped(image.orderId),
                                                 sqlEscaped(image.localPath), number(attempts), notBefore, why);
    bool changed = false;
    if (!runInTransactionIfChanged(sharedDatabase(), Sql::SQL_RETURN_FAILED_IMAGE.arg(number(image.id)), hold,
                                   &changed))
        return false;
    if (!changed)
        return true;
    if (problem.isEmpty()) {
        LogManager::logError(
            QStringLiteral("图片上传失败，%1秒后重试：%2:%3").arg(pause).arg(image.id).arg(image.orderId));
    } else {
        LogManager::logError(
            QStringLiteral("图片需要人工处理，订单%1，文件%2：%3").arg(image.orderId, image.localPath, problem));
    }
    return true;
}

void OrderRecords::releaseHeldImages(const QStringList &quotedOrderNos)
{
    execStatement(sharedDatabase(), Sql::SQL_RELEASE_HELD_IMAGES.arg(quotedOrderNos.join(QLatin1Char(','))));
}
