#include "system/startfolder.h"

#include <unistd.h>

#include <QStringList>
#include <climits>
#include <vector>

#include "system/directory.h"
#include "system/error.h"
#include "system/filenames.h"
#include "system/paths.h"

namespace forms {

using jobs::Clock;
using jobs::Job;
using paths::clean;

QString EnterReadableFolder() {
    // The folder started in, also when it has been removed: then the system still knows its
    // name.
    QString started;
    char buffer[PATH_MAX];
    if (::getcwd(buffer, sizeof buffer)) {
        started = PathText(buffer);
    } else {
        const ssize_t n = ::readlink("/proc/self/cwd", buffer, sizeof buffer - 1);
        QByteArray link(buffer, n > 0 ? n : 0);
        if (link.endsWith(" (deleted)")) link.chop(10);
        if (link.startsWith('/')) started = PathText(link);
    }
    QStringList candidates;
    if (!started.isEmpty()) {
        candidates = paths::lineage(started);
        candidates.removeLast();  // the root comes last of all, after home
    }
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/') && !candidates.contains(clean(PathText(home))))
        candidates << clean(PathText(home));
    candidates << QStringLiteral("/");
    // All are read at once, so that a mount that hangs costs the wait once, not once for each
    // folder of it on the way up.
    std::vector<std::shared_ptr<Job<Listing>>> readings;
    for (const QString& c : candidates) readings.push_back(startListing(c));
    const Clock::time_point giveUpAt = Clock::now() + jobs::FileSystemWait();
    QString why;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const QString& c = candidates[i];
        try {
            finishListing(*readings[size_t(i)], c, giveUpAt);
        } catch (const Error& e) {
            if (c == started) why = e.Description() + QLatin1Char('\n');
            continue;
        }
        if (::chdir(NativePath(c).constData()) != 0) {
            // Listed but not entered: a folder that may be read but not searched.
            if (c == started)
                why =
                    (errno == EACCES ? QStringLiteral("フォルダー「%1」に入る権限がありません。\n")
                                     : QStringLiteral("フォルダー「%1」に入れません。\n"))
                        .arg(DisplayPath(c));
            continue;
        }
        if (c == started) return QString();
        if (why.isEmpty()) why = QStringLiteral("起動したフォルダーがなくなっています。\n");
        return why + QStringLiteral("代わりに「%1」を表示します。").arg(DisplayPath(c));
    }
    return QStringLiteral("読めるフォルダーがありません。");
}

}  // namespace forms
