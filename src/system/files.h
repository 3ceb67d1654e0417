#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <QByteArray>
#include <QFile>
#include <QString>

// Files by their path texts: opening one for reading, and writing one whole without ever
// leaving it half written.
namespace forms {

// A descriptor that is closed when it goes.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor();
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// What tells one content of a file from another: the file itself (device and inode) and its
// last change (size, modification and status-change times, to the nanosecond). Writing a file
// changes its status-change time even when the modification time is put back afterwards. An
// identity that could not be taken equals none, itself included.
struct FileIdentity {
    bool valid = false;
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};
    timespec changed{};
    bool operator==(const FileIdentity& o) const;
    bool operator!=(const FileIdentity& o) const { return !(*this == o); }
};
// The identity of the file open as `fd`, or of the file a path names now (links followed).
FileIdentity IdentityOf(int fd);
FileIdentity IdentityOf(const QString& path);

// Opens a regular file for reading, without blocking, so that a FIFO put where a file was
// cannot hang the caller. Throws FileNotFound (no such file, or a path that cannot lead to
// one), PermissionDenied, or InvalidArgument (a directory, a FIFO, a device, or a file that
// cannot be opened for another reason).
int OpenRegularFile(const QString& path);

// Reads up to `size` bytes into `buffer`, again after an interruption by a signal. Returns
// what was read: 0 at the end of the file, -1 on an error.
ssize_t ReadSome(int fd, void* buffer, size_t size);
// The same from the offset `at`, leaving the file's position as it was.
ssize_t ReadSomeAt(int fd, void* buffer, size_t size, off_t at);

// A regular file opened for reading by its path text, read blocking. Throws as
// OpenRegularFile does.
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

// The file a save to `path` writes: a symbolic link is followed to the file it leads to (which
// may not exist yet), the link stays. A folder, a device, a FIFO or a socket there is refused
// with an Error saying so. `status` and `existed`, when given, get the status of the file
// there and whether there is one.
QByteArray SaveTarget(const QString& path, struct stat* status = nullptr, bool* existed = nullptr);

// Writes a whole file by way of a temporary file in the same folder that is then renamed over
// it, so that a failure leaves any existing file as it was. Symbolic links are followed: the
// file a link leads to is written (created, for a dangling link), the link stays. A folder, a
// device, a FIFO or a socket there is refused, and left as it was. Throws an Error whose
// description says why in words for the user.
void WriteFileReplacing(const QString& path, const QByteArray& data);

// Throws the Error a failed write with that errno gives, described as the saves above describe
// it (no permission, a full disk, a missing folder...).
[[noreturn]] void RaiseWriteError(int error);

}  // namespace forms
