#include "testdata/formats.h"

#include <lcms2.h>
#include <spng.h>
#include <tiffio.h>
#include <webp/decode.h>
#include <webp/encode.h>

#include <QTemporaryFile>
#include <vector>

namespace testdata {

namespace {

// Raw TIFF data with one entry, the orientation, as PNG's and WebP's EXIF blocks hold it.
QByteArray exif(int orientation) {
    QByteArray e("II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 18);
    e.append(char(orientation));
    return e + QByteArray(7, '\0');
}

// Interleaved samples of one row, in the order and depth the encoding asks.
void samples(const QImage& image, int y, const Encoding& how, const QList<QRgb>& palette,
             std::vector<uint8_t>& out) {
    out.clear();
    auto put = [&](int v) {
        out.push_back(uint8_t(v));
        if (how.bits == 16) out.push_back(uint8_t(v));  // v * 257: the same either byte order
    };
    for (int x = 0; x < image.width(); ++x) {
        const QRgb p = image.pixel(x, y);
        if (how.colour == Encoding::Palette) {
            out.push_back(uint8_t(std::max<qsizetype>(0, palette.indexOf(p))));
            continue;
        }
        if (how.colour == Encoding::Grey) put(qGreen(p));
        if (how.colour == Encoding::Rgb) put(qRed(p)), put(qGreen(p)), put(qBlue(p));
        if (how.colour == Encoding::Cmyk)
            put(255 - qRed(p)), put(255 - qGreen(p)), put(255 - qBlue(p)), put(0);
        if (how.alpha) put(qAlpha(p));
    }
}

QByteArray png(const QImage& image, const Encoding& how, const QList<QRgb>& palette) {
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    const uint8_t type =
        how.colour == Encoding::Palette ? SPNG_COLOR_TYPE_INDEXED
        : how.colour == Encoding::Grey
            ? (how.alpha ? SPNG_COLOR_TYPE_GRAYSCALE_ALPHA : SPNG_COLOR_TYPE_GRAYSCALE)
            : (how.alpha ? SPNG_COLOR_TYPE_TRUECOLOR_ALPHA : SPNG_COLOR_TYPE_TRUECOLOR);
    spng_ihdr ihdr{uint32_t(image.width()), uint32_t(image.height()), uint8_t(how.bits), type, 0, 0,
                   uint8_t(how.interlaced)};
    spng_set_ihdr(ctx, &ihdr);
    if (how.colour == Encoding::Palette) {
        spng_plte plte{};
        spng_trns trns{};
        plte.n_entries = uint32_t(palette.size());
        trns.n_type3_entries = plte.n_entries;
        for (int i = 0; i < palette.size(); ++i) {
            plte.entries[i] = {uint8_t(qRed(palette[i])), uint8_t(qGreen(palette[i])),
                               uint8_t(qBlue(palette[i])), 0};
            trns.type3_alpha[i] = uint8_t(qAlpha(palette[i]));
        }
        spng_set_plte(ctx, &plte);
        if (how.alpha) spng_set_trns(ctx, &trns);
    }
    QByteArray orientation = exif(how.orientation);
    spng_exif e{size_t(orientation.size()), orientation.data()};
    if (how.orientation != 1) spng_set_exif(ctx, &e);
    QByteArray icc = how.icc;
    spng_iccp iccp{"profile", size_t(icc.size()), icc.data()};
    if (!icc.isEmpty()) spng_set_iccp(ctx, &iccp);
    std::vector<uint8_t> pixels, row;
    for (int y = 0; y < image.height(); ++y) {
        samples(image, y, how, palette, row);
        pixels.insert(pixels.end(), row.begin(), row.end());
    }
    QByteArray out;
    if (spng_encode_image(ctx, pixels.data(), pixels.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE) ==
        0) {
        size_t size = 0;
        int error = 0;
        void* buffer = spng_get_png_buffer(ctx, &size, &error);
        out = QByteArray(static_cast<const char*>(buffer), qsizetype(size));
        free(buffer);
    }
    spng_ctx_free(ctx);
    return out;
}

QByteArray tiff(const QImage& image, const Encoding& how, const QList<QRgb>& palette) {
    QTemporaryFile file;
    if (!file.open()) return {};
    TIFF* tif = TIFFOpen(file.fileName().toLocal8Bit().constData(), "w");
    const int channels = how.colour == Encoding::Cmyk ? 4 : how.colour == Encoding::Rgb ? 3 : 1;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(image.width()));
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(image.height()));
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(how.bits));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(channels + (how.alpha ? 1 : 0)));
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_ADOBE_DEFLATE);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, uint16_t(how.orientation));
    const uint16_t photometric[] = {PHOTOMETRIC_RGB, PHOTOMETRIC_MINISBLACK, PHOTOMETRIC_PALETTE,
                                    PHOTOMETRIC_SEPARATED};
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, photometric[how.colour]);
    if (how.alpha) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, 1, &extra);
    }
    if (!how.icc.isEmpty())
        TIFFSetField(tif, TIFFTAG_ICCPROFILE, uint32_t(how.icc.size()), how.icc.constData());
    std::vector<uint16_t> map[3];
    for (auto& m : map) m.assign(256, 0);
    for (int i = 0; i < palette.size(); ++i) {
        map[0][i] = uint16_t(qRed(palette[i]) * 257);
        map[1][i] = uint16_t(qGreen(palette[i]) * 257);
        map[2][i] = uint16_t(qBlue(palette[i]) * 257);
    }
    if (how.colour == Encoding::Palette)
        TIFFSetField(tif, TIFFTAG_COLORMAP, map[0].data(), map[1].data(), map[2].data());
    std::vector<uint8_t> row;
    if (how.tile) {
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, uint32_t(how.tile));
        TIFFSetField(tif, TIFFTAG_TILELENGTH, uint32_t(how.tile));
        const size_t pixel = size_t(TIFFScanlineSize(tif)) / size_t(image.width());
        std::vector<uint8_t> tile(size_t(TIFFTileSize(tif)));
        for (int ty = 0; ty < image.height(); ty += how.tile) {
            for (int tx = 0; tx < image.width(); tx += how.tile) {
                std::fill(tile.begin(), tile.end(), 0);
                for (int y = ty; y < std::min(image.height(), ty + how.tile); ++y) {
                    samples(image, y, how, palette, row);
                    const int n = std::min(how.tile, image.width() - tx);
                    std::copy_n(
                        row.begin() + ptrdiff_t(size_t(tx) * pixel), size_t(n) * pixel,
                        tile.begin() + ptrdiff_t(size_t(y - ty) * size_t(how.tile) * pixel));
                }
                TIFFWriteTile(tif, tile.data(), uint32_t(tx), uint32_t(ty), 0, 0);
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16u);
        for (int y = 0; y < image.height(); ++y) {
            samples(image, y, how, palette, row);
            TIFFWriteScanline(tif, row.data(), uint32_t(y), 0);
        }
    }
    TIFFClose(tif);
    return file.readAll();
}

// A WebP bitstream (VP8 or VP8L chunk) in an extended container with the chunks asked for.
QByteArray webp(const QImage& image, const Encoding& how) {
    const QImage bgra = image.convertToFormat(QImage::Format_ARGB32);
    uint8_t* encoded = nullptr;
    const size_t size = how.lossy
                            ? WebPEncodeBGRA(bgra.constBits(), bgra.width(), bgra.height(),
                                             int(bgra.bytesPerLine()), 90, &encoded)
                            : WebPEncodeLosslessBGRA(bgra.constBits(), bgra.width(), bgra.height(),
                                                     int(bgra.bytesPerLine()), &encoded);
    const QByteArray simple(reinterpret_cast<const char*>(encoded), qsizetype(size));
    WebPFree(encoded);
    if (simple.size() < 20 || (how.icc.isEmpty() && how.orientation == 1)) return simple;
    auto chunk = [](const char* name, const QByteArray& data) {
        QByteArray c(name, 4);
        const quint32 n = quint32(data.size());
        for (int i = 0; i < 4; ++i) c.append(char((n >> (8 * i)) & 0xFF));
        return c + data + (n % 2 ? QByteArray(1, '\0') : QByteArray());
    };
    QByteArray vp8x(10, '\0');
    vp8x[0] = char((how.icc.isEmpty() ? 0 : 0x20) | (how.orientation != 1 ? 0x08 : 0) |
                   (how.alpha ? 0x10 : 0));
    for (int i = 0; i < 3; ++i) {
        vp8x[4 + i] = char(((image.width() - 1) >> (8 * i)) & 0xFF);
        vp8x[7 + i] = char(((image.height() - 1) >> (8 * i)) & 0xFF);
    }
    QByteArray body = chunk("VP8X", vp8x);
    if (!how.icc.isEmpty()) body += chunk("ICCP", how.icc);
    body += simple.mid(12);
    if (how.orientation != 1) body += chunk("EXIF", exif(how.orientation));
    return chunk("RIFF", "WEBP" + body).left(8 + 4 + body.size());
}

}  // namespace

QByteArray encode(const QImage& image, const char* format, const Encoding& how) {
    QList<QRgb> palette;
    for (int y = 0; y < image.height() && how.colour == Encoding::Palette; ++y)
        for (int x = 0; x < image.width() && palette.size() < 256; ++x)
            if (!palette.contains(image.pixel(x, y))) palette << image.pixel(x, y);
    const QByteArray f(format);
    if (f == "png") return png(image, how, palette);
    if (f == "tiff") return tiff(image, how, palette);
    if (f == "webp") return webp(image, how);
    return {};
}

QByteArray linearProfile() {
    const cmsCIExyY white{0.3127, 0.3290, 1.0};
    const cmsCIExyYTRIPLE primaries{{0.64, 0.33, 1.0}, {0.30, 0.60, 1.0}, {0.15, 0.06, 1.0}};
    cmsToneCurve* linear = cmsBuildGamma(nullptr, 1.0);
    cmsToneCurve* curves[3] = {linear, linear, linear};
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    QByteArray out(qsizetype(size), '\0');
    cmsSaveProfileToMem(profile, out.data(), &size);
    cmsCloseProfile(profile);
    cmsFreeToneCurve(linear);
    return out;
}

QByteArray declaring(const char* format, QSize size) {
    const QByteArray f(format);
    const QImage tiny(8, 8, QImage::Format_RGB32);
    if (f == "png") {
        QByteArray png = encode(tiny, "png");
        for (int i = 0; i < 4; ++i) {
            png[16 + i] = char((uint32_t(size.width()) >> (24 - 8 * i)) & 0xFF);
            png[20 + i] = char((uint32_t(size.height()) >> (24 - 8 * i)) & 0xFF);
        }
        uint32_t crc = 0xFFFFFFFFu;  // over the chunk's type and data
        for (int i = 12; i < 29; ++i) {
            crc ^= uchar(png[i]);
            for (int k = 0; k < 8; ++k) crc = crc & 1 ? (crc >> 1) ^ 0xEDB88320u : crc >> 1;
        }
        crc = ~crc;
        for (int i = 0; i < 4; ++i) png[29 + i] = char((crc >> (24 - 8 * i)) & 0xFF);
        return png;
    }
    if (f == "tiff") {
        QTemporaryFile file;
        if (!file.open()) return {};
        TIFF* tif = TIFFOpen(file.fileName().toLocal8Bit().constData(), "w");
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, uint32_t(size.width()));
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, uint32_t(size.height()));
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(8));
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(1));
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 1u);
        std::vector<uint8_t> row(size_t(size.width()), 0x80);
        TIFFWriteScanline(tif, row.data(), 0, 0);
        TIFFClose(tif);
        return file.readAll();
    }
    // A lossless bitstream's header: 14 bits each for the width and height less one.
    const uint32_t bits = uint32_t(size.width() - 1) | uint32_t(size.height() - 1) << 14;
    QByteArray webp("RIFF\x1A\0\0\0WEBPVP8L\x0E\0\0\0\x2F", 21);
    for (int i = 0; i < 4; ++i) webp.append(char((bits >> (8 * i)) & 0xFF));
    return webp + QByteArray(9, '\0');
}

QImage decodedWebP(const QByteArray& file) {
    int width = 0, height = 0;
    uint8_t* bgra = WebPDecodeBGRA(reinterpret_cast<const uint8_t*>(file.constData()),
                                   size_t(file.size()), &width, &height);
    if (!bgra) return {};
    const QImage image = QImage(bgra, width, height, QImage::Format_ARGB32).copy();
    WebPFree(bgra);
    return image;
}

}  // namespace testdata
