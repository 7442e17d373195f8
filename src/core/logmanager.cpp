#include "core/logmanager.h"

#include <chrono>
#include <memory>
#include <mutex>

#include <spdlog/details/registry.h>
#include <spdlog/pattern_formatter.h>
#include <spdlog/sinks/daily_file_sink.h>
#include <spdlog/spdlog.h>

#include <QDeadlineTimer>
#include <QDebug>
#include <QDir>
#include <QMutexLocker>

#include "core/apppaths.h"

namespace {

const char *const kLoggerName = "qt_logger";
const char *const kPattern = "[%Y-%m-%d %H:%M:%S.%e] [%^%l%$] %v";

std::mutex g_loggerLock;
std::shared_ptr<spdlog::logger> g_logger;

// Only the writer thread calls this. On failure the reason goes to the Qt
// debug output and the next line tries again.
std::shared_ptr<spdlog::logger> getLogger()
{
    std::lock_guard<std::mutex> lock(g_loggerLock);
    if (g_logger)
        return g_logger;
    try {
        const QString dir = AppPaths::logDir();
        if (!QDir(dir).exists())
            QDir().mkpath(dir);
        const std::string base = QStringLiteral("%1/app.log").arg(dir).toStdString();
        auto sink = std::make_shared<spdlog::sinks::daily_file_sink_mt>(base, 0, 0, false, 0);
        auto logger = std::make_shared<spdlog::logger>(kLoggerName, sink);
        logger->set_level(spdlog::level::debug);
        logger->set_formatter(std::make_unique<spdlog::pattern_formatter>(kPattern, spdlog::pattern_time_type::local,
                                                                          std::string("\r\n")));
        // A crash or kill leaves the buffer unwritten: error lines go to disk at
        // once, the rest within a second.
        logger->flush_on(spdlog::level::err);
        spdlog::register_logger(logger);
        spdlog::flush_every(std::chrono::seconds(1));
        g_logger = logger;
    } catch (const spdlog::spdlog_ex &ex) {
        qDebug().noquote() << QStringLiteral("Log initialization failed: ") + QString::fromUtf8(ex.what());
    }
    return g_logger;
}

bool toSpdlogLevel(qint32 level, spdlog::level::level_enum &out)
{
    switch (level) {
    case LogManager::Debug:
        out = spdlog::level::debug;
        return true;
    case LogManager::Info:
        out = spdlog::level::info;
        return true;
    case LogManager::Warning:
        out = spdlog::level::warn;
        return true;
    case LogManager::Error:
        out = spdlog::level::critical;
        return true;
    default:
        return false;
    }
}

} // namespace

LogManager::LogManager()
{
    // The registry must outlive every manager, or the process-wide one would
    // stop its thread after the registry is gone.
    spdlog::details::registry::instance();
}

LogManager::~LogManager()
{
    stop();
}

LogManager &LogManager::instance()
{
    static LogManager manager;
    return manager;
}

void LogManager::logDebug(const QString &text)
{
    instance().write(Debug, text);
}
void LogManager::logInfo(const QString &text)
{
    instance().write(Info, text);
}
void LogManager::logWarning(const QString &text)
{
    instance().write(Warning, text);
}
void LogManager::logError(const QString &text)
{
    instance().write(Error, text);
}

void LogManager::write(qint32 level, const QString &text)
{
    const QByteArray utf8 = text.isEmpty() ? QStringLiteral("日志文字为空").toUtf8() : text.toUtf8();
    {
        QMutexLocker lock(&m_mutex);
        m_queue.enqueue(LogEntry{level, utf8});
        m_wake.wakeOne();
    }
    ensureRunning();
}

bool LogManager::flush(int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    {
        QMutexLocker lock(&m_mutex);
        if (m_stop)
            return false;
        m_flushWanted = true;
        m_wake.wakeOne();
    }
    ensureRunning();
    QMutexLocker lock(&m_mutex);
    while (m_flushWanted && !m_stop) {
        if (!m_drained.wait(&m_mutex, deadline))
            return false;
    }
    return !m_flushWanted;
}

void LogManager::stop()
{
    {
        QMutexLocker lock(&m_mutex);
        m_stop = true;
        m_wake.wakeOne();
        m_drained.wakeAll();
    }
    wait();
}

void LogManager::ensureRunning()
{
    if (!isRunning())
        start();
}

void LogManager::run()
{
    forever {
        QMutexLocker lock(&m_mutex);
        while (m_queue.isEmpty() && !m_flushWanted) {
            if (m_stop)
                return;
            m_wake.wait(&m_mutex);
        }
        if (m_stop)
            return;

        if (m_queue.isEmpty()) {
            if (auto logger = getLogger())
                logger->flush();
            m_flushWanted = false;
            m_drained.wakeAll();
            continue;
        }

        // Held while the line is handed over: writers wait for this one line.
        const LogEntry entry = m_queue.dequeue();
        spdlog::level::level_enum level;
        if (!toSpdlogLevel(entry.level, level))
            continue;
        if (auto logger = getLogger())
            logger->log(level, spdlog::string_view_t(entry.text.constData(), size_t(entry.text.size())));
    }
}
