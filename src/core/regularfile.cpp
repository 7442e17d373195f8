#include "core/regularfile.h"

#include <QFile>
#include <QFileInfo>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

#include "core/logmanager.h"

namespace {

void refuse(const QString &path, const QString &why)
{
    LogManager::logWarning(QStringLiteral("未读取%1：%2，沿用默认值").arg(path, why));
}

const QString kNotRegular = QStringLiteral("不是普通文件");

QString tooLarge(qint64 limit)
{
    return QStringLiteral("超过%1字节").arg(limit);
}

} // namespace

bool RegularFile::isRegular(const QString &path)
{
#ifdef Q_OS_UNIX
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISREG(st.st_mode);
#else
    return QFileInfo(path).isFile();
#endif
}

QByteArray RegularFile::readSmall(const QString &path, qint64 limit)
{
#ifdef Q_OS_UNIX
    // Non-blocking open: a FIFO without a writer would otherwise hold the
    // caller in open() before any check could run. The type is then taken
    // from the opened descriptor, so a swap after a check cannot slip by.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno != ENOENT)
            refuse(path, errno == ENXIO ? kNotRegular : QString::fromLocal8Bit(strerror(errno)));
        return QByteArray();
    }
    struct stat st;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        refuse(path, kNotRegular);
        return QByteArray();
    }
    if (st.st_size > limit) {
        ::close(fd);
        refuse(path, tooLarge(limit));
        return QByteArray();
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return QByteArray();
    }
    // One byte beyond the limit tells a file that grew after fstat.
    const QByteArray content = file.read(limit + 1);
#else
    const QFileInfo info(path);
    if (!info.exists())
        return QByteArray();
    if (!info.isFile()) {
        refuse(path, kNotRegular);
        return QByteArray();
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    const QByteArray content = file.read(limit + 1);
#endif
    if (content.size() > limit) {
        refuse(path, tooLarge(limit));
        return QByteArray();
    }
    return content;
}
