#pragma once

#include <QByteArray>
#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "system/jobs.h"

// Directories read away from the window, and their entries sorted and matched as the lists
// show them.
namespace forms {

enum class EntryKind : unsigned char { Directory, File, Other };

// The entries a list shows: their names as shown, and for each name that is not ASCII (and
// so may be shown otherwise than it is held) its row and its path text.
struct Files {
    QStringList shown;
    std::vector<std::pair<int, QString>> names;
};

// One reading of a directory: its visible entries (not ".", ".." nor hidden ones) by name, as
// readdir gives them, and what each is (links followed).
struct Listing {
    std::string names;                                  // each followed by a NUL
    std::vector<std::pair<size_t, EntryKind>> entries;  // where the name starts; its kind
    int error = 0;
    // Its directories as a list shows them, where the reading was asked to sort them.
    std::shared_ptr<const Files> directories;
};

// A reading of a directory, begun on a thread of its own; that thread also sorts its
// directories when asked to.
std::shared_ptr<jobs::Job<Listing>> startListing(const QString& dir, bool sortDirectories = false);
// The reading's outcome: throws when the directory cannot be read, or when its reading has
// stopped getting on (a dead or hung mount), which is then left to itself. The error's
// description names the folder.
Listing finishListing(jobs::Job<Listing>& job, const QString& dir,
                      jobs::Clock::time_point giveUpAt);
// Reads a directory's visible entries, never waiting long on a directory that hangs.
Listing listDirectory(const QString& dir);

// A reading of a directory just made, lent while the work it was made for goes on (a list
// told of the directory, the window that opens on it), so that a directory of many entries is
// read once, not once for each list that shows it.
class ListingLoan {
public:
    ListingLoan(const QString& dir, const Listing& listing);
    ~ListingLoan();
    // The reading of `dir` lent on the calling thread, or nullptr.
    static const Listing* Lent(const QString& dir);
    ListingLoan(const ListingLoan&) = delete;
    ListingLoan& operator=(const ListingLoan&) = delete;

private:
    const QString dir_;
    const Listing& listing_;
    ListingLoan* const outer_;
};

// A listed entry: the name as shown, and as a path text that names it.
struct Entry {
    QString shown, name;
};
// The entries of a listing of the given kind, sorted as the lists show them: regardless of
// case, then by code unit.
std::vector<Entry> entriesOf(const Listing& listing, EntryKind kind);

// The file pattern: "*.ext" entries compare the name's end regardless of case; other
// wildcards go through a regular expression.
class Matcher {
public:
    explicit Matcher(const QString& pattern);
    bool matches(const char* name) const;

private:
    bool all_ = false;
    std::vector<QByteArray> suffixes_;
    std::vector<QRegularExpression> patterns_;
};

// Natural order of names: runs of digits compare by their value (img2 before img10), the rest
// regardless of case; names equal so compare as strings do.
bool NaturalLess(QStringView a, QStringView b);

// The names of a listing's entries of a kind that match, sorted as the lists show them:
// regardless of case, then by code unit, as QString compares them.
Files sortedNames(const Listing& listing, EntryKind kind, const Matcher& matcher);
// The same of its files.
Files matchingFiles(const Listing& listing, const Matcher& matcher);

}  // namespace forms
