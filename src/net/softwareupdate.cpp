#include "net/softwareupdate.h"

#include <cstdlib>

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

#include "core/apppaths.h"
#include "core/logmanager.h"
#include "net/endpoints.h"
#include "net/httputils.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

SoftwareUpdate::SoftwareUpdate(Prompt prompt, QObject *parent)
    : QObject(parent)
    , m_prompt(std::move(prompt))
    , m_starter([](const QString &path) { return QProcess::startDetached(QDir::current().absoluteFilePath(path), {}); })
    , m_exit([] { std::exit(1); })
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
    const QJsonObject offer = http.getJson().value(QStringLiteral("data")).toObject();
    const QString version = offer.value(QStringLiteral("version")).toString();
    const QString downloadUrl = offer.value(QStringLiteral("downloadUrl")).toString();
    const QString context = offer.value(QStringLiteral("context")).toString();
    const QJsonValue forcedValue = offer.value(QStringLiteral("isForcedUpdate"));
    const bool forced = forcedValue.isDouble() && forcedValue.toDouble() != 0.0;

    const QString setupDir = AppPaths::setupDir();
    if (compareVersion(currentVersion(), version) == -1) {
        const QString installer = installerPath(setupDir, version);
        if (installer.isEmpty()) {
            LogManager::logError(QStringLiteral("Update version is not a file name:%1").arg(version));
        } else if (downloadUrl.size() >= 11) {
            if (QFileInfo::exists(installer))
                runInstaller(installer, context, forced);
            else
                downloadInstaller(downloadUrl, installer, context, forced);
        }
    } else if (QDir(setupDir).exists()) {
        // On the first start the folder is simply not there yet: nothing to clear, nothing to report.
        clearDir(setupDir);
    }

    // Written last, so an emptied setup folder still holds it.
    QSettings settings(setupDir + QStringLiteral("/Setting.ini"), QSettings::IniFormat);
    settings.beginGroup(QStringLiteral("version"));
    settings.setValue(QStringLiteral("newVersion"), version);
    settings.setValue(QStringLiteral("isForcedUpdate"), forced);
    settings.setValue(QStringLiteral("downloadUrl"), downloadUrl);
    settings.setValue(QStringLiteral("context"), context);
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

void SoftwareUpdate::downloadInstaller(const QString &url, const QString &path, const QString &context, bool forced)
{
    auto *manager = new QNetworkAccessManager(this);
    QNetworkReply *reply = manager->get(QNetworkRequest(QUrl(url)));
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
    // complete: a file under that name is always whole and is run at once on
    // the next start.
    // A side file that cannot be opened is reported when the reply ends.
    auto *file = new QFile(partialPath(path), reply);
    file->open(QIODevice::WriteOnly | QIODevice::Truncate);
    connect(reply, &QNetworkReply::readyRead, file, [reply, file] {
        if (file->isOpen() && file->write(reply->readAll()) < 0)
            file->close();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, manager, file, path, context, forced] {
        if (file->isOpen() && file->write(reply->readAll()) < 0)
            file->close();
        const bool written = file->isOpen();
        const qint64 size = written ? file->size() : -1;
        file->close();

        bool saved = false;
        if (reply->error() != QNetworkReply::NoError) {
            LogManager::logDebug(QStringLiteral("Error downloading update:") + reply->errorString());
        } else if (!written) {
            LogManager::logDebug(QStringLiteral("Failed to save update file."));
        } else if (const QString fault = installerFault(reply, partialPath(path), size); !fault.isEmpty()) {
            LogManager::logDebug(QStringLiteral("Error downloading update:") + fault);
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
            runInstaller(path, context, forced);
            qDebug() << "updateType:" << forced;
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

void SoftwareUpdate::runInstaller(const QString &path, const QString &context, bool forced)
{
    qDebug() << "textShow:" << context;
    QString text = context;
    text.replace(QStringLiteral("\\n"), QStringLiteral("\n"));
    forever {
        // A forced update has no "no": a prompt that ended without the
        // confirming button is shown again.
        if (!m_prompt(text, forced)) {
            if (forced)
                continue;
            return;
        }
        if (m_starter(path)) {
            m_exit();
            return;
        }
    }
}
