#include "catalog/templatedownload.h"

#include <algorithm>

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QUrl>

#include "catalog/productservice.h"
#include "catalog/spumess.h"
#include "core/apppaths.h"
#include "core/logmanager.h"
#include "net/httputils.h"

namespace {

// An address as the operator and the log see it: no credentials, no query,
// and no screenful of an inline payload.
QString shown(const QUrl &url)
{
    const QString text = url.toDisplayString(QUrl::RemoveUserInfo | QUrl::RemoveQuery);
    return text.size() > 120 ? text.left(120) + QStringLiteral("…") : text;
}

// Windows sees one file under names that differ in case only.
QString unique(const QString &name, const QStringList &used)
{
    const int dot = name.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot > 0 ? name.left(dot) : name;
    const QString extension = dot > 0 ? name.mid(dot) : QString();
    QString candidate = name;
    for (int n = 2; used.contains(candidate, Qt::CaseInsensitive); ++n)
        candidate = QStringLiteral("%1-%2%3").arg(stem).arg(n).arg(extension);
    return candidate;
}

// Gold-stamp groups, marked or not yet, are the ones with templates.
bool offersTemplates(const skuGroupMess &group)
{
    return group.goldStamp
           || std::any_of(group.skus.cbegin(), group.skus.cend(), [](const skuMess &sku) { return sku.specialPrint; });
}

} // namespace

QString TemplateDownload::Outcome::text() const
{
    QStringList parts;
    if (!saved.isEmpty())
        parts << QStringLiteral("模版已保存到：") + folder;
    parts += problems;
    if (parts.isEmpty())
        parts << QStringLiteral("没有可下载的模版");
    return parts.join(QLatin1Char('\n'));
}

TemplateDownload::TemplateDownload(QObject *parent)
    : QObject(parent)
{
    m_pool.setMaxThreadCount(1);
}

TemplateDownload::~TemplateDownload()
{
    m_stop = true;
    m_pool.waitForDone();
}

bool TemplateDownload::start(const spuMess &product)
{
    if (m_running)
        return false;
    QList<qint32> skuIds;
    for (const skuGroupMess &group : product.candidateGroups) {
        const qint32 id = product.isSeries ? group.seriesSkuId : (group.skus.isEmpty() ? 0 : group.skus.firstKey());
        if (offersTemplates(group) && id > 0)
            skuIds << id;
    }
    m_running = true;
    m_stop = false;
    const qint32 spuId = product.id;
    m_pool.start([this, spuId, skuIds] {
        const Outcome outcome = fetch(spuId, skuIds);
        QMetaObject::invokeMethod(
            this,
            [this, outcome] {
                m_running = false;
                emit finished(outcome);
            },
            Qt::QueuedConnection);
    });
    return true;
}

QString TemplateDownload::folderFor(qint32 spuId)
{
    return spuId > 0 ? AppPaths::templatesDir() + QLatin1Char('/') + QString::number(spuId) : QString();
}

QString TemplateDownload::fileNameFor(const QUrl &url, const QString &fallback)
{
    // Split before decoding: an escaped separator belongs to the last segment
    // and is then replaced like any other character a name cannot hold.
    const QString segment = url.path(QUrl::FullyEncoded).section(QLatin1Char('/'), -1);
    QString name = QUrl::fromPercentEncoding(segment.toUtf8());
    for (QChar &c : name) {
        const bool invisible = c.category() == QChar::Other_Control || c.category() == QChar::Other_Format;
        if (invisible || QStringLiteral("/\\:*?\"<>|").contains(c))
            c = QLatin1Char('_');
    }
    // Leading dots climb or hide; Windows drops trailing dots and blanks.
    static const QRegularExpression edges(QStringLiteral("^[. ]+|[. ]+$"));
    name.remove(edges);
    // A device name opens the device on Windows, whatever its extension.
    static const QRegularExpression device(QStringLiteral("^(con|prn|aux|nul|com[0-9]|lpt[0-9])(\\..*)?$"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (device.match(name).hasMatch())
        name.prepend(QLatin1Char('_'));
    return name.isEmpty() ? fallback : name;
}

QString TemplateDownload::refusal(const QUrl &url)
{
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) || url.host().isEmpty())
        return QStringLiteral("模版地址不是http/https地址，已拒绝：%1").arg(shown(url));
    return QString();
}

bool TemplateDownload::staysInside(const QString &path, const QString &root)
{
    const QString base = QFileInfo(root).canonicalFilePath();
    const QFileInfo entry(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    const QString parent = QFileInfo(entry.absolutePath()).canonicalFilePath();
    if (base.isEmpty() || parent.isEmpty())
        return false;
    // An existing entry counts where it leads: a link out is refused.
    const QString resolved =
        entry.exists() || entry.isSymLink() ? entry.canonicalFilePath() : parent + QLatin1Char('/') + entry.fileName();
    return resolved.startsWith(base + QLatin1Char('/'));
}

TemplateDownload::Outcome TemplateDownload::fetch(qint32 spuId, const QList<qint32> &skuIds)
{
    Outcome outcome;
    const QString folder = folderFor(spuId);
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        outcome.problems << QStringLiteral("模版文件夹不可用：%1").arg(QDir::toNativeSeparators(folder));
        LogManager::logError(outcome.problems.last());
        return outcome;
    }
    outcome.folder = QDir::toNativeSeparators(folder);
    QStringList used;
    for (qint32 id : skuIds) {
        if (m_stop)
            break;
        QStringList addresses;
        if (!ProductService::templateImages(id, &addresses)) {
            outcome.problems << QStringLiteral("模版列表获取失败：%1").arg(HttpUtils::instance().lastMessage());
            continue;
        }
        for (int i = 0; i < addresses.size() && !m_stop; ++i)
            save(addresses.at(i), folder, QStringLiteral("template-%1-%2").arg(id).arg(i + 1), &used, &outcome);
    }
    return outcome;
}

bool TemplateDownload::save(const QString &address, const QString &folder, const QString &fallback, QStringList *used,
                            Outcome *outcome)
{
    const auto fail = [outcome](const QString &reason) {
        LogManager::logError(reason);
        outcome->problems << reason;
        return false;
    };
    const QUrl url(address);
    const QString refused = refusal(url);
    if (!refused.isEmpty())
        return fail(refused);
    const QString name = unique(fileNameFor(url, fallback), *used);
    const QString path = folder + QLatin1Char('/') + name;
    if (!staysInside(path, AppPaths::templatesDir()))
        return fail(QStringLiteral("模版文件会写到模版文件夹以外，已拒绝：%1").arg(QDir::toNativeSeparators(path)));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return fail(QStringLiteral("模版无法保存：%1（%2）").arg(QDir::toNativeSeparators(path), file.errorString()));
    HttpUtils &http = HttpUtils::instance();
    if (!http.download(url, &file, kMaxBytes, &m_stop)) {
        file.cancelWriting();
        return fail(QStringLiteral("模版下载失败：%1（%2）").arg(http.lastMessage(), shown(url)));
    }
    if (!file.commit())
        return fail(QStringLiteral("模版无法保存：%1（%2）").arg(QDir::toNativeSeparators(path), file.errorString()));
    used->append(name);
    outcome->saved << name;
    LogManager::logInfo(QStringLiteral("模版已保存：%1").arg(QDir::toNativeSeparators(path)));
    return true;
}
