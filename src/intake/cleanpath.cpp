#include "intake/cleanpath.h"

#include <QDir>
#include <QFileInfo>

#include "core/logmanager.h"

QString cleanPath(const QString &path)
{
    // Folders above the name were cleaned as entries of their own, or lie
    // outside the dropped folder and are not ours to rename.
    const int cut = path.lastIndexOf(QLatin1Char('/')) + 1;
    const QString parent = path.left(cut);
    QString name = path.mid(cut);
    name.remove(QChar(0xFFFD));
    name.remove(QChar(0xFE0F));
    if (name.contains(QChar(0xF028)) || name.contains(QLatin1Char('\''))) {
        LogManager::logWarning(QStringLiteral("图片路径中有特殊字符:%1").arg(path));
        name.remove(QChar(0xF028));
        name.remove(QLatin1Char('\''));
    }
    const QString cleaned = parent + name;
    if (cleaned == path)
        return path;
    if (QFileInfo::exists(path) && !QDir().rename(path, cleaned)) {
        LogManager::logError(QStringLiteral("重命名失败，沿用原路径:%1").arg(path));
        return path;
    }
    return cleaned;
}
