#pragma once

#include <functional>

#include <QByteArray>
#include <QString>

class QIODevice;

enum class DigestAlgorithm { Md5, Sha256 };

// Whether a file's bytes are what its suffix says: ".jpg"/".jpeg" a whole
// JPEG, ".pdf" a PDF; other suffixes are not judged.
enum class FileContent { AsNamed, WrongFormat, Truncated };

struct FileScan
{
    QString md5Hex; // empty when the file cannot be read
    FileContent content = FileContent::AsNamed;
    QByteArray jpegMetadata; // see JpegStructure::metadata()
};

// The raw digest of what is left to read on `device`, read in fixed-size
// blocks, each also shown to `observe`; empty on a read error. Any thread.
QByteArray streamDigest(QIODevice &device, DigestAlgorithm algorithm,
                        const std::function<void(const char *, qint64)> &observe = {});

// Lower-case hex MD5 of a file's bytes; empty when the file cannot be read.
QString fileMd5Hex(const QString &path);

// One read of the file for its MD5, its content check and its JPEG metadata.
FileScan scanFile(const QString &path);
