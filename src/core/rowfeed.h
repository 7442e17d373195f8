#pragma once

#include <deque>
#include <functional>

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

// Runs queued jobs in order, a slice per event-loop turn: each slice stops
// once its time budget is spent, so thousands of list rows built on the GUI
// thread never hold its event loop for long.
class RowFeed final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(RowFeed)

public:
    explicit RowFeed(int budgetMs = 20, QObject *parent = nullptr);

    void append(std::function<void()> job);
    // Drops the jobs not yet run.
    void clear();
    int pending() const { return int(m_jobs.size()); }

signals:
    // After each slice that ran at least one job.
    void sliceDone();

private:
    void runSlice();

    int m_budgetMs;
    std::deque<std::function<void()>> m_jobs;
    QTimer m_timer;
};
