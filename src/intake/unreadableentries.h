#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Entries of a dropped folder that must not be read as images but must not
// vanish either: special files (FIFOs, devices, sockets, links to them) and
// names held in an encoding that cannot be decoded (GBK names unpacked from
// Windows archives), which directory listings leave out. Any thread.
class UnreadableEntries final
{
public:
    UnreadableEntries() = delete;

    struct Undecodable
    {
        QByteArray rawName;
        QString shownName; // undecodable bytes shown as U+FFFD
        bool isDir = false;
        qint64 bytes = 0;
    };

    // The entries of `folder` whose names do not decode, in directory order,
    // without system leftovers.
    static QList<Undecodable> undecodableEntries(const QString &folder);

    static QString notRegularText(const QString &name);
    static QString undecodableText(const QString &shownName);
};
