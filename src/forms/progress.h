#pragma once

#include <QString>
#include <functional>

namespace forms {

// Waits, running a nested event loop, until `finished()` is true; it is asked every few
// milliseconds. Once the wait has taken longer than a moment, a modal dialog shows `text` and
// what `status()` says, with a キャンセル button: that button or Esc calls `cancel()`, and the
// wait goes on until the work has stopped. Returns false when the user cancelled.
bool WaitWithProgress(const QString& text, const std::function<bool()>& finished,
                      const std::function<QString()>& status, const std::function<void()>& cancel);

}  // namespace forms
