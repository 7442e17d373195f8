#include "intake/folderintake.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include "core/logmanager.h"
#include "core/regularfile.h"
#include "intake/cleanpath.h"
#include "intake/systemleftovers.h"
#include "intake/unreadableentries.h"

namespace {
bool suffixIs(const QFileInfo &info, const char *suffix)
{
    return info.suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}

bool fitsKind(ProductKind kind, bool isDir, bool spreadsheet)
{
    switch (kind) {
    case ProductKind::Series:
        return isDir || spreadsheet;
    case ProductKind::FrameOrStage:
        return !isDir;
    case ProductKind::Album:
        return isDir;
    }
    return false;
}
} // namespace

QStringList FolderIntake::entries(const QString &folder)
{
    return SystemLeftovers::entries(QDir(folder), QDir::Files | QDir::Dirs, QDir::Name | QDir::IgnoreCase);
}

bool FolderIntake::isAcceptedFile(const QString &path)
{
    const QFileInfo info(path);
    return suffixIs(info, "JPG") || suffixIs(info, "JPEG") || suffixIs(info, "PDF");
}

bool FolderIntake::structureOk(const QString &folder, ProductKind kind)
{
    const QDir dir(folder);
    for (const QString &entry : entries(folder)) {
        const QFileInfo info(dir.absoluteFilePath(entry));
        if (!fitsKind(kind, info.isDir(), suffixIs(info, "XLSX")))
            return false;
    }
    for (const UnreadableEntries::Undecodable &entry : UnreadableEntries::undecodableEntries(folder)) {
        if (!fitsKind(kind, entry.isDir, suffixIs(QFileInfo(entry.shownName), "XLSX")))
            return false;
    }
    return true;
}

std::vector<std::unique_ptr<groupProductImages>> FolderIntake::createOrders(const QString &folder, const spuMess &spu,
                                                                            const QDateTime &created)
{
    std::vector<std::unique_ptr<groupProductImages>> orders;
    const QDir dir(folder);
    const QString className = QFileInfo(folder).fileName();
    int position = 0;
    const bool frameOrStage = spu.kind() == ProductKind::FrameOrStage;
    const auto add = [&](const QString &name, const QString &path, const QString &message) {
        auto order = std::make_unique<groupProductImages>();
        if (!message.isEmpty()) {
            order->message = message;
            LogManager::logWarning(QStringLiteral("%1 (%2)").arg(message, path));
        }
        order->orderNo = groupProductImages::makeOrderNo(created, position);
        order->name = name;
        order->path = path;
        order->productName = spu.spuName;
        order->className = className;
        orders.push_back(std::move(order));
    };

    for (const QString &entry : entries(folder)) {
        ++position;
        const QString path = cleanPath(dir.absoluteFilePath(entry));
        const QFileInfo info(path);
        if (info.isFile() && suffixIs(info, "XLSX"))
            continue;
        QString message;
        if (!info.isDir() && !RegularFile::isRegular(path)) {
            // Checked before the suffix: a FIFO named .jpg must never reach a reader.
            message = UnreadableEntries::notRegularText(info.fileName());
        } else if (info.isFile() && (!isAcceptedFile(path) || (frameOrStage && suffixIs(info, "PDF")))) {
            // A frame or stage is printed from one photo; a PDF cannot be one.
            qDebug().noquote() << QStringLiteral("图片格式不对：") + info.suffix();
            message = QStringLiteral("图片格式不支持：") + info.suffix().toUpper();
        }
        add(info.fileName(), path, message);
    }
    // Listings leave these out; each still becomes an order the operator sees.
    for (const UnreadableEntries::Undecodable &entry : UnreadableEntries::undecodableEntries(folder)) {
        ++position;
        if (!entry.isDir && suffixIs(QFileInfo(entry.shownName), "XLSX"))
            continue;
        add(entry.shownName, dir.absoluteFilePath(entry.shownName),
            UnreadableEntries::undecodableText(entry.shownName));
    }
    return orders;
}
