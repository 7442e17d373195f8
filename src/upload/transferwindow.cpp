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
    if (bytes > 0)
        m_meanBytes = m_meanBytes > 0 ? 0.9 * m_meanBytes + 0.1 * double(bytes) : double(bytes);
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

int TransferWindow::grown(int factor) const
{
    int next = qMin(m_highest, m_limit * factor);
    // Large images fill a line with few; more would only hold more open.
    if (m_meanBytes > 0)
        next = qMin(next, qMax(m_limit, int(kMaxBytesInFlight / m_meanBytes)));
    return next;
}

void TransferWindow::decide(double rate)
{
    const int current = m_limit;
    if (m_previous == 0 || rate >= m_previousRate * kGain) {
        // The first measure, or the last step helped: try more. A step that
        // nearly doubled the rate left the line far from full: a far line
        // should not wait a round of measuring for every doubling.
        const bool farFromFull = m_previous != 0 && rate >= m_previousRate * kLeap;
        m_previous = current;
        m_previousRate = rate;
        m_limit = grown(farFromFull ? 4 : 2);
        m_held = 0;
        return;
    }
    if (current > m_previous && rate < m_previousRate / kLoss) {
        // A larger window moved less: the smaller one covers the line.
        m_limit = m_previous;
        m_held = 0;
        return;
    }
    if (current > m_previous) {
        // As much as the smaller one, within what a measure can tell: equal
        // images in flight finish in waves, and more of them leave the line
        // less idle between waves, a gain often too small to see.
        m_previous = current;
        m_previousRate = rate;
    }
    m_previousRate = qMax(m_previousRate * 0.9, rate);
    if (++m_held >= kProbeAfter && grown(2) > current) {
        m_previous = current;
        m_previousRate = rate;
        m_limit = grown(2);
        m_held = 0;
    }
}
