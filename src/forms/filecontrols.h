#pragma once

#include <QList>
#include <QString>
#include <functional>
#include <map>

#include "controls.h"

namespace forms {

class DirWidget;
class DriveWidget;
class FileWidget;
struct Listing;

// A drive: a mounted volume that holds files a user can browse, named by its mount path.
struct DriveInfo {
    QString path;
    QString label;
    // False for a drive that did not answer in time when asked for its state: opening it
    // fails as for a drive that is not ready.
    bool ready = true;
};

// Where the drive list takes its drives from: the mounted volumes, unless a test replaces it.
using DriveSource = std::function<QList<DriveInfo>()>;
void SetDriveSource(DriveSource source);
QList<DriveInfo> Drives();
// The drive that holds `path`: the one whose mount path is its longest prefix.
QString DriveOf(const QString& path);

// The file system is asked (a drive's state, a directory's entries) on a thread of its own,
// and the window waits only so long: a drive that does not answer in time is not ready, and a
// directory whose reading stops getting on for that long cannot be opened. The thread left
// waiting in a dead mount is never joined. Tests set the wait, and a hook that runs on that
// thread with the path just before the file system is asked.
using FileSystemHook = std::function<void(const QByteArray& path)>;
void SetFileSystemHook(FileSystemHook hook);
void SetFileSystemWait(int milliseconds);  // 0: the usual wait

// Makes the folder the program was started in the current directory, or, when it cannot be
// listed (removed, no permission, a mount that hangs), the nearest that can: up its ancestors,
// then the home folder, then the root. Returns what the user is told then; empty when the
// folder started in is used.
QString EnterReadableFolder();

class DriveListBox : public Control {
public:
    DriveListBox(Form& form, const char* name);
    // Reading gives the chosen drive's mount path. Writing selects the drive that holds the
    // given path and raises Change when the selection changes.
    Property<QString> Drive;
    std::function<void()> Change;

private:
    void refill();
    void select(int index);
    DriveWidget* combo_;
    QList<DriveInfo> drives_;
    int index_ = -1;
};

// Directory list: the open directory's ancestors from its drive's root down, then its
// subdirectories. A click only highlights; a double-click or Enter opens.
class DirListBox : public Control {
public:
    DirListBox(Form& form, const char* name);
    // The open directory; at a drive's root it ends with "/". Writing opens the directory
    // (given a drive's mount path, the directory last open on that drive) and raises Change
    // when it changes; a directory that cannot be opened throws and leaves the list as it was.
    Property<QString> Path;
    std::function<void()> Change;
    int ListCount() const;
    QString List(int index) const;  // the full path of a listed directory

    // While the list tells of a directory it has just opened (its Change runs), its reading
    // of that directory, so that a list told in the same moment need not read it again;
    // nullptr otherwise.
    const Listing* Opening(const QString& dir) const;

private:
    friend class DirWidget;
    void open(const QString& dir, const Listing& listing);
    void userOpen(int row);
    void refill(const QString& dir, const Listing& listing);
    DirWidget* list_;
    QString path_;
    const Listing* opening_ = nullptr;
};

// File list: the regular, visible files of a directory whose names match the pattern,
// sorted by name; single selection.
class FileListBox : public Control {
public:
    FileListBox(Form& form, const char* name);
    Property<QString> Path;
    // "*.jpg" and the like, several separated by ";": matched regardless of letter case.
    Property<QString> Pattern;
    // The selected file's name, without its directory: a path text that names that very file,
    // whatever is shown for it.
    QString FileName() const;
    int ListCount() const;
    QString List(int index) const;
    Property<int> ListIndex;  // -1: no file selected; writing does not raise Click
    std::function<void()> Click;
    std::function<void()> DblClick;

private:
    friend class FileWidget;
    void refresh();
    FileWidget* list_;
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    std::map<int, QString> names_;  // by row: the path text of a name shown otherwise
};

}  // namespace forms
