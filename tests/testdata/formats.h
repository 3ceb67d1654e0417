// Pictures of the formats read through their own libraries, written with those libraries'
// encoders, for the tests and the fuzz target's seeds.
#pragma once

#include <QByteArray>
#include <QImage>

namespace testdata {

struct Encoding {
    enum Colour { Rgb, Grey, Palette, Cmyk };
    Encoding(Colour c = Rgb, int b = 8, bool a = false, bool i = false, int t = 0, bool l = false,
             int o = 1)
        : colour(c), bits(b), alpha(a), interlaced(i), tile(t), lossy(l), orientation(o) {}
    Colour colour;
    int bits;         // 8 or 16 a channel
    bool alpha;       // the image's alpha kept
    bool interlaced;  // PNG
    int tile;         // TIFF: tiles of this side; strips of 16 rows without
    bool lossy;       // WebP
    int orientation;  // an EXIF block saying how to turn the picture upright
    QByteArray icc;   // an embedded colour profile
};

// `image` as a "png", "tiff" or "webp" file; empty when the encoder fails. A palette takes
// the first 256 colours of the image; grey takes the green channel.
QByteArray encode(const QImage& image, const char* format, const Encoding& how = {});

// An ICC profile of sRGB's primaries with a linear response: mid-grey stored is far lighter
// in sRGB.
QByteArray linearProfile();

// A small file whose header declares a picture of `size` ("png", "tiff" in strips of one row,
// or "webp" lossless, at most 16384 a side) and holds little or nothing of it.
QByteArray declaring(const char* format, QSize size);

// A WebP decoded whole by libwebp itself.
QImage decodedWebP(const QByteArray& file);

}  // namespace testdata
