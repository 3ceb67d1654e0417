// HEIF pictures (HEIC from phones, AVIF), decoded with libheif: the primary picture, turned
// and mirrored by the file's own transforms, decoded whole and then cropped or reduced to what
// is held. A preview uses the file's thumbnail when it covers the preview's box.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <libheif/heif.h>
}

#include "picture/colour.h"
#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// The most a whole decode may take at once, the decoder's planes and the pixels handed out
// together, as for JPEG.
constexpr qint64 kMaxDecodeBytes = 1024LL * 1024 * 1024;

// The brands of the ISO media files that hold HEIF pictures: HEVC-coded ones, AV1-coded ones
// and the general one.
constexpr const char* kBrands[] = {"heic", "heix", "hevc", "hevx", "mif1", "msf1", "avif", "avis"};

// The file, read where libheif asks, through the descriptor: only what it needs is read.
struct HeifInput {
    int fd;
    int64_t size;
    int64_t at = 0;
};

int64_t heifPosition(void* data) { return static_cast<HeifInput*>(data)->at; }

int heifRead(void* into, size_t size, void* data) {
    auto* in = static_cast<HeifInput*>(data);
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ReadSomeAt(in->fd, static_cast<char*>(into) + done, size - done,
                                     off_t(in->at + int64_t(done)));
        if (n <= 0) return 1;
        done += size_t(n);
    }
    in->at += int64_t(size);
    return 0;
}

int heifSeek(int64_t position, void* data) {
    auto* in = static_cast<HeifInput*>(data);
    if (position < 0 || position > in->size) return 1;
    in->at = position;
    return 0;
}

heif_reader_grow_status heifWait(int64_t target, void* data) {
    return target <= static_cast<HeifInput*>(data)->size ? heif_reader_grow_status_size_reached
                                                         : heif_reader_grow_status_size_beyond_eof;
}

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleRelease {
    void operator()(const heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageRelease {
    void operator()(const heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

// What a whole decode of a picture of `size` takes at its peak: the decoded planes (the
// samples of 9 to 16 bits take two bytes), a converted copy of them on the way, the pixels
// handed out, and a copy of those turned by the transforms.
qint64 decodeBytes(const heif_image_handle* handle, QSize size) {
    const int bits = heif_image_handle_get_luma_bits_per_pixel(handle);
    const qint64 sample = bits > 8 ? 2 : 1;
    const qint64 planes = sample * (heif_image_handle_has_alpha_channel(handle) ? 4 : 3);
    return qint64(size.width()) * size.height() * (2 * planes + 4 + 4);
}

// The primary picture, or its thumbnail, decoded whole to 8-bit RGBA with the file's
// transforms applied; null when it cannot be.
Image decode(const heif_image_handle* handle) {
    const std::unique_ptr<heif_decoding_options, OptionsFree> options(
        heif_decoding_options_alloc());
    options->convert_hdr_to_8bit = 1;
    heif_image* image = nullptr;
    const heif_error e = heif_decode_image(handle, &image, heif_colorspace_RGB,
                                           heif_chroma_interleaved_RGBA, options.get());
    if (e.code != heif_error_Ok) {
        heif_image_release(image);
        return nullptr;
    }
    return Image(image);
}

// The smallest of the picture's thumbnails that covers the box both ways; null when none does.
Handle thumbnailFor(const heif_image_handle* primary, QSize box) {
    const int count = heif_image_handle_get_number_of_thumbnails(primary);
    if (count <= 0) return nullptr;
    std::vector<heif_item_id> ids(static_cast<size_t>(count));
    heif_image_handle_get_list_of_thumbnail_IDs(primary, ids.data(), count);
    Handle best;
    qint64 bestArea = 0;
    for (heif_item_id id : ids) {
        heif_image_handle* thumb = nullptr;
        if (heif_image_handle_get_thumbnail(primary, id, &thumb).code != heif_error_Ok) continue;
        Handle t(thumb);
        const int w = heif_image_handle_get_width(thumb), h = heif_image_handle_get_height(thumb);
        const qint64 area = qint64(w) * h;
        if (w >= box.width() && h >= box.height() && (!best || area < bestArea)) {
            best = std::move(t);
            bestArea = area;
        }
    }
    return best;
}

// The ICC profile the picture carries; empty without one.
QByteArray iccOf(const heif_image_handle* handle) {
    const heif_color_profile_type type = heif_image_handle_get_color_profile_type(handle);
    if (type != heif_color_profile_type_prof && type != heif_color_profile_type_rICC) return {};
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle);
    if (size == 0 || size > (64u << 20)) return {};
    QByteArray icc(qsizetype(size), '\0');
    if (heif_image_handle_get_raw_color_profile(handle, icc.data()).code != heif_error_Ok)
        return {};
    return icc;
}

// The decoded picture's rows handed to `rows`, which keeps what is held.
void feed(const heif_image* image, Rows& rows, bool alpha) {
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!pixels) Raise(err::InvalidPicture);
    for (int y = rows.top(); y < rows.bottom(); ++y) {
        const uint8_t* in = pixels + qsizetype(stride) * y + 4 * rows.left();
        QRgb* out = rows.row(y);
        for (int x = rows.left(); x < rows.right(); ++x, in += 4) {
            const QRgb p = qRgba(in[0], in[1], in[2], in[3]);
            *out++ = alpha ? qPremultiply(p) : p | 0xFF000000u;
        }
        rows.done(y);
    }
}

}  // namespace

bool isHeif(int fd) {
    uchar head[64] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n < 16 || std::memcmp(head + 4, "ftyp", 4) != 0) return false;
    const quint32 boxSize =
        quint32(head[0]) << 24 | quint32(head[1]) << 16 | quint32(head[2]) << 8 | quint32(head[3]);
    const ssize_t end = std::min<ssize_t>(n, ssize_t(std::min<quint32>(boxSize, sizeof head)));
    // The major brand, then the compatible brands after the minor version.
    for (ssize_t at = 8; at + 4 <= end; at += at == 8 ? 8 : 4) {
        for (const char* brand : kBrands)
            if (std::memcmp(head + at, brand, 4) == 0) return true;
    }
    return false;
}

Picture readHeif(int fd, const Request& request) {
    struct stat st {};
    if (::fstat(fd, &st) != 0) Raise(err::InvalidPicture);
    HeifInput input{fd, int64_t(st.st_size)};
    heif_reader reader{};
    reader.reader_api_version = 1;
    reader.get_position = heifPosition;
    reader.read = heifRead;
    reader.seek = heifSeek;
    reader.wait_for_file_size = heifWait;

    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    if (!context) Raise(err::InvalidPicture);
    if (heif_context_read_from_reader(context.get(), &reader, &input, nullptr).code !=
        heif_error_Ok)
        Raise(err::InvalidPicture);
    heif_image_handle* primaryHandle = nullptr;
    if (heif_context_get_primary_image_handle(context.get(), &primaryHandle).code != heif_error_Ok)
        Raise(err::InvalidPicture);
    const Handle primary(primaryHandle);
    // The size upright, after the file's turns and crop.
    const QSize own(heif_image_handle_get_width(primary.get()),
                    heif_image_handle_get_height(primary.get()));
    if (own.isEmpty() || tooLarge(own)) Raise(err::InvalidPicture);
    const bool alpha = heif_image_handle_has_alpha_channel(primary.get()) != 0;
    const QByteArray icc = iccOf(primary.get());

    // A preview from the thumbnail, when one is at least the box's size: the picture's own
    // size is still the whole picture's.
    const bool preview = !request.view.isValid() && !request.screen.isValid() &&
                         request.fit.isValid() && !request.fit.isEmpty();
    if (preview) {
        if (const Handle thumb = thumbnailFor(primary.get(), request.fit)) {
            const Image image = decode(thumb.get());
            if (image) {
                const QSize size(heif_image_get_width(image.get(), heif_channel_interleaved),
                                 heif_image_get_height(image.get(), heif_channel_interleaved));
                if (!size.isEmpty() && size.width() >= request.fit.width() &&
                    size.height() >= request.fit.height()) {
                    Rows rows(size, planFor(size, request), alpha, false);
                    if (!rows.valid()) Raise(err::InvalidPicture);
                    feed(image.get(), rows, alpha);
                    QImage pixels = rows.finish().image();
                    if (!icc.isEmpty()) toSrgb(pixels, icc);
                    return Picture(std::move(pixels), own);
                }
            }
        }
    }

    if (decodeBytes(primary.get(), own) > kMaxDecodeBytes) Raise(err::InvalidPicture);
    Image image = decode(primary.get());
    if (!image) Raise(err::InvalidPicture);
    // The picture as decoded; the transforms and crop already applied.
    const QSize size(heif_image_get_width(image.get(), heif_channel_interleaved),
                     heif_image_get_height(image.get(), heif_channel_interleaved));
    if (size != own) Raise(err::InvalidPicture);
    Rows rows(own, planFor(own, request), alpha, false);
    if (!rows.valid()) Raise(err::InvalidPicture);
    feed(image.get(), rows, alpha);
    image.reset();
    Picture picture = rows.finish();
    if (icc.isEmpty()) return picture;
    QImage pixels = picture.image();
    const QSize pictureSize = picture.size();
    const QRect held = picture.held();
    picture = Picture();
    toSrgb(pixels, icc);
    return Picture(std::move(pixels), pictureSize, held);
}

}  // namespace forms::pixels
