#pragma once

#include <cstdlib>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QtGlobal>

#include "support/catalogue.h"

// What every fuzz target needs once: an application object (image plugins,
// temporary paths), no per-input chatter on stderr, and a scratch folder that
// goes away with the process.
namespace fuzz {

inline void dropMessages(QtMsgType type, const QMessageLogContext &, const QString &)
{
    if (type == QtFatalMsg)
        std::abort();
}

inline void start(int *argc, char ***argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QCoreApplication app(*argc, *argv);
    qInstallMessageHandler(dropMessages);
}

// The local backend's catalogue; a target without it would fuzz nothing.
inline const Catalogue &catalogue()
{
    static const Catalogue loaded = [] {
        Catalogue c;
        if (!c.load())
            std::abort();
        return c;
    }();
    return loaded;
}

inline QString scratch()
{
    static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/orderdesk-fuzz-XXXXXX"));
    return dir.path();
}

// The folder-tree program the intake target reads: one op byte, then the
// op's operands. The seed writer uses the same codes.
enum TreeOp : unsigned char {
    OpFolder = 0, // name; the new folder becomes the current one
    OpUp = 1,     // back to the parent
    OpJpeg = 2,   // name, suffix; a small JPEG with Exif
    OpBytes = 3,  // name, suffix, length, bytes
    OpEmpty = 4,  // name, suffix; an empty file
    OpLink = 5,   // name, suffix, target index; a link to an earlier entry or nowhere
    OpCount = 6
};

// Name characters: plain, spaces and dots, CJK as the studios use, and two
// bytes that are not UTF-8 (a GBK lead byte and a lone continuation).
inline QByteArray nameChar(unsigned char code)
{
    static const char *const table[] = {"a",  "Z",  "0",  "7", " ",    ".",    "_",  "-",
                                        "封", "面", "张", "P", "\xB7", "\x80", "._", "~"};
    return QByteArray(table[code % (sizeof(table) / sizeof(table[0]))]);
}

inline QByteArray suffix(unsigned char code)
{
    static const char *const table[] = {".jpg",  ".JPG", ".jpeg", ".JPEG", ".pdf", ".PDF",
                                        ".xlsx", ".png", "",      ".jpg.", ".Jpg", ".tif"};
    return QByteArray(table[code % (sizeof(table) / sizeof(table[0]))]);
}

} // namespace fuzz
