#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QTransform>
#include <cstddef>

#include "picture/pixels.h"

// A picture stored turned or mirrored, as cameras leave it, and how to make it upright. The
// orientation is EXIF's: 1 upright, 2 to 8 the seven other ways.
namespace forms::pixels {

// The orientation an EXIF block (an APP1 segment's content, "Exif\0\0" then TIFF data) gives,
// 1 to 8; 0 when the block is not EXIF or carries no valid orientation.
int exifOrientation(const uchar* data, size_t size);
// The JPEG thumbnail an EXIF block carries, as cameras and phones write one; empty when none.
QByteArrayView exifThumbnail(const uchar* data, size_t size);
// Maps the stored picture's area onto the upright picture's.
QTransform uprightTransform(int orientation, QSize stored);
// The stored picture made upright.
QImage upright(const QImage& image, int orientation);

// The orientation of raw TIFF data (an EXIF block without its "Exif" header, as PNG and WebP
// carry it), or of an EXIF block with the header; 0 when there is none.
int tiffOrientation(const QByteArray& data);
// What to decode of a picture stored turned or mirrored: the plan for the upright picture,
// carried over to the picture as stored.
Plan planStored(QSize stored, int orientation, const Request& request, bool coarse = false);
// A picture decoded as stored, its colours converted from the ICC profile `icc` (if any) to
// sRGB, made upright: its pixels, its own size and the part held.
Picture finishedPicture(Picture stored, int orientation, const QByteArray& icc);

}  // namespace forms::pixels
