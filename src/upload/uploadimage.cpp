#include "upload/uploadimage.h"

#include <QDateTime>
#include <QThreadPool>

#include "core/logmanager.h"
#include "upload/databasethread.h"
#include "upload/saveimagerunnable.h"

uploadImage::uploadImage(QObject *parent)
    : QObject(parent)
    , m_pool(QThreadPool::globalInstance())
    , m_timer(this)
{
    m_pool->setMaxThreadCount(m_window.limit());
    m_clock.start();
    m_timer.setInterval(5000);
    DatabaseThread &worker = DatabaseThread::instance();
    connect(&worker, &DatabaseThread::uploadingOrderDate, this, &uploadImage::uploadingOrderSlot);
    connect(&worker, &DatabaseThread::uploadImages, this, &uploadImage::uploadImageGetSlot);
    connect(&m_timer, &QTimer::timeout, this, &uploadImage::now_time_SLOT);
    // Left alone, such images would wait for their lease's hour: no later
    // lease of this run takes them back.
    connect(&worker, &DatabaseThread::uploadsNotRecorded, this, [this](const QList<imgMess> &images) {
        recordAgainLater([images] { DatabaseThread::instance().storeUploadedImages(images); });
    });
    connect(&worker, &DatabaseThread::failureNotRecorded, this, [this](const imgMess &image, const QString &problem) {
        recordAgainLater([image, problem] { DatabaseThread::instance().storeFailedUpload(image, problem); });
    });
}

void uploadImage::recordAgainLater(const std::function<void()> &record)
{
    QTimer::singleShot(m_recordRetryMs, this, record);
    m_recordRetryMs = qMin(m_recordRetryMs * 2, kLastRecordRetryMs);
}

void uploadImage::setTransferRange(int lowest, int highest)
{
    m_window.setRange(lowest, highest);
    m_pool->setMaxThreadCount(m_window.limit());
}

void uploadImage::setInterval(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

void uploadImage::startUploading(bool immediate)
{
    if (inFlightCount() < m_window.leaseThreshold()) {
        if (immediate) {
            DatabaseThread::instance().fetchImagesToUpload(0, m_startedAt, m_window.leaseSize());
            return;
        }
        // Past the start's own second: a run that died in that second leased
        // then too, and its leases must come back now, not in an hour.
        m_startedAt = QDateTime::currentSecsSinceEpoch() + 1;
        leaseIfRoom();
    } else if (immediate) {
        return;
    }
    if (!m_timer.isActive())
        m_timer.start();
}

void uploadImage::now_time_SLOT()
{
    leaseIfRoom();
}

void uploadImage::leaseIfRoom()
{
    if (inFlightCount() >= m_window.leaseThreshold())
        return;
    // A lease given before this process started cannot be an upload of ours
    // in flight. The start is compared with the lease time when the worker
    // runs the lease, not when it is asked for, so a lease that waited there
    // cannot take back the start-up lease.
    DatabaseThread::instance().fetchImagesToUpload(3600, m_startedAt, m_window.leaseSize());
}

void uploadImage::uploadImageGetSlot(const QList<imgMess> &imageMesses)
{
    for (const imgMess &image : imageMesses) {
        // Nothing of ours should come back while in flight; should it all
        // the same, one upload of an image is enough.
        if (m_inFlight.contains(image.id))
            continue;
        m_inFlight.insert(image.id);
        auto *task = new SaveImageRunnable(image);
        connect(task, &SaveImageRunnable::runOver, this, &uploadImage::slot_runOver);
        connect(task, &SaveImageRunnable::uploadFailed, this, &uploadImage::slot_uploadFailed);
        m_pool->start(task);
    }
}

void uploadImage::release(SaveImageRunnable *task)
{
    if (!task)
        return;
    // The outcome can arrive while run() is still returning; the task goes
    // once it has.
    if (task->isDone()) {
        delete task;
        return;
    }
    QTimer::singleShot(5, this, [this, task] { release(task); });
}

void uploadImage::ended(const imgMess &image, qint64 bytes)
{
    // Others waited for a slot when more were in flight than may run.
    m_window.finished(bytes, m_clock.elapsed(), inFlightCount() > m_window.limit());
    m_inFlight.remove(image.id);
    if (m_pool->maxThreadCount() != m_window.limit()) {
        LogManager::logInfo(QStringLiteral("同时上传数:%1 -> %2").arg(m_pool->maxThreadCount()).arg(m_window.limit()));
        m_pool->setMaxThreadCount(m_window.limit());
    }
}

void uploadImage::slot_runOver(const imgMess &imgM)
{
    ended(imgM, imgM.size);
    release(qobject_cast<SaveImageRunnable *>(sender()));
    leaseIfRoom();
    if (!imgM.url.isEmpty() && !imgM.orderId.isEmpty()) {
        // Outcomes that queued up meanwhile (while the worker held us up, say)
        // arrive before this call and go to the worker with this one.
        if (m_stored.isEmpty())
            QMetaObject::invokeMethod(this, &uploadImage::recordStored, Qt::QueuedConnection);
        m_stored << imgM;
    } else
        LogManager::logError(QStringLiteral("图片上传成功图片路径为空11：%1:%2").arg(imgM.id).arg(imgM.orderId));
}

void uploadImage::recordStored()
{
    DatabaseThread::instance().storeUploadedImages(std::exchange(m_stored, {}));
}

void uploadImage::slot_uploadFailed(const imgMess &imgM, const QString &problem)
{
    ended(imgM, 0);
    release(qobject_cast<SaveImageRunnable *>(sender()));
    leaseIfRoom();
    DatabaseThread::instance().storeFailedUpload(imgM, problem);
}

void uploadImage::uploadingOrderSlot(const QString &orderId, int num)
{
    m_recordRetryMs = kFirstRecordRetryMs;
    emit updateUploadingOrder(orderId, num);
}
