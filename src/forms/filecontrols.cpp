#include "filecontrols.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

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
#include <QScopedValueRollback>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "filenames.h"
#include "listwidget.h"
#include "runtime.h"

namespace forms {

// --- the file system, asked away from the window ---

namespace {

using Clock = std::chrono::steady_clock;

// How long the window waits for the file system, and what tests put in its way.
struct FileSystemAccess {
    std::chrono::milliseconds wait{700};
    FileSystemHook hook;
};

FileSystemAccess& access() {
    static FileSystemAccess a;
    return a;
}

// Work on a thread of its own, shared with the thread that waits for it. The worker owns its
// share, so that it may outlive the wait: a thread stuck in a dead mount is left to itself and
// never joined, and does not hold up the end of the program.
template <typename Result>
struct Job {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    std::atomic<unsigned> progress{0};  // bumped by the worker as it gets on
    Result result;
};

template <typename Result, typename Work>
std::shared_ptr<Job<Result>> startJob(Work work) {
    auto job = std::make_shared<Job<Result>>();
    auto run = [job, work = std::move(work)] {
        Result result = work(job->progress);
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->result = std::move(result);
        job->done = true;
        job->finished.notify_all();
    };
    try {
        std::thread(run).detach();
    } catch (const std::system_error&) {
        run();  // no thread to be had: the work is done here
    }
    return job;
}

// Waits for a job until it is done, or until it has made no progress for the file system's
// wait past `giveUpAt`. True when it is done.
template <typename Result>
bool await(Job<Result>& job, Clock::time_point giveUpAt) {
    unsigned seen = job.progress.load();
    std::unique_lock<std::mutex> lock(job.mutex);
    while (!job.done) {
        if (job.finished.wait_until(lock, giveUpAt) != std::cv_status::timeout) continue;
        const unsigned now = job.progress.load();
        if (job.done || now == seen) break;
        seen = now;
        giveUpAt = Clock::now() + access().wait;
    }
    return job.done;
}

}  // namespace

void SetFileSystemHook(FileSystemHook hook) { access().hook = std::move(hook); }

void SetFileSystemWait(int milliseconds) {
    access().wait = std::chrono::milliseconds(milliseconds > 0 ? milliseconds : 700);
}

// --- drives ---

namespace {

bool isPseudo(const QString& root, const QByteArray& type) {
    static const QList<QByteArray> pseudoTypes = {
        "proc",    "sysfs",       "devpts", "devtmpfs", "cgroup", "cgroup2",    "securityfs",
        "debugfs", "tracefs",     "pstore", "bpf",      "mqueue", "hugetlbfs",  "configfs",
        "fusectl", "binfmt_misc", "autofs", "efivarfs", "nsfs",   "rpc_pipefs", "squashfs"};
    if (pseudoTypes.contains(type)) return true;
    for (const char* system : {"/proc", "/sys", "/dev", "/run", "/snap", "/boot"}) {
        const QString s = QString::fromLatin1(system);
        if (root == s || root.startsWith(s + QLatin1Char('/'))) {
            // Removable media of a desktop session are mounted under /run/media.
            return !root.startsWith(QStringLiteral("/run/media/"));
        }
    }
    return false;
}

// The mount table's text for a path: octal escapes for blanks, tabs, newlines and backslashes.
QByteArray unescapeMountField(const QByteArray& field) {
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && field[i + 1] >= '0' &&
            field[i + 1] <= '3') {
            out += char(field.mid(i + 1, 3).toInt(nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

struct Mount {
    QString path;
    QByteArray type, device;
};

// The mounted volumes, read from the kernel's table: reading it never touches a mount.
QList<Mount> mountTable() {
    QList<Mount> mounts;
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    if (!table.open(QIODevice::ReadOnly)) return mounts;
    for (const QByteArray& line : table.readAll().split('\n')) {
        // id parent major:minor root mount-point options [optional...] - type source ...
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 5 || dash + 2 >= fields.size()) continue;
        mounts.push_back({PathText(unescapeMountField(fields[4])), fields[dash + 1],
                          unescapeMountField(fields[dash + 2])});
    }
    return mounts;
}

// The labels of the disks, by device, as the system names them under /dev/disk/by-label.
std::map<QString, QString> diskLabels() {
    std::map<QString, QString> labels;
    const QDir dir(QStringLiteral("/dev/disk/by-label"));
    for (const QFileInfo& link : dir.entryInfoList(QDir::System | QDir::Files)) {
        QByteArray label = link.fileName().toUtf8();
        for (qsizetype i = 0; (i = label.indexOf("\\x", i)) >= 0 && i + 3 < label.size(); ++i)
            label.replace(i, 4, QByteArray(1, char(label.mid(i + 2, 2).toInt(nullptr, 16))));
        labels[link.canonicalFilePath()] = QString::fromUtf8(label);
    }
    return labels;
}

// What a drive said when asked.
struct DriveState {
    bool answered = false;  // statfs gave an answer
    bool directory = false;
    quint64 bytes = 0;
};

// The drives of the system. Each is asked for its state (statfs, then whether its root is a
// folder) on a thread of its own, and the window waits for them only so long. A drive that has
// not answered by then is listed as not ready; while it still has not, it is not asked again,
// so that a dead mount costs the wait once and not at every look at the drives. An answer
// serves for a second: the drives are looked at several times in one user action.
class MountedDrives {
public:
    QList<DriveInfo> operator()() const {
        std::vector<Mount> mounts;
        for (Mount& m : mountTable()) {
            if (m.path == QLatin1String("/") || isPseudo(m.path, m.type)) continue;
            if (std::any_of(mounts.begin(), mounts.end(),
                            [&](auto& k) { return k.path == m.path; }))
                continue;
            mounts.push_back(std::move(m));
        }
        const FileSystemHook hook = access().hook;
        const Clock::time_point now = Clock::now();
        std::vector<std::shared_ptr<Job<DriveState>>> jobs;
        std::vector<bool> askedBefore;
        for (const Mount& m : mounts) {
            std::shared_ptr<Job<DriveState>>& job = asked_->pending[m.path];
            const auto heard = asked_->heard.find(m.path);
            if (!job && heard != asked_->heard.end() && now - heard->second.first < kFresh) {
                job = std::make_shared<Job<DriveState>>();
                job->done = true;
                job->result = heard->second.second;
            }
            askedBefore.push_back(bool(job));
            if (!job) {
                job = startJob<DriveState>([hook, native = NativePath(m.path)](auto&) {
                    if (hook) hook(native);
                    DriveState state;
                    struct statvfs fs {};
                    struct stat st {};
                    if (::statvfs(native.constData(), &fs) != 0) return state;
                    state.answered = true;
                    state.bytes = quint64(fs.f_blocks) * fs.f_frsize;
                    state.directory = ::stat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode);
                    return state;
                });
            }
            jobs.push_back(job);
        }
        const Clock::time_point giveUpAt = Clock::now() + access().wait;
        QList<DriveInfo> drives{{QStringLiteral("/"), QString()}};
        std::map<QString, QString> labels;
        bool labelled = false;
        for (size_t i = 0; i < mounts.size(); ++i) {
            const Mount& m = mounts[i];
            // A drive that has kept an earlier look waiting is not waited for again.
            if (!await(*jobs[i], askedBefore[i] ? Clock::time_point() : giveUpAt)) {
                drives.push_back({m.path, QString(), false});
                continue;
            }
            asked_->pending.erase(m.path);
            const DriveState& state = jobs[i]->result;
            if (!askedBefore[i]) asked_->heard[m.path] = {now, state};
            // A file bind-mounted over another, and volumes of no size (the system's own).
            if (!state.answered || !state.directory || state.bytes == 0) continue;
            if (!labelled && m.device.startsWith("/dev/")) {
                labels = diskLabels();
                labelled = true;
            }
            const auto label = labels.find(QFile::decodeName(m.device));
            drives.push_back({m.path, label != labels.end() ? label->second : QString()});
        }
        std::sort(drives.begin() + 1, drives.end(),
                  [](auto& a, auto& b) { return a.path < b.path; });
        return drives;
    }

private:
    static constexpr std::chrono::seconds kFresh{1};
    struct Asked {
        std::map<QString, std::shared_ptr<Job<DriveState>>> pending;  // not yet heard from
        std::map<QString, std::pair<Clock::time_point, DriveState>> heard;
    };
    std::shared_ptr<Asked> asked_ = std::make_shared<Asked>();
};

DriveSource& driveSource() {
    static DriveSource source = MountedDrives();
    return source;
}

bool isUnder(const QString& path, const QString& root) {
    if (root == QLatin1String("/")) return path.startsWith(QLatin1Char('/'));
    return path == root || path.startsWith(root + QLatin1Char('/'));
}

QString clean(const QString& path) { return QDir::cleanPath(path); }

// The process's current directory as a path text; the root when it has none (it was removed).
QString currentDirectory() {
    char buffer[PATH_MAX];
    if (!::getcwd(buffer, sizeof buffer)) return QStringLiteral("/");
    return PathText(buffer);
}

QString absolute(const QString& base, const QString& path) {
    return clean(path.startsWith(QLatin1Char('/')) ? path : base + QLatin1Char('/') + path);
}

}  // namespace

void SetDriveSource(DriveSource source) {
    driveSource() = source ? std::move(source) : DriveSource(MountedDrives());
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
                const QString drive = DriveOf(absolute(currentDirectory(), path));
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
    const QString current = DriveOf(currentDirectory());
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
        const QString shown = DisplayPath(d.path);
        combo_->addItem(d.label.isEmpty() ? shown : QStringLiteral("%1 [%2]").arg(shown, d.label));
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

enum class EntryKind : unsigned char { Directory, File, Other };

// One reading of a directory: its visible entries (not ".", ".." nor hidden ones) by name, as
// readdir gives them, and what each is (links followed).
struct Listing {
    std::string names;                                  // each followed by a NUL
    std::vector<std::pair<size_t, EntryKind>> entries;  // where the name starts; its kind
    int error = 0;
};

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

// A reading of a directory, begun on a thread of its own.
std::shared_ptr<Job<Listing>> startListing(const QString& dir) {
    return startJob<Listing>(
        [hook = access().hook, native = NativePath(dir)](std::atomic<unsigned>& progress) {
            if (hook) hook(native);
            return readListing(native, progress);
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

// Reads a directory's visible entries, never waiting long on a directory that hangs.
Listing listDirectory(const QString& dir) {
    return finishListing(*startListing(dir), dir, Clock::now() + access().wait);
}

// A listed entry: the name as shown, and as a path text that names it.
struct Entry {
    QString shown, name;
};

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

QString childPath(const QString& dir, const QString& name) {
    return dir.endsWith(QLatin1Char('/')) ? dir + name : dir + QLatin1Char('/') + name;
}

QString lastName(const QString& path) { return path.mid(path.lastIndexOf(QLatin1Char('/')) + 1); }

QString parentOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
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
    if (!started.isEmpty())
        for (QString p = clean(started); p != QLatin1String("/"); p = parentOf(p)) candidates << p;
    const QByteArray home = qgetenv("HOME");
    if (home.startsWith('/') && !candidates.contains(clean(PathText(home))))
        candidates << clean(PathText(home));
    candidates << QStringLiteral("/");
    // All are read at once, so that a mount that hangs costs the wait once, not once for each
    // folder of it on the way up.
    std::vector<std::shared_ptr<Job<Listing>>> readings;
    for (const QString& c : candidates) readings.push_back(startListing(c));
    const Clock::time_point giveUpAt = Clock::now() + access().wait;
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
              const QString target = absolute(path_, value);
              for (const DriveInfo& d : Drives()) {
                  if (clean(d.path) != target) continue;
                  if (!d.ready) Raise(err::DeviceUnavailable);
                  auto last = lastDirectoryOnDrive().find(target);
                  if (last != lastDirectoryOnDrive().end() && last->second != target) {
                      // Back where the user was on that drive, when it can still be read.
                      try {
                          open(last->second, listDirectory(last->second));
                          return;
                      } catch (const Error&) {
                      }
                  }
              }
              open(target, listDirectory(target));
          }),
      list_(new DirWidget(*this, form.client())) {
    setWidget(list_);
    const QString start = currentDirectory();
    Listing listing;
    try {
        listing = listDirectory(start);
    } catch (const Error&) {
    }
    refill(start, listing);
    path_ = start;
    lastDirectoryOnDrive()[DriveOf(start)] = start;
}

void DirListBox::open(const QString& dir, const Listing& listing) {
    refill(dir, listing);
    const bool changed = dir != path_;
    path_ = dir;
    lastDirectoryOnDrive()[DriveOf(dir)] = dir;
    if (!changed || !Change) return;
    // A directory of many entries takes a while to read: the file list, told of the change
    // by the handler, lists its files from this reading.
    const QScopedValueRollback<const Listing*> lend(opening_, &listing);
    Change();
}

const Listing* DirListBox::Opening(const QString& dir) const {
    return opening_ && dir == path_ ? opening_ : nullptr;
}

void DirListBox::userOpen(int row) {
    if (row < 0 || row >= list_->count()) return;
    const QString target = List(row);
    Parent().raiseEvent([this, &target] {
        Listing listing;
        try {
            listing = listDirectory(target);
        } catch (const Error& e) {
            MsgBox(e.Description());
            return;
        }
        open(target, listing);
    });
}

void DirListBox::refill(const QString& dir, const Listing& listing) {
    const QString root = DriveOf(dir);
    QStringList chain;
    for (QString p = dir;; p = parentOf(p)) {
        chain.prepend(p);
        if (p == root || p == QLatin1String("/")) break;
    }
    list_->setUpdatesEnabled(false);
    list_->clear();
    const QIcon& open = list_->open;
    const QIcon& closed = list_->closed;
    int level = 0;
    for (const QString& p : chain) {
        auto* item = new QListWidgetItem(open, DisplayPath(level == 0 ? p : lastName(p)), list_);
        item->setData(PathRole, p);
        item->setData(LevelRole, level++);
    }
    for (const Entry& e : entriesOf(listing, EntryKind::Directory)) {
        auto* item = new QListWidgetItem(closed, e.shown, list_);
        item->setData(PathRole, childPath(dir, e.name));
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
               path_ = absolute(path_, value);
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
      path_(currentDirectory()) {
    setWidget(list_);
    try {
        refresh();
    } catch (const Error&) {
        // An unreadable start directory lists nothing.
    }
}

namespace {

// The files a list shows: their names as shown, and for each name that is not ASCII (and
// so may be shown otherwise than it is held) its row and its path text.
struct Files {
    QStringList shown;
    std::vector<std::pair<int, QString>> names;
};

// The names of a directory's regular, visible files that match, sorted as the list shows them:
// regardless of case, then by code unit, as QString compares them. Directories of many files
// are common, so the names are kept as bytes while they are sorted: names in ASCII (nearly all)
// compare as bytes, which gives the same order; only the others are decoded.
Files matchingFiles(const Listing& listing, const Matcher& matcher) {
    struct Name {
        size_t at, size;
        int decoded;  // index into `decoded`, or -1 for an ASCII name
    };
    const std::string& pool = listing.names;
    std::vector<Name> names;
    QStringList decoded;
    for (const auto& [at, kind] : listing.entries) {
        const char* name = pool.data() + at;
        if (kind != EntryKind::File || !matcher.matches(name)) continue;
        const size_t size = std::strlen(name);
        const bool ascii = std::all_of(name, name + size, [](char c) { return uchar(c) < 0x80; });
        names.push_back({at, size, ascii ? -1 : int(decoded.size())});
        if (!ascii) decoded.push_back(DisplayName(QByteArrayView(name, qsizetype(size))));
    }

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

}  // namespace

void FileListBox::refresh() {
    const Listing* lent = nullptr;
    for (const ControlLayout& c : Parent().controlLayout()) {
        if (c.kind != Kind::DirListBox) continue;
        if (auto* dirs = static_cast<DirListBox*>(Parent().control(QLatin1String(c.name))))
            if ((lent = dirs->Opening(path_))) break;
    }
    Listing read;
    if (!lent) {
        read = listDirectory(path_);
        lent = &read;
    }
    const Files files = matchingFiles(*lent, Matcher(pattern_));
    list_->setUpdatesEnabled(false);
    list_->clear();
    list_->addItems(files.shown);
    list_->setUpdatesEnabled(true);
    // Each name keeps its own bytes: two that look alike are still two files.
    names_.clear();
    for (const auto& [row, name] : files.names) names_[row] = name;
}

QString FileListBox::FileName() const {
    QListWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected()) return QString();
    const auto name = names_.find(list_->row(item));
    return name != names_.end() ? name->second : item->text();
}

int FileListBox::ListCount() const { return list_->count(); }

QString FileListBox::List(int index) const {
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    return list_->item(index)->text();
}

}  // namespace forms
