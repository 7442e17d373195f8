#pragma once

#include <QList>
#include <QStringList>

#include "model/imgmess.h"
#include "model/ordergroup.h"
#include "model/productrecord.h"

// The operations on orders, sub-orders, images and products, each one
// request of the database worker; they run on its thread only. Values go
// into the statements through sqlEscaped(), so they are stored unchanged.
class OrderRecords final
{
public:
    OrderRecords() = delete;

    // Lines and their images first; the order row only when all of them
    // were stored.
    static bool createOrder(const orderGroup &order);
    static bool insertSubOrder(const groupProductImages &line, const QString &orderNo, const QString &created);
    static bool insertImages(const groupProductImages &line, const QString &orderNo);
    static void saveProducts(const QList<productRecord> &products);
    // Orders, sub-orders and images of the quoted numbers; each statement
    // runs even when an earlier one failed.
    static void deleteOrders(const QStringList &quotedOrderNos);
    // listType 1 uploading, 2 uploaded, other cart.
    static QList<orderGroup> fetchOrders(int limit, int listType);
    // Up to 50 waiting images, or uploading ones whose lease is older than
    // `leaseSeconds`, now leased.
    static QList<imgMess> leaseImages(int leaseSeconds);
    // Marks the image uploaded and counts it for its order, only when its row
    // was still uploading. Returns the order's uploadedCount, 0 on failure.
    static int recordUploadedImage(const imgMess &image);
    static void markOrdersInCart(const QStringList &quotedOrderNos);

    // Shortest text of a float, as the size and price columns take it.
    static QString shortest(float value);
};
