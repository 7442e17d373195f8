#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>

#include "model/imgmess.h"

class QThreadPool;
class SaveImageRunnable;

// Takes images from the local queue while fewer than ten are in flight,
// uploads each on the global pool (at most 4 threads), and has every stored
// image recorded. Lives on the GUI thread.
class uploadImage final : public QObject
{
    Q_OBJECT

public:
    explicit uploadImage(QObject *parent = nullptr);

    // After login: a 5-second lease at once (takes back what a previous run
    // left uploading), then polling.
    void startUploading(bool immediate);

    int inFlightCount() const { return m_inFlightCount; }
    void setInterval(int milliseconds);
    bool isPolling() const { return m_timer.isActive(); }

    static constexpr int kMaxInFlight = 10;
    static constexpr int kChunk = 100;

signals:
    void updateUploadingOrder(const QString &orderNo, int fileNum);

public slots:
    void slot_runOver(const imgMess &imgM);
    void uploadingOrderSlot(const QString &orderId, int num);
    void uploadImageGetSlot(const QList<imgMess> &imageMesses);
    void now_time_SLOT();
    // An upload that could not be stored: it leaves the count and goes back
    // to the queue, to be tried again after a pause or, with a problem, once
    // the operator has seen to it.
    void slot_uploadFailed(const imgMess &imgM, const QString &problem);

private:
    void release(SaveImageRunnable *task);

    // Ticks also take back every image a previous run left leased: the
    // start-up lease alone takes only 50 of them, and only those leased at
    // least 5 s before.
    qint64 m_startedAt = 0;
    int m_inFlightCount = 0;
    QThreadPool *m_pool;
    QTimer m_timer;
};
