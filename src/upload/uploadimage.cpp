#include "upload/uploadimage.h"

#include <QDateTime>
#include <QThread>
#include <QThreadPool>

#include "core/logmanager.h"
#include "upload/databasethread.h"
#include "upload/saveimagerunnable.h"

uploadImage::uploadImage(QObject *parent)
    : QObject(parent)
    , m_pool(QThreadPool::globalInstance())
    , m_timer(this)
{
    m_pool->setMaxThreadCount(4);
    m_timer.setInterval(5000);
    DatabaseThread &worker = DatabaseThread::instance();
    connect(&worker, &DatabaseThread::uploadingOrderDate, this, &uploadImage::uploadingOrderSlot);
    connect(&worker, &DatabaseThread::uploadImages, this, &uploadImage::uploadImageGetSlot);
    connect(&m_timer, &QTimer::timeout, this, &uploadImage::now_time_SLOT);
}

void uploadImage::setInterval(int milliseconds)
{
    m_timer.setInterval(milliseconds);
}

void uploadImage::startUploading(bool immediate)
{
    if (m_inFlightCount < kMaxInFlight) {
        if (immediate) {
            DatabaseThread::instance().fetchImagesToUpload(0);
            return;
        }
        m_startedAt = QDateTime::currentSecsSinceEpoch();
        DatabaseThread::instance().fetchImagesToUpload(5);
    } else if (immediate) {
        return;
    }
    if (!m_timer.isActive())
        m_timer.start();
}

void uploadImage::now_time_SLOT()
{
    if (m_inFlightCount >= kMaxInFlight)
        return;
    // A lease older than this process cannot be an upload of ours in flight;
    // the lease statement takes those older than the timeout, so a timeout
    // of the time since start takes back exactly those. After an hour it is
    // the usual one-hour lease.
    const qint64 sinceStart = QDateTime::currentSecsSinceEpoch() - m_startedAt;
    DatabaseThread::instance().fetchImagesToUpload(int(qBound(qint64(1), sinceStart, qint64(3600))));
}

void uploadImage::uploadImageGetSlot(const QList<imgMess> &imageMesses)
{
    if (imageMesses.isEmpty())
        return;
    m_inFlightCount += int(imageMesses.size());
    for (qsizetype i = 0; i < imageMesses.size(); i += kChunk) {
        for (qsizetype j = i; j - i < kChunk && j < imageMesses.size(); ++j) {
            auto *task = new SaveImageRunnable(imageMesses.at(j));
            connect(task, &SaveImageRunnable::runOver, this, &uploadImage::slot_runOver);
            connect(task, &SaveImageRunnable::uploadFailed, this, &uploadImage::slot_uploadFailed);
            m_pool->start(task);
        }
        if (m_pool->activeThreadCount() >= m_pool->maxThreadCount())
            QThread::msleep(50);
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

void uploadImage::slot_runOver(const imgMess &imgM)
{
    --m_inFlightCount;
    release(qobject_cast<SaveImageRunnable *>(sender()));
    if (!imgM.url.isEmpty() && !imgM.orderId.isEmpty())
        DatabaseThread::instance().storeUploadedImage(imgM);
    else
        LogManager::logError(QStringLiteral("图片上传成功图片路径为空11：%1:%2").arg(imgM.id).arg(imgM.orderId));
}

void uploadImage::slot_uploadFailed(const imgMess &imgM, const QString &problem)
{
    --m_inFlightCount;
    release(qobject_cast<SaveImageRunnable *>(sender()));
    DatabaseThread::instance().storeFailedUpload(imgM, problem);
}

void uploadImage::uploadingOrderSlot(const QString &orderId, int num)
{
    emit updateUploadingOrder(orderId, num);
}
