#include "upload/newordersubmission.h"

#include <QDateTime>
#include <QHash>

#include "core/logmanager.h"
#include "core/numbertext.h"
#include "upload/databasethread.h"

NewOrderSubmission::NewOrderSubmission(QObject *parent)
    : QObject(parent)
{
    connect(&DatabaseThread::instance(), &DatabaseThread::orderCreated, this, &NewOrderSubmission::orderStored);
}

QString NewOrderSubmission::submit(const QList<Row> &rows)
{
    // No product chosen: nothing can be stored for any row.
    if (m_skuTable.isEmpty())
        return QStringLiteral("请先选择产品");
    QMap<QString, orderGroup> orders; // by class folder
    QStringList folders;              // in the list's order
    QMap<QString, QStringList> keys;  // by class folder
    QHash<QString, qint64> bytes;     // by class folder
    for (const Row &row : rows) {
        // A row still being checked has no result yet: nothing to replace.
        if (row.state == groupProductImages::matchingText)
            return QStringLiteral("选中的订单中有还未匹配成功的订单，请确认订单的状态。");
        if (!row.record->isMatched())
            return QStringLiteral("选中的订单中有匹配失败的,替换后再上传。");
        if (row.state != groupProductImages::successText)
            return QStringLiteral("选中的订单中有还未匹配成功的订单，请确认订单的状态。");
        const QString &folder = row.folder;
        if (!orders.contains(folder)) {
            orderGroup order;
            order.name = folder;
            order.orderNo = groupProductImages::makeOrderNo(QDateTime::currentDateTime(), row.row);
            orders.insert(folder, order);
            folders << folder;
        }
        orderGroup &order = orders[folder];
        const productRecord product = m_skuTable.value(m_skuTable.size() == 1 ? m_skuTable.firstKey() : row.skuId);
        bytes[folder] += row.record->totalBytes;
        order.fileCout += row.record->imageCount;
        order.productName = product.spuName;
        order.skuGroupName = product.skuGroupName;
        if (!order.skuGroupNames.contains(product.skuGroupName))
            order.skuGroupNames << product.skuGroupName;
        order.subOrders << *row.record;
        order.spuID = product.spuId;
        order.ifSeries = product.isSeries;
        keys[folder] << row.record->orderNo;
    }
    if (orders.isEmpty())
        return QStringLiteral("请选择要上传的订单");

    m_stored.clear();
    m_failed.clear();
    for (const QString &folder : folders) {
        orderGroup &order = orders[folder];
        order.size = NumberText::megabytes(bytes.value(folder));
        m_pending.insert(order.orderNo, qMakePair(folder, keys.value(folder)));
        DatabaseThread::instance().createOrder(order, m_skuTable.values());
    }
    return QString();
}

void NewOrderSubmission::orderStored(const QString &orderNo, bool stored)
{
    if (!m_pending.contains(orderNo))
        return;
    const auto [folder, keys] = m_pending.take(orderNo);
    if (stored) {
        m_stored << folder;
        emit rowsStored(keys);
    } else {
        m_failed << folder;
        LogManager::logError(QStringLiteral("订单未能保存，保留在列表中:%1(%2)").arg(folder, orderNo));
    }
    if (m_pending.isEmpty())
        emit finished(m_stored, m_failed);
}
