#pragma once

#include <QList>
#include <QString>
#include <functional>

#include "controls.h"

namespace forms {

class DirWidget;
class DriveWidget;
class FileWidget;

// A drive: a mounted volume that holds files a user can browse, named by its mount path.
struct DriveInfo {
    QString path;
    QString label;
};

// Where the drive list takes its drives from: the mounted volumes, unless a test replaces it.
using DriveSource = std::function<QList<DriveInfo>()>;
void SetDriveSource(DriveSource source);
QList<DriveInfo> Drives();
// The drive that holds `path`: the one whose mount path is its longest prefix.
QString DriveOf(const QString& path);

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

private:
    friend class DirWidget;
    void open(const QString& dir);  // throws
    void userOpen(int row);
    void refill(const QString& dir, const QStringList& subdirs);
    DirWidget* list_;
    QString path_;
};

// File list: the regular, visible files of a directory whose names match the pattern,
// sorted by name; single selection.
class FileListBox : public Control {
public:
    FileListBox(Form& form, const char* name);
    Property<QString> Path;
    // "*.jpg" and the like, several separated by ";": matched regardless of letter case.
    Property<QString> Pattern;
    QString FileName() const;  // the selected file's name, without its directory
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
};

}  // namespace forms
