#pragma once

#include <QByteArray>
#include <QImage>

namespace forms::pixels {

// Converts the pixels of `image` (32-bit RGB, with or without alpha) from the colours of the ICC
// profile `icc` to sRGB, in place. Without a profile, or with one that cannot be read or does
// not describe RGB pixels, the picture is left as it is: taken as sRGB.
void toSrgb(QImage& image, const QByteArray& icc);

}  // namespace forms::pixels
