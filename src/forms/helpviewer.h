#pragma once

#include <QString>

namespace forms {

// Opens the help viewer, a separate non-modal window, on a help file at its contents topic.
// A bare file name is looked up beside the program, then in its installed data folder. A
// missing file is reported by the viewer.
void ShowHelpViewer(const QString& helpFile, int command);
QString FindHelpFile(const QString& helpFile);

}  // namespace forms
