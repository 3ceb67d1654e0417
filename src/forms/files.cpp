#include "files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QFileDialog>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "filenames.h"
#include "runtime.h"

namespace forms {

namespace {

std::function<QString(bool, const QString&)> g_dialogAction;

int openRegular(const QString& path) {
    const int fd =
        ::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM) Raise(err::PermissionDenied);
        Raise(err::FileNotFound);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Raise(err::InvalidArgument);
    }
    return fd;
}

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
    }
    throw Error(err::DeviceUnavailable, QStringLiteral("書き込みに失敗しました（%1）。")
                                            .arg(QString::fromLocal8Bit(std::strerror(error))));
}

}  // namespace

QString GetOpenFileName(const QString& title, const QString& filter) {
    if (g_dialogAction) return g_dialogAction(false, title);
    return QFileDialog::getOpenFileName(QApplication::activeWindow(), title, QString(), filter);
}

QString GetSaveFileName(const QString& title, const QString& filter, const QString& suffix) {
    if (g_dialogAction) return g_dialogAction(true, title);
    QFileDialog dialog(QApplication::activeWindow(), title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    return dialog.selectedFiles().first();
}

void SetFileDialogAction(std::function<QString(bool, const QString&)> action) {
    g_dialogAction = std::move(action);
}

bool IsPictureFile(const QString& path) {
    int fd;
    try {
        fd = openRegular(path);
    } catch (const Error&) {
        return false;
    }
    char head[6] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    ::close(fd);
    const QByteArray bytes(head, n > 0 ? int(n) : 0);
    return bytes.startsWith("\xFF\xD8\xFF") || bytes.startsWith("BM") ||
           bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a");
}

InputFile::InputFile(const QString& path) : fd_(openRegular(path)) {
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

void WriteFileReplacing(const QString& path, const QByteArray& data) {
    QByteArray target = NativePath(path);
    // A link is followed: the file it leads to is replaced, the link stays.
    if (char* real = ::realpath(target.constData(), nullptr)) {
        target = real;
        std::free(real);
    }
    struct stat st {};
    const bool existed = ::stat(target.constData(), &st) == 0;
    if (existed && S_ISDIR(st.st_mode)) failWrite(EISDIR);
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

}  // namespace forms
