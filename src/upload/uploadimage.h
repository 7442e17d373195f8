#pragma once

#include <functional>

#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include "model/imgmess.h"
#include "upload/transferwindow.h"

class QThreadPool;
class SaveImageRunnable;

// Takes images from the local queue while fewer than the transfer window's
// threshold are in flight, uploads each on the global pool with as many
// threads as the window allows (8 to 64, following the line),
// and has every stored image recorded. An outcome that leaves room asks for
// the next lease at once; the timer only keeps polling while nothing comes
// back. Lives on the GUI thread.
class uploadImage final : public QObject
{
    Q_OBJECT

public:
    explicit uploadImage(QObject *parent = nullptr);

    // After login: a 5-second lease at once (takes back what a previous run
    // left uploading), then polling.
    void startUploading(bool immediate);

    int inFlightCount() const { return int(m_inFlight.size()); }
    // Uploads running at once.
    int transfers() const { return m_window.limit(); }
    // Bounds for the window (see TransferWindow::setRange).
    void setTransferRange(int lowest, int highest);
    void setInterval(int milliseconds);
    bool isPolling() const { return m_timer.isActive(); }

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
    // A lease unless the window's threshold is in flight; the worker drops it
    // while an earlier one is still queued.
    void leaseIfRoom();
    // An outcome: the window learns what the upload moved.
    void ended(const imgMess &image, qint64 bytes);
    void release(SaveImageRunnable *task);
    void recordStored();
    // A record the database refused is handed in again after a pause that
    // doubles while the database keeps refusing.
    void recordAgainLater(const std::function<void()> &record);

    static constexpr int kFirstRecordRetryMs = 2000;
    static constexpr int kLastRecordRetryMs = 60000;
    int m_recordRetryMs = kFirstRecordRetryMs;

    // Leases also take back every image a previous run left leased, given
    // before this mark (the second after the start); ours are dated from it.
    qint64 m_startedAt = 0;
    // Ids of the images handed to tasks whose outcome has not come back.
    QSet<int> m_inFlight;
    // Stored images not yet handed to the worker.
    QList<imgMess> m_stored;
    QThreadPool *m_pool;
    TransferWindow m_window;
    QElapsedTimer m_clock;
    QTimer m_timer;
};
