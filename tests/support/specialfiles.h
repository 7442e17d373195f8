#pragma once

#include <sys/stat.h>

#include <QFile>
#include <QString>

// Entries that are not regular files, made where a regular file is expected.
namespace specialfiles {

enum Kind { Fifo, LinkToZero, DanglingLink };

// `scratch` is an existing folder for link targets; `path` must not exist.
inline bool make(Kind kind, const QString &path, const QString &scratch)
{
    switch (kind) {
    case Fifo:
        return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
    case LinkToZero:
        return QFile::link(QStringLiteral("/dev/zero"), path);
    case DanglingLink:
        return QFile::link(scratch + QStringLiteral("/nothing-here"), path);
    }
    return false;
}

} // namespace specialfiles
