#include "picture/picture.h"

#include <unistd.h>

#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms {

namespace pixels {

Format formatOf(int fd) {
    char head[16] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    const QByteArray bytes(head, n > 0 ? int(n) : 0);
    if (bytes.startsWith("\xFF\xD8\xFF")) return Format::Jpeg;
    if (bytes.startsWith("BM")) return Format::Bmp;
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return Format::Gif;
    if (bytes.startsWith("\x89PNG\r\n\x1A\n")) return Format::Png;
    if (bytes.startsWith("II*\0") || bytes.startsWith("MM\0*")) return Format::Tiff;
    if (bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP") return Format::WebP;
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

Picture read(int fd, const pixels::Request& request) {
    switch (pixels::formatOf(fd)) {
        case pixels::Format::Jpeg:
            return pixels::readJpeg(fd, request);
        case pixels::Format::Gif:
            return pixels::readGif(fd, request);
        case pixels::Format::Bmp:
            return pixels::readBmp(fd, request);
        case pixels::Format::Png:
            return pixels::readPng(fd, request);
        case pixels::Format::Tiff:
            return pixels::readTiff(fd, request);
        case pixels::Format::WebP:
            return pixels::readWebP(fd, request);
        case pixels::Format::Heif:
            return pixels::readHeif(fd, request);
        case pixels::Format::Jxl:
            return pixels::readJxl(fd, request);
        case pixels::Format::Unknown:
            break;
    }
    Raise(err::InvalidPicture);
}

Picture load(const QString& path, const pixels::Request& request) {
    if (path.isEmpty()) return Picture();
    const FileDescriptor file(openPicture(path));
    // Taken before the first byte is read, so that a change while it is read shows too.
    const FileIdentity source = IdentityOf(file.get());
    Picture picture = read(file.get(), request);
    picture.setSource(source);
    return picture;
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
