#pragma once

#include <QString>
#include <functional>

// The open and save dialogs, modal over the active window.
namespace forms {

// Each opens in the folder `dir` and returns the chosen path, or an empty string when the user
// cancels. `filter` is in the dialogs' form: "再生リスト (*.m3u)". Saving adds `suffix` to a
// name typed without one.
QString GetOpenFileName(const QString& title, const QString& filter, const QString& dir);
QString GetSaveFileName(const QString& title, const QString& filter, const QString& suffix,
                        const QString& dir);

// Tests replace the dialogs: the action gets whether it saves and the title, and returns what
// the user would have chosen.
void SetFileDialogAction(std::function<QString(bool save, const QString& title)> action);

}  // namespace forms
