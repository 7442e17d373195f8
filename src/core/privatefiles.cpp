#include "core/privatefiles.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include "core/apppaths.h"

#ifdef Q_OS_UNIX
#include <sys/stat.h>
#endif

namespace {

#ifdef Q_OS_UNIX
void tighten(const QString &path, mode_t mode)
{
    const QFileInfo info(path);
    if (!info.exists() || info.isSymLink())
        return;
    ::chmod(QFile::encodeName(path).constData(), mode);
}

void tightenTree(const QString &folder)
{
    const QFileInfo info(folder);
    if (!info.isDir() || info.isSymLink())
        return;
    tighten(folder, 0700);
    // Without following links, so nothing outside the folder is touched.
    QDirIterator it(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const QFileInfo entry(path);
        if (!entry.isSymLink())
            tighten(path, entry.isDir() ? 0700 : 0600);
    }
}
#endif

} // namespace

void PrivateFiles::restrict()
{
#ifdef Q_OS_UNIX
    ::umask(077);
    // The database folder, and the application data folder with its logs,
    // setup and templates.
    tightenTree(AppPaths::databaseDir());
    tightenTree(AppPaths::appDataDir());
#endif
}
