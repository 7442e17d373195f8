#include "core/rowfeed.h"

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
    m_timer.start();
}

void RowFeed::clear()
{
    m_jobs.clear();
    m_timer.stop();
}

void RowFeed::runSlice()
{
    if (m_jobs.empty())
        return;
    QElapsedTimer clock;
    clock.start();
    // At least one job per turn, whatever it costs.
    do {
        const std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        job();
    } while (!m_jobs.empty() && clock.elapsed() < m_budgetMs);
    if (!m_jobs.empty())
        m_timer.start();
    emit sliceDone();
}
