#include "picture/orientation.h"

#include <cstring>

#include "picture/colour.h"

namespace forms::pixels {

int exifOrientation(const uchar* data, size_t size) {
    if (size < 6 + 8 || std::memcmp(data, "Exif\0\0", 6) != 0) return 0;
    const uchar* tiff = data + 6;
    const size_t n = size - 6;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 0;
    auto u16 = [&](size_t at) -> quint32 {
        return little ? quint32(tiff[at]) | quint32(tiff[at + 1]) << 8
                      : quint32(tiff[at]) << 8 | quint32(tiff[at + 1]);
    };
    auto u32 = [&](size_t at) -> quint32 {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) return 0;
    const size_t ifd = u32(4);
    if (ifd > n || n - ifd < 2) return 0;
    const quint32 count = u16(ifd);
    for (quint32 i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * size_t(i);
        if (entry + 12 > n) return 0;
        if (u16(entry) != 0x0112) continue;
        const quint32 type = u16(entry + 2);  // 3: SHORT
        const quint32 value = u16(entry + 8);
        return type == 3 && value >= 1 && value <= 8 ? int(value) : 0;
    }
    return 0;
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
