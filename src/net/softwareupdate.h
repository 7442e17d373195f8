#pragma once

#include <functional>

#include <QObject>
#include <QString>

#include "net/installersignature.h"

class QNetworkReply;
class QUrl;

// Asks the backend for the newest Windows version at start-up; when the
// client is older it downloads the installer into the setup folder (or uses
// one downloaded before), asks the operator, and starts it once its signature
// verifies. When up to date it empties the setup folder. The questions are
// the caller's (dialogs), so this class needs no widgets.
class SoftwareUpdate final : public QObject
{
    Q_OBJECT

public:
    // Install: the release notes, to start the installer. InstallByHand: the
    // installer could not be trusted, to open the download page instead.
    enum class Question { Install, InstallByHand };
    // Shows the text; true when the operator confirmed. A forced Install
    // offers no way to decline: a false answer to it asks again.
    using Prompt = std::function<bool(Question question, const QString &text, bool forced)>;
    // Starts the installer detached; true when it started.
    using Starter = std::function<bool(const QString &path)>;
    // Opens a web page in the system browser; true when it opened.
    using Browser = std::function<bool(const QUrl &url)>;

    // The version answer's offer.
    struct Offer
    {
        QString version;
        QString downloadUrl;
        QString context;
        bool forced = false;
        QString signature; // base64 Ed25519 signature of the installer's bytes
    };

    explicit SoftwareUpdate(Prompt prompt, QObject *parent = nullptr);

    void setStarter(Starter starter) { m_starter = std::move(starter); }
    // What ends the process after the installer started (exit code 1).
    void setExit(std::function<void()> exit) { m_exit = std::move(exit); }
    void setBrowser(Browser browser) { m_browser = std::move(browser); }
    // In place of the built-in key (64 hex digits; anything else is none).
    void setUpdateKey(const QByteArray &publicKeyHex) { m_signature = InstallerSignature(publicKeyHex); }

    // Blocks for the version request; the download goes on in the background.
    void checkUpdate();
    void downloadInstaller(const QString &path, const Offer &offer);
    // Asks, then starts the installer if it still verifies.
    void runInstaller(const QString &path, const Offer &offer);

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
    // True when the file at `path` carries the offer's signature. Otherwise
    // removes it, logs why and offers the download page instead.
    bool trusted(const QString &path, const Offer &offer);
    void offerByHand(const Offer &offer);
    // Why a finished download is no installer (error status, short, a page,
    // no executable header); empty when it is one.
    static QString installerFault(const QNetworkReply *reply, const QString &savedFile, qint64 size);

    Prompt m_prompt;
    Starter m_starter;
    std::function<void()> m_exit;
    Browser m_browser;
    InstallerSignature m_signature;
};
