#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QSize>
#include <QString>

namespace testdata {

// Writes a solid picture in the format given by the file name's extension (or `format`).
QString MakePicture(const QString& dir, const QString& name, QSize size, QColor colour,
                    const char* format = nullptr);
void WriteFile(const QString& path, const QByteArray& content);
// `image` made by ImageMagick's convert into `to` (a name whose extension, or a prefix like
// "PNG8:", gives the format), with `options` before the output name.
QByteArray Converted(const QImage& image, const QString& to, const QString& options = {});

}  // namespace testdata
