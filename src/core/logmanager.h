#pragma once

#include <QByteArray>
#include <QMutex>
#include <QQueue>
#include <QThread>
#include <QWaitCondition>

struct LogEntry
{
    qint32 level = 0;
    QByteArray text; // UTF-8
};

// The log queue and its writer thread. Writers on any thread only append to
// the queue; the writer thread alone hands lines to the daily file in
// AppPaths::logDir(). Error lines reach the disk as soon as they are written,
// the others within a second, so a killed process leaves its last lines.
// Lines still queued when the manager stops are dropped.
class LogManager final : public QThread
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(LogManager)

public:
    enum Level : qint32 { Debug = 0, Info = 1, Warning = 2, Error = 3 };

    LogManager();
    ~LogManager() override;

    static LogManager &instance();

    // Any thread; never waits for file work.
    static void logDebug(const QString &text);
    static void logInfo(const QString &text);
    static void logWarning(const QString &text);
    static void logError(const QString &text);

    void write(qint32 level, const QString &text);
    // Waits until every line queued before the call is in the file and the
    // file is flushed; false on timeout or after stop().
    bool flush(int timeoutMs = 5000);
    // Sets the stop flag and waits for the writer thread to end.
    void stop();

protected:
    void run() override;

private:
    void ensureRunning();

    QMutex m_mutex;
    QWaitCondition m_wake;
    QWaitCondition m_drained;
    QQueue<LogEntry> m_queue;
    bool m_stop = false;
    bool m_flushWanted = false;
};
