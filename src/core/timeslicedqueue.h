#pragma once

#include <deque>
#include <functional>

#include <QObject>
#include <QTimer>

// Runs queued jobs in order, a slice per event-loop turn: each slice stops
// once its time budget is spent, so thousands of list rows built on the GUI
// thread never hold its event loop for long.
class TimeSlicedQueue final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(TimeSlicedQueue)

public:
    explicit TimeSlicedQueue(int budgetMs = 20, QObject *parent = nullptr);

    void append(std::function<void()> job);
    // Drops the jobs not yet run.
    void clear();
    // Runs every job not yet run, now.
    void flush();
    int pending() const { return int(m_jobs.size()); }

private:
    void runNext();
    void runSlice();

    int m_budgetMs;
    std::deque<std::function<void()>> m_jobs;
    QTimer m_timer;
};
