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

// The smallest of the picture's thumbnails that covers the box both ways, and is no larger
// than the picture; null when none does.
Handle thumbnailFor(const heif_image_handle* primary, QSize own, QSize box) {
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
        if (w >= box.width() && h >= box.height() && area <= qint64(own.width()) * own.height() &&
            decodeBytes(thumb, QSize(w, h)) <= kMaxDecodeBytes && (!best || area < bestArea)) {
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
void feed(heif_image* image, Rows& rows, bool alpha) {
    // Pixels stored premultiplied are handed out so, and are kept as they are.
    const bool premultiplied = heif_image_is_premultiplied_alpha(image) != 0;
    int stride = 0;
    const uint8_t* pixels = heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
    if (!pixels) Raise(err::InvalidPicture);
    for (int y = rows.top(); y < rows.bottom(); ++y) {
        const uint8_t* in = pixels + qsizetype(stride) * y + 4 * rows.left();
        QRgb* out = rows.row(y);
        for (int x = rows.left(); x < rows.right(); ++x, in += 4) {
            const QRgb p = qRgba(in[0], in[1], in[2], in[3]);
            if (!alpha)
                *out++ = p | 0xFF000000u;
            else if (premultiplied)  // no channel above the alpha, whatever the file holds
                *out++ = qRgba(std::min(in[0], in[3]), std::min(in[1], in[3]),
                               std::min(in[2], in[3]), in[3]);
            else
                *out++ = qPremultiply(p);
        }
        rows.done(y);
    }
}

// Big-endian numbers read from a block of bytes; a read past its end gives 0 and marks the
// block as cut short.
struct Bytes {
    const uchar* data;
    size_t size;
    size_t at = 0;
    bool ok = true;
    quint64 get(int n) {
        if (at + size_t(n) > size) {
            ok = false;
            at = size;
            return 0;
        }
        quint64 v = 0;
        for (int i = 0; i < n; ++i) v = v << 8 | data[at++];
        return v;
    }
    bool is(const char* type) const { return ok && std::memcmp(data + at - 4, type, 4) == 0; }
};

// The largest canvas the descriptors of the file's grid pictures give (the primary picture's,
// its alpha's, its thumbnails'), which libheif allocates whole before it decodes the tiles,
// in pixels; 0 without grids, or when they cannot be found (libheif then refuses the file).
qint64 largestGrid(int fd, qint64 fileSize) {
    // The file's `meta` box, among the top-level boxes.
    std::vector<uchar> meta;
    for (qint64 at = 0; at + 8 <= fileSize;) {
        uchar head[16] = {};
        if (::pread(fd, head, sizeof head, off_t(at)) < 8) return 0;
        Bytes h{head, sizeof head};
        qint64 size = qint64(h.get(4)), header = 8;
        h.get(4);
        const bool isMeta = h.is("meta");
        if (size == 1) size = qint64(h.get(8)), header = 16;
        if (size == 0) size = fileSize - at;
        if (size < header) return 0;
        if (isMeta) {
            if (size > (16 << 20) || at + size > fileSize) return 0;
            meta.resize(size_t(size - header));
            if (::pread(fd, meta.data(), meta.size(), off_t(at + header)) != ssize_t(meta.size()))
                return 0;
            break;
        }
        at += size;
    }
    if (meta.size() < 4) return 0;
    constexpr quint64 kGrid = quint64('g') << 24 | 'r' << 16 | 'i' << 8 | 'd';
    std::vector<quint64> grids;
    struct Place {
        quint64 id, method, offset;
    };
    std::vector<Place> places;  // of each picture, how its first extent is stored, and where
    size_t idatAt = 0, idatSize = 0;
    Bytes m{meta.data() + 4, meta.size() - 4};  // after the version and flags
    while (m.ok && m.at + 8 <= m.size) {
        const size_t start = m.at;
        const quint64 size = m.get(4);
        m.get(4);
        if (size < 8 || start + size > m.size) return 0;
        Bytes c{m.data + m.at, size_t(size) - 8};
        const quint64 version = c.get(1);
        c.get(3);
        if (m.is("iinf")) {
            c.get(version == 0 ? 2 : 4);
            while (c.ok && c.at + 8 <= c.size) {  // the `infe` boxes
                const size_t infe = c.at;
                const quint64 length = c.get(4);
                c.get(4);
                const quint64 v = c.get(1);
                c.get(3);
                const quint64 id = v >= 2 ? c.get(v == 2 ? 2 : 4) : 0;
                c.get(2);
                const quint64 kind = v >= 2 ? c.get(4) : 0;
                if (kind == kGrid) grids.push_back(id);
                if (length < 8) return 0;
                c.at = infe + size_t(length);
            }
        } else if (m.is("iloc")) {
            const quint64 sizes = c.get(2);
            const int offsetSize = int(sizes >> 12), lengthSize = int(sizes >> 8 & 15);
            const int baseSize = int(sizes >> 4 & 15), indexSize = version ? int(sizes & 15) : 0;
            const quint64 items = c.get(version < 2 ? 2 : 4);
            for (quint64 i = 0; i < items && c.ok; ++i) {
                const quint64 id = c.get(version < 2 ? 2 : 4);
                const quint64 how = version ? c.get(2) & 15 : 0;
                c.get(2);
                const quint64 base = c.get(baseSize);
                const quint64 extents = c.get(2);
                for (quint64 e = 0; e < extents && c.ok; ++e) {
                    c.get(indexSize);
                    const quint64 at = c.get(offsetSize);
                    c.get(lengthSize);
                    if (e == 0) places.push_back({id, how, base + at});
                }
            }
        } else if (m.is("idat")) {
            idatAt = m.at;
            idatSize = size_t(size) - 8;
        }
        m.at = start + size_t(size);
    }
    qint64 largest = 0;
    for (const auto& [id, method, offset] : places) {
        if (std::find(grids.begin(), grids.end(), id) == grids.end()) continue;
        // Version, flags, rows and columns less one, then the canvas's size in 16 or 32 bits.
        uchar descriptor[12] = {};
        if (method == 1) {
            if (offset >= idatSize) return 0;
            std::memcpy(descriptor, m.data + idatAt + offset,
                        std::min<size_t>(sizeof descriptor, idatSize - size_t(offset)));
        } else if (method != 0 || ::pread(fd, descriptor, sizeof descriptor, off_t(offset)) < 8) {
            return 0;
        }
        Bytes d{descriptor, sizeof descriptor};
        d.get(1);
        const int field = d.get(1) & 1 ? 4 : 2;
        d.get(2);
        const quint64 w = d.get(field), h = d.get(field);
        largest = std::max(largest, qint64(std::min<quint64>(w * h, quint64(1) << 62)));
    }
    return largest;
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

    // A grid (of the picture, its alpha or a thumbnail) whose canvas is larger than the
    // picture declared would be decoded at the canvas's size.
    if (largestGrid(fd, qint64(st.st_size)) >
        qint64(heif_image_handle_get_ispe_width(primary.get())) *
            heif_image_handle_get_ispe_height(primary.get()))
        Raise(err::InvalidPicture);

    // A preview from the thumbnail, when one is at least the box's size: the picture's own
    // size is still the whole picture's.
    const bool preview = !request.view.isValid() && !request.screen.isValid() &&
                         request.fit.isValid() && !request.fit.isEmpty();
    if (preview) {
        if (const Handle thumb = thumbnailFor(primary.get(), own, request.fit)) {
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
