#pragma once

#include <QString>

// Lower-case hex MD5 of a file's bytes, read in fixed-size blocks; empty when
// the file cannot be read. Any thread.
QString fileMd5Hex(const QString &path);
