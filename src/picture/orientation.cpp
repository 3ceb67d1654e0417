#include "picture/orientation.h"

#include <cstring>

#include "picture/colour.h"

namespace forms::pixels {

namespace {

// The TIFF structure inside an EXIF block: its byte order, its fields and its directories.
class Exif {
public:
    Exif(const uchar* data, size_t size) {
        if (size < 6 + 8 || std::memcmp(data, "Exif\0\0", 6) != 0) return;
        tiff_ = data + 6;
        n_ = size - 6;
        if (tiff_[0] == 'I' && tiff_[1] == 'I')
            little_ = true;
        else if (tiff_[0] != 'M' || tiff_[1] != 'M')
            n_ = 0;
        if (n_ && u16(2) != 42) n_ = 0;
    }
    bool valid() const { return n_ > 0; }
    quint32 u16(size_t at) const {
        return little_ ? quint32(tiff_[at]) | quint32(tiff_[at + 1]) << 8
                       : quint32(tiff_[at]) << 8 | quint32(tiff_[at + 1]);
    }
    quint32 u32(size_t at) const {
        return little_ ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    }
    // Where the first directory (0) or the one after it (1) starts; 0 when there is none.
    size_t directory(int which) const {
        size_t ifd = u32(4);
        for (int k = 0; k < which && ifd; ++k) {
            if (!holds(ifd, 2)) return 0;
            const size_t next = ifd + 2 + 12 * size_t(u16(ifd));
            ifd = holds(next, 4) ? u32(next) : 0;
        }
        return ifd && holds(ifd, 2) ? ifd : 0;
    }
    // Where the field `tag` of a directory starts (its type at +2, its value at +8); 0 if none.
    size_t field(size_t ifd, quint32 tag) const {
        const quint32 count = u16(ifd);
        for (quint32 i = 0; i < count; ++i) {
            const size_t entry = ifd + 2 + 12 * size_t(i);
            if (!holds(entry, 12)) return 0;
            if (u16(entry) == tag) return entry;
        }
        return 0;
    }
    bool holds(size_t at, size_t size) const { return at <= n_ && n_ - at >= size; }
    const uchar* at(size_t offset) const { return tiff_ + offset; }

private:
    const uchar* tiff_ = nullptr;
    size_t n_ = 0;
    bool little_ = false;
};

}  // namespace

int exifOrientation(const uchar* data, size_t size) {
    const Exif exif(data, size);
    const size_t ifd = exif.valid() ? exif.directory(0) : 0;
    const size_t entry = ifd ? exif.field(ifd, 0x0112) : 0;
    if (!entry) return 0;
    const quint32 type = exif.u16(entry + 2);  // 3: SHORT
    const quint32 value = exif.u16(entry + 8);
    return type == 3 && value >= 1 && value <= 8 ? int(value) : 0;
}

QByteArrayView exifThumbnail(const uchar* data, size_t size) {
    const Exif exif(data, size);
    const size_t ifd = exif.valid() ? exif.directory(1) : 0;
    const size_t start = ifd ? exif.field(ifd, 0x0201) : 0;
    const size_t length = ifd ? exif.field(ifd, 0x0202) : 0;
    if (!start || !length) return {};
    const size_t at = exif.u32(start + 8), n = exif.u32(length + 8);
    if (!exif.holds(at, n) || n < 4) return {};
    return QByteArrayView(exif.at(at), qsizetype(n));
}

QTransform uprightTransform(int orientation, QSize stored) {
    const qreal w = stored.width(), h = stored.height();
    switch (orientation) {
        case 2:  // mirrored left to right
            return QTransform(-1, 0, 0, 1, w, 0);
        case 3:  // turned half round
            return QTransform(-1, 0, 0, -1, w, h);
        case 4:  // mirrored top to bottom
            return QTransform(1, 0, 0, -1, 0, h);
        case 5:  // mirrored along the diagonal
            return QTransform(0, 1, 1, 0, 0, 0);
        case 6:  // to be turned a quarter clockwise
            return QTransform(0, 1, -1, 0, h, 0);
        case 7:  // mirrored along the other diagonal
            return QTransform(0, -1, -1, 0, h, w);
        case 8:  // to be turned a quarter anticlockwise
            return QTransform(0, -1, 1, 0, 0, w);
        default:
            return QTransform();
    }
}

QImage upright(const QImage& image, int orientation) {
    switch (orientation) {
        case 2:
            return image.mirrored(true, false);
        case 3:
            return image.mirrored(true, true);
        case 4:
            return image.mirrored(false, true);
        case 5:
            return image.transformed(QTransform().rotate(90)).mirrored(true, false);
        case 6:
            return image.transformed(QTransform().rotate(90));
        case 7:
            return image.transformed(QTransform().rotate(270)).mirrored(true, false);
        case 8:
            return image.transformed(QTransform().rotate(270));
        default:
            return image;
    }
}

int tiffOrientation(const QByteArray& data) {
    if (data.startsWith(QByteArrayLiteral("Exif\0\0")))
        return exifOrientation(reinterpret_cast<const uchar*>(data.constData()),
                               size_t(data.size()));
    const QByteArray block = QByteArrayLiteral("Exif\0\0") + data;
    return exifOrientation(reinterpret_cast<const uchar*>(block.constData()), size_t(block.size()));
}

Plan planStored(QSize stored, int orientation, const Request& request, bool coarse) {
    const bool turned = orientation >= 5;
    const QSize own = turned ? stored.transposed() : stored;
    Plan plan = planFor(own, request, coarse);
    if (turned) {
        std::swap(plan.fx, plan.fy);
        if (plan.fitted.isValid()) plan.fitted.transpose();
    }
    plan.part =
        uprightTransform(orientation, stored).inverted().mapRect(QRectF(plan.part)).toRect();
    return plan;
}

Picture finishedPicture(Picture stored, int orientation, const QByteArray& icc) {
    QImage image = stored.image();
    const QSize size = stored.size();
    const QRect held = stored.held();
    stored = Picture();  // the only reference to the pixels: converted in place
    toSrgb(image, icc);
    if (orientation <= 1) return Picture(std::move(image), size, held);
    const QTransform toUpright = uprightTransform(orientation, size);
    return Picture(upright(image, orientation), orientation >= 5 ? size.transposed() : size,
                   toUpright.mapRect(QRectF(held)).toRect());
}

}  // namespace forms::pixels
