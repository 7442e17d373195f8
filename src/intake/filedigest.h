#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

enum class DigestAlgorithm { Md5, Sha256 };

// The raw digest of what is left to read on `device`, read in fixed-size
// blocks; empty on a read error. Any thread.
QByteArray streamDigest(QIODevice &device, DigestAlgorithm algorithm);

// Lower-case hex MD5 of a file's bytes; empty when the file cannot be read.
QString fileMd5Hex(const QString &path);
