#pragma once

#include <QHash>
#include <QList>
#include <QStringList>

#include "model/imgmess.h"
#include "model/ordergroup.h"
#include "model/productrecord.h"
#include "model/queuecounts.h"

// The operations on orders, sub-orders, images and products, each one
// request of the database worker; they run on its thread only. Values go
// into the statements through sqlEscaped(), so they are stored unchanged.
class OrderRecords final
{
public:
    OrderRecords() = delete;

    // The product records, the lines with their images and the order row in
    // one transaction: after a failure or a crash nothing of the order is
    // stored. False when it was not stored; the reason is logged.
    static bool createOrder(const orderGroup &order, const QList<productRecord> &products = {});
    static bool insertSubOrder(const groupProductImages &line, const QString &orderNo, const QString &created,
                               qint32 customerId);
    static bool insertImages(const groupProductImages &line, const QString &orderNo, qint32 customerId);
    // Stops at the first product that could not be stored.
    static bool saveProducts(const QList<productRecord> &products);
    // Orders, sub-orders and images of the quoted numbers; each statement
    // runs even when an earlier one failed.
    static void deleteOrders(const QStringList &quotedOrderNos);
    // listType 1 uploading, 2 uploaded, other cart.
    static QList<orderGroup> fetchOrders(int limit, int listType);
    // Images stored since `sinceSecs` and those still to go; zeros on a
    // query error (logged).
    static QueueCounts countQueue(qint64 sinceSecs);
    // Up to `count` waiting images, or uploading ones whose lease is older
    // than `leaseSeconds`, was given before the second `givenBefore` (since
    // the epoch) or is dated after now, now leased and dated no earlier than
    // `givenBefore`.
    static QList<imgMess> leaseImages(int leaseSeconds, qint64 givenBefore = 0, int count = 50);
    // Marks each image uploaded and counts it for its order, only when its
    // row was still uploading; all in one transaction. Fills `counts` with the
    // orders' uploadedCount afterwards by order number, and returns the images
    // the database refused to record (all of them when the commit failed).
    static QList<imgMess> recordUploadedImages(const QList<imgMess> &images, QHash<QString, int> &counts);
    // False when the statement still failed after its retries.
    static bool markOrdersInCart(const QStringList &quotedOrderNos);
    // Puts a failed upload back into the queue. With an empty `problem` it
    // may be leased again after a pause that grows with each failure of the
    // image (first, doubled, ... up to the cap); otherwise it waits for the
    // operator, who learns the file and `problem` from the uploading list.
    // Nothing happens when the image is no longer leased. False when the
    // database refused the record.
    static bool recordFailedUpload(const imgMess &image, const QString &problem);
    // The images of the quoted orders that wait for the operator are tried again.
    static void releaseHeldImages(const QStringList &quotedOrderNos);
    // Pause before the first retry and its upper bound, in seconds.
    static void setRetryDelays(int firstSeconds, int capSeconds);
    // Key in orderGroup::details of the uploading list's orders: one
    // "file：problem" text per image that waits for the operator.
    static QString heldImagesKey() { return QStringLiteral("heldImages"); }

    // Shortest text of a float, as the size and price columns take it.
};
