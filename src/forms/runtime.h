#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <functional>

#include "system/error.h"

// The platform the windows of the application rely on: event dispatch,
// ending the application, the message box and string conversion.
namespace forms {

// The application's title: the caption of every message box.
void SetAppTitle(const QString& title);
QString AppTitle();

// A modal message box with the prompt, an OK button only, no icon and the application's
// title. Runs a nested event loop and returns on OK. On a screen that reports no size (its
// output switched off) it opens on the area windows fall back to.
void MsgBox(const QString& prompt);
// The same box with OK and キャンセル (the default): true when the user chose OK.
bool MsgBoxOkCancel(const QString& prompt);
// Whether a message box waits for its OK: no form takes a command meanwhile.
bool MessagePending();

// Ends the application at once, from any depth of nested windows: no further handler
// runs and the process exits with status 0.
[[noreturn]] void End();

// Tests replace what End does; the replacement must not return (it throws EndRequested,
// which the dispatcher absorbs).
struct EndRequested {};
void SetEndAction(std::function<void()> action);

// Conversion of a string to a signed 16-bit integer: optional blanks around an optional
// sign and decimal digits. Throws TypeMismatch for anything else, Overflow outside
// -32768..32767.
int16_t CInt(const QString& text);

// Runs an event handler on behalf of the event loop. An error that the handler does not
// trap is reported in a message box and the application goes on: no exception ever
// reaches Qt's event loop.
void Dispatch(const std::function<void()>& handler);

}  // namespace forms
