// HEIF (HEIC, AVIF) and JPEG XL pictures made with the libraries' own encoders, and the
// libraries' own whole decode of them, upright, to check the loader against.
#pragma once

#include <QByteArray>
#include <QImage>

namespace testdata {

// `image` coded as HEVC (HEIC) or AV1 (AVIF), turned by the file's transforms to show as the
// EXIF `orientation` says, with `thumbnail` (when not null) as its thumbnail. Empty when the
// encoder is missing.
QByteArray EncodeHeif(const QImage& image, bool av1, int orientation = 1,
                      const QImage& thumbnail = {});
// `image` as JPEG XL, lossless or lossy, with its alpha, and the header's orientation.
QByteArray EncodeJxl(const QImage& image, bool lossless, int orientation = 1);
// The library's own whole decode, upright, as ARGB32 (premultiplied where it has alpha).
QImage DecodeHeif(const QByteArray& file);
QImage DecodeJxl(const QByteArray& file);

}  // namespace testdata
