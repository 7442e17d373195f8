#include "core/apppaths.h"

#include <QDir>
#include <QReadWriteLock>
#include <QStandardPaths>

namespace {
QReadWriteLock g_lock;
QString g_appDataDir;
} // namespace

void AppPaths::initialise()
{
    setAppDataDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
}

void AppPaths::setAppDataDir(const QString &dir)
{
    QWriteLocker lock(&g_lock);
    g_appDataDir = dir;
}

QString AppPaths::appDataDir()
{
    QReadLocker lock(&g_lock);
    return g_appDataDir;
}

QString AppPaths::logDir()
{
    return appDataDir() + QStringLiteral("/logs");
}

QString AppPaths::setupDir()
{
    return appDataDir() + QStringLiteral("/setup");
}

QString AppPaths::templatesDir()
{
    return appDataDir() + QStringLiteral("/templates");
}

QString AppPaths::databaseDir()
{
    return QDir::homePath() + QStringLiteral("/.vell/");
}

QString AppPaths::databaseFile()
{
    return databaseDir() + QStringLiteral("batchDesk1.db");
}
