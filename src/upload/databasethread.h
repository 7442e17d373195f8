#pragma once

#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QMutex>
#include <QStringList>
#include <QThread>
#include <QWaitCondition>

#include "model/imgmess.h"
#include "model/ordergroup.h"
#include "model/productrecord.h"
#include "model/queuecounts.h"

// The one worker that runs every statement on the local queue database.
// Requesters on any thread append a request and return at once; the worker
// serves requests strictly in arrival order, one at a time under its one
// mutex, and answers through signals (queued to receivers on the GUI thread).
class DatabaseThread final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(DatabaseThread)

public:
    enum DbRequest {
        StoreUploadedImage = 0,
        FetchImagesToUpload = 1,
        SaveProducts = 2,
        CreateOrder = 3,
        DeleteOrders = 4,
        MarkOrdersInCart = 5,
        FetchOrders = 6,
        FetchCartItems = 7,
        StoreFailedUpload = 8,
        ReleaseHeldImages = 9,
        BeginCartPost = 10,
        AbandonCartPost = 11,
        CountQueue = 12,
    };

    static DatabaseThread &instance();
    ~DatabaseThread() override;

    // The images are recorded in one transaction.
    void storeUploadedImages(const QList<imgMess> &images);
    // Dropped while another lease request is still pending. See
    // OrderRecords::leaseImages for `givenBefore` and `count`.
    void fetchImagesToUpload(int leaseSeconds, qint64 givenBefore = 0, int count = 50);
    void saveProducts(const QList<productRecord> &products);
    // The order and the product records it refers to are stored together or
    // not at all; orderCreated tells which.
    void createOrder(const orderGroup &order, const QList<productRecord> &products = {});
    void deleteOrders(const QStringList &quotedOrderNos);
    void markOrdersInCart(const QStringList &quotedOrderNos);
    void fetchOrders(int listType);
    void fetchCartItems(const QStringList &quotedOrderNos);
    // A failed upload back to the queue: retried later, or, with a problem,
    // held for the operator (OrderRecords::recordFailedUpload).
    void storeFailedUpload(const imgMess &image, const QString &problem);
    void releaseHeldImages(const QStringList &quotedOrderNos);
    // Records the orders as being posted to the cart (again: after the
    // operator confirmed a repeat); answered by cartPostBegun.
    void beginCartPost(const QStringList &quotedOrderNos, bool again);
    // Drops the record of a post that the backend refused or never got.
    void abandonCartPost(const QStringList &quotedOrderNos);
    // Answered by queueCounted; one request at a time, a later one while it
    // waits only moves its start.
    void countQueue(qint64 sinceSecs);

    // Serves what was requested before the call, then ends the thread; a
    // later request starts it again. For an orderly end of the process.
    void stop();
    // While paused, requests queue up without being served, so a batch of
    // them is seen as it would be by a busy worker.
    void setPaused(bool paused);

signals:
    void uploadingOrderDate(const QString &orderId, int num);
    void uploadImages(const QList<imgMess> &imageMesses);
    void ordersGetSig(int type, const QList<orderGroup> &orders);
    void subOrderGetSig(const QStringList &ordersList, const QHash<int, QJsonObject> &productList);
    // Outcome of one createOrder request; emitted from the worker thread.
    void orderCreated(const QString &orderNo, bool stored);
    // The record is written (recorded) or not, and then nothing may be posted.
    void cartPostBegun(const QStringList &ordersList, bool recorded);
    // Sent before the uploaded or cart list: the cart posts still recorded
    // after the posted ones were marked, order number -> state.
    void cartPostsPending(const QHash<QString, QString> &states);
    void queueCounted(const QueueCounts &counts);
    // Outcomes the database refused to record (locked, disk full): their
    // images stay leased to this run until the scheduler hands them in again.
    void uploadsNotRecorded(const QList<imgMess> &images);
    void failureNotRecorded(const imgMess &image, const QString &problem);

protected:
    void run() override;

private:
    DatabaseThread();
    // Called with the mutex held.
    void enqueue(DbRequest kind);
    // Takes the request's data under `lock`, then lets it go for the statements.
    void serve(DbRequest kind, QMutexLocker<QMutex> &lock);

    QMutex m_mutex;
    QWaitCondition m_wake;
    QList<int> m_kinds;
    QList<QList<imgMess>> m_uploadedImages;
    QList<QList<productRecord>> m_productBatches;
    QList<orderGroup> m_newOrders;
    QList<QList<productRecord>> m_newOrderProducts;
    QList<QStringList> m_deletions;
    QList<QStringList> m_cartUpdates;
    QList<int> m_listTypes;
    struct LeaseRequest
    {
        int seconds = 0;
        qint64 givenBefore = 0;
        int count = 50;
    };
    QList<LeaseRequest> m_leaseRequests;
    QList<QStringList> m_cartItemRequests;
    QList<QPair<imgMess, QString>> m_failedUploads;
    QList<QStringList> m_releases;
    QList<QPair<QStringList, bool>> m_cartPostBegins;
    QList<QStringList> m_cartPostAbandons;
    qint64 m_countSince = -1; // a queue count waits when not negative
    QList<imgMess> m_leased;
    bool m_stop = false;
    bool m_paused = false;
};
