// JPEG, decoded with libjpeg directly: reduced, or only the part on screen.
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <QTransform>
#include <algorithm>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "picture/colour.h"
#include "picture/orientation.h"
#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// The longest run of one byte value read before the picture's size is known. Headers hold no
// such runs; a file that turns into one (a sparse file, a download never finished) has ended.
constexpr qint64 kHeaderRunLimit = 1 << 20;

struct JpegSource {
    jpeg_source_mgr manager;
    int fd;
    // The run of one byte value read last, and the longest the data may hold.
    qint64 run = 0;
    int runByte = -1;
    qint64 runLimit = kHeaderRunLimit;
    bool ended = false;
    JOCTET buffer[128 * 1024];

    // Notes the bytes read; false when the data has turned into a run longer than the limit.
    bool makesProgress(size_t n) {
        const JOCTET* b = buffer;
        const JOCTET last = b[n - 1];
        if (b[0] == last && std::memcmp(b, b + 1, n - 1) == 0) {
            run = runByte == last ? run + qint64(n) : qint64(n);
        } else {
            size_t tail = 1;
            while (tail < n && b[n - 1 - tail] == last) ++tail;
            run = qint64(tail);
        }
        runByte = last;
        return run <= runLimit;
    }
};

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFail(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

// Encoders write about ten scans; a file of thousands of tiny scans would hold the decoder
// (and the user interface with it) for seconds to minutes.
constexpr int kMaxScans = 100;

void jpegProgress(j_common_ptr info) {
    if (reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxScans) jpegFail(info);
}

void jpegQuiet(j_common_ptr) {}
void jpegInit(j_decompress_ptr) {}
void jpegTerm(j_decompress_ptr) {}

boolean jpegFill(j_decompress_ptr info) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    ssize_t n = 0;
    if (!source->ended) {
        do {
            n = ::read(source->fd, source->buffer, sizeof source->buffer);
        } while (n < 0 && errno == EINTR);
        if (n > 0 && !source->makesProgress(size_t(n))) n = 0;
        source->ended = n <= 0;
    }
    if (n <= 0) {
        // A file that ends early: the decoder is handed an end marker and shows what it has.
        WARNMS(info, JWRN_JPEG_EOF);
        source->buffer[0] = 0xFF;
        source->buffer[1] = JPEG_EOI;
        n = 2;
    }
    source->manager.next_input_byte = source->buffer;
    source->manager.bytes_in_buffer = size_t(n);
    return TRUE;
}

void jpegSkip(j_decompress_ptr info, long count) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    if (count <= 0) return;
    if (size_t(count) <= source->manager.bytes_in_buffer) {
        source->manager.next_input_byte += count;
        source->manager.bytes_in_buffer -= size_t(count);
        return;
    }
    const off_t beyond = off_t(size_t(count) - source->manager.bytes_in_buffer);
    source->manager.bytes_in_buffer = 0;
    ::lseek(source->fd, beyond, SEEK_CUR);
}

// A progressive JPEG is decoded from coefficients held for the whole picture: 128 bytes a
// block, 360 MB for a 108 MP photo, whatever the reduction. Reduced, the inverse transform
// reads only a few of each block's coefficients (one at an eighth, 25 at a quarter), so the
// decoder's coefficient arrays are replaced by ones that keep, of each block, those and which
// of the others are not zero: the later scans of a progressive file read no more than that
// of what earlier scans left. A window of whole blocks, the rows the decoder works on, is
// expanded from what is kept and folded back when it moves on.
class CompactCoefficients {
public:
    // Takes over the arrays of coefficients the decoder asks for from now on.
    void install(j_decompress_ptr info) {
        info->client_data = this;
        jpeg_memory_mgr* m = info->mem;
        request_ = m->request_virt_barray;
        realize_ = m->realize_virt_arrays;
        access_ = m->access_virt_barray;
        m->request_virt_barray = request;
        m->realize_virt_arrays = realize;
        m->access_virt_barray = access;
    }

private:
    struct Array {
        JDIMENSION width, height, maxAccess;
        int kept[DCTSIZE2];
        int keptCount;
        JCOEF* values;        // keptCount a block
        std::uint64_t* mask;  // a bit for each coefficient that is not zero
        JBLOCKARRAY window;   // maxAccess rows of whole blocks
        JDIMENSION first = 0, rows = 0;
        bool dirty = false;
    };

    static JDIMENSION roundUp(JDIMENSION n, int multiple) {
        return (n + JDIMENSION(multiple) - 1) / JDIMENSION(multiple) * JDIMENSION(multiple);
    }

    static CompactCoefficients& of(j_common_ptr info) {
        return *static_cast<CompactCoefficients*>(info->client_data);
    }

    // The coefficients the inverse transform to `size` pixels a side reads; none: all.
    static int keptFor(int size, int* kept) {
        if (size == 1) {
            kept[0] = 0;
            return 1;
        }
        if (size != 2) return 0;
        int n = 0;
        for (int row : {0, 1, 3, 5, 7})
            for (int column : {0, 1, 3, 5, 7}) kept[n++] = row * DCTSIZE + column;
        return n;
    }

    static jvirt_barray_ptr request(j_common_ptr info, int pool, boolean preZero, JDIMENSION width,
                                    JDIMENSION height, JDIMENSION maxAccess) {
        CompactCoefficients& self = of(info);
        auto* d = reinterpret_cast<j_decompress_ptr>(info);
        // The coefficient controller asks for one array a component, in their order.
        const int component = self.requested_++;
        int kept[DCTSIZE2];
        int count = 0;
        if (component < d->num_components && component < kMaxComponents && preZero) {
            const jpeg_component_info& c = d->comp_info[component];
            // Only an array of that component's blocks, as libjpeg pads them to its MCUs.
            if (width == roundUp(c.width_in_blocks, c.h_samp_factor) &&
                height == roundUp(c.height_in_blocks, c.v_samp_factor))
                count = keptFor(c.DCT_scaled_size, kept);
        }
        if (count == 0) return self.request_(info, pool, preZero, width, height, maxAccess);
        auto* a = static_cast<Array*>(info->mem->alloc_small(info, pool, sizeof(Array)));
        new (a) Array{width, height, maxAccess, {}, count, nullptr, nullptr, nullptr};
        std::copy(kept, kept + count, a->kept);
        self.arrays_[self.count_++] = a;
        return reinterpret_cast<jvirt_barray_ptr>(a);
    }

    static void realize(j_common_ptr info) {
        CompactCoefficients& self = of(info);
        self.realize_(info);
        for (int i = 0; i < self.count_; ++i) {
            Array& a = *self.arrays_[i];
            const size_t blocks = size_t(a.width) * a.height;
            a.values = static_cast<JCOEF*>(
                info->mem->alloc_large(info, JPOOL_IMAGE, blocks * size_t(a.keptCount) * 2));
            a.mask = static_cast<std::uint64_t*>(
                info->mem->alloc_large(info, JPOOL_IMAGE, blocks * sizeof(std::uint64_t)));
            std::memset(a.values, 0, blocks * size_t(a.keptCount) * 2);
            std::memset(a.mask, 0, blocks * sizeof(std::uint64_t));
            a.window = info->mem->alloc_barray(info, JPOOL_IMAGE, a.width, a.maxAccess);
        }
    }

    static JBLOCKARRAY access(j_common_ptr info, jvirt_barray_ptr array, JDIMENSION start,
                              JDIMENSION rows, boolean writable) {
        CompactCoefficients& self = of(info);
        Array* a = nullptr;
        for (int i = 0; i < self.count_; ++i)
            if (reinterpret_cast<jvirt_barray_ptr>(self.arrays_[i]) == array) a = self.arrays_[i];
        if (!a) return self.access_(info, array, start, rows, writable);
        if (rows > a->maxAccess || start + rows > a->height) ERREXIT(info, JERR_BAD_VIRTUAL_ACCESS);
        if (start < a->first || start + rows > a->first + a->rows) {
            if (a->dirty) fold(*a);
            a->first = start;
            a->rows = std::min(a->maxAccess, a->height - start);
            expand(*a);
            a->dirty = false;
        }
        a->dirty = a->dirty || writable;
        return a->window + (start - a->first);
    }

    // A block of ones where the mask has a bit, zeros elsewhere.
    static void fromMask(std::uint64_t mask, JCOEF* block) {
#if defined(__SSE2__)
        const __m128i bits = _mm_setr_epi16(1, 2, 4, 8, 16, 32, 64, 128);
        const __m128i one = _mm_set1_epi16(1);
        for (int i = 0; i < DCTSIZE; ++i) {
            const __m128i row = _mm_set1_epi16(short((mask >> (8 * i)) & 0xFF));
            const __m128i set = _mm_cmpeq_epi16(_mm_and_si128(row, bits), bits);
            _mm_storeu_si128(reinterpret_cast<__m128i*>(block + 8 * i), _mm_and_si128(set, one));
        }
#else
        for (int k = 0; k < DCTSIZE2; ++k) block[k] = JCOEF((mask >> k) & 1);
#endif
    }

    // A bit for each coefficient of the block that is not zero.
    static std::uint64_t toMask(const JCOEF* block) {
#if defined(__SSE2__)
        const __m128i zero = _mm_setzero_si128();
        std::uint64_t mask = 0;
        for (int i = 0; i < DCTSIZE2; i += 16) {
            const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i));
            const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + i + 8));
            const __m128i zeros =
                _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
            mask |= std::uint64_t(~unsigned(_mm_movemask_epi8(zeros)) & 0xFFFF) << i;
        }
        return mask;
#else
        std::uint64_t mask = 0;
        for (int k = 0; k < DCTSIZE2; ++k) mask |= std::uint64_t(block[k] != 0) << k;
        return mask;
#endif
    }

    static void expand(Array& a) {
        for (JDIMENSION r = 0; r < a.rows; ++r) {
            const size_t at = size_t(a.first + r) * a.width;
            const JCOEF* values = a.values + at * size_t(a.keptCount);
            for (JDIMENSION x = 0; x < a.width; ++x, values += a.keptCount) {
                JCOEF* block = a.window[r][x];
                // The others only as not zero, which is all the later scans read of them.
                fromMask(a.mask[at + x], block);
                for (int k = 0; k < a.keptCount; ++k) block[a.kept[k]] = values[k];
            }
        }
    }

    static void fold(Array& a) {
        for (JDIMENSION r = 0; r < a.rows; ++r) {
            const size_t at = size_t(a.first + r) * a.width;
            JCOEF* values = a.values + at * size_t(a.keptCount);
            for (JDIMENSION x = 0; x < a.width; ++x, values += a.keptCount) {
                const JCOEF* block = a.window[r][x];
                a.mask[at + x] = toMask(block);
                for (int k = 0; k < a.keptCount; ++k) values[k] = block[a.kept[k]];
            }
        }
    }

    static constexpr int kMaxComponents = 4;
    jvirt_barray_ptr (*request_)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION,
                                 JDIMENSION) = nullptr;
    void (*realize_)(j_common_ptr) = nullptr;
    JBLOCKARRAY(*access_)
    (j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean) = nullptr;
    Array* arrays_[kMaxComponents] = {};
    int count_ = 0;
    int requested_ = 0;
};

// The decoder's errors jump back to the step that failed; each step is a member function
// that holds no object with a destructor, and reports the failure as false.
class JpegDecoder {
public:
    explicit JpegDecoder(int fd) : source_(std::make_unique<JpegSource>()) {
        info_.err = jpeg_std_error(&errors_.manager);
        errors_.manager.error_exit = jpegFail;
        errors_.manager.output_message = jpegQuiet;
        source_->fd = fd;
        jpeg_source_mgr& m = source_->manager;
        m.init_source = jpegInit;
        m.fill_input_buffer = jpegFill;
        m.skip_input_data = jpegSkip;
        m.resync_to_restart = jpeg_resync_to_restart;
        m.term_source = jpegTerm;
        m.bytes_in_buffer = 0;
        m.next_input_byte = nullptr;
    }
    // A JPEG held in memory, such as a thumbnail inside another's EXIF block.
    explicit JpegDecoder(QByteArrayView memory) : JpegDecoder(-1) { memory_ = memory; }
    ~JpegDecoder() { jpeg_destroy_decompress(&info_); }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    bool readHeader() {
        if (setjmp(errors_.jump)) return false;
        jpeg_create_decompress(&info_);
        progress_.progress_monitor = jpegProgress;
        info_.progress = &progress_;
        info_.mem->max_memory_to_use = kMaxDecoderMemory;
        if (memory_.isEmpty())
            info_.src = &source_->manager;
        else
            jpeg_mem_src(&info_, reinterpret_cast<const unsigned char*>(memory_.data()),
                         static_cast<unsigned long>(memory_.size()));
        jpeg_save_markers(&info_, JPEG_APP0 + 1, 0xFFFF);
        jpeg_save_markers(&info_, JPEG_APP0 + 2, 0xFFFF);  // the ICC profile, in pieces
        jpeg_read_header(&info_, TRUE);
        // From here on a run of one byte value is data for as long as the picture could
        // take: a flat area is a few bits a block, far less than a byte a pixel.
        source_->runLimit = kHeaderRunLimit + qint64(info_.image_width) *
                                                  qint64(info_.image_height) *
                                                  qint64(std::max(1, info_.num_components));
        return true;
    }

    QSize size() const { return QSize(int(info_.image_width), int(info_.image_height)); }
    bool supported() const {
        switch (info_.jpeg_color_space) {
            case JCS_GRAYSCALE:
            case JCS_YCbCr:
            case JCS_RGB:
            case JCS_CMYK:
            case JCS_YCCK:
                return true;
            default:
                return false;
        }
    }
    // The thumbnail the EXIF block carries; empty when none. Valid while the decoder lives.
    QByteArrayView thumbnail() const {
        for (jpeg_saved_marker_ptr m = info_.marker_list; m; m = m->next) {
            if (m->marker != JPEG_APP0 + 1) continue;
            if (const QByteArrayView t = exifThumbnail(m->data, m->data_length); !t.isEmpty())
                return t;
        }
        return {};
    }
    int orientation() const {
        for (jpeg_saved_marker_ptr m = info_.marker_list; m; m = m->next) {
            if (m->marker != JPEG_APP0 + 1) continue;
            if (const int o = exifOrientation(m->data, m->data_length)) return o;
        }
        return 1;
    }

    // The embedded ICC profile, put together from its pieces; empty without one.
    QByteArray iccProfile() {
        if (setjmp(errors_.jump)) return {};
        JOCTET* data = nullptr;
        unsigned int size = 0;
        if (!jpeg_read_icc_profile(&info_, &data, &size) || !data) return {};
        QByteArray icc(reinterpret_cast<const char*>(data), int(size));
        std::free(data);
        return icc;
    }

    // Starts decoding at 1/denom of the size, and only `part` (in the scaled picture's
    // pixels); `part` is widened to what the decoder will give.
    bool start(int denom, QRect& part) {
        if (setjmp(errors_.jump)) return false;
        info_.scale_num = 1;
        info_.scale_denom = unsigned(denom);
        if (denom > 1 && info_.progressive_mode) {
            // Smoothing guesses coefficients from the neighbours' others, which are not kept;
            // it only changes a file whose last scans are missing.
            info_.do_block_smoothing = FALSE;
            compact_.install(&info_);
        }
        cmyk_ = info_.jpeg_color_space == JCS_CMYK || info_.jpeg_color_space == JCS_YCCK;
        // Four bytes a pixel either way: the memory order of QImage::Format_RGB32, or CMYK
        // turned into it row by row.
        info_.out_color_space = cmyk_ ? JCS_CMYK : JCS_EXT_BGRX;
        jpeg_start_decompress(&info_);
        JDIMENSION x = JDIMENSION(part.x()), width = JDIMENSION(part.width());
        if (width < info_.output_width) jpeg_crop_scanline(&info_, &x, &width);
        if (part.y() > 0) jpeg_skip_scanlines(&info_, JDIMENSION(part.y()));
        part = QRect(int(x), part.y(), int(width), part.height());
        return true;
    }

    // Decodes the part's rows into `image`, then stops: rows below it are never read.
    bool readRows(uchar* bits, qsizetype bytesPerLine, int rows) {
        if (setjmp(errors_.jump)) return false;
        JSAMPROW lines[16];
        int done = 0;
        while (done < rows) {
            const int n = std::min(rows - done, 16);
            for (int i = 0; i < n; ++i) lines[i] = bits + bytesPerLine * (done + i);
            const JDIMENSION got = jpeg_read_scanlines(&info_, lines, JDIMENSION(n));
            if (got == 0) break;
            if (cmyk_) {
                for (JDIMENSION i = 0; i < got; ++i) fromCmyk(lines[i], info_.output_width);
            }
            done += int(got);
        }
        jpeg_abort_decompress(&info_);
        return true;
    }

private:
    // Inverted CMYK, as Adobe's encoders write it and other readers take it.
    static void fromCmyk(uchar* row, JDIMENSION width) {
        auto* out = reinterpret_cast<QRgb*>(row);
        for (JDIMENSION x = 0; x < width; ++x, row += 4) {
            const int k = row[3];
            out[x] = qRgb(k * row[0] / 255, k * row[1] / 255, k * row[2] / 255);
        }
    }

    jpeg_decompress_struct info_{};
    jpeg_progress_mgr progress_{};
    JpegErrors errors_{};
    std::unique_ptr<JpegSource> source_;
    CompactCoefficients compact_;
    QByteArrayView memory_;
    bool cmyk_ = false;
};

}  // namespace

// A preview from the thumbnail a camera put in the file, when it covers the preview's box
// (`box`, upright) and has the picture's proportions; null otherwise.
Picture fromThumbnail(QByteArrayView bytes, int orientation, QSize own, QSize box) {
    if (bytes.isEmpty()) return Picture();
    JpegDecoder thumb(bytes);
    if (!thumb.readHeader() || !thumb.supported()) return Picture();
    const QSize stored = thumb.size();
    const QSize upright = orientation >= 5 ? stored.transposed() : stored;
    if (upright.width() < box.width() || upright.height() < box.height()) return Picture();
    // Many cameras pad a thumbnail to 4:3 with black bands: such a one is not the picture.
    const double ratio = double(own.width()) / own.height() * upright.height() / upright.width();
    if (ratio < 0.98 || ratio > 1.02) return Picture();
    const int denom = scaleDenominator(stored, orientation >= 5 ? box.transposed() : box);
    QRect part(0, 0, ceilDiv(stored.width(), denom), ceilDiv(stored.height(), denom));
    if (!thumb.start(denom, part)) return Picture();
    QImage image = newImage(part.size(), QImage::Format_RGB32);
    if (image.isNull() || !thumb.readRows(image.bits(), image.bytesPerLine(), part.height()))
        return Picture();
    return Picture(pixels::upright(image, orientation), own);
}

Picture readJpeg(int fd, const Request& request) {
    JpegDecoder jpeg(fd);
    if (!jpeg.readHeader()) Raise(err::InvalidPicture);
    const QSize stored = jpeg.size();
    if (stored.isEmpty() || tooLarge(stored) || !jpeg.supported()) Raise(err::InvalidPicture);
    const int orientation = jpeg.orientation();
    const QByteArray icc = jpeg.iccProfile();  // before decoding, which lets the markers go
    const bool turned = orientation >= 5;
    const QSize own = turned ? stored.transposed() : stored;
    const QTransform toUpright = uprightTransform(orientation, stored);

    const QSize fitted = fittedSize(own, request.screen);
    const QSize view = request.screen.isValid() ? request.screen : request.view;
    int denom = 1;
    QRect part(QPoint(0, 0), stored);  // what to decode, in the stored picture's pixels
    if (fitted != own) {
        // Fitted to the screen: the decoder's largest reduction that stays at least the
        // fitted size, then one smooth reduction to it.
        denom = scaleDenominator(stored, turned ? fitted.transposed() : fitted);
    } else if (view.isValid() && !view.isEmpty()) {
        if (own.width() > view.width() || own.height() > view.height()) {
            const QRect visible = visiblePart(own, view);
            part &= toUpright.inverted().mapRect(QRectF(visible)).toAlignedRect();
        }
    } else if (request.fit.isValid() && !request.fit.isEmpty()) {
        Picture thumb = fromThumbnail(jpeg.thumbnail(), orientation, own, request.fit);
        if (!thumb.isNull()) return thumb;
        // The largest reduction that still covers the box: no rescaling afterwards beyond
        // the stretch to the box.
        denom = scaleDenominator(stored, turned ? request.fit.transposed() : request.fit);
    }
    if (denom > 1)
        part = QRect(0, 0, ceilDiv(stored.width(), denom), ceilDiv(stored.height(), denom));

    if (!jpeg.start(denom, part)) Raise(err::InvalidPicture);
    QImage image = newImage(part.size(), QImage::Format_RGB32);
    if (image.isNull()) Raise(err::InvalidPicture);
    if (!jpeg.readRows(image.bits(), image.bytesPerLine(), part.height()))
        Raise(err::InvalidPicture);
    if (fitted != own) {
        image = smoothReduce(upright(image, orientation), fitted);
        toSrgb(image, icc);
        return Picture(std::move(image), fitted);
    }
    toSrgb(image, icc);
    const QRect held =
        denom == 1 ? toUpright.mapRect(QRectF(part)).toRect() : QRect(QPoint(0, 0), own);
    return Picture(upright(image, orientation), own, held);
}

}  // namespace forms::pixels
