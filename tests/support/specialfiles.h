#pragma once

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QFile>
#include <QString>

// Entries that are not regular files, made where a regular file is expected.
namespace specialfiles {

enum Kind { Fifo, LinkToZero, Socket, LinkToFifo, DanglingLink };

// `scratch` is an existing folder for link targets; `path` must not exist.
inline bool make(Kind kind, const QString &path, const QString &scratch)
{
    const QByteArray native = QFile::encodeName(path);
    switch (kind) {
    case Fifo:
        return ::mkfifo(native.constData(), 0600) == 0;
    case LinkToZero:
        return QFile::link(QStringLiteral("/dev/zero"), path);
    case Socket: {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        if (size_t(native.size()) >= sizeof address.sun_path)
            return false;
        std::memcpy(address.sun_path, native.constData(), size_t(native.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        const bool bound = fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
        if (fd >= 0)
            ::close(fd);
        return bound;
    }
    case LinkToFifo: {
        const QString target = scratch + QStringLiteral("/fifo-") + QString::number(qHash(path));
        return ::mkfifo(QFile::encodeName(target).constData(), 0600) == 0 && QFile::link(target, path);
    }
    case DanglingLink:
        return QFile::link(scratch + QStringLiteral("/nothing-here"), path);
    }
    return false;
}

} // namespace specialfiles
