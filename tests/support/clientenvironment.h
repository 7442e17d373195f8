#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "core/apppaths.h"
#include "core/configfile.h"
#include "core/logmanager.h"
#include "support/files.h"

// A throw-away home, application data folder and working directory whose
// "data/config.json" holds `config`; the configuration is read from it.
class ClientEnvironment
{
public:
    // With ORDERDESK_TEST_LOGS naming a folder, every log file written under
    // the throw-away folders (the client's, and those of agents started in
    // its home) is kept there, for the search for secrets after the suite.
    ~ClientEnvironment()
    {
        const QString keep = qEnvironmentVariable("ORDERDESK_TEST_LOGS");
        if (keep.isEmpty() || !m_dir.isValid())
            return;
        LogManager::instance().flush();
        const QString target = QStringLiteral("%1/%2-%3")
                                   .arg(keep, QCoreApplication::applicationName())
                                   .arg(QCoreApplication::applicationPid());
        QDirIterator it(m_dir.path(), {QStringLiteral("*.log")}, QDir::Files | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString copy = target + QLatin1Char('/') + QDir(m_dir.path()).relativeFilePath(path);
            QDir().mkpath(QFileInfo(copy).absolutePath());
            QFile::copy(path, copy);
        }
    }

    bool setUp(const QJsonObject &config)
    {
        if (!m_dir.isValid())
            return false;
        QDir root(m_dir.path());
        root.mkpath(QStringLiteral("home"));
        qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
        AppPaths::setAppDataDir(root.filePath(QStringLiteral("appdata")));
        if (!testfiles::write(root.filePath(QStringLiteral("work/data/config.json")), QJsonDocument(config).toJson())
            || !QDir::setCurrent(root.filePath(QStringLiteral("work"))))
            return false;
        configFile::resetToDefaults();
        configFile::readConfig();
        return true;
    }

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
