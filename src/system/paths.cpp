#include "system/paths.h"

#include <unistd.h>

#include <QDir>
#include <climits>

#include "system/filenames.h"

namespace forms::paths {

bool isUnder(const QString& path, const QString& root) {
    if (root == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

QString clean(const QString& path) { return QDir::cleanPath(path); }

QString currentDirectory() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return QStringLiteral("/");
    return PathText(buffer);
}

QString absolute(const QString& base, const QString& path) {
    return clean(path.startsWith(QLatin1Char('/')) ? path : base + QLatin1Char('/') + path);
}

QString childPath(const QString& dir, const QString& name) {
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

QString lastName(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

QStringList lineage(const QString& path) {
    QStringList chain{clean(path)};
    while (chain.last() != QLatin1String("/")) chain << parentOf(chain.last());
    return chain;
}

}  // namespace forms::paths
