// PNGs, decoded row by row with libspng: only the rows down to the last one wanted, and of
// them only the columns wanted are kept. An interlaced picture is decoded in its seven passes
// into the rows wanted, then handed on in order.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include <spng.h>

#include "picture/orientation.h"
#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// Largest chunk taken whole, and the most all chunks other than the picture's own data may
// take: a profile or EXIF block is a few hundred kilobytes at most.
constexpr size_t kMaxChunk = 64u << 20;

// The file, read a buffer at a time: libspng asks for a few bytes at once.
struct PngInput {
    int fd;
    size_t pos = 0, size = 0;
    uchar buffer[64 * 1024];
};

int readFromFile(spng_ctx*, void* user, void* into, size_t length) {
    auto* in = static_cast<PngInput*>(user);
    auto* out = static_cast<uchar*>(into);
    while (length > 0) {
        if (in->pos == in->size) {
            const ssize_t n = ReadSome(in->fd, in->buffer, sizeof in->buffer);
            if (n <= 0) return n < 0 ? SPNG_IO_ERROR : SPNG_IO_EOF;
            in->pos = 0;
            in->size = size_t(n);
        }
        const size_t n = std::min(length, in->size - in->pos);
        std::memcpy(out, in->buffer + in->pos, n);
        in->pos += n;
        out += n;
        length -= n;
    }
    return 0;
}

struct ContextFree {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

// Columns [from, to) of a decoded row of 8-bit red, green, blue and alpha, as 32-bit pixels,
// premultiplied when the picture has alpha.
void convert(const uchar* rgba, int from, int to, bool alpha, QRgb* out) {
    const uchar* p = rgba + 4 * size_t(from);
    if (!alpha) {
        for (int x = from; x < to; ++x, p += 4) *out++ = qRgb(p[0], p[1], p[2]);
        return;
    }
    for (int x = from; x < to; ++x, p += 4) *out++ = qPremultiply(qRgba(p[0], p[1], p[2], p[3]));
}

}  // namespace

Picture readPng(int fd, const Request& request) {
    if (::lseek(fd, 0, SEEK_SET) != 0) Raise(err::InvalidPicture);
    auto input = std::make_unique<PngInput>();
    input->fd = fd;
    std::unique_ptr<spng_ctx, ContextFree> ctx(spng_ctx_new(0));
    if (!ctx || spng_set_png_stream(ctx.get(), readFromFile, input.get()) != 0)
        Raise(err::InvalidPicture);
    spng_set_chunk_limits(ctx.get(), kMaxChunk, kMaxChunk);
    spng_ihdr ihdr{};
    if (spng_get_ihdr(ctx.get(), &ihdr) != 0) Raise(err::InvalidPicture);
    const QSize stored(int(std::min<uint32_t>(ihdr.width, 0x7FFFFFFF)),
                       int(std::min<uint32_t>(ihdr.height, 0x7FFFFFFF)));
    // The decoder keeps a few rows of up to eight bytes a pixel.
    if (stored.isEmpty() || tooLarge(stored) || qint64(stored.width()) * 8 * 4 > kMaxDecoderMemory)
        Raise(err::InvalidPicture);

    // The chunks before the picture's data: its transparent colour, orientation and profile.
    spng_trns trns{};
    const bool alpha = ihdr.color_type == SPNG_COLOR_TYPE_GRAYSCALE_ALPHA ||
                       ihdr.color_type == SPNG_COLOR_TYPE_TRUECOLOR_ALPHA ||
                       spng_get_trns(ctx.get(), &trns) == 0;
    int orientation = 1;
    spng_exif exif{};
    if (spng_get_exif(ctx.get(), &exif) == 0 && exif.data)
        orientation = std::max(1, tiffOrientation(QByteArray(exif.data, int(exif.length))));
    QByteArray icc;
    spng_iccp iccp{};
    if (spng_get_iccp(ctx.get(), &iccp) == 0 && iccp.profile)
        icc = QByteArray(iccp.profile, int(iccp.profile_len));

    const bool interlaced = ihdr.interlace_method != SPNG_INTERLACE_NONE;
    Rows rows(stored, planStored(stored, orientation, request), alpha, false);
    if (!rows.valid()) Raise(err::InvalidPicture);
    if (spng_decode_image(ctx.get(), nullptr, 0, SPNG_FMT_RGBA8,
                          SPNG_DECODE_TRNS | SPNG_DECODE_PROGRESSIVE) != 0)
        Raise(err::InvalidPicture);

    const size_t rowBytes = size_t(stored.width()) * 4;
    std::vector<uchar> scratch(rowBytes);
    // Interlaced: every pass writes some pixels of the rows wanted, which are kept until the
    // last pass.
    std::vector<uchar> held;
    if (interlaced) held.assign(rowBytes * size_t(rows.bottom() - rows.top()), 0);
    int decoded = 0;
    int end = rows.top();  // interlaced: one past the last row wanted that any pass reached
    for (;;) {
        spng_row_info info{};
        if (spng_get_row_info(ctx.get(), &info) != 0) break;
        const int y = int(info.row_num);
        if (!interlaced && y >= rows.bottom()) break;  // rows below those wanted are never read
        uchar* into = interlaced && rows.wants(y) ? held.data() + rowBytes * size_t(y - rows.top())
                                                  : scratch.data();
        const int result = spng_decode_row(ctx.get(), into, rowBytes);
        if (result != 0 && result != SPNG_EOI) break;  // a file cut short shows what it has
        ++decoded;
        if (rows.wants(y)) {
            if (interlaced) {
                end = std::max(end, y + 1);
            } else {
                convert(into, rows.left(), rows.right(), alpha, rows.row(y));
                rows.done(y);
            }
        }
        if (result == SPNG_EOI) break;
    }
    if (decoded == 0) Raise(err::InvalidPicture);
    for (int y = rows.top(); y < end; ++y) {
        convert(held.data() + rowBytes * size_t(y - rows.top()), rows.left(), rows.right(), alpha,
                rows.row(y));
        rows.done(y);
    }
    return finishedPicture(rows.finish(), orientation, icc);
}

}  // namespace forms::pixels
