#include "core/timeslicedqueue.h"

#include <QElapsedTimer>

TimeSlicedQueue::TimeSlicedQueue(int budgetMs, QObject *parent)
    : QObject(parent)
    , m_budgetMs(budgetMs)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &TimeSlicedQueue::runSlice);
}

void TimeSlicedQueue::append(std::function<void()> job)
{
    m_jobs.push_back(std::move(job));
    if (!m_timer.isActive())
        m_timer.start();
}

void TimeSlicedQueue::clear()
{
    m_jobs.clear();
    m_timer.stop();
}

void TimeSlicedQueue::flush()
{
    m_timer.stop();
    while (!m_jobs.empty())
        runNext();
}

void TimeSlicedQueue::runNext()
{
    const std::function<void()> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    job();
}

void TimeSlicedQueue::runSlice()
{
    QElapsedTimer clock;
    clock.start();
    // At least one job per turn, whatever it costs.
    while (!m_jobs.empty()) {
        runNext();
        if (clock.elapsed() >= m_budgetMs)
            break;
    }
    if (!m_jobs.empty())
        m_timer.start();
}
