#pragma once

#include <QByteArray>
#include <QString>

// Whether a path may be opened for reading without blocking or reading for
// ever: FIFOs, devices, sockets and links to them are refused before any
// open. Any thread.
class RegularFile final
{
public:
    RegularFile() = delete;

    // Start-up files are a few kilobytes; anything beyond this is not ours.
    static constexpr qint64 kStartupFileLimit = 1 << 20;

    // True for a regular file or a link that resolves to one.
    static bool isRegular(const QString &path);

    // The whole file when it is regular and at most `limit` bytes. A missing
    // file gives an empty result silently; any other refusal is logged with
    // the path, and the caller keeps its defaults.
    static QByteArray readSmall(const QString &path, qint64 limit = kStartupFileLimit);
};
