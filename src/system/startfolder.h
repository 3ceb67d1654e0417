#pragma once

#include <QString>

namespace forms {

struct Listing;

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

}  // namespace forms
