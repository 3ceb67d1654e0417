#pragma once

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

#include "system/directory.h"

namespace forms {

// The full name of the folder the program was started in (the current directory), also when
// it has been removed or its name is longer than a path can be; empty when the system cannot
// tell it.
QString FolderStartedIn();

// Makes the folder the program was started in the current directory, or, when it cannot be
// listed (removed, no permission, a mount that hangs), the nearest that can: up its ancestors,
// then the home folder, then the root. A folder whose name is longer than a path can be is
// not one the lists can show: it is said so. Returns what the user is told then; empty when
// the folder started in is used. The reading of the folder entered is left in `entered`.
QString EnterReadableFolder(Listing* entered = nullptr);

// The readings EnterReadableFolder waits for, begun before it: started first thing, a folder
// of many files is read while the rest of the program starts.
struct StartFolderReadings {
    QString started;
    QStringList candidates;  // the folder started in, its ancestors, home, the root
    std::vector<std::shared_ptr<jobs::Job<Listing>>> readings;
};
StartFolderReadings BeginStartFolderReadings();
QString EnterReadableFolder(const StartFolderReadings& begun, Listing* entered);

}  // namespace forms
