#include "intake/readimagetoproduct.h"

#include <limits>

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSet>

#include "core/logmanager.h"
#include "core/regularfile.h"
#include "intake/checktexts.h"
#include "intake/cleanpath.h"
#include "intake/filedigest.h"
#include "intake/imageinspector.h"
#include "intake/naturalorder.h"
#include "intake/pagematcher.h"
#include "intake/systemleftovers.h"

namespace {

bool hasSuffix(const QString &path, const char *suffix)
{
    return QFileInfo(path).suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}

QString wrongFormat(const QString &baseName)
{
    return CheckTexts::wrongFormat + baseName;
}

// A file whose bytes are not what its name says fails with a text naming it.
void refuseContent(imgMess &m, FileContent content)
{
    QString error;
    switch (content) {
    case FileContent::AsNamed:
        return;
    case FileContent::WrongFormat:
        error = wrongFormat(m.name);
        break;
    case FileContent::Truncated:
        error = CheckTexts::truncated + m.name;
        break;
    }
    m.errors << error;
    LogManager::logWarning(QStringLiteral("%1 (%2)").arg(error, m.localPath));
}

} // namespace

readImageToProduct::readImageToProduct(const QString &orderPath, const spuMess &spu, groupProductImages *order,
                                       bool flag, const StoreTerms &terms)
    : m_path(orderPath)
    , m_spu(spu)
    , m_order(order)
    , m_flag(flag)
    , m_terms(terms)
{
    setAutoDelete(true);
}

imgMess readImageToProduct::pdfRecord(const QString &path) const
{
    imgMess m = ImageInspector::fileRecord(path);
    m.isPdf = true;
    const FileScan scan = scanFile(path);
    m.imageName = scan.md5Hex;
    refuseContent(m, scan.content);
    return m;
}

// The content is checked before the metadata library sees any of it.
imgMess readImageToProduct::inspected(const QString &path) const
{
    const FileScan scan = scanFile(path);
    imgMess m = scan.content == FileContent::AsNamed ? ImageInspector::inspect(path, scan.jpegMetadata)
                                                     : ImageInspector::fileRecord(path);
    refuseContent(m, scan.content);
    m.imageName = scan.md5Hex;
    return m;
}

void readImageToProduct::scanFolder(const QString &folder, subOrderImages &sub)
{
    const QDir dir(folder);
    for (const QString &fileName : naturalSorted(SystemLeftovers::entries(dir, QDir::Files))) {
        const QString path = cleanPath(dir.absoluteFilePath(fileName));
        const QFileInfo info(path);
        if (!RegularFile::isRegular(path)) {
            sub.errors << UnreadableEntries::notRegularText(info.fileName());
            continue;
        }
        const bool cover = info.completeBaseName().contains(QStringLiteral("封面"));
        imgMess image;
        if (hasSuffix(path, "PDF")) {
            image = pdfRecord(path);
        } else if (!hasSuffix(path, "JPG") && !hasSuffix(path, "JPEG")) {
            sub.errors << wrongFormat(info.completeBaseName());
            continue;
        } else {
            image = inspected(path);
        }
        if (cover)
            sub.addCover(image);
        else
            sub.addInner(image);
    }
    for (const UnreadableEntries::Undecodable &entry : UnreadableEntries::undecodableEntries(folder)) {
        if (!entry.isDir)
            addUndecodable(entry, sub);
    }
}

void readImageToProduct::addUndecodable(const UnreadableEntries::Undecodable &entry, subOrderImages &sub)
{
    // Counted as the page it most likely is, so the totals never come up short.
    sub.errors << UnreadableEntries::undecodableText(entry.shownName);
    sub.count += 1;
    sub.bytes += qint32(qMin<qint64>(entry.bytes, std::numeric_limits<qint32>::max()));
}

QList<subOrderImages> readImageToProduct::collect()
{
    QList<subOrderImages> subs;
    switch (m_spu.kind()) {
    case ProductKind::FrameOrStage: {
        const QString path = cleanPath(m_path);
        subOrderImages sub;
        sub.name = QFileInfo(path).fileName();
        if (!RegularFile::isRegular(path)) {
            sub.errors << UnreadableEntries::notRegularText(sub.name);
        } else if (hasSuffix(path, "PDF")) {
            sub.addSingle(pdfRecord(path));
        } else {
            if (!hasSuffix(path, "JPG"))
                qDebug().noquote() << wrongFormat(QFileInfo(path).completeBaseName());
            sub.addSingle(inspected(path));
        }
        subs << sub;
        break;
    }
    case ProductKind::Album: {
        subOrderImages sub;
        sub.name = QFileInfo(m_path).fileName();
        subOrderImages idOnly;
        idOnly.id = sub.id;
        m_order->createdSubOrders << idOnly;
        scanFolder(m_path, sub);
        subs << sub;
        break;
    }
    case ProductKind::Series: {
        const QDir dir(m_path);
        const QStringList entries = naturalSorted(SystemLeftovers::entries(dir, QDir::Files | QDir::Dirs));
        const QList<UnreadableEntries::Undecodable> undecodable = UnreadableEntries::undecodableEntries(m_path);
        if (entries.isEmpty() && undecodable.isEmpty()) {
            m_order->message += CheckTexts::seriesStructure;
            break;
        }
        for (const QString &entry : entries) {
            const QString raw = dir.absoluteFilePath(entry);
            if (QFileInfo(raw).isDir()) {
                const QString folder = cleanPath(raw);
                subOrderImages sub;
                sub.name = QFileInfo(folder).fileName();
                scanFolder(folder, sub);
                subs << sub;
                continue;
            }
            const QString path = cleanPath(raw);
            subOrderImages sub;
            sub.name = QFileInfo(path).fileName();
            if (!RegularFile::isRegular(path))
                sub.errors << UnreadableEntries::notRegularText(sub.name);
            else if (hasSuffix(path, "PDF"))
                sub.addSingle(pdfRecord(path));
            else if (hasSuffix(path, "JPG"))
                sub.addSingle(inspected(path));
            else
                continue;
            subs << sub;
        }
        for (const UnreadableEntries::Undecodable &entry : undecodable) {
            subOrderImages sub;
            sub.name = entry.shownName;
            if (entry.isDir)
                sub.errors << UnreadableEntries::undecodableText(entry.shownName);
            else
                addUndecodable(entry, sub);
            subs << sub;
        }
        break;
    }
    }
    return subs;
}

void readImageToProduct::run()
{
    // Intake already said why an order whose entry cannot be named has nothing to read.
    const QList<subOrderImages> subs =
        !m_order->message.isEmpty() && !QFileInfo::exists(m_path) ? QList<subOrderImages>() : collect();
    bool matched = false;
    const bool tried = m_order->message.isEmpty() || !subs.isEmpty();
    if (tried)
        matched = PageMatcher(m_spu, m_terms).match(*m_order, subs); // a miss names its order there
    if (tried && !matched) {
        QSet<QString> reached;
        for (const subOrderImages &sub : m_order->failed)
            reached.insert(sub.id);
        for (const subOrderImages &sub : m_order->matched)
            reached.insert(sub.id);
        for (const subOrderImages &sub : subs) {
            if (!reached.contains(sub.id))
                m_order->notTried.append(sub);
        }
    }
    if ((matched || !tried) && !m_order->isMatched()) {
        LogManager::logInfo(
            QStringLiteral("订单检查未通过:%1(%2) %3").arg(m_order->name, m_order->orderNo, m_order->matchStateText()));
    }
    emit productCheckOK(m_order, m_flag);
}
