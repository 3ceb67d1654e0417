#pragma once

// Positions and sizes of windows and controls are in twips (1/1440 inch); the screen's
// logical DPI gives the pixels (15 twips per pixel at 96 DPI).
#include <QSize>

namespace forms {
// The size in device pixels of a view whose size is given in twips, for LoadPicture's `view`.
QSize ViewSize(float widthTwips, float heightTwips);
}  // namespace forms

namespace forms::twips {

double perPixelX();
double perPixelY();
int toPixelsX(double twips);
int toPixelsY(double twips);
float fromPixelsX(int pixels);
float fromPixelsY(int pixels);

}  // namespace forms::twips
