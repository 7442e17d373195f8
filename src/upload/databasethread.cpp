#include "upload/databasethread.h"

#include <utility>

#include <QDebug>
#include <QMutexLocker>

#include "core/logmanager.h"
#include "core/vellruntime.h"
#include "store/shareddatabase.h"
#include "upload/cartpayload.h"
#include "upload/cartpostjournal.h"
#include "upload/orderrecords.h"

DatabaseThread &DatabaseThread::instance()
{
    // Made first, these outlive the worker at process end, so it never runs
    // on a connection or log that is already gone.
    sharedDatabase();
    LogManager::instance();
    static DatabaseThread worker;
    return worker;
}

DatabaseThread::DatabaseThread()
{
    qRegisterMetaType<imgMess>();
    qRegisterMetaType<QList<imgMess>>();
    qRegisterMetaType<orderGroup>();
    qRegisterMetaType<QList<orderGroup>>();
    qRegisterMetaType<QHash<int, QJsonObject>>();
    qRegisterMetaType<QHash<QString, QString>>();
    qRegisterMetaType<QueueCounts>();
}

DatabaseThread::~DatabaseThread()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeOne();
    }
    wait();
}

void DatabaseThread::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeOne();
    }
    wait();
    QMutexLocker lock(&m_mutex);
    m_stop = false;
}

void DatabaseThread::setPaused(bool paused)
{
    QMutexLocker lock(&m_mutex);
    m_paused = paused;
    m_wake.wakeOne();
}

void DatabaseThread::enqueue(DbRequest kind)
{
    m_kinds.append(kind);
    m_wake.wakeOne();
    if (!isRunning())
        start();
}

void DatabaseThread::storeUploadedImages(const QList<imgMess> &images)
{
    QMutexLocker lock(&m_mutex);
    m_uploadedImages.append(images);
    enqueue(StoreUploadedImage);
}

void DatabaseThread::fetchImagesToUpload(int leaseSeconds, qint64 givenBefore, int count)
{
    QMutexLocker lock(&m_mutex);
    if (m_kinds.contains(FetchImagesToUpload))
        return;
    m_leaseRequests.append(LeaseRequest{leaseSeconds, givenBefore, count});
    enqueue(FetchImagesToUpload);
}

void DatabaseThread::saveProducts(const QList<productRecord> &products)
{
    QMutexLocker lock(&m_mutex);
    m_productBatches.append(products);
    enqueue(SaveProducts);
}

void DatabaseThread::createOrder(const orderGroup &order, const QList<productRecord> &products)
{
    // Taken now: by the time the worker stores it another account may have
    // logged in.
    orderGroup owned = order;
    if (owned.customerId == 0)
        owned.customerId = VellRuntime::instance().userId();
    QMutexLocker lock(&m_mutex);
    m_newOrders.append(owned);
    m_newOrderProducts.append(products);
    enqueue(CreateOrder);
}

void DatabaseThread::deleteOrders(const QStringList &quotedOrderNos)
{
    QMutexLocker lock(&m_mutex);
    m_deletions.append(quotedOrderNos);
    enqueue(DeleteOrders);
}

void DatabaseThread::markOrdersInCart(const QStringList &quotedOrderNos)
{
    QMutexLocker lock(&m_mutex);
    m_cartUpdates.append(quotedOrderNos);
    enqueue(MarkOrdersInCart);
}

void DatabaseThread::fetchOrders(int listType)
{
    QMutexLocker lock(&m_mutex);
    m_listTypes.append(listType);
    enqueue(FetchOrders);
}

void DatabaseThread::fetchCartItems(const QStringList &quotedOrderNos)
{
    QMutexLocker lock(&m_mutex);
    m_cartItemRequests.append(quotedOrderNos);
    enqueue(FetchCartItems);
}

void DatabaseThread::storeFailedUpload(const imgMess &image, const QString &problem)
{
    QMutexLocker lock(&m_mutex);
    m_failedUploads.append(qMakePair(image, problem));
    enqueue(StoreFailedUpload);
}

void DatabaseThread::releaseHeldImages(const QStringList &quotedOrderNos)
{
    QMutexLocker lock(&m_mutex);
    m_releases.append(quotedOrderNos);
    enqueue(ReleaseHeldImages);
}

void DatabaseThread::beginCartPost(const QStringList &quotedOrderNos, bool again)
{
    QMutexLocker lock(&m_mutex);
    m_cartPostBegins.append(qMakePair(quotedOrderNos, again));
    enqueue(BeginCartPost);
}

void DatabaseThread::abandonCartPost(const QStringList &quotedOrderNos)
{
    QMutexLocker lock(&m_mutex);
    m_cartPostAbandons.append(quotedOrderNos);
    enqueue(AbandonCartPost);
}

void DatabaseThread::countQueue(qint64 sinceSecs)
{
    QMutexLocker lock(&m_mutex);
    const bool waiting = m_countSince >= 0;
    m_countSince = sinceSecs;
    if (!waiting)
        enqueue(CountQueue);
}

void DatabaseThread::run()
{
    forever {
        QMutexLocker lock(&m_mutex);
        while (m_kinds.isEmpty() || (m_paused && !m_stop)) {
            if (m_stop && m_kinds.isEmpty())
                return;
            m_wake.wait(&m_mutex);
        }
        // Requests still queued at stop are served first: they may hold new
        // orders that exist nowhere else. The lock is let go once the request
        // is taken, so a requester never waits for a long statement.
        serve(DbRequest(m_kinds.takeFirst()), lock);
    }
}

void DatabaseThread::serve(DbRequest kind, QMutexLocker<QMutex> &lock)
{
    switch (kind) {
    case StoreUploadedImage: {
        if (m_uploadedImages.isEmpty()) {
            LogManager::logError(QStringLiteral("uploadingQueue为空：%1").arg(m_uploadedImages.size()));
            return;
        }
        QList<imgMess> images = m_uploadedImages.takeFirst();
        lock.unlock();
        images.removeIf([](const imgMess &image) {
            if (!image.url.isEmpty())
                return false;
            LogManager::logError(QStringLiteral("图片上传成功图片路径为空123：%1:%2").arg(image.id).arg(image.orderId));
            return true;
        });
        QHash<QString, int> counts;
        const QList<imgMess> refused = OrderRecords::recordUploadedImages(images, counts);
        for (const imgMess &image : images) {
            if (counts.contains(image.orderId))
                emit uploadingOrderDate(image.orderId, counts.value(image.orderId));
        }
        if (!refused.isEmpty())
            emit uploadsNotRecorded(refused);
        return;
    }
    case FetchImagesToUpload: {
        const LeaseRequest request = m_leaseRequests.isEmpty() ? LeaseRequest() : m_leaseRequests.takeFirst();
        lock.unlock();
        m_leased =
            OrderRecords::leaseImages(request.seconds < 1 ? 3600 : request.seconds, request.givenBefore, request.count);
        emit uploadImages(m_leased);
        return;
    }
    case SaveProducts:
        if (!m_productBatches.isEmpty()) {
            const QList<productRecord> products = m_productBatches.takeFirst();
            lock.unlock();
            OrderRecords::saveProducts(products);
        }
        return;
    case CreateOrder: {
        if (m_newOrders.isEmpty())
            return;
        const orderGroup order = m_newOrders.takeFirst();
        const QList<productRecord> products = m_newOrderProducts.takeFirst();
        lock.unlock();
        const bool stored = OrderRecords::createOrder(order, products);
        emit orderCreated(order.orderNo, stored);
        return;
    }
    case DeleteOrders:
        if (!m_deletions.isEmpty()) {
            const QStringList orders = m_deletions.takeFirst();
            lock.unlock();
            OrderRecords::deleteOrders(orders);
        }
        return;
    case MarkOrdersInCart:
        if (!m_cartUpdates.isEmpty()) {
            const QStringList orders = m_cartUpdates.takeFirst();
            lock.unlock();
            CartPostJournal::complete(orders);
        }
        return;
    case FetchOrders: {
        const int type = m_listTypes.isEmpty() ? 3 : m_listTypes.takeFirst();
        lock.unlock();
        if (type != 1)
            emit cartPostsPending(CartPostJournal::settle());
        emit ordersGetSig(type, OrderRecords::fetchOrders(100, type));
        return;
    }
    case FetchCartItems: {
        qDebug() << "subOrderListGetQueue:" << m_cartItemRequests.size();
        const QStringList orders = m_cartItemRequests.isEmpty() ? QStringList() : m_cartItemRequests.takeFirst();
        lock.unlock();
        emit subOrderGetSig(orders, CartPayload::fetchCartItems(orders.join(QLatin1Char(','))));
        return;
    }
    case StoreFailedUpload:
        if (!m_failedUploads.isEmpty()) {
            const QPair<imgMess, QString> failed = m_failedUploads.takeFirst();
            lock.unlock();
            if (!OrderRecords::recordFailedUpload(failed.first, failed.second))
                emit failureNotRecorded(failed.first, failed.second);
        }
        return;
    case ReleaseHeldImages:
        if (!m_releases.isEmpty()) {
            const QStringList orders = m_releases.takeFirst();
            lock.unlock();
            OrderRecords::releaseHeldImages(orders);
        }
        return;
    case BeginCartPost: {
        const auto [orders, again] =
            m_cartPostBegins.isEmpty() ? qMakePair(QStringList(), false) : m_cartPostBegins.takeFirst();
        lock.unlock();
        emit cartPostBegun(orders, CartPostJournal::begin(orders, again));
        return;
    }
    case AbandonCartPost:
        if (!m_cartPostAbandons.isEmpty()) {
            const QStringList orders = m_cartPostAbandons.takeFirst();
            lock.unlock();
            CartPostJournal::abandon(orders);
        }
        return;
    case CountQueue: {
        const qint64 since = std::exchange(m_countSince, -1);
        lock.unlock();
        if (since >= 0)
            emit queueCounted(OrderRecords::countQueue(since));
        return;
    }
    }
}
