#include "intake/folderintake.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

#include "core/logmanager.h"
#include "intake/cleanpath.h"

namespace {
bool suffixIs(const QFileInfo &info, const char *suffix)
{
    return info.suffix().compare(QLatin1String(suffix), Qt::CaseInsensitive) == 0;
}
} // namespace

QStringList FolderIntake::entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System,
                                  QDir::Name | QDir::IgnoreCase);
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
        switch (kind) {
        case ProductKind::Series:
            if (!info.isDir() && !suffixIs(info, "XLSX"))
                return false;
            break;
        case ProductKind::FrameOrStage:
            if (info.isDir())
                return false;
            break;
        case ProductKind::Album:
            if (!info.isDir())
                return false;
            break;
        }
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
    for (const QString &entry : entries(folder)) {
        ++position;
        const QString path = cleanPath(dir.absoluteFilePath(entry));
        const QFileInfo info(path);
        if (info.isFile() && suffixIs(info, "XLSX"))
            continue;
        auto order = std::make_unique<groupProductImages>();
        if (info.isFile() && !isAcceptedFile(path)) {
            qDebug().noquote() << QStringLiteral("图片格式不对：") + info.suffix();
            order->message = QStringLiteral("图片格式不支持：") + info.suffix().toUpper();
            LogManager::logWarning(order->message);
        }
        order->orderNo = groupProductImages::makeOrderNo(created, position);
        order->name = info.fileName();
        order->path = path;
        order->productName = spu.spuName;
        order->className = className;
        orders.push_back(std::move(order));
    }
    return orders;
}
