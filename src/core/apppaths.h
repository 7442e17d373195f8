#pragma once

#include <QString>

// Per-user folders fixed once by the entry point and read by several parts:
// the application data folder, its "logs", "setup" and "templates"
// sub-folders, and the hidden database folder under the home folder. Safe to
// read from any thread.
class AppPaths final
{
public:
    AppPaths() = delete;

    // Takes the platform's writable application data location; creates nothing.
    static void initialise();
    static void setAppDataDir(const QString &dir);

    static QString appDataDir();
    static QString logDir();       // appDataDir + "/logs"
    static QString setupDir();     // appDataDir + "/setup"
    static QString templatesDir(); // appDataDir + "/templates"

    static QString databaseDir();  // home folder + "/.vell/"
    static QString databaseFile(); // databaseDir + "batchDesk1.db"
};
