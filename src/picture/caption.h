#pragma once

#include <QPainter>
#include <QRectF>
#include <QSize>
#include <QString>

// A picture's caption, as the show and an exported video draw it: the file's name and the date
// it was taken, light on a translucent dark band, legible over any picture.
namespace forms {

// The caption's text: the file's name and, when known, the date the picture was taken.
QString CaptionText(const QString& path, const QString& taken);

// The margin around a caption's text on its band, from the font's line height, so that it
// scales with the font.
QSize CaptionPadding(const QFontMetrics& metrics);

// Paints a caption's band over `band` and its text centred on it, in the painter's font.
void PaintCaption(QPainter& painter, const QRectF& band, const QString& text);

}  // namespace forms
