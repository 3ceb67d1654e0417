#include "picture.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QThread>
#include <QTimer>
#include <QTransform>
#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>

extern "C" {
#include <jerror.h>
#include <jpeglib.h>
}

#include "filenames.h"
#include "runtime.h"
#include "twips.h"

namespace forms {

namespace {

// Largest picture held, in pixels: 256 megapixels is 1 GiB at four bytes a pixel.
constexpr qint64 kMaxPixels = 256LL * 1024 * 1024;
// The most the JPEG decoder may take for its own buffers (a progressive JPEG keeps all its
// coefficients): beyond it the picture is refused rather than the machine run out of memory.
constexpr long kMaxDecoderMemory = 1024L * 1024 * 1024;
// Pixels decoded around the part of a picture that a view shows: the control's place on
// screen is rounded from twips, and the decoder's edge pixels lack their neighbours.
constexpr int kViewMargin = 2;

// The formats a picture file may have, recognised by their first bytes; no other image
// reader is ever reached from a user's file.
QByteArray sniff(int fd) {
    char head[6] = {};
    const ssize_t n = ::pread(fd, head, sizeof head, 0);
    const QByteArray bytes(head, n > 0 ? int(n) : 0);
    if (bytes.startsWith("\xFF\xD8\xFF")) return QByteArrayLiteral("jpeg");
    if (bytes.startsWith("BM")) return QByteArrayLiteral("bmp");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a")) return QByteArrayLiteral("gif");
    return {};
}

struct Limits {
    Limits() { QImageReader::setAllocationLimit(int(kMaxPixels * 4 / (1024 * 1024))); }
};

struct FileHandle {
    int fd;
    ~FileHandle() { ::close(fd); }
};

// Opens a regular file for reading. Non-blocking, so that a FIFO put where a file was cannot
// hang the caller.
int openPictureFile(const QString& path) {
    const int fd =
        ::open(NativePath(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ENAMETOOLONG || errno == ELOOP)
            Raise(err::FileNotFound);
        if (errno == EACCES || errno == EPERM) Raise(err::PermissionDenied);
        Raise(err::InvalidPicture);
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        Raise(err::InvalidPicture);
    }
    return fd;
}

// The part of a picture of size `own` that a view of size `view` shows with the picture
// centred on it, widened by the margin.
QRect visiblePart(QSize own, QSize view) {
    auto span = [](int size, int window) -> std::pair<int, int> {
        if (size <= window) return {0, size};
        const int from = std::max(0, (size - window) / 2 - kViewMargin);
        const int to = std::min(size, (size + window + 1) / 2 + kViewMargin);
        return {from, to};
    };
    const auto [x0, x1] = span(own.width(), view.width());
    const auto [y0, y1] = span(own.height(), view.height());
    return QRect(x0, y0, x1 - x0, y1 - y0);
}

// --- orientation ---

// The orientation an EXIF block (an APP1 segment's content) gives, 1 to 8; 0 when the block is
// not EXIF or carries no valid orientation.
int exifOrientation(const uchar* data, size_t size) {
    if (size < 6 + 8 || std::memcmp(data, "Exif\0\0", 6) != 0) return 0;
    const uchar* tiff = data + 6;
    const size_t n = size - 6;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 0;
    auto u16 = [&](size_t at) -> quint32 {
        return little ? quint32(tiff[at]) | quint32(tiff[at + 1]) << 8
                      : quint32(tiff[at]) << 8 | quint32(tiff[at + 1]);
    };
    auto u32 = [&](size_t at) -> quint32 {
        return little ? u16(at) | u16(at + 2) << 16 : u16(at) << 16 | u16(at + 2);
    };
    if (u16(2) != 42) return 0;
    const size_t ifd = u32(4);
    if (ifd > n || n - ifd < 2) return 0;
    const quint32 count = u16(ifd);
    for (quint32 i = 0; i < count; ++i) {
        const size_t entry = ifd + 2 + 12 * size_t(i);
        if (entry + 12 > n) return 0;
        if (u16(entry) != 0x0112) continue;
        const quint32 type = u16(entry + 2);  // 3: SHORT
        const quint32 value = u16(entry + 8);
        return type == 3 && value >= 1 && value <= 8 ? int(value) : 0;
    }
    return 0;
}

// Maps the stored picture's area onto the upright picture's, for an EXIF orientation.
QTransform uprightTransform(int orientation, QSize stored) {
    const qreal w = stored.width(), h = stored.height();
    switch (orientation) {
        case 2:  // mirrored left to right
            return QTransform(-1, 0, 0, 1, w, 0);
        case 3:  // turned half round
            return QTransform(-1, 0, 0, -1, w, h);
        case 4:  // mirrored top to bottom
            return QTransform(1, 0, 0, -1, 0, h);
        case 5:  // mirrored along the diagonal
            return QTransform(0, 1, 1, 0, 0, 0);
        case 6:  // to be turned a quarter clockwise
            return QTransform(0, 1, -1, 0, h, 0);
        case 7:  // mirrored along the other diagonal
            return QTransform(0, -1, -1, 0, h, w);
        case 8:  // to be turned a quarter anticlockwise
            return QTransform(0, -1, 1, 0, 0, w);
        default:
            return QTransform();
    }
}

QImage upright(const QImage& image, int orientation) {
    switch (orientation) {
        case 2:
            return image.mirrored(true, false);
        case 3:
            return image.mirrored(true, true);
        case 4:
            return image.mirrored(false, true);
        case 5:
            return image.transformed(QTransform().rotate(90)).mirrored(true, false);
        case 6:
            return image.transformed(QTransform().rotate(90));
        case 7:
            return image.transformed(QTransform().rotate(270)).mirrored(true, false);
        case 8:
            return image.transformed(QTransform().rotate(270));
        default:
            return image;
    }
}

// --- pixels ---

struct Block {
    void* address = nullptr;
    size_t bytes = 0;
};

// The block of the picture released last, kept only until the current event has been
// handled: a slide show releases the picture on screen and reads the next in one tick, and
// the next picture then reuses the pages instead of having fresh ones faulted in.
Block g_spare;

void releaseSpare() {
    if (g_spare.address) ::munmap(g_spare.address, g_spare.bytes);
    g_spare = Block();
}

void recycle(Block block) {
    releaseSpare();
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        ::munmap(block.address, block.bytes);
        return;
    }
    g_spare = block;
    QTimer::singleShot(0, app, &releaseSpare);
}

// Pixels for a decoded picture, mapped straight from the system: they go back to it when
// the picture is released (at the latest once the event that released it has been handled),
// whatever the allocator would keep.
QImage allocatePixels(QSize size) {
    const qsizetype bytesPerLine = qsizetype(size.width()) * 4;
    const size_t needed = size_t(bytesPerLine) * size_t(size.height());
    if (needed == 0) return {};
    // Whole mebibytes, so that the parts of pictures of about one size fit each other's block.
    const size_t unit = size_t(1) << 20;
    const size_t bytes = (needed + unit - 1) / unit * unit;
    Block block;
    if (g_spare.address && g_spare.bytes >= bytes && g_spare.bytes <= 2 * bytes) {
        block = g_spare;
        g_spare = Block();
    } else {
        releaseSpare();
        block.address =
            ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (block.address == MAP_FAILED) return {};
        block.bytes = bytes;
    }
    return QImage(
        static_cast<uchar*>(block.address), size.width(), size.height(), bytesPerLine,
        QImage::Format_RGB32,
        [](void* info) {
            auto* b = static_cast<Block*>(info);
            recycle(*b);
            delete b;
        },
        new Block(block));
}

// --- JPEG, decoded with libjpeg directly: reduced, or only the part on screen ---

struct JpegSource {
    jpeg_source_mgr manager;
    int fd;
    JOCTET buffer[128 * 1024];
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

// Whether a JPEG holds more than kMaxScans scans, by its start-of-scan markers (0xFF 0xDA; a
// 0xFF inside coded data is always followed by 0x00 or a restart marker). For the JPEGs handed
// to the general reader, which sets no limit.
bool tooManyScans(int fd) {
    char buffer[64 * 1024];
    off_t at = 0;
    bool afterFF = false;
    int scans = 0;
    for (;;) {
        const ssize_t n = ::pread(fd, buffer, sizeof buffer, at);
        if (n <= 0) return false;
        for (ssize_t i = 0; i < n; ++i) {
            const uchar b = uchar(buffer[i]);
            if (afterFF && b == 0xDA && ++scans > kMaxScans) return true;
            afterFF = b == 0xFF;
        }
        at += n;
    }
}
void jpegQuiet(j_common_ptr) {}

void jpegInit(j_decompress_ptr) {}
void jpegTerm(j_decompress_ptr) {}

boolean jpegFill(j_decompress_ptr info) {
    auto* source = reinterpret_cast<JpegSource*>(info->src);
    ssize_t n;
    do {
        n = ::read(source->fd, source->buffer, sizeof source->buffer);
    } while (n < 0 && errno == EINTR);
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
    ~JpegDecoder() { jpeg_destroy_decompress(&info_); }
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    bool readHeader() {
        if (setjmp(errors_.jump)) return false;
        jpeg_create_decompress(&info_);
        progress_.progress_monitor = jpegProgress;
        info_.progress = &progress_;
        info_.mem->max_memory_to_use = kMaxDecoderMemory;
        info_.src = &source_->manager;
        jpeg_save_markers(&info_, JPEG_APP0 + 1, 0xFFFF);
        jpeg_read_header(&info_, TRUE);
        return true;
    }

    QSize size() const { return QSize(int(info_.image_width), int(info_.image_height)); }
    // Colour spaces decoded here; others (CMYK) go to the general reader.
    bool supported() const {
        return info_.jpeg_color_space == JCS_GRAYSCALE || info_.jpeg_color_space == JCS_YCbCr ||
               info_.jpeg_color_space == JCS_RGB;
    }
    int orientation() const {
        for (jpeg_saved_marker_ptr m = info_.marker_list; m; m = m->next) {
            if (m->marker != JPEG_APP0 + 1) continue;
            if (const int o = exifOrientation(m->data, m->data_length)) return o;
        }
        return 1;
    }

    // Starts decoding at 1/denom of the size, and only `part` (in the scaled picture's
    // pixels); `part` is widened to what the decoder will give.
    bool start(int denom, QRect& part) {
        if (setjmp(errors_.jump)) return false;
        info_.scale_num = 1;
        info_.scale_denom = unsigned(denom);
        info_.out_color_space = JCS_EXT_BGRX;  // the memory order of QImage::Format_RGB32
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
            done += int(got);
        }
        jpeg_abort_decompress(&info_);
        return true;
    }

private:
    jpeg_decompress_struct info_{};
    jpeg_progress_mgr progress_{};
    JpegErrors errors_{};
    std::unique_ptr<JpegSource> source_;
};

int ceilDiv(int a, int b) { return (a + b - 1) / b; }

// The largest size with the aspect ratio of `own` that fits in `screen`; `own` itself when it
// fits already.
QSize fittedSize(QSize own, QSize screen) {
    if (!screen.isValid() || screen.isEmpty()) return own;
    if (own.width() <= screen.width() && own.height() <= screen.height()) return own;
    return own.scaled(screen, Qt::KeepAspectRatio).expandedTo(QSize(1, 1));
}

// One smooth reduction to `size`: every pixel averages the pixels it covers.
QImage smoothReduce(const QImage& image, QSize size) {
    if (image.size() == size) return image;
    return image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_RGB32);
}

// Reads a JPEG; nothing when its colour space is one for the general reader.
std::optional<Picture> loadJpeg(int fd, QSize fit, QSize view, QSize screen = {}) {
    JpegDecoder jpeg(fd);
    if (!jpeg.readHeader()) Raise(err::InvalidPicture);
    const QSize stored = jpeg.size();
    if (stored.isEmpty() || qint64(stored.width()) * stored.height() > kMaxPixels)
        Raise(err::InvalidPicture);
    if (!jpeg.supported()) {
        if (tooManyScans(fd)) Raise(err::InvalidPicture);
        return std::nullopt;
    }
    const int orientation = jpeg.orientation();
    const bool turned = orientation >= 5;
    const QSize own = turned ? stored.transposed() : stored;
    const QTransform toUpright = uprightTransform(orientation, stored);

    const QSize fitted = fittedSize(own, screen);
    if (fitted != own) {
        // Fitted to the screen: the decoder's largest reduction that stays at least the fitted
        // size, then one smooth reduction to it.
        fit = fitted;
        view = QSize();
    } else if (screen.isValid()) {
        view = screen;
    }

    int denom = 1;
    QRect part(QPoint(0, 0), stored);  // what to decode, in the stored picture's pixels
    if (view.isValid() && !view.isEmpty() &&
        (own.width() > view.width() || own.height() > view.height())) {
        const QRect visible = visiblePart(own, view);
        part &= toUpright.inverted().mapRect(QRectF(visible)).toAlignedRect();
    } else if (fit.isValid() && !fit.isEmpty()) {
        // The largest reduction the decoder makes that still covers the box: no rescaling
        // afterwards beyond the stretch to the box.
        const QSize box = turned ? fit.transposed() : fit;
        for (int d : {8, 4, 2}) {
            if (ceilDiv(stored.width(), d) >= box.width() &&
                ceilDiv(stored.height(), d) >= box.height()) {
                denom = d;
                break;
            }
        }
        part = QRect(0, 0, ceilDiv(stored.width(), denom), ceilDiv(stored.height(), denom));
    }

    if (!jpeg.start(denom, part)) Raise(err::InvalidPicture);
    QImage image = allocatePixels(part.size());
    if (image.isNull()) Raise(err::InvalidPicture);
    if (!jpeg.readRows(image.bits(), image.bytesPerLine(), part.height()))
        Raise(err::InvalidPicture);
    if (fitted != own) return Picture(smoothReduce(upright(image, orientation), fitted), fitted);
    const QRect held =
        denom == 1 ? toUpright.mapRect(QRectF(part)).toRect() : QRect(QPoint(0, 0), own);
    return Picture(upright(image, orientation), own, held);
}

// BMP, GIF and the JPEGs libjpeg is not asked to decode here, through Qt's readers.
Picture loadWithReader(int fd, const QByteArray& format, QSize fit, QSize view) {
    if (::lseek(fd, 0, SEEK_SET) != 0) Raise(err::InvalidPicture);
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        Raise(err::InvalidPicture);
    QImageReader reader(&file, format);
    reader.setDecideFormatFromContent(false);
    reader.setAutoTransform(true);
    const QSize stored = reader.size();
    if (!stored.isValid() || stored.isEmpty()) Raise(err::InvalidPicture);
    if (qint64(stored.width()) * stored.height() > kMaxPixels) Raise(err::InvalidPicture);
    const bool turned = reader.transformation() & QImageIOHandler::TransformationRotate90;
    const QSize own = turned ? stored.transposed() : stored;

    QRect held(QPoint(0, 0), own);
    if (fit.isValid() && format == "jpeg" && !turned &&
        (own.width() > 2 * fit.width() || own.height() > 2 * fit.height())) {
        reader.setScaledSize(own.scaled(fit * 2, Qt::KeepAspectRatioByExpanding).boundedTo(own));
    } else if (view.isValid() && !view.isEmpty() &&
               reader.transformation() == QImageIOHandler::TransformationNone) {
        // Only the part on screen is kept, though these readers decode the whole picture.
        const QRect visible = visiblePart(own, view);
        if (visible != held) {
            reader.setClipRect(visible);
            held = visible;
        }
    }
    QImage image;
    if (!reader.read(&image) || image.isNull()) Raise(err::InvalidPicture);
    return Picture(std::move(image), own, held);
}

}  // namespace

Picture LoadPicture(const QString& path, QSize fit, QSize view) {
    static const Limits limits;
    if (path.isEmpty()) return Picture();
    const FileHandle file{openPictureFile(path)};
    const QByteArray format = sniff(file.fd);
    if (format.isEmpty()) Raise(err::InvalidPicture);
    if (format == "jpeg") {
        if (std::optional<Picture> picture = loadJpeg(file.fd, fit, view)) return *picture;
    }
    return loadWithReader(file.fd, format, fit, view);
}

Picture LoadPictureFitted(const QString& path, QSize screen) {
    static const Limits limits;
    if (path.isEmpty()) return Picture();
    const FileHandle file{openPictureFile(path)};
    const QByteArray format = sniff(file.fd);
    if (format.isEmpty()) Raise(err::InvalidPicture);
    if (format == "jpeg") {
        if (std::optional<Picture> picture = loadJpeg(file.fd, {}, {}, screen)) return *picture;
    }
    Picture whole = loadWithReader(file.fd, format, {}, {});
    const QSize fitted = fittedSize(whole.size(), screen);
    if (fitted == whole.size()) return whole;
    return Picture(smoothReduce(whole.image(), fitted), fitted);
}

QSize ViewSize(float widthTwips, float heightTwips) {
    return QSize(twips::toPixelsX(widthTwips), twips::toPixelsY(heightTwips));
}

}  // namespace forms
