#include "orders/queueprogresslabel.h"

#include <QDateTime>

#include "upload/databasethread.h"

QueueProgressLabel::QueueProgressLabel(QWidget *parent)
    : QLabel(parent)
    , m_progress(QDateTime::currentSecsSinceEpoch())
{
    setObjectName(QStringLiteral("queueProgress"));
    setContentsMargins(12, 6, 12, 6);
    m_timer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, &QueueProgressLabel::request);
    connect(&DatabaseThread::instance(), &DatabaseThread::queueCounted, this, &QueueProgressLabel::counted);
}

void QueueProgressLabel::showEvent(QShowEvent *event)
{
    QLabel::showEvent(event);
    if (!m_sinceRequest.isValid() || m_sinceRequest.elapsed() >= 1000)
        request();
    m_timer.start();
}

void QueueProgressLabel::hideEvent(QHideEvent *event)
{
    QLabel::hideEvent(event);
    m_timer.stop();
}

void QueueProgressLabel::request()
{
    m_sinceRequest.start();
    DatabaseThread::instance().countQueue(m_progress.runStart());
}

void QueueProgressLabel::counted(const QueueCounts &counts)
{
    m_progress.add(counts, QDateTime::currentMSecsSinceEpoch());
    setText(m_progress.text());
}
