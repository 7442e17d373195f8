#pragma once

#include <QTest>

#include "upload/databasethread.h"

// Asks the worker for the order list and waits for the answer, which also
// means that everything queued before it was served. The answer is taken
// queued in the caller's thread, not read while the worker writes it.
inline bool listedOrders(QList<orderGroup> *shown = nullptr)
{
    bool answered = false;
    QObject receiver;
    QObject::connect(&DatabaseThread::instance(), &DatabaseThread::ordersGetSig, &receiver,
                     [&](int, const QList<orderGroup> &orders) {
                         if (shown)
                             *shown = orders;
                         answered = true;
                     });
    DatabaseThread::instance().fetchOrders(1);
    return QTest::qWaitFor([&] { return answered; }, 10000);
}
