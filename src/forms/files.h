#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>

// Files the user names through the desktop: the open and save dialogs, the check that a file
// is a picture, and reading and writing whole files by their shown paths.
namespace forms {

// The file dialogs, modal over the active window. Each returns the chosen path, or an empty
// string when the user cancels. `filter` is in the dialogs' form: "再生リスト (*.m3u)".
// Saving adds `suffix` to a name typed without one.
QString GetOpenFileName(const QString& title, const QString& filter);
QString GetSaveFileName(const QString& title, const QString& filter, const QString& suffix);

// Tests replace the dialogs: the action gets whether it saves and the title, and returns what
// the user would have chosen.
void SetFileDialogAction(std::function<QString(bool save, const QString& title)> action);

// Whether a path names a regular file whose content is a JPEG, BMP or GIF picture.
bool IsPictureFile(const QString& path);

// A regular file opened for reading by its shown path. Throws FileNotFound, PermissionDenied
// or InvalidArgument (a directory, a FIFO, a device).
class InputFile {
public:
    explicit InputFile(const QString& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;
    QIODevice& device() { return file_; }

private:
    int fd_;
    QFile file_;
};

// Writes a whole file by way of a temporary file in the same folder that is then renamed over
// it, so that a failure leaves any existing file as it was. Throws an Error whose
// description says why in words for the user.
void WriteFileReplacing(const QString& path, const QByteArray& data);

}  // namespace forms
