#pragma once

#include <atomic>

#include <QObject>
#include <QRunnable>

#include "model/imgmess.h"
#include "upload/awsutils.h"

// Uploads one leased image on a pool thread: asks the public image address
// first (an object already there is not sent again), otherwise stores the
// file. Reports the image with its URL through runOver, or through
// uploadFailed when it could not be stored; exactly one of them, once.
// uploadFailed's problem is empty for a passing trouble, else it says why
// the operator is needed (file missing or changed since its check, the
// store's certificate refused).
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
    // The operator's text for an AwsUtils::Failure (with its logged reason);
    // empty when none is needed.
    static QString problemText(AwsUtils::Failure failure, const QString &reason);

signals:
    void runOver(const imgMess &imgM);
    void uploadFailed(const imgMess &imgM, const QString &problem);

private:
    imgMess m_image;
    std::atomic<bool> m_done{false};
};
