#pragma once

#include <QByteArray>
#include <QImage>

namespace forms::pixels { void toSrgb(QImage& image, const QByteArray& icc); }
