#pragma once

#include <QString>
#include <QStringList>

// Path texts (see filenames.h) taken apart and put together.
namespace forms::paths {

// The path without "." and ".." steps, doubled or trailing slashes.
QString clean(const QString& path);
// `path` taken from `base` when it is relative, cleaned.
QString absolute(const QString& base, const QString& path);
// The process's current directory; the root when it has none (it was removed).
QString currentDirectory();
// Whether `path` is `root` or lies below it.
bool isUnder(const QString& path, const QString& root);
QString childPath(const QString& dir, const QString& name);
QString lastName(const QString& path);
QString parentOf(const QString& path);
// The path, cleaned, then each folder above it, nearest first, down to the root "/".
QStringList lineage(const QString& path);

}  // namespace forms::paths
