#include "picture/picture.h"

#include <unistd.h>

#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms {

namespace pixels {

Format formatOf(int fd) {
    char head[6] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    const QByteArray bytes(head, n > 0 ? int(n) : 0);
    if (bytes.startsWith("\xFF\xD8\xFF")) return Format::Jpeg;
    if (bytes.startsWith("BM")) return Format::Bmp;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return Format::Gif;
    if (isHeif(fd)) return Format::Heif;
    if (isJxl(fd)) return Format::Jxl;
    return Format::Unknown;
}

}  // namespace pixels

namespace {

// A regular file opened for reading; anything else is not a picture.
int openPicture(const QString& path) {
    try {
        return OpenRegularFile(path);
    } catch (const Error& e) {
        if (e.Number() == err::InvalidArgument) Raise(err::InvalidPicture);
        throw;
    }
}

Picture load(const QString& path, const pixels::Request& request) {
    if (path.isEmpty()) return Picture();
    const FileDescriptor file(openPicture(path));
    switch (pixels::formatOf(file.get())) {
        case pixels::Format::Jpeg:
            return pixels::readJpeg(file.get(), request);
        case pixels::Format::Gif:
            return pixels::readGif(file.get(), request);
        case pixels::Format::Bmp:
            return pixels::readBmp(file.get(), request);
        case pixels::Format::Heif:
            return pixels::readHeif(file.get(), request);
        case pixels::Format::Jxl:
            return pixels::readJxl(file.get(), request);
        case pixels::Format::Unknown:
            break;
    }
    Raise(err::InvalidPicture);
}

}  // namespace

Picture LoadPicture(const QString& path, QSize fit, QSize view) {
    return load(path, {fit, view, QSize()});
}

Picture LoadPictureFitted(const QString& path, QSize screen) {
    return load(path, {QSize(), QSize(), screen});
}

bool IsPictureFile(const QString& path) {
    try {
        const FileDescriptor file(OpenRegularFile(path));
        return pixels::formatOf(file.get()) != pixels::Format::Unknown;
    } catch (const Error&) {
        return false;
    }
}

}  // namespace forms
