// Figures of the formats read through their own libraries: a show tick of a 24 MP PNG, WebP
// and TIFF against the same library's decode of the part held into a buffer kept across runs,
// and a 24 MP JPEG with an Adobe RGB profile loaded for the show against the same JPEG
// without it.
#include <spng.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <QColorSpace>
#include <QFile>
#include <QImage>
#include <cstdio>
#include <vector>

#include "bench.h"

namespace bench {

namespace {

constexpr int kRuns = 7;

// The part of a picture of `size` a screen of `screen` shows centred.
QRect centredPart(QSize size, QSize screen) {
    const QSize part = size.boundedTo(screen);
    return QRect(QPoint((size.width() - part.width()) / 2, (size.height() - part.height()) / 2),
                 part);
}

QByteArray readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) Fail("cannot read " + path);
    return file.readAll();
}

// The 24 MP photo-like JPEG, once, as a picture in memory.
QImage photo(const DataSet& data) {
    QImage image(data.path("p24-420.jpg"));
    if (image.isNull()) Fail("no p24-420.jpg");
    return image.convertToFormat(QImage::Format_RGB32);
}

// Writes the photo as a PNG, WebP or TIFF (deflate, strips of 64 rows) unless it is there.
QString formatFile(const DataSet& data, const QString& ext) {
    const QString path = data.path("p24." + ext);
    if (QFile::exists(path)) return path;
    const QImage image = photo(data);
    if (ext == "png" && !image.save(path, "PNG")) Fail("cannot write " + path);
    if (ext == "webp") {
        uint8_t* out = nullptr;
        const size_t size = WebPEncodeBGRA(image.constBits(), image.width(), image.height(),
                                           int(image.bytesPerLine()), 90, &out);
        QFile file(path);
        if (!size || !file.open(QIODevice::WriteOnly)) Fail("cannot write " + path);
        file.write(reinterpret_cast<const char*>(out), qint64(size));
        WebPFree(out);
    }
    if (ext == "tiff") {
        TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "w");
        if (!tif) Fail("cannot write " + path);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(3));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64u);
        std::vector<uint8_t> row(size_t(image.width()) * 3);
        for (int y = 0; y < image.height(); ++y) {
            const QRgb* in = reinterpret_cast<const QRgb*>(image.constScanLine(y));
            for (int x = 0; x < image.width(); ++x) {
                row[3 * size_t(x)] = uint8_t(qRed(in[x]));
                row[3 * size_t(x) + 1] = uint8_t(qGreen(in[x]));
                row[3 * size_t(x) + 2] = uint8_t(qBlue(in[x]));
            }
            TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
        }
        TIFFClose(tif);
    }
    return path;
}

// libspng's rows down to the bottom of the part, the part's columns kept.
void pngPart(const QString& path, QSize screen, std::vector<uint8_t>& out) {
    FILE* file = std::fopen(QFile::encodeName(path).constData(), "rb");
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_file(ctx, file);
    spng_ihdr ihdr{};
    spng_get_ihdr(ctx, &ihdr);
    const QRect part = centredPart(QSize(int(ihdr.width), int(ihdr.height)), screen);
    spng_decode_image(ctx, nullptr, 0, SPNG_FMT_RGBA8, SPNG_DECODE_PROGRESSIVE);
    std::vector<uint8_t> row(size_t(ihdr.width) * 4);
    out.resize(size_t(part.width()) * size_t(part.height()) * 4);
    for (int y = 0; y <= part.bottom(); ++y) {
        spng_decode_row(ctx, row.data(), row.size());
        if (y >= part.top())
            std::copy_n(row.begin() + 4 * part.left(), 4 * part.width(),
                        out.begin() + ptrdiff_t(size_t(y - part.top()) * size_t(part.width()) * 4));
    }
    spng_ctx_free(ctx);
    std::fclose(file);
}

// libwebp's own cropping, from the file read into memory.
void webpPart(const QString& path, QSize screen, std::vector<uint8_t>& out) {
    const QByteArray bytes = readAll(path);
    const auto* data = reinterpret_cast<const uint8_t*>(bytes.constData());
    WebPDecoderConfig config;
    WebPInitDecoderConfig(&config);
    WebPGetFeatures(data, size_t(bytes.size()), &config.input);
    const QRect part = centredPart(QSize(config.input.width, config.input.height), screen);
    config.options.use_cropping = 1;
    config.options.crop_left = part.left() & ~1;
    config.options.crop_top = part.top() & ~1;
    config.options.crop_width = part.width();
    config.options.crop_height = part.height();
    out.resize(size_t(part.width()) * size_t(part.height()) * 4);
    config.output.colorspace = MODE_BGRA;
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = out.data();
    config.output.u.RGBA.stride = part.width() * 4;
    config.output.u.RGBA.size = out.size();
    if (WebPDecode(data, size_t(bytes.size()), &config) != VP8_STATUS_OK) Fail("bad " + path);
}

// libtiff's RGBA reading of the part's rows and columns.
void tiffPart(const QString& path, QSize screen, std::vector<uint8_t>& out) {
    TIFF* tif = TIFFOpen(QFile::encodeName(path).constData(), "r");
    char message[1024];
    TIFFRGBAImage image{};
    TIFFRGBAImageBegin(&image, tif, 1, message);
    const QRect part = centredPart(QSize(int(image.width), int(image.height)), screen);
    image.req_orientation = ORIENTATION_TOPLEFT;
    image.row_offset = part.top();
    image.col_offset = part.left();
    out.resize(size_t(part.width()) * size_t(part.height()) * 4);
    TIFFRGBAImageGet(&image, reinterpret_cast<uint32_t*>(out.data()), uint32_t(part.width()),
                     uint32_t(part.height()));
    TIFFRGBAImageEnd(&image);
    TIFFClose(tif);
}

}  // namespace

QJsonObject FigureLargeFormat(const DataSet& data, const QString& ext, const QString& name) {
    const QString file = formatFile(data, ext);
    const QSize screen = ScreenSize();
    static std::vector<uint8_t> buffer;  // kept across runs
    auto part = ext == "png" ? pngPart : ext == "webp" ? webpPart : tiffPart;
    return ShowTickFigure(file, name, 1.5, [&] { part(file, screen, buffer); });
}

QJsonObject FigurePreviewFormat(const DataSet& data, const QString& ext, const QString& name) {
    const QString file = formatFile(data, ext);
    static std::vector<uint8_t> buffer;  // kept across runs
    // The whole picture is its part on a screen as large.
    const QSize whole(6000, 4000);
    return FigurePreview(data, file, false, [&] {
        if (ext == "webp") {
            const QByteArray bytes = readAll(file);
            buffer.resize(size_t(169) * 193 * 4);
            WebPDecoderConfig config;
            WebPInitDecoderConfig(&config);
            config.options.use_scaling = 1;
            config.options.scaled_width = 169;
            config.options.scaled_height = 193;
            config.output.colorspace = MODE_BGRA;
            config.output.is_external_memory = 1;
            config.output.u.RGBA.rgba = buffer.data();
            config.output.u.RGBA.stride = 169 * 4;
            config.output.u.RGBA.size = buffer.size();
            WebPDecode(reinterpret_cast<const uint8_t*>(bytes.constData()), size_t(bytes.size()),
                       &config);
        } else {
            (ext == "png" ? pngPart : tiffPart)(file, whole, buffer);
        }
    });
}

QJsonObject FigureFormatPrefetched(const DataSet& data, const QString& ext) {
    const QString file = formatFile(data, ext);
    const QSize screen = ScreenSize();
    static std::vector<uint8_t> buffer;  // kept across runs
    auto part = ext == "png" ? pngPart : ext == "webp" ? webpPart : tiffPart;
    return FigureShowPrefetched(data, file, {}, [&] { part(file, screen, buffer); });
}

QJsonObject FigureMemoryFormats(const DataSet& data) {
    QStringList files;
    for (const char* ext : {"png", "webp", "tiff"}) files << formatFile(data, ext);
    for (const char* f : {"p24-420.jpg", "p24.bmp", "p12.gif"}) files << data.path(f);
    return FigureMemoryPrefetched(data, files);
}

QJsonObject FigureColourConvert(const DataSet& data, const QString& name) {
    const QString plain = data.path("p24-plain.jpg"), adobe = data.path("p24-adobe.jpg");
    if (!QFile::exists(adobe)) {
        QImage image = photo(data);
        if (!image.save(plain, "JPEG", 92)) Fail("cannot write " + plain);
        image.setColorSpace(QColorSpace(QColorSpace::AdobeRgb));
        if (!image.save(adobe, "JPEG", 92)) Fail("cannot write " + adobe);
    }
    const QSize screen = ScreenSize();
    forms::Picture p;
    const Samples s = alternate(
        kRuns, [&] { p = forms::LoadPicture(adobe, {}, screen); },
        [&] { (void)forms::LoadPicture(plain, {}, screen); });
    return result(name, "ms", s, 1.3, HeldNote(p) + QStringLiteral(", converted to sRGB"));
}

}  // namespace bench
