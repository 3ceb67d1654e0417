#pragma once

#include <QString>

namespace forms {

// Makes the folder the program was started in the current directory, or, when it cannot be
// listed (removed, no permission, a mount that hangs), the nearest that can: up its ancestors,
// then the home folder, then the root. Returns what the user is told then; empty when the
// folder started in is used.
QString EnterReadableFolder();

}  // namespace forms
