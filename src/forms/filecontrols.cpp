#include "filecontrols.h"

#include <dirent.h>
#include <sys/stat.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QStorageInfo>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "filenames.h"
#include "listwidget.h"
#include "runtime.h"

namespace forms {

// --- drives ---

namespace {

bool isPseudo(const QStorageInfo& volume) {
    static const QList<QByteArray> pseudoTypes = {
        "proc",    "sysfs",       "devpts", "devtmpfs", "cgroup", "cgroup2",    "securityfs",
        "debugfs", "tracefs",     "pstore", "bpf",      "mqueue", "hugetlbfs",  "configfs",
        "fusectl", "binfmt_misc", "autofs", "efivarfs", "nsfs",   "rpc_pipefs", "squashfs"};
    if (pseudoTypes.contains(volume.fileSystemType())) return true;
    const QString root = volume.rootPath();
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot"}) {
        const QString s = QString::fromLatin1(system);
        if (root == s || root.startsWith(s + QLatin1Char('/'))) {
            // Removable media of a desktop session are mounted under /run/media.
            return !root.startsWith(QStringLiteral("/run/media/"));
        }
    }
    return false;
}

QList<DriveInfo> mountedDrives() {
    QList<DriveInfo> drives;
    for (const QStorageInfo& volume : QStorageInfo::mountedVolumes()) {
        if (!volume.isValid() || isPseudo(volume)) continue;
        const QString root = volume.rootPath();
        if (!QFileInfo(root).isDir()) continue;  // a file bind-mounted over another
        if (std::any_of(drives.begin(), drives.end(), [&](auto& d) { return d.path == root; }))
            continue;
        drives.push_back({root, root == QLatin1String("/") ? QString() : volume.name()});
    }
    if (drives.isEmpty() || drives.front().path != QLatin1String("/")) {
        drives.erase(std::remove_if(drives.begin(), drives.end(),
                                    [](auto& d) { return d.path == QLatin1String("/"); }),
                     drives.end());
        drives.prepend({QStringLiteral("/"), QString()});
    }
    std::sort(drives.begin() + 1, drives.end(), [](auto& a, auto& b) { return a.path < b.path; });
    return drives;
}

DriveSource& driveSource() {
    static DriveSource source = mountedDrives;
    return source;
}

bool isUnder(const QString& path, const QString& root) {
    if (root == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

QString clean(const QString& path) { return QDir::cleanPath(path); }

}  // namespace

void SetDriveSource(DriveSource source) {
    driveSource() = source ? std::move(source) : DriveSource(mountedDrives);
}

QList<DriveInfo> Drives() { return driveSource()(); }

QString DriveOf(const QString& path) {
    const QString p = clean(path);
    QString best;
    for (const DriveInfo& d : Drives())
        if (isUnder(p, clean(d.path)) && clean(d.path).size() > best.size()) best = clean(d.path);
    return best;
}

class DriveWidget : public QComboBox {
public:
    using QComboBox::QComboBox;
    std::function<void()> beforePopup;

protected:
    // Media come and go: the list is read anew each time it opens.
    void showPopup() override {
        if (beforePopup) beforePopup();
        QComboBox::showPopup();
    }
};

DriveListBox::DriveListBox(Form& form, const char* name)
    : Control(form, name, Kind::DriveListBox),
      Drive([this] { return index_ >= 0 ? drives_.at(index_).path : QString(); },
            [this](QString path) {
                refill();
                const QString drive = DriveOf(QDir(QDir::currentPath()).absoluteFilePath(path));
                for (int i = 0; i < drives_.size(); ++i) {
                    if (clean(drives_[i].path) != drive) continue;
                    if (i != index_) {
                        select(i);
                        if (Change) Change();
                    }
                    return;
                }
                Raise(err::DeviceUnavailable);
            }),
      combo_(new DriveWidget(form.client())) {
    setWidget(combo_);
    combo_->beforePopup = [this] { refill(); };
    refill();
    const QString current = DriveOf(QDir::currentPath());
    for (int i = 0; i < drives_.size(); ++i)
        if (clean(drives_[i].path) == current) select(i);
    QObject::connect(combo_, &QComboBox::activated, combo_, [this](int i) {
        if (i == index_) return;
        select(i);
        raise(Change);
    });
}

void DriveListBox::refill() {
    const QString chosen = index_ >= 0 ? drives_.at(index_).path : QString();
    drives_ = Drives();
    const QSignalBlocker block(combo_);
    combo_->clear();
    index_ = -1;
    for (int i = 0; i < drives_.size(); ++i) {
        const DriveInfo& d = drives_[i];
        combo_->addItem(d.label.isEmpty() ? d.path
                                          : QStringLiteral("%1 [%2]").arg(d.path, d.label));
        if (d.path == chosen) index_ = i;
    }
    combo_->setCurrentIndex(index_);
}

void DriveListBox::select(int index) {
    index_ = index;
    const QSignalBlocker block(combo_);
    combo_->setCurrentIndex(index);
}

// --- directories ---

namespace {

enum Role { PathRole = Qt::UserRole, LevelRole };

// The directory last open on each drive: giving a drive opens it there again.
std::map<QString, QString>& lastDirectoryOnDrive() {
    static std::map<QString, QString> last;
    return last;
}

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
    throw Error(number,
                QStringLiteral("フォルダー「%1」を開けません。\n%2").arg(dir, openFailure(number)));
}

bool isDirectory(const QByteArray& dir, const dirent* entry) {
    if (entry->d_type == DT_DIR) return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
    struct stat st {};
    return ::stat((dir + '/' + entry->d_name).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool isRegularFile(const QByteArray& dir, const dirent* entry) {
    if (entry->d_type == DT_REG) return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN) return false;
    struct stat st {};
    return ::stat((dir + '/' + entry->d_name).constData(), &st) == 0 && S_ISREG(st.st_mode);
}

// One reading of a directory: its visible entries (not ".", ".." nor hidden ones) by name
// and type, as readdir gives them.
struct Listing {
    QByteArray dir;
    std::string names;                                      // each followed by a NUL
    std::vector<std::pair<size_t, unsigned char>> entries;  // where the name starts; d_type
    struct stat stamp {};  // the directory's, taken as the reading began
    timespec began{};
};

// The last reading, kept until the current event has been handled. Opening a directory in
// the directory list reads it, and the file list, told of the change in the same event, reads
// it again for its files: for a directory of many entries the second reading doubles the wait.
// It is served from the first when the directory cannot have changed since: its modification
// and change times are as they were and lie well before the first reading began, so that any
// change made since would have moved them (file systems keep these times on a coarse clock).
std::unique_ptr<Listing> g_lastListing;

bool unchangedSince(const Listing& listing, const struct stat& now) {
    auto ns = [](const timespec& t) { return qint64(t.tv_sec) * 1000000000 + t.tv_nsec; };
    const qint64 settled = ns(listing.began) - 100000000;  // a tenth of a second before
    const struct stat& then = listing.stamp;
    return now.st_dev == then.st_dev && now.st_ino == then.st_ino &&
           ns(now.st_mtim) == ns(then.st_mtim) && ns(now.st_ctim) == ns(then.st_ctim) &&
           ns(then.st_mtim) < settled && ns(then.st_ctim) < settled;
}

// Reads a directory's visible entries; throws when it cannot be read.
const Listing& listDirectory(const QString& dir) {
    const QByteArray native = NativePath(dir);
    struct stat now {};
    if (g_lastListing && g_lastListing->dir == native && ::stat(native.constData(), &now) == 0 &&
        unchangedSince(*g_lastListing, now))
        return *g_lastListing;
    g_lastListing.reset();
    DIR* d = ::opendir(native.constData());
    if (!d) raiseOpenError(errno, dir);
    auto listing = std::make_unique<Listing>();
    listing->dir = native;
    ::clock_gettime(CLOCK_REALTIME, &listing->began);
    if (::fstat(::dirfd(d), &listing->stamp) != 0) listing->stamp = {};
    int error = 0;
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(d);
        if (!entry) {
            error = errno;
            break;
        }
        if (entry->d_name[0] == '.') continue;
        listing->entries.emplace_back(listing->names.size(), entry->d_type);
        listing->names.append(entry->d_name, std::strlen(entry->d_name) + 1);
    }
    ::closedir(d);
    if (error) raiseOpenError(error, dir);
    g_lastListing = std::move(listing);
    if (QCoreApplication* app = QCoreApplication::instance())
        QTimer::singleShot(0, app, [] { g_lastListing.reset(); });
    return *g_lastListing;
}

// Calls `visit` with each visible entry of a directory, as a dirent.
template <typename Visit>
const Listing& forEachEntry(const QString& dir, Visit visit) {
    const Listing& listing = listDirectory(dir);
    dirent entry{};
    for (const auto& [at, type] : listing.entries) {
        const char* name = listing.names.data() + at;
        entry.d_type = type;
        std::memcpy(entry.d_name, name, std::strlen(name) + 1);
        visit(listing.dir, &entry);
    }
    return listing;
}

// Reads the visible entries of a directory that pass `keep`; throws when it cannot be read.
template <typename Keep>
QStringList readDirectory(const QString& dir, Keep keep) {
    QStringList names;
    forEachEntry(dir, [&](const QByteArray& native, const dirent* entry) {
        if (keep(native, entry)) names.push_back(DisplayName(entry->d_name));
    });
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        const int c = QString::compare(a, b, Qt::CaseInsensitive);
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

QString childPath(const QString& dir, const QString& name) {
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

// Indents each directory by its depth below the drive's root.
class IndentDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        option->rect.setLeft(option->rect.left() + 12 * index.data(LevelRole).toInt());
    }
};

}  // namespace

class DirWidget : public SelectingList {
public:
    DirWidget(DirListBox& box, QWidget* parent)
        : SelectingList(parent),
          open(style()->standardIcon(QStyle::SP_DirOpenIcon)),
          closed(style()->standardIcon(QStyle::SP_DirIcon)),
          box_(box) {
        setIconSize(QSize(16, 16));
        setItemDelegate(new IndentDelegate(this));
        connect(this, &QListWidget::itemDoubleClicked, this,
                [this](QListWidgetItem* item) { box_.userOpen(row(item)); });
    }

    // Opened folders (the open one and its ancestors), and the folders below it.
    const QIcon open, closed;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
            currentRow() >= 0) {
            box_.userOpen(currentRow());
            return;
        }
        // Other keys only move the highlight; Enter or a double-click opens.
        SelectingList::keyPressEvent(event);
    }

private:
    DirListBox& box_;
};

DirListBox::DirListBox(Form& form, const char* name)
    : Control(form, name, Kind::DirListBox),
      Path(
          [this] {
              const QString drive = DriveOf(path_);
              return path_ == drive && !path_.endsWith(QLatin1Char('/')) ? path_ + QLatin1Char('/')
                                                                         : path_;
          },
          [this](QString value) {
              QString target = clean(QDir(path_).absoluteFilePath(value));
              for (const DriveInfo& d : Drives()) {
                  if (clean(d.path) != target) continue;
                  auto last = lastDirectoryOnDrive().find(target);
                  if (last != lastDirectoryOnDrive().end() && last->second != target) {
                      // Back where the user was on that drive, when it can still be read.
                      try {
                          open(last->second);
                          return;
                      } catch (const Error&) {
                      }
                  }
              }
              open(target);
          }),
      list_(new DirWidget(*this, form.client())) {
    setWidget(list_);
    const QString start = QDir::currentPath();
    try {
        refill(start, readDirectory(start, isDirectory));
    } catch (const Error&) {
        refill(start, {});
    }
    path_ = start;
    lastDirectoryOnDrive()[DriveOf(start)] = start;
}

void DirListBox::open(const QString& dir) {
    const QStringList subdirs = readDirectory(dir, isDirectory);
    refill(dir, subdirs);
    const bool changed = dir != path_;
    path_ = dir;
    lastDirectoryOnDrive()[DriveOf(dir)] = dir;
    if (changed && Change) Change();
}

void DirListBox::userOpen(int row) {
    if (row < 0 || row >= list_->count()) return;
    const QString target = List(row);
    Parent().raiseEvent([this, &target] {
        try {
            readDirectory(target, [](auto&, auto*) { return false; });
        } catch (const Error& e) {
            MsgBox(e.Description());
            return;
        }
        open(target);
    });
}

void DirListBox::refill(const QString& dir, const QStringList& subdirs) {
    const QString root = DriveOf(dir);
    QStringList chain;
    for (QString p = dir; !p.isEmpty(); p = QFileInfo(p).path()) {
        chain.prepend(p);
        if (p == root || p == QLatin1String("/")) break;
    }
    list_->setUpdatesEnabled(false);
    list_->clear();
    const QIcon& open = list_->open;
    const QIcon& closed = list_->closed;
    int level = 0;
    for (const QString& p : chain) {
        auto* item = new QListWidgetItem(open, level == 0 ? p : QFileInfo(p).fileName(), list_);
        item->setData(PathRole, p);
        item->setData(LevelRole, level++);
    }
    for (const QString& name : subdirs) {
        auto* item = new QListWidgetItem(closed, name, list_);
        item->setData(PathRole, childPath(dir, name));
        item->setData(LevelRole, level);
    }
    list_->setCurrentRow(chain.size() - 1);
    list_->setUpdatesEnabled(true);
}

int DirListBox::ListCount() const { return list_->count(); }

QString DirListBox::List(int index) const {
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    return list_->item(index)->data(PathRole).toString();
}

// --- files ---

namespace {

// The file pattern: "*.ext" entries compare the name's end regardless of case; other
// wildcards go through a regular expression.
class Matcher {
public:
    explicit Matcher(const QString& pattern) {
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
    bool matches(const char* name) const {
        if (all_) return true;
        const size_t n = std::strlen(name);
        for (const QByteArray& s : suffixes_)
            if (n >= size_t(s.size()) &&
                qstrnicmp(name + n - s.size(), s.constData(), s.size()) == 0)
                return true;
        if (patterns_.empty()) return false;
        const QString decoded = DisplayName(name);
        return std::any_of(patterns_.begin(), patterns_.end(),
                           [&](auto& re) { return re.match(decoded).hasMatch(); });
    }

private:
    bool all_ = false;
    std::vector<QByteArray> suffixes_;
    std::vector<QRegularExpression> patterns_;
};

}  // namespace

class FileWidget : public SelectingList {
public:
    FileWidget(FileListBox& box, QWidget* parent) : SelectingList(parent), box_(box) {}

protected:
    // A file selected with the keyboard (or by dragging) is clicked, as with the mouse.
    void userSelected() override { box_.raise(box_.Click); }
    void mousePressEvent(QMouseEvent* event) override {
        QListWidget::mousePressEvent(event);
        QListWidgetItem* item = itemAt(event->position().toPoint());
        pressedRow_ = item ? row(item) : -1;
        if (item && event->button() == Qt::LeftButton) box_.raise(box_.Click);
    }
    // The first click of a double-click has raised Click; the second raises DblClick.
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        QListWidgetItem* item = itemAt(event->position().toPoint());
        if (item && row(item) == pressedRow_ && event->button() == Qt::LeftButton) {
            event->accept();
            box_.raise(box_.DblClick);
            return;
        }
        mousePressEvent(event);
    }

private:
    FileListBox& box_;
    int pressedRow_ = -1;
};

FileListBox::FileListBox(Form& form, const char* name)
    : Control(form, name, Kind::FileListBox),
      Path([this] { return path_; },
           [this](QString value) {
               const QString previous = path_;
               path_ = clean(QDir(path_).absoluteFilePath(value));
               try {
                   refresh();
               } catch (const Error&) {
                   path_ = previous;
                   throw;
               }
           }),
      Pattern([this] { return pattern_; },
              [this](QString value) {
                  pattern_ = value;
                  refresh();
              }),
      ListIndex(
          [this] {
              return list_->currentItem() && list_->currentItem()->isSelected()
                         ? list_->currentRow()
                         : -1;
          },
          [this](int i) {
              if (i < -1 || i >= list_->count()) Raise(err::InvalidArgument);
              if (i == -1) list_->clearSelection();
              list_->setCurrentRow(i);
          }),
      list_(new FileWidget(*this, form.client())),
      path_(QDir::currentPath()) {
    setWidget(list_);
    try {
        refresh();
    } catch (const Error&) {
        // An unreadable start directory lists nothing.
    }
}

namespace {

// The names of a directory's regular, visible files that match, sorted as the list shows them:
// regardless of case, then by code unit, as QString compares them. Directories of many files
// are common, so the names are kept as bytes while they are sorted: names in ASCII (nearly all)
// compare as bytes, which gives the same order; only the others are decoded.
QStringList matchingFiles(const QString& dir, const Matcher& matcher) {
    struct Name {
        size_t at, size;
        int decoded;  // index into `decoded`, or -1 for an ASCII name
    };
    std::string pool;
    std::vector<Name> names;
    QStringList decoded;
    forEachEntry(dir, [&](const QByteArray& native, const dirent* entry) {
        if (!matcher.matches(entry->d_name) || !isRegularFile(native, entry)) return;
        const size_t size = std::strlen(entry->d_name);
        const bool ascii = std::all_of(entry->d_name, entry->d_name + size,
                                       [](char c) { return uchar(c) < 0x80; });
        names.push_back({pool.size(), size, ascii ? -1 : int(decoded.size())});
        if (!ascii) decoded.push_back(DisplayName(entry->d_name));
        pool.append(entry->d_name, size);
    });

    auto latin1 = [&](const Name& n) {
        return QLatin1StringView(pool.data() + n.at, qsizetype(n.size));
    };
    auto order = [&](const Name& a, const Name& b) {
        if (a.decoded < 0 && b.decoded < 0) {
            const char* p = pool.data() + a.at;
            const char* q = pool.data() + b.at;
            const size_t n = std::min(a.size, b.size);
            auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : int(c); };
            for (size_t i = 0; i < n; ++i) {
                const int x = lower(p[i]), y = lower(q[i]);
                if (x != y) return x < y;
            }
            if (a.size != b.size) return a.size < b.size;
            return std::memcmp(p, q, n) < 0;
        }
        const QStringView x = a.decoded >= 0 ? QStringView(decoded[a.decoded]) : QStringView();
        const QStringView y = b.decoded >= 0 ? QStringView(decoded[b.decoded]) : QStringView();
        int c;
        if (a.decoded >= 0 && b.decoded >= 0) {
            c = x.compare(y, Qt::CaseInsensitive);
            if (c == 0) c = x.compare(y, Qt::CaseSensitive);
        } else if (a.decoded >= 0) {
            c = x.compare(latin1(b), Qt::CaseInsensitive);
            if (c == 0) c = x.compare(latin1(b), Qt::CaseSensitive);
        } else {
            c = -y.compare(latin1(a), Qt::CaseInsensitive);
            if (c == 0) c = -y.compare(latin1(a), Qt::CaseSensitive);
        }
        return c < 0;
    };
    std::sort(names.begin(), names.end(), order);

    QStringList out;
    out.reserve(qsizetype(names.size()));
    for (const Name& n : names)
        out.push_back(n.decoded >= 0 ? decoded[n.decoded] : QString(latin1(n)));
    return out;
}

}  // namespace

void FileListBox::refresh() {
    const QStringList names = matchingFiles(path_, Matcher(pattern_));
    list_->setUpdatesEnabled(false);
    list_->clear();
    list_->addItems(names);
    list_->setUpdatesEnabled(true);
}

QString FileListBox::FileName() const {
    QListWidgetItem* item = list_->currentItem();
    return item && item->isSelected() ? item->text() : QString();
}

int FileListBox::ListCount() const { return list_->count(); }

QString FileListBox::List(int index) const {
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    return list_->item(index)->text();
}

}  // namespace forms
