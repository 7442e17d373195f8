#include "core/rowfeed.h"

#include <QElapsedTimer>

RowFeed::RowFeed(int budgetMs, QObject *parent)
    : QObject(parent)
    , m_budgetMs(budgetMs)
{
    m_timer.setSingleShot(true);
    m_timer.setInterval(0);
    connect(&m_timer, &QTimer::timeout, this, &RowFeed::runSlice);
}

void RowFeed::append(std::function<void()> job)
{
    m_jobs.push_back(std::move(job));
    if (!m_timer.isActive())
        m_timer.start();
}

void RowFeed::clear()
{
    m_jobs.clear();
    m_timer.stop();
}

void RowFeed::flush()
{
    m_timer.stop();
    while (!m_jobs.empty())
        runNext();
}

void RowFeed::runNext()
{
    const std::function<void()> job = std::move(m_jobs.front());
    m_jobs.pop_front();
    job();
}

void RowFeed::runSlice()
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
