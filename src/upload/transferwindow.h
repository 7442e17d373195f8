#pragma once

#include <QtGlobal>

// How many uploads run at once. A line that is far away or fast moves small
// images only when enough requests are outstanding to cover its round trips;
// a slow line gains nothing from more. So the window doubles while doubling
// moves more bytes a second, keeps a larger size that moves as much, steps
// back from one that moves less, and probes again after a while, for lines
// change. Equal transfers that share a line finish together and then all
// wait one round trip for their answers, so the line idles once a round
// unless the window holds several round trips' worth of images: hence a
// maximum well above the line's bandwidth-delay product in 200 KB images.
// Always between kMin and kMax and within kMaxBytesInFlight, which bound what
// is held (a thread, a connection and a read buffer each, not the files).
// Starting at kMin rather than 4 spares a far line a doubling step (every
// step costs a round of measuring).
class TransferWindow final
{
public:
    static constexpr int kMin = 8;
    static constexpr int kMax = 64;

    int limit() const { return m_limit; }
    // The sizes the window may take, within 1 and kMax; equal bounds pin it.
    void setRange(int lowest, int highest);
    // Leased images, running or waiting for a slot, below which the next
    // lease is asked for, and how many images one lease takes.
    int leaseThreshold() const { return 2 * m_limit + 2; }
    int leaseSize() const { return qMax(50, 4 * m_limit); }

    // An upload ended (stored or not) after moving `bytes`. `waiting`: other
    // images waited for a slot, so the window, not the queue, bounded it.
    void finished(qint64 bytes, qint64 nowMs, bool waiting);

private:
    void decide(double rate);
    // The next larger size: `factor` times this one, within the range and
    // the bytes in flight.
    int grown(int factor) const;

    // Helped: at least this much more a second than at the size before.
    static constexpr double kGain = 1.05;
    static constexpr double kLeap = 1.8;
    // Moved less: this much less a second than the size before. Stepping
    // back from a size that covers the line costs far more than keeping one a
    // little too large, and a new size's first measure also carries the
    // handshakes of its new connections.
    static constexpr double kLoss = 1.2;
    static constexpr qint64 kEpochMs = 250;
    static constexpr double kMaxBytesInFlight = 64.0 * 1024 * 1024;
    // Decisions a settled window holds before it probes a larger size.
    static constexpr int kProbeAfter = 12;

    int m_highest = kMax;
    int m_limit = kMin;
    int m_previous = 0; // the size before the last step, 0 before any
    double m_previousRate = 0.0;
    int m_held = 0;
    qint64 m_epochStart = -1;
    qint64 m_bytes = 0;
    int m_count = 0;
    bool m_starved = false;
    double m_meanBytes = 0.0; // of the uploads that moved any
    int m_warmup = 0;         // outcomes still due from transfers started before a change
};
