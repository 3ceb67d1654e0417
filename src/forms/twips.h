#pragma once

// Positions and sizes of windows and controls are in twips (1/1440 inch); the screen's
// logical DPI gives the pixels (15 twips per pixel at 96 DPI).
namespace forms::twips {

double perPixelX();
double perPixelY();
int toPixelsX(double twips);
int toPixelsY(double twips);
float fromPixelsX(int pixels);
float fromPixelsY(int pixels);

}  // namespace forms::twips
