#pragma once

#include <QByteArray>
#include <QColor>
#include <QSize>
#include <QString>

namespace testdata {

// Writes a solid picture in the format given by the file name's extension (or `format`).
QString MakePicture(const QString& dir, const QString& name, QSize size, QColor colour,
                    const char* format = nullptr);
void WriteFile(const QString& path, const QByteArray& content);

}  // namespace testdata
