#pragma once

#include <atomic>

#include <QObject>
#include <QRunnable>

#include "model/imgmess.h"

// Uploads one leased image on a pool thread: asks the public image address
// first (an object already there is not sent again), otherwise stores the
// file. Reports the image with its URL through runOver, or through
// uploadFailed when it could not be stored; exactly one of them, once.
class SaveImageRunnable final : public QObject, public QRunnable
{
    Q_OBJECT

public:
    explicit SaveImageRunnable(const imgMess &image);

    void run() override;

    // True once run() has returned from its last use of the object.
    bool isDone() const { return m_done.load(std::memory_order_acquire); }

    // "<image host>/<bucket>/<imageName>.<suffix>"
    static QString publicUrl(const imgMess &image);

signals:
    void runOver(const imgMess &imgM);
    void uploadFailed(const imgMess &imgM);

private:
    // The HTTP status of a HEAD request, 0 without one.
    static int headStatus(const QString &url);

    imgMess m_image;
    std::atomic<bool> m_done{false};
};
