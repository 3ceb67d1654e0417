#pragma once

#include <QByteArrayView>
#include <QImage>
#include <QSize>
#include <QTransform>
#include <cstddef>

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

}  // namespace forms::pixels
