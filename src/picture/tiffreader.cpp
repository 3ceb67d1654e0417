// TIFFs, decoded with libtiff's RGBA interface (every photometric kind it knows: grey, RGB,
// palette, CMYK, YCbCr, 8 and 16 bits): the first page only, a band of strips or tiles at a
// time, only those that hold rows wanted and only the columns wanted kept.
#include <sys/stat.h>

#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <memory>
#include <vector>

#include "picture/orientation.h"
#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// Rows decoded at once, at least: files of one-row strips are not read a row a call.
constexpr int kMinBand = 64;

// The file as libtiff reads it: its own position, reads at an offset.
struct TiffInput {
    int fd;
    toff_t at = 0;
};

tmsize_t readProc(thandle_t h, void* into, tmsize_t size) {
    auto* in = static_cast<TiffInput*>(h);
    tmsize_t done = 0;
    while (done < size) {
        const ssize_t n =
            ReadSomeAt(in->fd, static_cast<char*>(into) + done, size_t(size - done), off_t(in->at));
        if (n <= 0) break;
        done += n;
        in->at += toff_t(n);
    }
    return done;
}
tmsize_t writeProc(thandle_t, void*, tmsize_t) { return -1; }
toff_t seekProc(thandle_t h, toff_t offset, int whence) {
    auto* in = static_cast<TiffInput*>(h);
    if (whence == SEEK_SET) {
        in->at = offset;
    } else if (whence == SEEK_CUR) {
        in->at += offset;
    } else {
        struct stat st {};
        if (::fstat(in->fd, &st) != 0) return toff_t(-1);
        in->at = toff_t(st.st_size) + offset;
    }
    return in->at;
}
int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) {
    struct stat st {};
    return ::fstat(static_cast<TiffInput*>(h)->fd, &st) == 0 ? toff_t(st.st_size) : 0;
}
int mapProc(thandle_t, void**, toff_t*) { return 0; }
void unmapProc(thandle_t, void*, toff_t) {}

// The library's complaints about a file are not the user's business: the file is shown or
// refused.
int quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffClose {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
struct OptionsFree {
    void operator()(TIFFOpenOptions* o) const { TIFFOpenOptionsFree(o); }
};

// A raster pixel (red in the low byte, premultiplied) as a 32-bit pixel.
inline QRgb fromRaster(uint32_t p) {
    return (p & 0xFF00FF00u) | (p & 0xFFu) << 16 | ((p >> 16) & 0xFFu);
}

}  // namespace

Picture readTiff(int fd, const Request& request) {
    TiffInput input{fd};
    std::unique_ptr<TIFFOpenOptions, OptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options) Raise(err::InvalidPicture);
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), kMaxDecoderMemory);
    TIFFOpenOptionsSetErrorHandlerExtR(options.get(), quiet, nullptr);
    TIFFOpenOptionsSetWarningHandlerExtR(options.get(), quiet, nullptr);
    std::unique_ptr<TIFF, TiffClose> tif(TIFFClientOpenExt("picture", "rm", &input, readProc,
                                                           writeProc, seekProc, closeProc, sizeProc,
                                                           mapProc, unmapProc, options.get()));
    if (!tif) Raise(err::InvalidPicture);
    uint32_t width = 0, height = 0;
    TIFFGetField(tif.get(), TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif.get(), TIFFTAG_IMAGELENGTH, &height);
    if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF)
        Raise(err::InvalidPicture);
    const QSize stored{int(width), int(height)};
    if (tooLarge(stored)) Raise(err::InvalidPicture);
    QByteArray icc;
    uint32_t iccSize = 0;
    void* iccData = nullptr;
    if (TIFFGetField(tif.get(), TIFFTAG_ICCPROFILE, &iccSize, &iccData) && iccData)
        icc = QByteArray(static_cast<const char*>(iccData),
                         int(std::min<uint32_t>(iccSize, 1 << 30)));

    char message[1024] = {};
    if (!TIFFRGBAImageOK(tif.get(), message)) Raise(err::InvalidPicture);
    TIFFRGBAImage image{};
    if (!TIFFRGBAImageBegin(&image, tif.get(), 1, message)) Raise(err::InvalidPicture);
    const std::unique_ptr<TIFFRGBAImage, void (*)(TIFFRGBAImage*)> ending(&image, TIFFRGBAImageEnd);
    const int orientation =
        image.orientation >= 1 && image.orientation <= 8 ? image.orientation : 1;
    // The rows as stored, from the top down: the picture is made upright afterwards.
    image.req_orientation = image.orientation;

    Rows rows(stored, planStored(stored, orientation, request), image.alpha != 0, false);
    if (!rows.valid()) Raise(err::InvalidPicture);
    // Bands that begin where strips or tiles begin, so that each is decoded once.
    uint32_t unit = 0;
    if (TIFFIsTiled(tif.get()))
        TIFFGetField(tif.get(), TIFFTAG_TILELENGTH, &unit);
    else
        TIFFGetFieldDefaulted(tif.get(), TIFFTAG_ROWSPERSTRIP, &unit);
    const int step = int(std::clamp<uint32_t>(unit, 1, height));
    const int band = ceilDiv(kMinBand, step) * step;
    // Grey with an alpha of its own comes out of the library unpremultiplied.
    uint16_t photometric = 0;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_PHOTOMETRIC, &photometric);
    const bool premultiply =
        image.alpha == EXTRASAMPLE_UNASSALPHA &&
        (photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE);
    // The library starts a row at a column of its own rightly only for opaque colours of a
    // byte a sample: other pictures are decoded their whole width and cut here.
    uint16_t bits = 0;
    TIFFGetFieldDefaulted(tif.get(), TIFFTAG_BITSPERSAMPLE, &bits);
    const bool offsets = bits == 8 && !image.alpha &&
                         (photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_PALETTE ||
                          photometric == PHOTOMETRIC_SEPARATED);
    const int from = offsets ? rows.left() : 0;
    const int skip = rows.left() - from;  // columns decoded but not wanted
    const int columns = offsets ? rows.right() - from : stored.width();
    std::vector<uint32_t> raster;
    int decoded = 0;
    for (int y = rows.top(); y < rows.bottom();) {
        const int end = std::min(rows.bottom(), (y / band + 1) * band);
        const int count = end - y;
        if (qint64(count) * columns * 4 > kMaxDecoderMemory) Raise(err::InvalidPicture);
        raster.assign(size_t(count) * size_t(columns), 0);
        image.row_offset = y;
        image.col_offset = from;
        // A strip or tile that cannot be read ends the picture: the rows before it are shown.
        const bool whole =
            TIFFRGBAImageGet(&image, raster.data(), uint32_t(columns), uint32_t(count));
        if (!whole && decoded == 0) Raise(err::InvalidPicture);
        for (int i = 0; i < count; ++i) {
            const uint32_t* in = raster.data() + size_t(i) * size_t(columns) + skip;
            QRgb* out = rows.row(y + i);
            const int n = rows.right() - rows.left();
            for (int x = 0; x < n; ++x) out[x] = fromRaster(in[x]);
            if (premultiply)
                for (int x = 0; x < n; ++x) out[x] = qPremultiply(out[x]);
            rows.done(y + i);
        }
        decoded += count;
        if (!whole) break;
        y = end;
    }
    return finishedPicture(rows.finish(), orientation, icc);
}

}  // namespace forms::pixels
