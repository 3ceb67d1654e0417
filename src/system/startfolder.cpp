#include "system/startfolder.h"

#include <unistd.h>

#include <QStringList>
#include <climits>
#include <cstdlib>
#include <utility>
#include <vector>

#include "system/directory.h"
#include "system/error.h"
#include "system/filenames.h"
#include "system/paths.h"

namespace forms {

using jobs::Clock;
using jobs::Job;
using paths::clean;

QString FolderStartedIn() {
    // Asked for with no buffer, the system names a folder of any depth.
    if (char* cwd = ::getcwd(nullptr, 0)) {
        const QString started = PathText(cwd);
        std::free(cwd);
        return started;
    }
    // Removed: the system still knows its name.
    char buffer[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/cwd", buffer, sizeof buffer - 1);
    QByteArray link(buffer, n > 0 ? n : 0);
    if (link.endsWith(" (deleted)")) link.chop(10);
    return link.startsWith('/') ? PathText(link) : QString();
}

StartFolderReadings BeginStartFolderReadings() {
    StartFolderReadings begun;
    begun.started = FolderStartedIn();
    QStringList& candidates = begun.candidates;
    if (!begun.started.isEmpty()) {
        candidates = paths::lineage(begun.started);
        candidates.removeLast();  // the root comes last of all, after home
    }
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/') && !candidates.contains(clean(PathText(home))))
        candidates << clean(PathText(home));
    candidates << QStringLiteral("/");
    // All are read at once, so that a mount that hangs costs the wait once, not once for each
    // folder of it on the way up.
    for (const QString& c : candidates) begun.readings.push_back(startListing(c));
    return begun;
}

QString EnterReadableFolder(Listing* entered) {
    return EnterReadableFolder(BeginStartFolderReadings(), entered);
}

QString EnterReadableFolder(const StartFolderReadings& begun, Listing* entered) {
    const QString& started = begun.started;
    const QStringList& candidates = begun.candidates;
    const auto& readings = begun.readings;
    // PATH_MAX counts the terminating NUL.
    const bool tooLong = NativePath(started).size() >= PATH_MAX;
    const Clock::time_point giveUpAt = Clock::now() + jobs::FileSystemWait();
    QString why;
    for (qsizetype i = 0; i < candidates.size(); ++i) {
        const QString& c = candidates[i];
        Listing listing;
        try {
            listing = finishListing(*readings[size_t(i)], c, giveUpAt);
        } catch (const Error& e) {
            if (c == started)
                why = tooLong ? QStringLiteral(
                                    "起動したフォルダーはパスが長すぎて（%1 バイト以上）"
                                    "開けません。\n")
                                    .arg(PATH_MAX)
                              : e.Description() + QLatin1Char('\n');
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
        if (entered) *entered = std::move(listing);
        if (c == started) return QString();
        if (why.isEmpty()) why = QStringLiteral("起動したフォルダーがなくなっています。\n");
        return why + QStringLiteral("代わりに「%1」を表示します。").arg(DisplayPath(c));
    }
    return QStringLiteral("読めるフォルダーがありません。");
}

}  // namespace forms
