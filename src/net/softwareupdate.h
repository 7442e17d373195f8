#pragma once

#include <functional>

#include <QObject>
#include <QString>

class QNetworkReply;

// Asks the backend for the newest Windows version at start-up; when the
// client is older it downloads the installer into the setup folder (or uses
// one downloaded before), asks the operator, and starts it. When up to date
// it empties the setup folder. The question itself is the caller's (a
// dialog), so this class needs no widgets.
class SoftwareUpdate final : public QObject
{
    Q_OBJECT

public:
    // Shows the release notes; true when the operator confirmed. A forced
    // update offers no way to decline: a false answer to it asks again.
    using Prompt = std::function<bool(const QString &text, bool forced)>;
    // Starts the installer detached; true when it started.
    using Starter = std::function<bool(const QString &path)>;

    explicit SoftwareUpdate(Prompt prompt, QObject *parent = nullptr);

    void setStarter(Starter starter) { m_starter = std::move(starter); }
    // What ends the process after the installer started (exit code 1).
    void setExit(std::function<void()> exit) { m_exit = std::move(exit); }

    // Blocks for the version request; the download goes on in the background.
    void checkUpdate();
    void downloadInstaller(const QString &url, const QString &path, const QString &context, bool forced);
    void runInstaller(const QString &path, const QString &context, bool forced);

    static QString currentVersion();
    // -1, 0 or 1; parts compared as numbers, a missing or odd part as 0.
    static int compareVersion(const QString &current, const QString &offered);
    // Empties the folder, which stays; false at the first entry that cannot go.
    static bool clearDir(const QString &folder);
    // setupDir + "/setup" + version + ".exe"; empty when the version would
    // make it name anything but a file directly in setupDir.
    static QString installerPath(const QString &setupDir, const QString &version);
    // Where a download is written until it is complete.
    static QString partialPath(const QString &path);

signals:
    // The download ended: saved and handed to runInstaller, or not.
    void downloadFinished(bool saved);

private:
    // Why a finished download is no installer (error status, short, a page,
    // no executable header); empty when it is one.
    static QString installerFault(const QNetworkReply *reply, const QString &savedFile, qint64 size);

    Prompt m_prompt;
    Starter m_starter;
    std::function<void()> m_exit;
};
