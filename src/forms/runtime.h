#pragma once

#include <QString>
#include <cstdint>
#include <exception>
#include <functional>

// The platform the windows of the application rely on: the error model, event dispatch,
// ending the application, the message box and string conversion.
namespace forms {

// The one error type of the runtime: a failing operation throws it, a handler that traps
// errors catches it.
class Error : public std::exception {
public:
    Error(int number, QString description);
    int Number() const { return number_; }
    const QString& Description() const { return description_; }
    const char* what() const noexcept override { return utf8_.c_str(); }

private:
    int number_;
    QString description_;
    std::string utf8_;
};

// Error numbers the runtime raises.
namespace err {
constexpr int InvalidArgument = 5;
constexpr int Overflow = 6;
constexpr int OutOfMemory = 7;
constexpr int TypeMismatch = 13;
constexpr int FileNotFound = 53;
constexpr int DeviceUnavailable = 68;
constexpr int PermissionDenied = 70;
constexpr int PathNotFound = 76;
constexpr int InvalidPicture = 481;
}  // namespace err

[[noreturn]] void Raise(int number);

// The application's title: the caption of every message box.
void SetAppTitle(const QString& title);
QString AppTitle();

// A modal message box with the prompt, an OK button only, no icon and the application's
// title. Runs a nested event loop and returns on OK.
void MsgBox(const QString& prompt);

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
