#pragma once

#include <QString>
#include <cstddef>

// The date a photo was taken, as the camera wrote it in the file's EXIF data.
namespace forms {

// The DateTimeOriginal of a JPEG file's EXIF block, as "2024年5月3日 14:22"; empty when the
// file cannot be read, is not a JPEG, or carries no such date. Reads the file's first markers
// only.
QString DateTaken(const QString& path);

namespace pixels {
// The same from an EXIF block (an APP1 segment's content, "Exif\0\0" then TIFF data).
QString exifDateTaken(const uchar* data, size_t size);
}  // namespace pixels

}  // namespace forms
