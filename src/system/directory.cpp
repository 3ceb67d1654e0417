#include "system/directory.h"

#include <dirent.h>
#include <locale.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "system/error.h"
#include "system/filenames.h"

namespace forms {

using jobs::await;
using jobs::Clock;
using jobs::Job;
using jobs::startJob;

namespace {

// Why a directory could not be opened, in words for the user: the runtime's own texts are
// about files and writing.
QString openFailure(int number) {
    switch (number) {
        case err::PathNotFound:
            return QStringLiteral("フォルダーが見つかりません。");
        case err::PermissionDenied:
            return QStringLiteral("フォルダーを読む権限がありません。");
        default:
            return QStringLiteral("フォルダーを読めません。");
    }
}

// The error's description names the folder, so that a handler that does not trap it still
// tells the user which folder failed.
[[noreturn]] void raiseOpenError(int error, const QString& dir) {
    int number = err::DeviceUnavailable;
    switch (error) {
        case ENOENT:
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            number = err::PathNotFound;
            break;
        case EACCES:
        case EPERM:
            number = err::PermissionDenied;
            break;
    }
    throw Error(number, QStringLiteral("フォルダー「%1」を開けません。\n%2")
                            .arg(DisplayPath(dir), openFailure(number)));
}

EntryKind kindOf(int dir, const dirent* entry) {
    switch (entry->d_type) {
        case DT_DIR:
            return EntryKind::Directory;
        case DT_REG:
            return EntryKind::File;
        case DT_LNK:
        case DT_UNKNOWN:
            break;
        default:
            return EntryKind::Other;
    }
    struct stat st {};
    if (::fstatat(dir, entry->d_name, &st, 0) != 0) return EntryKind::Other;
    return S_ISDIR(st.st_mode)   ? EntryKind::Directory
           : S_ISREG(st.st_mode) ? EntryKind::File
                                 : EntryKind::Other;
}

Listing readListing(const QByteArray& dir, std::atomic<unsigned>& progress) {
    Listing listing;
    DIR* d = ::opendir(dir.constData());
    if (!d) {
        listing.error = errno ? errno : EIO;
        return listing;
    }
    // Room for the names at once, by the directory's own size: a directory of many entries is
    // not copied over and over while it grows.
    struct stat st {};
    if (::fstat(::dirfd(d), &st) == 0 && st.st_size > 0) {
        const size_t room = std::min<size_t>(size_t(st.st_size), size_t(64) << 20);
        listing.names.reserve(room);
        listing.entries.reserve(room / 24);
    }
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(d);
        if (!entry) {
            listing.error = errno;
            break;
        }
        progress.fetch_add(1, std::memory_order_relaxed);
        if (entry->d_name[0] == '.') continue;
        listing.entries.emplace_back(listing.names.size(), kindOf(::dirfd(d), entry));
        listing.names.append(entry->d_name, std::strlen(entry->d_name) + 1);
    }
    ::closedir(d);
    return listing;
}

}  // namespace

// A reading of a directory, begun on a thread of its own.
std::shared_ptr<Job<Listing>> startListing(const QString& dir, bool sortDirectories) {
    return startJob<Listing>([hook = jobs::Hook(), native = NativePath(dir),
                              sortDirectories](std::atomic<unsigned>& progress) {
        if (hook) hook(native);
        Listing listing = readListing(native, progress);
        if (sortDirectories && !listing.error)
            listing.directories = std::make_shared<const Files>(
                sortedNames(listing, EntryKind::Directory, Matcher(QStringLiteral("*"))));
        return listing;
    });
}

// The reading's outcome: throws when the directory cannot be read, or when its reading has
// stopped getting on (a dead or hung mount), which is then left to itself.
Listing finishListing(Job<Listing>& job, const QString& dir, Clock::time_point giveUpAt) {
    if (!await(job, giveUpAt))
        throw Error(err::DeviceUnavailable,
                    QStringLiteral("フォルダー「%1」を開けません。\n%2")
                        .arg(DisplayPath(dir), QStringLiteral("フォルダーが応答しません。")));
    const std::lock_guard<std::mutex> lock(job.mutex);
    if (job.result.error) raiseOpenError(job.result.error, dir);
    return std::move(job.result);
}

namespace {
thread_local ListingLoan* innermostLoan = nullptr;
}  // namespace

ListingLoan::ListingLoan(const QString& dir, const Listing& listing)
    : dir_(dir), listing_(listing), outer_(innermostLoan) {
    innermostLoan = this;
}

ListingLoan::~ListingLoan() { innermostLoan = outer_; }

const Listing* ListingLoan::Lent(const QString& dir) {
    for (const ListingLoan* loan = innermostLoan; loan; loan = loan->outer_)
        if (loan->dir_ == dir) return &loan->listing_;
    return nullptr;
}

// Reads a directory's visible entries, never waiting long on a directory that hangs.
Listing listDirectory(const QString& dir) {
    return finishListing(*startListing(dir), dir, Clock::now() + jobs::FileSystemWait());
}

// The entries of a listing of the given kind, sorted as the lists show them: regardless of
// case, then by code unit.
std::vector<Entry> entriesOf(const Listing& listing, EntryKind kind) {
    std::vector<Entry> out;
    for (const auto& [at, k] : listing.entries) {
        if (k != kind) continue;
        const QByteArrayView raw(listing.names.data() + at);
        out.push_back({DisplayName(raw), PathText(raw)});
    }
    std::sort(out.begin(), out.end(), [](const Entry& a, const Entry& b) {
        const int c = QString::compare(a.shown, b.shown, Qt::CaseInsensitive);
        if (c != 0) return c < 0;
        return a.shown != b.shown ? a.shown < b.shown : a.name < b.name;
    });
    return out;
}

Matcher::Matcher(const QString& pattern) {
    for (const QString& part : pattern.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QString p = part.trimmed();
        if (p == QLatin1String("*") || p == QLatin1String("*.*")) {
            all_ = true;
        } else if (p.startsWith(QLatin1String("*.")) &&
                   !p.mid(1).contains(QRegularExpression(QStringLiteral("[*?\\[]")))) {
            suffixes_.push_back(p.mid(1).toUtf8().toLower());
        } else {
            patterns_.push_back(
                QRegularExpression(QRegularExpression::wildcardToRegularExpression(p),
                                   QRegularExpression::CaseInsensitiveOption));
        }
    }
}

bool Matcher::matches(const char* name) const {
    if (all_) return true;
    const size_t n = std::strlen(name);
    for (const QByteArray& s : suffixes_)
        if (n >= size_t(s.size()) && qstrnicmp(name + n - s.size(), s.constData(), s.size()) == 0)
            return true;
    if (patterns_.empty()) return false;
    const QString decoded = DisplayName(name);
    return std::any_of(patterns_.begin(), patterns_.end(),
                       [&](auto& re) { return re.match(decoded).hasMatch(); });
}

namespace {

// Two ASCII names in the list's order: regardless of letter case, then as bytes. The names
// end with their NUL in the listing; the C locale folds only A to Z, as QString does for ASCII.
bool asciiBefore(const char* a, const char* b) {
    static const locale_t c = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
    const int folded = ::strcasecmp_l(a, b, c);
    return folded != 0 ? folded < 0 : std::strcmp(a, b) < 0;
}

// A decoded name against another name: regardless of letter case, then exactly.
template <typename Other>
int compareDecoded(QStringView name, Other other) {
    const int c = name.compare(other, Qt::CaseInsensitive);
    return c != 0 ? c : name.compare(other, Qt::CaseSensitive);
}

}  // namespace

// Directories of many files are common, so the names are kept as bytes while they are sorted:
// names in ASCII (nearly all) compare as bytes, which gives the same order; only the others are
// decoded.
Files sortedNames(const Listing& listing, EntryKind wanted, const Matcher& matcher) {
    struct Name {
        size_t at, size;
        int decoded;  // index into `decoded`, or -1 for an ASCII name
        // An ASCII name's first eight bytes with letters folded, the first the highest: most
        // names are ordered by it alone.
        uint64_t key;
        // The first character folded as QString folds it, where it is one code unit (0
        // otherwise): names that differ there are ordered by it alone.
        char16_t first;
    };
    auto firstOf = [](QStringView name) -> char16_t {
        if (name.isEmpty() || name[0].isSurrogate()) return 0;
        return char16_t(QChar::toCaseFolded(char32_t(name[0].unicode())));
    };
    auto keyOf = [](const char* name) {
        uint64_t key = 0;
        for (int i = 0; i < 8; ++i) {
            const uchar c = uchar(name[i]);
            key = key << 8 | (c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
            if (!c) {
                key <<= 8 * (7 - i);
                break;
            }
        }
        return key;
    };
    const std::string& pool = listing.names;
    std::vector<Name> names;
    QStringList decoded;
    for (const auto& [at, kind] : listing.entries) {
        const char* name = pool.data() + at;
        if (kind != wanted || !matcher.matches(name)) continue;
        const size_t size = std::strlen(name);
        const bool ascii = std::all_of(name, name + size, [](char c) { return uchar(c) < 0x80; });
        if (ascii) {
            const uint64_t key = keyOf(name);
            names.push_back({at, size, -1, key, char16_t(key >> 56)});
            continue;
        }
        decoded.push_back(DisplayName(QByteArrayView(name, qsizetype(size))));
        names.push_back({at, size, int(decoded.size() - 1), 0, firstOf(decoded.back())});
    }

    auto latin1 = [&](const Name& n) {
        return QLatin1StringView(pool.data() + n.at, qsizetype(n.size));
    };
    auto order = [&](const Name& a, const Name& b) {
        if (a.first != b.first && a.first && b.first) return a.first < b.first;
        if (a.decoded < 0 && b.decoded < 0)
            return a.key != b.key ? a.key < b.key
                                  : asciiBefore(pool.data() + a.at, pool.data() + b.at);
        if (a.decoded >= 0 && b.decoded >= 0) {
            // Names shown alike keep the order of their bytes.
            const int c = compareDecoded(decoded[a.decoded], QStringView(decoded[b.decoded]));
            return c != 0 ? c < 0
                          : std::string_view(pool.data() + a.at, a.size) <
                                std::string_view(pool.data() + b.at, b.size);
        }
        if (a.decoded >= 0) return compareDecoded(decoded[a.decoded], latin1(b)) < 0;
        return compareDecoded(decoded[b.decoded], latin1(a)) > 0;
    };
    std::sort(names.begin(), names.end(), order);

    Files out;
    out.shown.reserve(qsizetype(names.size()));
    for (const Name& n : names) {
        if (n.decoded < 0) {
            out.shown.push_back(QString(latin1(n)));
            continue;
        }
        out.names.emplace_back(int(out.shown.size()),
                               PathText(QByteArrayView(pool.data() + n.at, qsizetype(n.size))));
        out.shown.push_back(decoded[n.decoded]);
    }
    return out;
}

Files matchingFiles(const Listing& listing, const Matcher& matcher) {
    return sortedNames(listing, EntryKind::File, matcher);
}

bool NaturalLess(QStringView a, QStringView b) {
    auto digit = [](QChar c) { return c >= u'0' && c <= u'9'; };
    qsizetype i = 0, j = 0;
    while (i < a.size() && j < b.size()) {
        if (digit(a[i]) && digit(b[j])) {
            // Leading zeros aside, a longer run is a larger number.
            while (i + 1 < a.size() && a[i] == u'0' && digit(a[i + 1])) ++i;
            while (j + 1 < b.size() && b[j] == u'0' && digit(b[j + 1])) ++j;
            qsizetype ie = i, je = j;
            while (ie < a.size() && digit(a[ie])) ++ie;
            while (je < b.size() && digit(b[je])) ++je;
            if (ie - i != je - j) return ie - i < je - j;
            if (const int c = a.mid(i, ie - i).compare(b.mid(j, je - j))) return c < 0;
            i = ie;
            j = je;
            continue;
        }
        const QChar x = a[i].toCaseFolded(), y = b[j].toCaseFolded();
        if (x != y) return x < y;
        ++i;
        ++j;
    }
    if (a.size() - i != b.size() - j) return a.size() - i < b.size() - j;
    return a.compare(b) < 0;
}

}  // namespace forms
