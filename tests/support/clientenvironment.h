#pragma once

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include "core/apppaths.h"
#include "core/configfile.h"

// A throw-away home, application data folder and working directory whose
// "data/config.json" holds `config`; the configuration is read from it.
class ClientEnvironment
{
public:
    bool setUp(const QJsonObject &config)
    {
        if (!m_dir.isValid())
            return false;
        QDir root(m_dir.path());
        root.mkpath(QStringLiteral("home"));
        root.mkpath(QStringLiteral("work/data"));
        qputenv("HOME", QFile::encodeName(root.filePath(QStringLiteral("home"))));
        AppPaths::setAppDataDir(root.filePath(QStringLiteral("appdata")));
        QFile file(root.filePath(QStringLiteral("work/data/config.json")));
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(QJsonDocument(config).toJson());
        file.close();
        if (!QDir::setCurrent(root.filePath(QStringLiteral("work"))))
            return false;
        configFile::resetToDefaults();
        configFile::readConfig();
        return true;
    }

    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
