#pragma once

#include "picture/picture.h"
#include "picture/pixels.h"

// One reader per format, each behind the same small interface: given a regular file opened for
// reading and what the caller asks of it, the picture, decoding and holding only what is asked.
// Each throws InvalidPicture for what it cannot show.
namespace forms::pixels {

enum class Format {
    Unknown,
    Jpeg,
    Bmp,
    Gif,
    Png,
    Tiff,
    WebP,
    Heif,
    Jxl,
};

// The format of a file, recognised by its first bytes; no reader is ever reached from a user's
// file of another kind.
Format formatOf(int fd);
// An ISO media file of a HEIF brand (HEIC, AVIF).
bool isHeif(int fd);
// A JPEG XL codestream, bare or in its container.
bool isJxl(int fd);

Picture readJpeg(int fd, const Request& request);
Picture readBmp(int fd, const Request& request);
Picture readGif(int fd, const Request& request);
Picture readPng(int fd, const Request& request);
Picture readTiff(int fd, const Request& request);
Picture readWebP(int fd, const Request& request);
Picture readHeif(int fd, const Request& request);
Picture readJxl(int fd, const Request& request);

}  // namespace forms::pixels
