#include "upload/sendlimit.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QSettings>
#include <QThread>

#include "core/apppaths.h"

namespace {

QMutex g_lock;
double g_mbit = 0.0;
SendLimit::Schedule g_schedule(0.0);

qint64 clockNs()
{
    static QElapsedTimer clock = [] {
        QElapsedTimer t;
        t.start();
        return t;
    }();
    return clock.nsecsElapsed();
}

QString settingsFile()
{
    return AppPaths::appDataDir() + QStringLiteral("/Setting.ini");
}

const QString kSettingKey = QStringLiteral("UploadLimitMbit");

double bytesPerSecond(double mbit)
{
    return mbit * 1e6 / 8.0;
}

} // namespace

qint64 SendLimit::Schedule::reserve(qint64 bytes, qint64 nowNs)
{
    // Time left unused lends at most a short burst, so a pause does not let
    // a later surge above the limit.
    const qint64 start = qMax(m_next, nowNs - kBurstNs);
    m_next = start + qint64(double(bytes) * 1e9 / m_bytesPerSecond);
    return start;
}

void SendLimit::setMbit(double mbit)
{
    QMutexLocker lock(&g_lock);
    g_mbit = qMax(0.0, mbit);
    if (g_mbit > 0.0)
        g_schedule = Schedule(bytesPerSecond(g_mbit));
}

void SendLimit::loadSetting()
{
    setMbit(QSettings(settingsFile(), QSettings::IniFormat).value(kSettingKey, 0).toInt());
}

void SendLimit::saveSetting(int mbit)
{
    setMbit(mbit);
    QSettings(settingsFile(), QSettings::IniFormat).setValue(kSettingKey, mbit);
}

double SendLimit::mbit()
{
    QMutexLocker lock(&g_lock);
    return g_mbit;
}

qint64 SendLimit::chunkBytes()
{
    QMutexLocker lock(&g_lock);
    // A tenth of a second of the line each.
    return g_mbit > 0.0 ? qMax<qint64>(1024, qint64(bytesPerSecond(g_mbit) / 10.0)) : 0;
}

void SendLimit::await(qint64 bytes)
{
    qint64 start = 0;
    qint64 now = 0;
    {
        QMutexLocker lock(&g_lock);
        if (g_mbit <= 0.0)
            return;
        now = clockNs();
        start = g_schedule.reserve(bytes, now);
    }
    if (start > now)
        QThread::usleep(quint64((start - now) / 1000));
}
