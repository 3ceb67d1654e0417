// Colours of an embedded ICC profile turned into sRGB, the colours a screen is taken to show:
// the profiles cameras and phones embed (a matrix and three curves) through Qt's own colour
// transform, three times quicker than Little CMS's 8-bit path; every other profile (tables,
// and those Qt cannot read) through Little CMS.
#include "picture/colour.h"

#include <lcms2.h>

#include <QColorSpace>
#include <QColorTransform>

#include <memory>

namespace forms::pixels {

namespace {

// A 32-bit pixel's bytes in memory: blue, green, red, alpha on a little-endian machine.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr cmsUInt32Number kPixel = TYPE_BGRA_8;
#else
constexpr cmsUInt32Number kPixel = TYPE_ARGB_8;
#endif

struct ProfileCloser {
    void operator()(void* p) const { cmsCloseProfile(p); }
};
struct TransformDeleter {
    void operator()(void* t) const { cmsDeleteTransform(t); }
};
struct ContextDeleter {
    void operator()(cmsContext c) const { cmsDeleteContext(c); }
};

}  // namespace

void toSrgb(QImage& image, const QByteArray& icc) {
    if (icc.isEmpty() || image.isNull() || image.depth() != 32) return;
    const QImage::Format format = image.format();
    const bool premultiplied = format == QImage::Format_ARGB32_Premultiplied;
    if (!premultiplied && format != QImage::Format_ARGB32 && format != QImage::Format_RGB32) return;
    const QColorSpace space = QColorSpace::fromIccProfile(icc);
    if (space.isValid()) {
        image.applyColorTransform(space.transformationToColorSpace(QColorSpace::SRgb));
        return;
    }
    // A context of its own: readers run on several threads at once, and Little CMS keeps its
    // error handler in the context; with none set, its errors are not printed.
    std::unique_ptr<_cmsContext_struct, ContextDeleter> context(cmsCreateContext(nullptr, nullptr));
    if (!context) return;
    std::unique_ptr<void, ProfileCloser> from(
        cmsOpenProfileFromMemTHR(context.get(), icc.constData(), cmsUInt32Number(icc.size())));
    if (!from || cmsGetColorSpace(from.get()) != cmsSigRgbData) return;
    std::unique_ptr<void, ProfileCloser> to(cmsCreate_sRGBProfileTHR(context.get()));
    if (!to) return;
    const cmsUInt32Number pixel = kPixel | (premultiplied ? PREMUL_SH(1) : 0);
    std::unique_ptr<void, TransformDeleter> transform(cmsCreateTransformTHR(
        context.get(), from.get(), pixel, to.get(), pixel, INTENT_PERCEPTUAL, cmsFLAGS_COPY_ALPHA));
    if (!transform) return;
    const cmsUInt32Number width = cmsUInt32Number(image.width());
    const cmsUInt32Number stride = cmsUInt32Number(image.bytesPerLine());
    uchar* bits = image.bits();
    cmsDoTransformLineStride(transform.get(), bits, bits, width, cmsUInt32Number(image.height()),
                             stride, stride, 0, 0);
}

}  // namespace forms::pixels
