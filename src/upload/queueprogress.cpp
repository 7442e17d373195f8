#include "upload/queueprogress.h"

#include <cmath>

#include "core/numbertext.h"
#include "upload/sendlimit.h"

namespace {

constexpr double kSmoothingSeconds = 10.0;

// Moves the smoothed rate toward the one just seen, the more the longer the
// interval; the first one is taken as it is.
double smoothed(double rate, double seen, double seconds)
{
    if (rate < 0)
        return seen;
    return rate + (seen - rate) * (1.0 - std::exp(-seconds / kSmoothingSeconds));
}

} // namespace

QueueProgress::QueueProgress(qint64 startSecs)
    : m_runStart(startSecs)
{
}

void QueueProgress::add(const QueueCounts &counts, qint64 nowMs)
{
    m_counts = counts;
    if (counts.imagesLeft == 0) {
        m_runStart = nowMs / 1000;
        m_bytesRate = m_imagesRate = -1;
        m_lastMs = -1;
        return;
    }
    const double seconds = (nowMs - m_lastMs) / 1000.0;
    // Closer than a second to the last rate point: the totals only.
    if (m_lastMs >= 0 && seconds < 1.0)
        return;
    if (m_lastMs >= 0 && counts.bytesDone >= m_rateBase.bytesDone && counts.imagesDone >= m_rateBase.imagesDone) {
        m_bytesRate = smoothed(m_bytesRate, (counts.bytesDone - m_rateBase.bytesDone) / seconds, seconds);
        m_imagesRate = smoothed(m_imagesRate, (counts.imagesDone - m_rateBase.imagesDone) / seconds, seconds);
    }
    m_rateBase = counts;
    m_lastMs = nowMs;
}

qint64 QueueProgress::secondsLeft() const
{
    if (m_counts.imagesLeft == 0)
        return 0;
    // Bytes bind large images, per-image costs small ones: the slower wins.
    double seconds = -1;
    if (m_bytesRate > 0 && m_counts.bytesLeft > 0)
        seconds = m_counts.bytesLeft / m_bytesRate;
    if (m_imagesRate > 0)
        seconds = std::max(seconds, m_counts.imagesLeft / m_imagesRate);
    return seconds < 0 ? -1 : qint64(std::ceil(seconds));
}

QString QueueProgress::durationText(qint64 seconds)
{
    if (seconds < 60)
        return QStringLiteral("%1秒").arg(seconds);
    if (seconds < 3600)
        return QStringLiteral("%1分%2秒").arg(seconds / 60).arg(seconds % 60);
    return QStringLiteral("%1小时%2分").arg(seconds / 3600).arg(seconds % 3600 / 60);
}

QString QueueProgress::text() const
{
    const QueueCounts &c = m_counts;
    const QString others =
        c.imagesOtherAccounts == 0
            ? QString()
            : QStringLiteral("；另有%1张图片属于其他账号，该账号登录后上传").arg(c.imagesOtherAccounts);
    const double limit = SendLimit::mbit();
    const QString limited = limit > 0.0 ? QStringLiteral("，限速 %1 Mbit/s").arg(limit) : QString();
    if (c.imagesLeft == 0)
        return (c.imagesDone == 0 ? QStringLiteral("没有等待上传的图片") : QStringLiteral("全部图片已上传")) + limited
               + others;
    const QString speed = m_bytesRate < 0
                              ? QStringLiteral("—")
                              : QStringLiteral("%1 MB/s").arg(NumberText::megabytes(m_bytesRate), 0, 'f', 1);
    const qint64 left = secondsLeft();
    return QStringLiteral("全部队列：%1/%2 张，%3/%4 MB，速度 %5，预计剩余 %6")
               .arg(c.imagesDone)
               .arg(c.imagesDone + c.imagesLeft)
               .arg(NumberText::megabytes(c.bytesDone), 0, 'f', 1)
               .arg(NumberText::megabytes(c.bytesDone + c.bytesLeft), 0, 'f', 1)
               .arg(speed, left < 0 ? QStringLiteral("计算中") : durationText(left))
           + limited + others;
}
