#pragma once

#include <QHash>
#include <QString>
#include <QStringList>

// The durable record of cart posts, by which an order reaches the shop's cart
// at most once. A record is written before the post ("posting"), turned into
// "posted" when the backend took the items and removed once the orders are
// marked in the cart; one left behind says which orders were, or may have
// been, posted. Runs on the database worker thread only; order numbers come
// quoted as the other operations take them.
class CartPostJournal final
{
public:
    CartPostJournal() = delete;

    static inline const QString posting = QStringLiteral("posting");
    static inline const QString posted = QStringLiteral("posted");

    // Records the orders as being posted. Without `again` an order that
    // already has a record makes the whole call fail and nothing is written;
    // false also when the record cannot be written (then nothing may be posted).
    static bool begin(const QStringList &quotedOrderNos, bool again);
    // The post was refused or never sent: the orders may be posted again.
    static void abandon(const QStringList &quotedOrderNos);
    // The cart holds the orders: records them posted, marks them in the cart
    // and drops the records once marked. False when the marking failed; the
    // "posted" records then stay for settle().
    static bool complete(const QStringList &quotedOrderNos);
    // Marks the orders recorded as posted that are not yet in the cart, drops
    // the records of orders in the cart or gone, and returns what remains:
    // order number -> state.
    static QHash<QString, QString> settle();
};
