#include "twips.h"

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
int toPixelsX(double t) { return static_cast<int>(std::lround(t / perPixelX())); }
int toPixelsY(double t) { return static_cast<int>(std::lround(t / perPixelY())); }
float fromPixelsX(int p) { return static_cast<float>(p * perPixelX()); }
float fromPixelsY(int p) { return static_cast<float>(p * perPixelY()); }

}  // namespace forms::twips
