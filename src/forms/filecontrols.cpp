#include "forms/filecontrols.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QListWidget>
#include <QMouseEvent>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTimer>
#include <algorithm>
#include <map>
#include <utility>

#include "forms/listwidget.h"
#include "forms/runtime.h"
#include "system/directory.h"
#include "system/filenames.h"
#include "system/paths.h"

namespace forms {

using paths::absolute;
using paths::childPath;
using paths::clean;
using paths::currentDirectory;
using paths::lastName;
using paths::parentOf;

// --- drives ---

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

namespace {

// The directory last open on each drive: giving a drive opens it there again.
std::map<QString, QString>& lastDirectoryOnDrive() {
    static std::map<QString, QString> last;
    return last;
}

// Draws each directory with its icon, indented by its depth below the drive's root: the open
// directory's ancestors and itself come first, one level each, then its subdirectories one
// level further. Drawn from the row, so that a directory of many subdirectories is listed with
// one insertion of its names.
class IndentDelegate : public QStyledItemDelegate {
public:
    IndentDelegate(const int& opened, QWidget* parent)
        : QStyledItemDelegate(parent),
          open_(parent->style()->standardIcon(QStyle::SP_DirOpenIcon)),
          closed_(parent->style()->standardIcon(QStyle::SP_DirIcon)),
          opened_(opened) {}

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
        QStyledItemDelegate::initStyleOption(option, index);
        const bool isOpen = index.row() < opened_;
        option->icon = isOpen ? open_ : closed_;
        option->features |= QStyleOptionViewItem::HasDecoration;
        option->decorationSize = QSize(16, 16);
        option->rect.setLeft(option->rect.left() + 12 * std::min(index.row(), opened_));
    }

private:
    const QIcon open_, closed_;
    const int& opened_;  // how many rows are the open directory and its ancestors
};

}  // namespace

class DirWidget : public SelectingList {
public:
    DirWidget(DirListBox& box, QWidget* parent) : SelectingList(parent), box_(box) {
        setIconSize(QSize(16, 16));
        setUniformItemSizes(true);
        setItemDelegate(new IndentDelegate(box.opened_, this));
        connect(this, &QListWidget::itemDoubleClicked, this,
                [this](QListWidgetItem* item) { box_.userOpen(row(item)); });
    }

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
              return path_ == drive_ && !path_.endsWith(QLatin1Char('/')) ? path_ + QLatin1Char('/')
                                                                          : path_;
          },
          [this](QString value) {
              reading_ = {};
              const QString target = absolute(path_, value);
              const QList<DriveInfo> drives = Drives();
              for (const DriveInfo& d : drives) {
                  if (clean(d.path) != target) continue;
                  if (!d.ready) Raise(err::DeviceUnavailable);
                  auto last = lastDirectoryOnDrive().find(target);
                  if (last != lastDirectoryOnDrive().end() && last->second != target) {
                      // Back where the user was on that drive, when it can still be read.
                      try {
                          open(last->second, target, listDirectory(last->second));
                          return;
                      } catch (const Error&) {
                      }
                  }
              }
              open(target, DriveOf(target, drives), listDirectory(target));
          }),
      list_(new DirWidget(*this, form.client())),
      poll_(new QTimer(list_)) {
    setWidget(list_);
    poll_->setObjectName(QStringLiteral("folder reading"));  // tests wait for it
    poll_->setInterval(10);
    QObject::connect(poll_, &QTimer::timeout, list_, [this] { pollReading(); });
    const QString start = currentDirectory();
    Listing read;
    const Listing* listing = ListingLoan::Lent(start);
    try {
        if (!listing) listing = &(read = listDirectory(start));
    } catch (const Error&) {
        listing = &read;
    }
    drive_ = DriveOf(start);
    refill(start, drive_, *listing);
    path_ = start;
    lastDirectoryOnDrive()[drive_] = start;
}

void DirListBox::open(const QString& dir, const QString& drive, const Listing& listing) {
    refill(dir, drive, listing);
    const bool changed = dir != path_;
    path_ = dir;
    drive_ = drive;
    lastDirectoryOnDrive()[drive] = dir;
    if (!changed || !Change) return;
    // A directory of many entries takes a while to read: the file list, told of the change
    // by the handler, lists its files from this reading.
    const ListingLoan lend(dir, listing);
    Change();
}

// A directory the user opens is read on a thread of its own. One that answers within a moment
// opens at once; a larger or slower one opens when its reading ends, the window answering
// meanwhile. A newer opening, or a program's write of Path, replaces one under way.
void DirListBox::userOpen(int row) {
    if (row < 0 || row >= list_->count()) return;
    reading_ = {List(row), startListing(List(row), true), 0, jobs::Clock::now()};
    {
        std::unique_lock<std::mutex> lock(reading_.job->mutex);
        reading_.job->finished.wait_for(lock, std::chrono::milliseconds(40),
                                        [this] { return reading_.job->done; });
    }
    pollReading();
    if (reading_.job && !poll_->isActive()) poll_->start();
}

void DirListBox::pollReading() {
    if (!reading_.job) return poll_->stop();
    const auto now = jobs::Clock::now();
    const unsigned progress = reading_.job->progress.load();
    bool done;
    {
        const std::lock_guard<std::mutex> lock(reading_.job->mutex);
        done = reading_.job->done;
    }
    if (!done && progress != reading_.seen) {
        reading_.seen = progress;
        reading_.moved = now;
    }
    if (!done && now - reading_.moved < jobs::FileSystemWait()) return;
    poll_->stop();
    const Reading reading = std::exchange(reading_, {});
    Parent().raiseEvent([this, &reading] {
        Listing listing;
        try {
            // Done, or given up: stopped getting on for the file system's wait.
            listing = finishListing(*reading.job, reading.dir, jobs::Clock::now());
        } catch (const Error& e) {
            MsgBox(e.Description());
            return;
        }
        open(reading.dir, DriveOf(reading.dir), listing);
    });
}

void DirListBox::refill(const QString& dir, const QString& drive, const Listing& listing) {
    QStringList chain;
    for (QString p = dir;; p = parentOf(p)) {
        chain.prepend(p);
        if (p == drive || p == QLatin1String("/")) break;
    }
    const Files subdirectories = listing.directories ? *listing.directories
                                                     : sortedNames(listing, EntryKind::Directory,
                                                                   Matcher(QStringLiteral("*")));
    QStringList shown;
    shown.reserve(chain.size() + subdirectories.shown.size());
    for (qsizetype level = 0; level < chain.size(); ++level)
        shown << DisplayPath(level == 0 ? chain[level] : lastName(chain[level]));
    shown << subdirectories.shown;
    list_->setUpdatesEnabled(false);
    list_->clear();
    chain_ = std::move(chain);
    opened_ = int(chain_.size());
    listed_ = dir;
    names_.clear();
    for (const auto& [row, name] : subdirectories.names) names_[opened_ + row] = name;
    list_->addItems(shown);
    list_->setCurrentRow(opened_ - 1);
    list_->setUpdatesEnabled(true);
}

int DirListBox::ListCount() const { return list_->count(); }

QString DirListBox::List(int index) const {
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    if (index < opened_) return chain_[index];
    const auto name = names_.find(index);
    return childPath(listed_, name != names_.end() ? name->second : list_->item(index)->text());
}

// --- files ---

class FileWidget : public SelectingList {
public:
    FileWidget(FileListBox& box, QWidget* parent) : SelectingList(parent), box_(box) {
        setUniformItemSizes(true);  // a folder of many files is laid out without measuring each
    }

protected:
    // A file selected with the keyboard (or by dragging) is clicked, as with the mouse.
    void userSelected() override { box_.raise(box_.Click); }
    void showEvent(QShowEvent* event) override {
        box_.listPending();
        SelectingList::showEvent(event);
    }
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
              listPending();
              return list_->currentItem() && list_->currentItem()->isSelected()
                         ? list_->currentRow()
                         : -1;
          },
          [this](int i) {
              listPending();
              if (i < -1 || i >= list_->count()) Raise(err::InvalidArgument);
              if (i == -1) list_->clearSelection();
              list_->setCurrentRow(i);
          }),
      list_(new FileWidget(*this, form.client())),
      path_(currentDirectory()) {
    setWidget(list_);
}

// The first listing waits until the list is shown or asked about: a form that sets the
// pattern as it loads (most do) does not list a directory of many files twice.
void FileListBox::listPending() const {
    if (!pending_) return;
    try {
        const_cast<FileListBox*>(this)->refresh();
    } catch (const Error&) {
        // An unreadable start directory lists nothing.
    }
}

void FileListBox::refresh() {
    pending_ = false;
    Listing read;
    const Listing* listing = ListingLoan::Lent(path_);
    if (!listing) listing = &(read = listDirectory(path_));
    const Files files = matchingFiles(*listing, Matcher(pattern_));
    list_->setUpdatesEnabled(false);
    list_->clear();
    list_->addItems(files.shown);
    list_->setUpdatesEnabled(true);
    // Each name keeps its own bytes: two that look alike are still two files.
    names_.clear();
    for (const auto& [row, name] : files.names) names_[row] = name;
}

QString FileListBox::FileName() const {
    listPending();
    QListWidgetItem* item = list_->currentItem();
    if (!item || !item->isSelected()) return QString();
    return FileName(list_->row(item));
}

QString FileListBox::FileName(int index) const {
    listPending();
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    const auto name = names_.find(index);
    return name != names_.end() ? name->second : list_->item(index)->text();
}

int FileListBox::ListCount() const {
    listPending();
    return list_->count();
}

QString FileListBox::List(int index) const {
    listPending();
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    return list_->item(index)->text();
}

}  // namespace forms
