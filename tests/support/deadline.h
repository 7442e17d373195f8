#pragma once

#include <functional>

#include <QDeadlineTimer>
#include <QThread>

// For code that, when broken, blocks for ever (a read from a FIFO or an
// endless device): runs `work` on its own thread so that a regression fails
// the test instead of holding the run until CI kills it.
namespace testdeadline {

inline bool finishes(const std::function<void()> &work, int ms = 30000)
{
    QThread *thread = QThread::create(work);
    thread->start();
    if (!thread->wait(QDeadlineTimer(ms)))
        return false; // left running on purpose: a blocked read cannot be stopped
    delete thread;
    return true;
}

} // namespace testdeadline
