#pragma once

#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include "upload/queueprogress.h"

// The line above the uploading list with the whole queue's progress. Asks the
// worker for the counts once a second while it is shown.
class QueueProgressLabel final : public QLabel
{
    Q_OBJECT

public:
    explicit QueueProgressLabel(QWidget *parent = nullptr);

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    void request();
    void counted(const QueueCounts &counts);

    QueueProgress m_progress;
    QTimer m_timer;
    QElapsedTimer m_sinceRequest;
};
