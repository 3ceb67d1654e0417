#pragma once

#include <QString>
#include <QStringList>
#include <functional>
#include <map>

#include "forms/controls.h"
#include "system/directory.h"
#include "system/drives.h"

class QTimer;

namespace forms {

class DirWidget;
class DriveWidget;
class FileWidget;

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
    void open(const QString& dir, const QString& drive, const Listing& listing);
    void userOpen(int row);
    void pollReading();
    void refill(const QString& dir, const QString& drive, const Listing& listing);
    DirWidget* list_;
    // The directory the user is opening, while it is read.
    struct Reading {
        QString dir;
        std::shared_ptr<jobs::Job<Listing>> job;
        unsigned seen = 0;              // the reading's progress when last looked at
        jobs::Clock::time_point moved;  // when it last got on
    };
    Reading reading_;
    QTimer* poll_;
    // What the list shows: the directory listed, its ancestors and itself (the first rows),
    // and by row the path text of each subdirectory whose name is shown otherwise.
    QString listed_;
    QStringList chain_;
    int opened_ = 0;
    std::map<int, QString> names_;
    QString path_;
    // The drive that holds path_, found when it was opened: reading Path (each file click
    // does) never looks at the mounts.
    QString drive_;
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
    // The same of the file listed at `index`.
    QString FileName(int index) const;
    int ListCount() const;
    QString List(int index) const;
    Property<int> ListIndex;  // -1: no file selected; writing does not raise Click
    std::function<void()> Click;
    std::function<void()> DblClick;

private:
    friend class FileWidget;
    void refresh();
    void listPending() const;
    FileWidget* list_;
    QString path_;
    QString pattern_ = QStringLiteral("*.*");
    std::map<int, QString> names_;  // by row: the path text of a name shown otherwise
    bool pending_ = true;           // the directory has not been listed yet
};

}  // namespace forms
