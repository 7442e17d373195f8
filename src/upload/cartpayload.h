#pragma once

#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include "model/ordergroup.h"

// The two JSON documents by which an order reaches the shop's cart: the
// payload stored with a new order (page structure, placeholder addresses)
// and the cart items assembled from the database (real addresses). Run on
// the database worker thread.
class CartPayload final
{
public:
    CartPayload() = delete;

    static QJsonArray buildStoredPayload(const orderGroup &order);
    // Cart items by SKU group id for quoted order numbers joined with ",";
    // lines of one SKU group are merged. Empty on a query error (logged).
    static QHash<int, QJsonObject> fetchCartItems(const QString &joinedOrderNos);

    // The placeholder address of the stored payload.
    static QString placeholderUrl();
};
