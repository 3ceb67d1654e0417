#include "forms/twips.h"

#include <QGuiApplication>
#include <QScreen>
#include <cmath>

namespace forms::twips {

namespace {
double dpi(bool x) {
    static const double dx = [] {
        QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->logicalDotsPerInchX() : 96.0;
    }();
    static const double dy = [] {
        QScreen* s = QGuiApplication::primaryScreen();
        return s ? s->logicalDotsPerInchY() : 96.0;
    }();
    return x ? dx : dy;
}
}  // namespace

double perPixelX() { return 1440.0 / dpi(true); }
double perPixelY() { return 1440.0 / dpi(false); }
// Halves round up, the same way on both sides of zero, so that a control moved by a
// fraction keeps its size in pixels.
int toPixelsX(double t) { return static_cast<int>(std::floor(t / perPixelX() + 0.5)); }
int toPixelsY(double t) { return static_cast<int>(std::floor(t / perPixelY() + 0.5)); }
float fromPixelsX(int p) { return static_cast<float>(p * perPixelX()); }
float fromPixelsY(int p) { return static_cast<float>(p * perPixelY()); }

}  // namespace forms::twips

namespace forms {

QSize ViewSize(float widthTwips, float heightTwips) {
    // Twips measure logical pixels; a picture's pixels are the screen's device pixels.
    const qreal ratio = qGuiApp ? qGuiApp->devicePixelRatio() : 1.0;
    return QSize(int(std::ceil(twips::toPixelsX(widthTwips) * ratio)),
                 int(std::ceil(twips::toPixelsY(heightTwips) * ratio)));
}

}  // namespace forms
