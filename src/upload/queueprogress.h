#pragma once

#include <QString>

#include "model/queuecounts.h"

// The whole queue's progress for the operator: images and megabytes done of
// the total, the speed and the time left. The speed is smoothed over about
// ten seconds, so one slow or fast image does not make the estimate jump.
// A queue that runs empty starts a new run: the next one counts from zero.
class QueueProgress final
{
public:
    // Counts before `startSecs` (seconds since the epoch) belong to no run.
    explicit QueueProgress(qint64 startSecs);

    // Where the next count starts: the beginning of the current run.
    qint64 runStart() const { return m_runStart; }
    // Takes the counts read at `nowMs` (milliseconds since the epoch).
    void add(const QueueCounts &counts, qint64 nowMs);

    // Bytes per second; negative until two counts a second apart were seen.
    double bytesPerSecond() const { return m_bytesRate; }
    // Seconds left; negative when unknown (no speed yet, or none at all).
    qint64 secondsLeft() const;
    QString text() const;

    static QString durationText(qint64 seconds);

private:
    qint64 m_runStart;
    QueueCounts m_counts;
    QueueCounts m_rateBase; // the counts at m_lastMs
    qint64 m_lastMs = -1;
    double m_bytesRate = -1;
    double m_imagesRate = -1;
};
