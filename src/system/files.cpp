#include "system/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "system/error.h"
#include "system/filenames.h"

namespace forms {

namespace {

[[noreturn]] void failWrite(int error) {
    switch (error) {
        case EACCES:
        case EPERM:
        case EROFS:
            throw Error(err::PermissionDenied,
                        QStringLiteral("このフォルダに書き込む権限がありません。"));
        case ENOSPC:
        case EDQUOT:
        case EFBIG:
            throw Error(err::DeviceUnavailable, QStringLiteral("ディスクの空きが足りません。"));
        case EISDIR:
            throw Error(err::PermissionDenied, QStringLiteral("同じ名前のフォルダがあります。"));
        case ENOENT:
        case ENOTDIR:
            throw Error(err::PathNotFound, QStringLiteral("保存先のフォルダが見つかりません。"));
        case ENAMETOOLONG:
            throw Error(err::PathNotFound, QStringLiteral("ファイル名が長すぎます。"));
        case ELOOP:
            throw Error(err::PathNotFound, QStringLiteral("リンクが循環しています。"));
    }
    throw Error(err::DeviceUnavailable, QStringLiteral("書き込みに失敗しました（%1）。")
                                            .arg(QString::fromLocal8Bit(std::strerror(error))));
}

FileIdentity identityFrom(const struct stat& st) {
    FileIdentity id;
    id.valid = true;
    id.device = st.st_dev;
    id.inode = st.st_ino;
    id.size = st.st_size;
    id.modified = st.st_mtim;
    id.changed = st.st_ctim;
    return id;
}

bool same(const timespec& a, const timespec& b) {
    return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

}  // namespace

bool FileIdentity::operator==(const FileIdentity& o) const {
    return valid && o.valid && device == o.device && inode == o.inode && size == o.size &&
           same(modified, o.modified) && same(changed, o.changed);
}

FileIdentity IdentityOf(int fd) {
    struct stat st {};
    return ::fstat(fd, &st) == 0 ? identityFrom(st) : FileIdentity();
}

FileIdentity IdentityOf(const QString& path) {
    struct stat st {};
    if (path.isEmpty() || ::stat(NativePath(path).constData(), &st) != 0) return {};
    return identityFrom(st);
}

FileDescriptor::~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
}

int OpenRegularFile(const QString& path) {
    const QByteArray native = NativePath(path);
    // A name holding a NUL names no file; the system would read it only up to the NUL.
    if (native.contains('\0')) Raise(err::FileNotFound);
    const int fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP)
            Raise(err::FileNotFound);
        if (errno == EACCES || errno == EPERM) Raise(err::PermissionDenied);
        Raise(err::InvalidArgument);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Raise(err::InvalidArgument);
    }
    return fd;
}

ssize_t ReadSome(int fd, void* buffer, size_t size) {
    ssize_t n;
    do {
        n = ::read(fd, buffer, size);
    } while (n < 0 && errno == EINTR);
    return n;
}

ssize_t ReadSomeAt(int fd, void* buffer, size_t size, off_t at) {
    ssize_t n;
    do {
        n = ::pread(fd, buffer, size, at);
    } while (n < 0 && errno == EINTR);
    return n;
}

InputFile::InputFile(const QString& path) : fd_(OpenRegularFile(path)) {
    // Read blocking from here: a regular file never waits long.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    if (!file_.open(fd_, QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
        ::close(fd_);
        Raise(err::PermissionDenied);
    }
}

InputFile::~InputFile() {
    file_.close();
    ::close(fd_);
}

namespace {

// The file a path leads to, following symbolic links, each relative one from its own folder;
// a dangling link leads to the file it names, which a save creates.
QByteArray linkTarget(QByteArray path) {
    for (int links = 0;; ++links) {
        struct stat st {};
        if (::lstat(path.constData(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
        if (links == 40) failWrite(ELOOP);
        QByteArray to(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.constData(), to.data(), size_t(to.size()));
        if (n < 0 || n >= to.size()) failWrite(n < 0 ? errno : ENAMETOOLONG);
        to.truncate(n);
        if (!to.startsWith('/'))
            path = path.left(path.lastIndexOf('/') + 1) + to;
        else
            path = to;
    }
}

}  // namespace

QByteArray SaveTarget(const QString& path, struct stat* status, bool* existed) {
    const QByteArray target = linkTarget(NativePath(path));
    struct stat st {};
    const bool there = ::stat(target.constData(), &st) == 0;
    if (there && S_ISDIR(st.st_mode)) failWrite(EISDIR);
    // A device, a FIFO or a socket is never replaced by a file.
    if (there && !S_ISREG(st.st_mode))
        throw Error(err::PermissionDenied,
                    QStringLiteral("保存先は通常のファイルではありません（デバイスなど）。"));
    if (status) *status = st;
    if (existed) *existed = there;
    return target;
}

void WriteFileReplacing(const QString& path, const QByteArray& data) {
    struct stat st {};
    bool existed = false;
    const QByteArray target = SaveTarget(path, &st, &existed);
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray temp = (slash < 0 ? QByteArray() : target.left(slash + 1)) + ".varnel-XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) failWrite(errno);
    int error = 0;
    for (qsizetype done = 0; done < data.size() && !error;) {
        const ssize_t n = ::write(fd, data.constData() + done, size_t(data.size() - done));
        if (n < 0 && errno != EINTR) error = errno;
        if (n > 0) done += n;
    }
    // The new file keeps the old one's permissions, or gets those a new file gets.
    mode_t mode = existed ? st.st_mode & 07777 : 0;
    if (!existed) {
        const mode_t mask = ::umask(022);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (!error && ::fchmod(fd, mode) != 0) error = errno;
    if (!error && ::fsync(fd) != 0) error = errno;
    if (::close(fd) != 0 && !error) error = errno;
    if (!error && ::rename(temp.constData(), target.constData()) != 0) error = errno;
    if (error) {
        ::unlink(temp.constData());
        failWrite(error);
    }
}

void RaiseWriteError(int error) { failWrite(error); }

}  // namespace forms
