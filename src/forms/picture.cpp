#include "picture.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QImageReader>
#include <cerrno>

#include "runtime.h"

namespace forms {

namespace {

// Largest picture held, in pixels: 256 megapixels is 1 GiB at four bytes a pixel.
constexpr qint64 kMaxPixels = 256LL * 1024 * 1024;

// The formats a picture file may have, recognised by their first bytes; no other image
// reader is ever reached from a user's file.
QByteArray sniff(QIODevice& file) {
    const QByteArray head = file.peek(6);
    if (head.startsWith("\xFF\xD8\xFF")) return QByteArrayLiteral("jpeg");
    if (head.startsWith("BM")) return QByteArrayLiteral("bmp");
    if (head.startsWith("GIF87a") || head.startsWith("GIF89a")) return QByteArrayLiteral("gif");
    return {};
}

struct Limits {
    Limits() { QImageReader::setAllocationLimit(1024); }
};

}  // namespace

Picture LoadPicture(const QString& path, QSize fit) {
    static const Limits limits;
    if (path.isEmpty()) return Picture();

    // Non-blocking, so that a FIFO put where a file was cannot hang the caller; only a
    // regular file is read.
    const int fd = ::open(QFile::encodeName(path).constData(),
                          O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP)
            Raise(err::FileNotFound);
        if (errno == EACCES || errno == EPERM) Raise(err::PermissionDenied);
        Raise(err::InvalidPicture);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Raise(err::InvalidPicture);
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        Raise(err::InvalidPicture);
    }
    const QByteArray format = sniff(file);
    if (format.isEmpty()) Raise(err::InvalidPicture);

    QImageReader reader(&file, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty()) Raise(err::InvalidPicture);
    if (qint64(stored.width()) * stored.height() > kMaxPixels) Raise(err::InvalidPicture);
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize own = turned ? stored.transposed() : stored;

    if (fit.isValid() && format == "jpeg" && !turned &&
        (own.width() > 2 * fit.width() || own.height() > 2 * fit.height())) {
        // Decoded reduced: the JPEG reader scales while decoding, far cheaper than a full
        // decode scaled down afterwards.
        reader.setScaledSize(own.scaled(fit * 2, Qt::KeepAspectRatioByExpanding).boundedTo(own));
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) Raise(err::InvalidPicture);
    return Picture(std::move(image), own);
}

}  // namespace forms
