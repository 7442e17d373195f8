#include "net/softwareupdate.h"

#include <cstdlib>
#include <memory>

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSslError>
#include <QUrl>

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "net/endpoints.h"
#include "net/httputils.h"
#include "net/tlstrust.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

SoftwareUpdate::SoftwareUpdate(Prompt prompt, QObject *parent)
    : QObject(parent)
    , m_prompt(std::move(prompt))
    , m_starter([](const QString &path) { return QProcess::startDetached(QDir::current().absoluteFilePath(path), {}); })
    , m_exit([] { std::exit(1); })
    , m_browser([](const QUrl &) { return false; })
    , m_signature(InstallerSignature::builtIn())
{
}

QString SoftwareUpdate::currentVersion()
{
#ifdef Q_OS_WIN
    // The executable's own version resource, as the installer stamped it.
    wchar_t path[MAX_PATH];
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) > 0) {
        DWORD handle = 0;
        const DWORD size = GetFileVersionInfoSizeW(path, &handle);
        QByteArray info(int(size), Qt::Uninitialized);
        VS_FIXEDFILEINFO *fixed = nullptr;
        UINT length = 0;
        if (size > 0 && GetFileVersionInfoW(path, 0, size, info.data())
            && VerQueryValueW(info.constData(), L"\\", reinterpret_cast<void **>(&fixed), &length) && fixed) {
            return QStringLiteral("%1.%2.%3.%4")
                .arg(HIWORD(fixed->dwFileVersionMS))
                .arg(LOWORD(fixed->dwFileVersionMS))
                .arg(HIWORD(fixed->dwFileVersionLS))
                .arg(LOWORD(fixed->dwFileVersionLS));
        }
    }
#endif
    return QStringLiteral(APP_VERSION_TEXT);
}

int SoftwareUpdate::compareVersion(const QString &current, const QString &offered)
{
    const QStringList a = current.split(QLatin1Char('.'));
    const QStringList b = offered.split(QLatin1Char('.'));
    for (qsizetype i = 0; i < qMax(a.size(), b.size()); ++i) {
        const int x = a.value(i).toInt();
        const int y = b.value(i).toInt();
        if (x != y)
            return x < y ? -1 : 1;
    }
    return 0;
}

bool SoftwareUpdate::clearDir(const QString &folder)
{
    QDir dir(folder);
    if (!dir.exists()) {
        LogManager::logError(QStringLiteral("Directory does not exist:%1").arg(folder));
        return false;
    }
    for (const QFileInfo &entry :
         dir.entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot)) {
        if (entry.isDir() && !entry.isSymLink()) {
            if (!clearDir(entry.absoluteFilePath()) || !dir.rmdir(entry.fileName()))
                return false;
        } else if (!QFile::remove(entry.absoluteFilePath())) {
            return false;
        }
    }
    return true;
}

void SoftwareUpdate::checkUpdate()
{
    HttpUtils &http = HttpUtils::instance();
    if (!http.httpGet(Endpoints::versions().arg(QStringLiteral("Windows")), HttpUtils::formType(), true))
        return;
    const QJsonObject data = http.getJson().value(QStringLiteral("data")).toObject();
    Offer offer;
    offer.version = data.value(QStringLiteral("version")).toString();
    offer.downloadUrl = data.value(QStringLiteral("downloadUrl")).toString();
    offer.context = data.value(QStringLiteral("context")).toString();
    const QJsonValue forcedValue = data.value(QStringLiteral("isForcedUpdate"));
    offer.forced = forcedValue.isDouble() && forcedValue.toDouble() != 0.0;
    offer.signature = data.value(QStringLiteral("signature")).toString();

    const QString setupDir = AppPaths::setupDir();
    if (compareVersion(currentVersion(), offer.version) == -1) {
        const QString installer = installerPath(setupDir, offer.version);
        if (installer.isEmpty()) {
            LogManager::logError(QStringLiteral("Update version is not a file name:%1").arg(offer.version));
        } else if (offer.downloadUrl.size() >= 11) {
            // Without a key nothing could ever be started, so nothing is fetched.
            if (!QFileInfo::exists(installer) && m_signature.hasKey())
                downloadInstaller(installer, offer);
            else if (trusted(installer, offer))
                runInstaller(installer, offer);
        }
    } else if (QDir(setupDir).exists()) {
        // On the first start the folder is simply not there yet: nothing to clear, nothing to report.
        clearDir(setupDir);
    }

    // Written last, so an emptied setup folder still holds it.
    QSettings settings(setupDir + QStringLiteral("/Setting.ini"), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("version"));
    settings.setValue(QStringLiteral("newVersion"), offer.version);
    settings.setValue(QStringLiteral("isForcedUpdate"), offer.forced);
    settings.setValue(QStringLiteral("downloadUrl"), offer.downloadUrl);
    settings.setValue(QStringLiteral("context"), offer.context);
    settings.endGroup();
}

QString SoftwareUpdate::installerPath(const QString &setupDir, const QString &version)
{
    // The version comes from the backend and becomes part of a file name: a
    // separator or a drive or stream colon would write the installer
    // elsewhere; the rest cannot be in a Windows file name at all.
    static const QRegularExpression unsafe(QStringLiteral("[/\\\\:*?\"<>|\\x00-\\x1f]"));
    if (version.isEmpty() || version.contains(unsafe))
        return QString();
    return setupDir + QStringLiteral("/setup") + version + QStringLiteral(".exe");
}

QString SoftwareUpdate::partialPath(const QString &path)
{
    return path + QStringLiteral(".part");
}

void SoftwareUpdate::downloadInstaller(const QString &path, const Offer &offer)
{
    QNetworkRequest request{QUrl(offer.downloadUrl)};
    if (const QString untrusted = TlsTrust::apply(request); !untrusted.isEmpty()) {
        LogManager::logDebug(QStringLiteral("Error downloading update:") + untrusted);
        emit downloadFinished(false);
        return;
    }
    auto *manager = new QNetworkAccessManager(this);
    QNetworkReply *reply = manager->get(request);
    auto refusal = std::make_shared<QList<QSslError>>();
    connect(reply, &QNetworkReply::sslErrors, reply, [refusal](const QList<QSslError> &errors) { *refusal += errors; });
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir(folder).exists()) {
        LogManager::logDebug(QStringLiteral("Folder does not exist, creating folder:") + folder);
        if (!QDir().mkpath(folder)) {
            LogManager::logDebug(QStringLiteral("Failed to create folder!"));
            return;
        }
        LogManager::logDebug(QStringLiteral("Folder created successfully!"));
    }

    // The bytes go to a side file that takes the installer's name only when
    // complete and signed, so the next start finds either that or nothing.
    // A side file that cannot be opened is reported when the reply ends.
    auto *file = new QFile(partialPath(path), reply);
    file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    connect(reply, &QNetworkReply::readyRead, file, [reply, file] {
        if (file->isOpen() && file->write(reply->readAll()) < 0)
            file->close();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, manager, file, path, offer, refusal] {
        if (file->isOpen() && file->write(reply->readAll()) < 0)
            file->close();
        const bool written = file->isOpen();
        const qint64 size = written ? file->size() : -1;
        file->close();

        bool saved = false;
        const QString certificate = TlsTrust::certificateFailure(*refusal);
        if (reply->error() != QNetworkReply::NoError) {
            LogManager::logDebug(QStringLiteral("Error downloading update:")
                                 + (certificate.isEmpty() ? reply->errorString() : certificate));
        } else if (!written) {
            LogManager::logDebug(QStringLiteral("Failed to save update file."));
        } else if (const QString fault = installerFault(reply, partialPath(path), size); !fault.isEmpty()) {
            LogManager::logDebug(QStringLiteral("Error downloading update:") + fault);
        } else if (!trusted(partialPath(path), offer)) {
            // Removed, and the operator was offered the download page.
        } else if (QFile::exists(path) && !QFile::remove(path)) {
            LogManager::logDebug(QStringLiteral("Failed to save update file."));
        } else if (!QFile::rename(partialPath(path), path)) {
            LogManager::logDebug(QStringLiteral("Failed to save update file."));
        } else {
            saved = true;
        }
        if (!saved)
            QFile::remove(partialPath(path));
        reply->deleteLater();
        manager->deleteLater();
        emit downloadFinished(saved);
        if (saved) {
            runInstaller(path, offer);
            qDebug() << "updateType:" << offer.forced;
            LogManager::logDebug(QStringLiteral("Update downloaded successfully."));
        }
    });
}

QString SoftwareUpdate::installerFault(const QNetworkReply *reply, const QString &savedFile, qint64 size)
{
    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() > 299))
        return QStringLiteral("HTTP status %1").arg(status.toInt());
    // The stated length counts the bytes on the wire, which differ from the
    // saved ones when the transfer was compressed.
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    const QByteArray encoding = reply->rawHeader("Content-Encoding").trimmed().toLower();
    if (length.isValid() && (encoding.isEmpty() || encoding == "identity") && length.toLongLong() != size)
        return QStringLiteral("received %1 of %2 bytes").arg(size).arg(length.toLongLong());
    if (reply->header(QNetworkRequest::ContentTypeHeader).toString().startsWith(QLatin1String("text/")))
        return QStringLiteral("a page, not an installer");
    QFile saved(savedFile);
    if (!saved.open(QIODevice::ReadOnly) || saved.read(2) != "MZ")
        return QStringLiteral("not an installer");
    return QString();
}

void SoftwareUpdate::runInstaller(const QString &path, const Offer &offer)
{
    qDebug() << "textShow:" << offer.context;
    QString text = offer.context;
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    forever {
        // A forced update has no "no": a prompt that ended without the
        // confirming button is shown again.
        if (!m_prompt(Question::Install, text, offer.forced)) {
            if (offer.forced)
                continue;
            return;
        }
        // Checked again: the file may have been replaced while the question was open.
        if (!trusted(path, offer))
            return;
        if (m_starter(path)) {
            m_exit();
            return;
        }
    }
}

bool SoftwareUpdate::trusted(const QString &path, const Offer &offer)
{
    const QString fault = m_signature.fault(path, offer.signature);
    if (fault.isEmpty())
        return true;
    LogManager::logError(QStringLiteral("Installer not started, %1:%2").arg(fault, path));
    if (QFile::exists(path) && !QFile::remove(path))
        LogManager::logError(QStringLiteral("Failed to remove installer:%1").arg(path));
    offerByHand(offer);
    return false;
}

void SoftwareUpdate::offerByHand(const Offer &offer)
{
    // Anything but a web page would be opened by its own program, not shown.
    const QUrl page(offer.downloadUrl);
    if (page.scheme() != QLatin1String("http") && page.scheme() != QLatin1String("https")) {
        LogManager::logError(QStringLiteral("Update download page is not a web address:%1").arg(offer.downloadUrl));
        return;
    }
    // Asked once even when forced: an answer that cannot be trusted must not hold the client.
    const QString text = offer.forced
                             ? QStringLiteral("安装包签名校验失败，此版本必须更新，请在浏览器中下载并手动安装新版本")
                             : QStringLiteral("安装包签名校验失败，请在浏览器中下载安装新版本");
    if (m_prompt(Question::InstallByHand, text, offer.forced) && !m_browser(page))
        LogManager::logError(QStringLiteral("Failed to open URL."));
}
