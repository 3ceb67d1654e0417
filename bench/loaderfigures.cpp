// The picture loader's figures: a picture fitted to the screen, and the visible part of large
// BMPs and GIFs, each against the least work that gives the same pixels.
#include <fcntl.h>
#include <unistd.h>

#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QScreen>
#include <cstdio>
#include <memory>
#include <vector>

extern "C" {
#include <gif_lib.h>
#include <jpeglib.h>
}

#include "bench.h"
#include "picture/picture.h"

namespace bench {

namespace {

constexpr int kRuns = 7;

// The rows or columns [from, to) of a picture's `size` that a window of `window` shows centred.
std::pair<int, int> centred(int size, int window) {
    if (size <= window) return {0, size};
    return {(size - window) / 2, (size + window) / 2};
}

// A JPEG decoded at the decoder's largest reduction that stays at least `target`, then one
// smooth scale to it.
QImage fitJpegDirectly(const QString& path, QSize target) {
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    if (!file) qFatal("cannot open %s", qPrintable(path));
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, file);
    jpeg_read_header(&info, TRUE);
    unsigned denom = 1;
    for (unsigned d : {8u, 4u, 2u}) {
        if ((info.image_width + d - 1) / d >= unsigned(target.width()) &&
            (info.image_height + d - 1) / d >= unsigned(target.height())) {
            denom = d;
            break;
        }
    }
    info.scale_num = 1;
    info.scale_denom = denom;
    info.out_color_space = JCS_EXT_BGRX;
    jpeg_start_decompress(&info);
    QImage image(int(info.output_width), int(info.output_height), QImage::Format_RGB32);
    while (info.output_scanline < info.output_height) {
        JSAMPROW line = image.scanLine(int(info.output_scanline));
        jpeg_read_scanlines(&info, &line, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(file);
    return image.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

quint32 le32(const unsigned char* p) {
    return quint32(p[0]) | quint32(p[1]) << 8 | quint32(p[2]) << 16 | quint32(p[3]) << 24;
}

// The visible rows of a bottom-up 24-bit BMP read with one pread, their visible columns
// converted to 32-bit.
std::unique_ptr<QRgb[]> bmpVisibleDirectly(const QString& path, QSize view) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    if (fd < 0) qFatal("cannot open %s", qPrintable(path));
    unsigned char head[54];
    if (::pread(fd, head, sizeof head, 0) != ssize_t(sizeof head)) qFatal("short BMP");
    const int width = int(le32(head + 18)), height = int(le32(head + 22));
    const size_t stride = (size_t(width) * 3 + 3) / 4 * 4;
    const auto [x0, x1] = centred(width, view.width());
    const auto [y0, y1] = centred(height, view.height());
    const int rows = y1 - y0;
    std::vector<unsigned char> raw(stride * size_t(rows));
    const off_t first = off_t(height - y1);  // stored bottom-up
    if (::pread(fd, raw.data(), raw.size(), off_t(le32(head + 10)) + first * off_t(stride)) !=
        ssize_t(raw.size()))
        qFatal("short BMP");
    ::close(fd);
    std::unique_ptr<QRgb[]> out(new QRgb[size_t(x1 - x0) * size_t(rows)]);
    QRgb* o = out.get();
    for (int y = 0; y < rows; ++y) {
        const unsigned char* p = raw.data() + size_t(rows - 1 - y) * stride + 3 * size_t(x0);
        for (int x = x0; x < x1; ++x, p += 3) *o++ = qRgb(p[2], p[1], p[0]);
    }
    return out;
}

// The first frame of a GIF decoded with giflib down to the bottom of the visible band, the
// band's visible columns converted to 32-bit.
std::unique_ptr<QRgb[]> gifVisibleDirectly(const QString& path, QSize view) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(QFile::encodeName(path).constData(), &error);
    if (!gif) qFatal("cannot open %s", qPrintable(path));
    GifRecordType type;
    do {
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) qFatal("bad GIF");
        if (type == EXTENSION_RECORD_TYPE) {
            int code;
            GifByteType* block;
            DGifGetExtension(gif, &code, &block);
            while (block) DGifGetExtensionNext(gif, &block);
        }
    } while (type != IMAGE_DESC_RECORD_TYPE);
    DGifGetImageDesc(gif);
    const int width = gif->Image.Width, height = gif->Image.Height;
    const ColorMapObject* map = gif->Image.ColorMap ? gif->Image.ColorMap : gif->SColorMap;
    const auto [x0, x1] = centred(width, view.width());
    const auto [y0, y1] = centred(height, view.height());
    std::unique_ptr<QRgb[]> out(new QRgb[size_t(x1 - x0) * size_t(y1 - y0)]);
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    QRgb* o = out.get();
    for (int y = 0; y < y1; ++y) {
        DGifGetLine(gif, line.data(), width);
        if (y < y0) continue;
        for (int x = x0; x < x1; ++x) {
            const GifColorType& c = map->Colors[line[size_t(x)]];
            *o++ = qRgb(c.Red, c.Green, c.Blue);
        }
    }
    DGifCloseFile(gif, &error);
    return out;
}

}  // namespace

QJsonObject FigureShowFit(const DataSet&, const QString& file, const QString& name) {
    const QSize screen = ScreenSize();
    forms::Picture p;
    QImage direct;
    const Samples s = alternate(
        kRuns, [&] { p = forms::LoadPictureFitted(file, screen); },
        [&] { direct = fitJpegDirectly(file, p.size()); });
    if (p.isNull() || direct.size() != p.image().size()) qFatal("fitted sizes differ");
    return result(name, "ms", s, 1.3, HeldNote(p) + QStringLiteral(" (the fitted load)"));
}

QJsonObject FigureLargeBmp(const DataSet&, const QString& file, const QString& name) {
    const QSize screen = ScreenSize();
    std::unique_ptr<QRgb[]> direct;
    return ShowTickFigure(file, name, 1.5, [&] { direct = bmpVisibleDirectly(file, screen); });
}

QJsonObject FigureLargeGif(const DataSet&, const QString& file, const QString& name) {
    const QSize screen = ScreenSize();
    std::unique_ptr<QRgb[]> direct;
    return ShowTickFigure(file, name, 1.5, [&] { direct = gifVisibleDirectly(file, screen); });
}

}  // namespace bench
