#pragma once

#include <QString>
#include <exception>
#include <string>

// The one error type of the program: a failing operation throws it, a handler that traps
// errors catches it. Its number says what kind of failure it is; its description says it in
// words for the user.
namespace forms {

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

// Error numbers.
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

// The usual description of an error number.
QString Describe(int number);

// Throws the error of that number with its usual description.
[[noreturn]] void Raise(int number);

}  // namespace forms
