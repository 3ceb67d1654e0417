#include "picture/colour.h"

namespace forms::pixels {

void toSrgb(QImage&, const QByteArray&) {}

}  // namespace forms::pixels
