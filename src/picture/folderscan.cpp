#include "picture/folderscan.h"

#include <sys/stat.h>

#include <algorithm>
#include <set>
#include <utility>

#include "picture/picture.h"
#include "system/directory.h"
#include "system/error.h"
#include "system/filenames.h"
#include "system/paths.h"

namespace forms {

namespace {

class Collector {
public:
    Collector(const std::atomic<bool>& cancel, std::atomic<unsigned>& seen)
        : cancel_(cancel), seen_(seen) {}

    void folder(const QString& dir) {
        if (cancel_ || !firstVisit(dir)) return;
        Listing listing;
        try {
            listing = listDirectory(dir);
        } catch (const Error&) {
            ++found.skipped;
            return;
        }
        for (const Entry& file : sorted(listing, EntryKind::File)) {
            if (cancel_) return;
            ++seen_;
            const QString path = paths::childPath(dir, file.name);
            if (IsPictureFile(path))
                found.pictures << path;
            else
                ++found.skipped;
        }
        for (const Entry& sub : sorted(listing, EntryKind::Directory))
            folder(paths::childPath(dir, sub.name));
    }

    FolderPictures found;

private:
    static std::vector<Entry> sorted(const Listing& listing, EntryKind kind) {
        std::vector<Entry> entries = entriesOf(listing, kind);
        std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
            return NaturalLess(a.shown, b.shown);
        });
        return entries;
    }

    bool firstVisit(const QString& dir) {
        struct stat st {};
        if (::stat(NativePath(dir).constData(), &st) != 0) return true;  // the listing tells
        return visited_.insert({st.st_dev, st.st_ino}).second;
    }

    const std::atomic<bool>& cancel_;
    std::atomic<unsigned>& seen_;
    std::set<std::pair<dev_t, ino_t>> visited_;
};

}  // namespace

FolderPictures CollectPictures(const QString& dir, const std::atomic<bool>& cancel,
                               std::atomic<unsigned>& seen) {
    Collector collector(cancel, seen);
    collector.folder(paths::clean(dir));
    return std::move(collector.found);
}

}  // namespace forms
