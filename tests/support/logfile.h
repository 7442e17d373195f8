#pragma once

#include <QDate>
#include <QStringList>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "support/files.h"

// Today's log file as the writer thread leaves it, read after the queue has
// drained and the file was flushed.
namespace testlog {

inline QString todaysFile(const QString &logDir = AppPaths::logDir())
{
    return logDir + QStringLiteral("/app_") + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))
           + QStringLiteral(".log");
}

inline QByteArray rawContent(const QString &path = todaysFile())
{
    return LogManager::instance().flush() ? testfiles::read(path) : QByteArray();
}

// Every line without its "\r\n" ending.
inline QStringList lines()
{
    QStringList result = QString::fromUtf8(rawContent()).split(QStringLiteral("\r\n"));
    if (result.last().isEmpty())
        result.removeLast();
    return result;
}

// The text part of each line, after "] [level] ".
inline QStringList texts()
{
    QStringList result;
    for (const QString &line : lines()) {
        const int end = line.indexOf(QStringLiteral("] "), line.indexOf(QStringLiteral("] ")) + 2);
        result << line.mid(end + 2);
    }
    return result;
}

// The texts logged since the previous call, for tests that follow the log step by step.
class Follower
{
public:
    QStringList newTexts()
    {
        const QStringList all = texts();
        const QStringList fresh = all.mid(m_seen);
        m_seen = all.size();
        return fresh;
    }

private:
    qsizetype m_seen = 0;
};

} // namespace testlog
