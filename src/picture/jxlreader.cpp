// JPEG XL pictures, decoded with libjxl: the file fed a block at a time, the rows kept as the
// decoder hands them out, cropped or reduced on the fly, then turned upright by the
// orientation of the header.
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <vector>

#include <jxl/decode.h>

#include "picture/colour.h"
#include "picture/orientation.h"
#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// The file is read this much at a time.
constexpr size_t kBlock = 1 << 20;
// What is read before the picture's size is known; headers are far smaller.
constexpr qint64 kHeaderLimit = 4 << 20;

constexpr uchar kContainer[] = {0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A};

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};

// Where the decoder's rows go, in the picture's stored orientation. A part is written in
// place; for a reduced picture each row is gathered whole, then handed on in order.
struct Sink {
    Rows* rows;
    bool alpha;
    bool reduced;
    int width;                // the pixels of a row wanted
    std::vector<int> filled;  // of each row wanted, the pixels written
    std::unordered_map<int, std::vector<QRgb>> pending;
    int next = 0;  // the next row handed on to a reduction
    bool any = false;

    void handOn() {
        for (auto it = pending.find(next); it != pending.end() && filled[size_t(next)] == width;
             it = pending.find(next)) {
            std::copy(it->second.begin(), it->second.end(), rows->row(next));
            rows->done(next);
            pending.erase(it);
            ++next;
        }
    }
    // The rows still held back, a row never given passed over.
    void finish() {
        std::vector<int> left;
        for (const auto& [y, row] : pending)
            if (filled[size_t(y)] == width) left.push_back(y);
        std::sort(left.begin(), left.end());
        for (int y : left) {
            const std::vector<QRgb>& row = pending[y];
            std::copy(row.begin(), row.end(), rows->row(y));
            rows->done(y);
        }
        pending.clear();
    }
};

void onPixels(void* opaque, size_t x, size_t y, size_t count, const void* pixels) {
    auto* sink = static_cast<Sink*>(opaque);
    Rows& rows = *sink->rows;
    const int row = int(y);
    if (!rows.wants(row)) return;
    const int from = std::max(int(x), rows.left());
    const int to = std::min(int(x + count), rows.right());
    if (from >= to) return;
    const auto* in = static_cast<const uchar*>(pixels) + 4 * size_t(from - int(x));
    const size_t at = size_t(row - rows.top());
    QRgb* out;
    if (sink->reduced) {
        std::vector<QRgb>& line = sink->pending[row];
        if (line.empty()) line.resize(size_t(sink->width));
        out = line.data() + (from - rows.left());
    } else {
        out = rows.row(row) + (from - rows.left());
    }
    for (int i = from; i < to; ++i, in += 4) {
        const QRgb p = qRgba(in[0], in[1], in[2], in[3]);
        *out++ = sink->alpha ? qPremultiply(p) : p | 0xFF000000u;
    }
    sink->any = true;
    sink->filled[at] += to - from;
    if (sink->filled[at] != sink->width) return;
    if (sink->reduced)
        sink->handOn();
    else
        rows.done(row);
}

bool isSrgb(const JxlColorEncoding& c) {
    return c.white_point == JXL_WHITE_POINT_D65 &&
           c.transfer_function == JXL_TRANSFER_FUNCTION_SRGB &&
           (c.color_space == JXL_COLOR_SPACE_GRAY ||
            (c.color_space == JXL_COLOR_SPACE_RGB && c.primaries == JXL_PRIMARIES_SRGB));
}

// The ICC profile of the pixels the decoder gives, when they are not sRGB already; empty
// otherwise (and for grey pictures, given as grey repeated in each channel).
QByteArray outputProfile(const JxlDecoder* decoder) {
    JxlColorEncoding encoding{};
    if (JxlDecoderGetColorAsEncodedProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                           &encoding) == JXL_DEC_SUCCESS &&
        (isSrgb(encoding) || encoding.color_space == JXL_COLOR_SPACE_GRAY))
        return {};
    size_t size = 0;
    if (JxlDecoderGetICCProfileSize(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA, &size) !=
            JXL_DEC_SUCCESS ||
        size == 0 || size > (64u << 20))
        return {};
    QByteArray icc(qsizetype(size), '\0');
    if (JxlDecoderGetColorAsICCProfile(decoder, nullptr, JXL_COLOR_PROFILE_TARGET_DATA,
                                       reinterpret_cast<uint8_t*>(icc.data()),
                                       size) != JXL_DEC_SUCCESS)
        return {};
    return icc;
}

Request transposed(const Request& r) {
    return {r.fit.transposed(), r.view.transposed(), r.screen.transposed()};
}

}  // namespace

bool isJxl(int fd) {
    uchar head[sizeof kContainer] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    if (n >= 2 && head[0] == 0xFF && head[1] == 0x0A) return true;
    return n == ssize_t(sizeof head) && std::memcmp(head, kContainer, sizeof head) == 0;
}

Picture readJxl(int fd, const Request& request) {
    const std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    JxlDecoder* d = decoder.get();
    if (!d ||
        JxlDecoderSubscribeEvents(d, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING |
                                         JXL_DEC_FULL_IMAGE) != JXL_DEC_SUCCESS ||
        JxlDecoderSetKeepOrientation(d, JXL_TRUE) != JXL_DEC_SUCCESS ||
        // Alpha stored premultiplied is handed out straight, as any other.
        JxlDecoderSetUnpremultiplyAlpha(d, JXL_TRUE) != JXL_DEC_SUCCESS)
        Raise(err::InvalidPicture);

    std::vector<uint8_t> input;
    qint64 readSoFar = 0, readLimit = kHeaderLimit;
    off_t at = 0;
    bool ended = false;
    JxlBasicInfo info{};
    int orientation = 1;
    QSize stored;
    QByteArray icc;
    std::unique_ptr<Rows> rows;
    Sink sink{};
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};

    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(d);
        if (status == JXL_DEC_NEED_MORE_INPUT) {
            // What the decoder has not taken yet stays, and the next block follows it.
            const size_t kept = JxlDecoderReleaseInput(d);
            input.erase(input.begin(), input.end() - qsizetype(kept));
            if (ended) break;
            const size_t had = input.size();
            input.resize(had + kBlock);
            const ssize_t n = std::max<ssize_t>(0, ReadSomeAt(fd, input.data() + had, kBlock, at));
            input.resize(had + size_t(n));
            at += n;
            readSoFar += n;
            // A file that ends, or runs on far beyond what its picture could take.
            ended = n == 0 || readSoFar > readLimit;
            if (input.empty()) break;
            if (JxlDecoderSetInput(d, input.data(), input.size()) != JXL_DEC_SUCCESS) break;
            if (ended) JxlDecoderCloseInput(d);
        } else if (status == JXL_DEC_BASIC_INFO) {
            if (JxlDecoderGetBasicInfo(d, &info) != JXL_DEC_SUCCESS) Raise(err::InvalidPicture);
            stored = QSize(int(std::min<uint32_t>(info.xsize, 1u << 30)),
                           int(std::min<uint32_t>(info.ysize, 1u << 30)));
            if (stored.isEmpty() || tooLarge(stored)) Raise(err::InvalidPicture);
            const qint64 channels = 3 + qint64(info.num_extra_channels);
            // The decoder holds a whole frame, four bytes a sample for every channel, and about as
            // much again as one more channel (measured: 380 MB for a lossy 24 MP picture).
            if (qint64(stored.width()) * stored.height() * (channels + 1) * 4 > kMaxDecoderMemory)
                Raise(err::InvalidPicture);
            // Even stored losslessly, a picture takes no more than a few bytes a sample.
            readLimit = kHeaderLimit + qint64(stored.width()) * stored.height() * channels * 4;
            orientation = std::clamp(int(info.orientation), 1, 8);
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            // A lossy picture is decoded straight to sRGB; another keeps its own colours, to
            // be converted by its profile.
            if (!info.uses_original_profile) {
                JxlColorEncoding srgb{};
                srgb.color_space =
                    info.num_color_channels == 1 ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
                srgb.white_point = JXL_WHITE_POINT_D65;
                srgb.primaries = JXL_PRIMARIES_SRGB;
                srgb.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
                srgb.rendering_intent = JXL_RENDERING_INTENT_PERCEPTUAL;
                JxlDecoderSetPreferredColorProfile(d, &srgb);
            }
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            if (rows) Raise(err::InvalidPicture);
            icc = outputProfile(d);
            const bool turned = orientation >= 5;
            const Plan plan = planFor(stored, turned ? transposed(request) : request);
            sink.alpha = info.alpha_bits > 0;
            rows = std::make_unique<Rows>(stored, plan, sink.alpha, false);
            if (!rows->valid()) Raise(err::InvalidPicture);
            sink.rows = rows.get();
            sink.reduced = plan.reduced();
            sink.width = rows->right() - rows->left();
            sink.filled.assign(size_t(rows->bottom() - rows->top()), 0);
            if (JxlDecoderSetImageOutCallback(d, &format, onPixels, &sink) != JXL_DEC_SUCCESS)
                Raise(err::InvalidPicture);
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break;  // the first frame: the picture
        } else if (status == JXL_DEC_SUCCESS || status == JXL_DEC_ERROR) {
            break;
        }
        // Other events (a preview, boxes) are not asked for.
    }
    // A picture cut short shows the rows it has.
    if (!rows || !sink.any) Raise(err::InvalidPicture);
    sink.finish();
    Picture picture = rows->finish();
    rows.reset();
    QImage pixels = upright(picture.image(), orientation);
    const QSize size = orientation >= 5 ? picture.size().transposed() : picture.size();
    const QRect held =
        uprightTransform(orientation, picture.size()).mapRect(QRectF(picture.held())).toRect();
    picture = Picture();
    if (!icc.isEmpty()) toSrgb(pixels, icc);
    return Picture(std::move(pixels), size, held);
}

}  // namespace forms::pixels
