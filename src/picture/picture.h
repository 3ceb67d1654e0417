#pragma once

#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include "system/files.h"

namespace forms {

// A picture for an image control. Its own size is the size of the whole picture, upright.
// The pixels held may be reduced (a preview) or cover only part of the picture (the part a
// window shows): `held()` says which part of the picture, in the picture's own pixels, the
// image covers.
class Picture {
public:
    Picture() = default;
    explicit Picture(QImage image)
        : image_(std::move(image)), size_(image_.size()), held_(QPoint(0, 0), size_) {}
    // The whole picture, held at the image's size.
    Picture(QImage image, QSize ownSize)
        : image_(std::move(image)), size_(ownSize), held_(QPoint(0, 0), ownSize) {}
    Picture(QImage image, QSize ownSize, QRect held)
        : image_(std::move(image)), size_(ownSize), held_(held) {}

    bool isNull() const { return image_.isNull(); }
    QSize size() const { return size_; }  // pixels
    const QImage& image() const { return image_; }
    QRect held() const { return held_; }
    bool isWhole() const { return held_ == QRect(QPoint(0, 0), size_); }
    // The file the pixels were read from, as it was when it was opened; none for a picture not
    // read from a file.
    const FileIdentity& source() const { return source_; }
    void setSource(const FileIdentity& source) { source_ = source; }

private:
    QImage image_;
    QSize size_;
    QRect held_;
    FileIdentity source_;
};

// Reads a BMP, JPEG or GIF file, recognised by its content, from a full path; the picture
// keeps the identity of the file it was read from, taken from the descriptor read. Throws
// FileNotFound for a missing file, PermissionDenied for one that cannot be read and
// InvalidPicture for anything that is not a picture of those formats or cannot be decoded,
// including special files (a FIFO, a device, a directory) and pictures too large to hold
// (more than 256 megapixels). A JPEG's orientation tag is applied: the picture is upright. A
// GIF is its first frame, at the frame's size, whatever logical screen its header announces.
// Memory is bounded by what is held: rows and columns not wanted are never kept, and a file
// is read no further than its picture needs. Safe to call from any thread: the loader keeps
// no state between calls.
//
// With a non-empty `fit` the picture is shown stretched to a box of that size (pixels): it
// may be decoded reduced, never below that size. With a non-empty `view`, the picture is
// shown at its own size centred on a view of that size (pixels): when it is larger than the
// view, only the part that falls inside the view (and a few pixels around it) is decoded and
// held.
Picture LoadPicture(const QString& path, QSize fit = {}, QSize view = {});

// Reads a picture as LoadPicture does, for a screen of `screen` pixels on which it is shown
// whole: a picture larger than the screen either way (upright) is reduced, its aspect ratio
// kept, to the largest size that fits, smoothly filtered, and its own size is that reduced
// size. A picture that fits is what LoadPicture(path, {}, screen) gives: never enlarged.
// Throws as LoadPicture does.
Picture LoadPictureFitted(const QString& path, QSize screen);

// Whether a path names a regular file whose content is a picture of a format read here.
bool IsPictureFile(const QString& path);

}  // namespace forms
