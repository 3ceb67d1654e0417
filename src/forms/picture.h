#pragma once

#include <QImage>
#include <QSize>
#include <QString>

namespace forms {

// A picture for an image control. Its own size is the size of the whole picture, upright;
// the pixels held may be reduced when the loader was asked for a smaller size.
class Picture {
public:
    Picture() = default;
    explicit Picture(QImage image) : image_(std::move(image)), size_(image_.size()) {}
    Picture(QImage image, QSize ownSize) : image_(std::move(image)), size_(ownSize) {}

    bool isNull() const { return image_.isNull(); }
    QSize size() const { return size_; }  // pixels
    const QImage& image() const { return image_; }

private:
    QImage image_;
    QSize size_;
};

// Reads a BMP, JPEG or GIF file, recognised by its content, from a full path. Throws
// FileNotFound for a missing file, PermissionDenied for one that cannot be read and
// InvalidPicture for anything that is not a picture of those formats or cannot be decoded,
// including special files (a FIFO, a device, a directory) and pictures too large to hold.
// With a non-empty `fit`, the picture may be decoded reduced to about that size.
Picture LoadPicture(const QString& path, QSize fit = {});

}  // namespace forms
