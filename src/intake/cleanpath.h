#pragma once

#include <QString>

// Removes the characters the shop's storage cannot carry from the last
// component of a path, and renames the file or folder on disk to match.
// Returns the path to use from then on: the cleaned one, or the one received
// when the rename failed (so the file is still found). Any thread.
QString cleanPath(const QString &path);
