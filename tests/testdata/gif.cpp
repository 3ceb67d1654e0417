#include "testdata/gif.h"

#include <gif_lib.h>

#include <QtGlobal>
#include <cstring>
#include <vector>

namespace testdata {

namespace {

int append(GifFileType* gif, const GifByteType* bytes, int size) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), size);
    return size;
}

void check(int result, const char* what) {
    if (result == GIF_ERROR) qFatal("cannot encode a GIF: %s", what);
}

// The rows in the order they are stored: an interlaced frame in four passes.
std::vector<int> storedOrder(int height, bool interlaced) {
    std::vector<int> order;
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass)
        for (int y = interlaced ? kStart[pass] : 0; y < height; y += interlaced ? kStep[pass] : 1)
            order.push_back(y);
    return order;
}

}  // namespace

QByteArray Gif(QSize screen, const QList<QRgb>& palette, const QList<GifFrame>& frames) {
    QByteArray out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, append, &error);
    if (!gif) qFatal("cannot encode a GIF: %d", error);
    int bits = 1;
    while ((1 << bits) < palette.size()) ++bits;
    std::vector<GifColorType> colours(size_t(1) << bits, GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < palette.size(); ++i)
        colours[size_t(i)] = {GifByteType(qRed(palette[i])), GifByteType(qGreen(palette[i])),
                              GifByteType(qBlue(palette[i]))};
    ColorMapObject* map = GifMakeMapObject(int(colours.size()), colours.data());
    EGifSetGifVersion(gif, true);
    check(EGifPutScreenDesc(gif, screen.width(), screen.height(), bits, 0, map), "screen");
    if (frames.size() > 1) {
        check(EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE), "loop");
        check(EGifPutExtensionBlock(gif, 11, "NETSCAPE2.0"), "loop");
        check(EGifPutExtensionBlock(gif, 3, "\x01\x00\x00"), "loop");
        check(EGifPutExtensionTrailer(gif), "loop");
    }
    for (const GifFrame& frame : frames) {
        static const GifByteType tenth[] = {0x00, 0x0A, 0x00, 0x00};
        check(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, 4, tenth), "delay");
        const QRect& r = frame.rect;
        check(EGifPutImageDesc(gif, r.x(), r.y(), r.width(), r.height(), frame.interlaced, nullptr),
              "frame");
        std::vector<GifPixelType> line(size_t(r.width()));
        for (int y : storedOrder(r.height(), frame.interlaced)) {
            frame.rows(y, line.data());
            check(EGifPutLine(gif, line.data(), r.width()), "row");
        }
    }
    check(EGifCloseFile(gif, &error), "end");
    GifFreeMapObject(map);
    return out;
}

QByteArray SolidGif(QSize size, const QList<int>& frames, const QList<QRgb>& palette) {
    QList<GifFrame> solid;
    for (int index : frames)
        solid.push_back(
            {QRect(QPoint(), size), [index, width = size.width()](int, unsigned char* row) {
                 std::memset(row, index, size_t(width));
             }});
    return Gif(size, palette, solid);
}

}  // namespace testdata
