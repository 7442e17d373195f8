#include "intake/unreadableentries.h"

#include <QFile>

#include "intake/systemleftovers.h"

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

QList<UnreadableEntries::Undecodable> UnreadableEntries::undecodableEntries(const QString &folder)
{
    QList<Undecodable> found;
#ifdef Q_OS_UNIX
    const QByteArray dirPath = QFile::encodeName(folder);
    DIR *dir = ::opendir(dirPath.constData());
    if (!dir)
        return found;
    while (const dirent *entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(raw)) == raw)
            continue;
        Undecodable u;
        u.rawName = raw;
        u.shownName = QString::fromUtf8(raw);
        if (SystemLeftovers::isLeftoverName(u.shownName))
            continue;
        struct stat st;
        if (::stat((dirPath + '/' + raw).constData(), &st) == 0) {
            u.isDir = S_ISDIR(st.st_mode);
            u.bytes = S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
        }
        found << u;
    }
    ::closedir(dir);
#else
    Q_UNUSED(folder) // file names are UTF-16 there: every name decodes
#endif
    return found;
}

QString UnreadableEntries::notRegularText(const QString &name)
{
    return QStringLiteral("不是普通文件:%1").arg(name);
}

QString UnreadableEntries::undecodableText(const QString &shownName)
{
    return QStringLiteral("文件名编码无法识别，请重命名:%1").arg(shownName);
}
