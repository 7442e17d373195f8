#include "upload/transferwindow.h"

void TransferWindow::setRange(int lowest, int highest)
{
    const int low = qBound(1, lowest, kMax);
    m_highest = qBound(low, highest, kMax);
    m_limit = qBound(low, m_limit, m_highest);
    m_previous = 0;
}

void TransferWindow::finished(qint64 bytes, qint64 nowMs, bool waiting)
{
    if (m_epochStart < 0) {
        // The first outcome opens the measure; its bytes were moved before it.
        m_epochStart = nowMs;
        return;
    }
    if (m_warmup > 0) {
        // Transfers started under the size before end first; the measure of
        // this size begins with the outcome of the last of them.
        if (--m_warmup == 0) {
            m_epochStart = nowMs;
            m_bytes = 0;
            m_count = 0;
            m_starved = false;
        }
        return;
    }
    m_bytes += bytes;
    ++m_count;
    m_starved = m_starved || !waiting;
    const qint64 elapsed = nowMs - m_epochStart;
    // About one round of every running upload, so each size is measured over
    // its own transfers and not those started under the size before.
    if (m_count < m_limit || elapsed < kEpochMs)
        return;
    const double rate = double(m_bytes) * 1000.0 / double(elapsed);
    // Too few images to keep the window full says nothing about the line.
    const int before = m_limit;
    if (!m_starved)
        decide(rate);
    if (m_limit != before)
        m_warmup = before;
    m_epochStart = nowMs;
    m_bytes = 0;
    m_count = 0;
    m_starved = false;
}

void TransferWindow::decide(double rate)
{
    const int current = m_limit;
    if (m_previous == 0 || rate >= m_previousRate * kGain) {
        // The first measure, or the last step helped: try twice as many.
        m_previous = current;
        m_previousRate = rate;
        m_limit = qMin(m_highest, current * 2);
        m_held = 0;
        return;
    }
    if (current > m_previous && rate < m_previousRate * kGain) {
        // A larger window moved no more: the smaller one covers the line.
        m_limit = m_previous;
        m_held = 0;
        return;
    }
    m_previousRate = qMax(m_previousRate * 0.9, rate);
    if (++m_held >= kProbeAfter && current < m_highest) {
        m_previous = current;
        m_previousRate = rate;
        m_limit = qMin(m_highest, current * 2);
        m_held = 0;
    }
}
