// BMPs: uncompressed ones read in place, only the rows and columns wanted read from the file
// and converted to 32-bit pixels; run-length encoded ones decoded from the bottom up to the
// top row wanted.
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// The widest BMP read: 2^20 pixels, a stored row of at most 4 MB.
constexpr int kMaxBmpWidth = 1 << 20;

quint32 le16(const uchar* p) { return quint32(p[0]) | quint32(p[1]) << 8; }
quint32 le32(const uchar* p) { return le16(p) | le16(p + 2) << 16; }

// Reads what the file holds at `at`, up to `size` bytes; the rest is left as zeros.
void readAt(int fd, uchar* into, size_t size, off_t at) {
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ReadSomeAt(fd, into + done, size - done, at + off_t(done));
        if (n <= 0) break;
        done += size_t(n);
    }
    std::memset(into + done, 0, size - done);
}

// One colour channel packed in a 16 or 32-bit pixel.
struct Channel {
    quint32 mask = 0;
    int shift = 0;
    quint32 max = 0;  // the channel's largest value, shifted down

    explicit Channel(quint32 m = 0) : mask(m) {
        if (!m) return;
        while (!((m >> shift) & 1)) ++shift;
        max = m >> shift;
    }
    quint32 operator()(quint32 pixel) const {
        if (!max) return 0;
        const quint32 v = (pixel & mask) >> shift;
        return max == 255 ? v : (v * 255 + max / 2) / max;
    }
};

struct Bmp {
    int width = 0, height = 0;
    bool topDown = false;
    int bits = 0;
    quint32 compression = 0;
    off_t dataAt = 0;
    Channel red, green, blue;
    std::vector<QRgb> palette;
    size_t stride = 0;
};

enum : quint32 { kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6 };

// The red, green and blue masks of 16- and 32-bit pixels: given after the header (or inside a
// longer one), or the default ones.
void setChannels(const uchar* info, Bmp& bmp) {
    if (bmp.compression == kBitFields || bmp.compression == kAlphaBitFields) {
        // Masks after a short header, or inside a longer one.
        const uchar* masks = info + 40;
        bmp.red = Channel(le32(masks));
        bmp.green = Channel(le32(masks + 4));
        bmp.blue = Channel(le32(masks + 8));
    } else if (bmp.bits == 16) {
        bmp.red = Channel(0x7C00);
        bmp.green = Channel(0x03E0);
        bmp.blue = Channel(0x001F);
    } else if (bmp.bits == 32) {
        bmp.red = Channel(0x00FF0000);
        bmp.green = Channel(0x0000FF00);
        bmp.blue = Channel(0x000000FF);
    }
}

// The colour table of a picture of 8 bits or fewer a pixel.
void readPalette(int fd, const uchar* info, quint32 infoSize, Bmp& bmp) {
    const int entry = infoSize == 12 ? 3 : 4;
    quint32 colours = infoSize >= 40 ? le32(info + 32) : 0;
    if (colours == 0 || colours > (1u << bmp.bits)) colours = 1u << bmp.bits;
    off_t at = 14 + off_t(infoSize);
    if (infoSize == 40 && (bmp.compression == kBitFields || bmp.compression == kAlphaBitFields))
        at += 12;
    std::vector<uchar> table(size_t(colours) * size_t(entry));
    readAt(fd, table.data(), table.size(), at);
    // Indices beyond the table are black.
    bmp.palette.assign(size_t(1) << bmp.bits, 0xFF000000u);
    for (quint32 i = 0; i < colours; ++i) {
        const uchar* e = table.data() + size_t(i) * size_t(entry);
        bmp.palette[i] = qRgb(e[2], e[1], e[0]);
    }
}

void readHeader(int fd, Bmp& bmp) {
    uchar head[14 + 124 + 16] = {};
    readAt(fd, head, sizeof head, 0);
    const quint32 infoSize = le32(head + 14);
    const uchar* info = head + 14;
    qint64 height;
    if (infoSize == 12) {  // the oldest header: 16-bit sizes, three-byte palette entries
        bmp.width = int(le16(info + 4));
        height = le16(info + 6);
        bmp.bits = int(le16(info + 10));
    } else if (infoSize >= 40 && infoSize <= 124) {
        bmp.width = int(qint32(le32(info + 4)));
        height = qint32(le32(info + 8));
        bmp.bits = int(le16(info + 14));
        bmp.compression = le32(info + 16);
    } else {
        Raise(err::InvalidPicture);
    }
    const bool rle = bmp.compression == kRle8 || bmp.compression == kRle4;
    if (bmp.compression != kRgb && bmp.compression != kBitFields &&
        bmp.compression != kAlphaBitFields && !rle)
        Raise(err::InvalidPicture);
    // A negative height: the rows are stored from the top down.
    bmp.topDown = height < 0;
    if (height < 0) height = -height;
    if (bmp.width <= 0 || height <= 0 || height > 0x7FFFFFFF) Raise(err::InvalidPicture);
    bmp.height = int(height);
    if (tooLarge(QSize(bmp.width, bmp.height))) Raise(err::InvalidPicture);
    // Wider than any screen many thousand times over: one stored row alone would take up to
    // a gigabyte to read and convert.
    if (bmp.width > kMaxBmpWidth) Raise(err::InvalidPicture);
    const int b = bmp.bits;
    if (b != 1 && b != 4 && b != 8 && b != 16 && b != 24 && b != 32) Raise(err::InvalidPicture);
    if ((bmp.compression == kBitFields || bmp.compression == kAlphaBitFields) && b != 16 && b != 32)
        Raise(err::InvalidPicture);
    // Run-length encoded pictures are stored from the bottom up, at their own depth.
    if (rle && (bmp.topDown || b != (bmp.compression == kRle8 ? 8 : 4))) Raise(err::InvalidPicture);
    bmp.dataAt = off_t(le32(head + 10));
    bmp.stride = (size_t(bmp.width) * size_t(b) + 31) / 32 * 4;
    setChannels(info, bmp);
    if (b <= 8) readPalette(fd, info, infoSize, bmp);
}

// Converts columns [from, to) of one stored row to 32-bit pixels.
void convert(const Bmp& bmp, const uchar* row, int from, int to, QRgb* out) {
    switch (bmp.bits) {
        case 1:
        case 4:
        case 8: {
            const int b = bmp.bits, perByte = 8 / b, mask = (1 << b) - 1;
            for (int x = from; x < to; ++x) {
                const int shift = 8 - b * (x % perByte + 1);
                *out++ = bmp.palette[size_t((row[x / perByte] >> shift) & mask)];
            }
            break;
        }
        case 16:
            for (int x = from; x < to; ++x) {
                const quint32 p = le16(row + 2 * x);
                *out++ = qRgb(int(bmp.red(p)), int(bmp.green(p)), int(bmp.blue(p)));
            }
            break;
        case 24:
            for (const uchar* p = row + 3 * from; p < row + 3 * to; p += 3)
                *out++ = 0xFF000000u | quint32(p[2]) << 16 | quint32(p[1]) << 8 | p[0];
            break;
        case 32:
            if (bmp.red.mask == 0x00FF0000 && bmp.green.mask == 0x0000FF00 &&
                bmp.blue.mask == 0x000000FF) {
                for (const uchar* p = row + 4 * from; p < row + 4 * to; p += 4)
                    *out++ = 0xFF000000u | le32(p);
            } else {
                for (int x = from; x < to; ++x) {
                    const quint32 p = le32(row + 4 * x);
                    *out++ = qRgb(int(bmp.red(p)), int(bmp.green(p)), int(bmp.blue(p)));
                }
            }
            break;
    }
}

// The bytes of a file from an offset on, a buffer at a time.
class ByteStream {
public:
    ByteStream(int fd, off_t at) : fd_(fd), at_(at) {}
    // The next byte; -1 at the end of the file.
    int next() {
        if (pos_ == size_) {
            const ssize_t n = ReadSomeAt(fd_, buffer_, sizeof buffer_, at_);
            if (n <= 0) return -1;
            at_ += n;
            size_ = size_t(n);
            pos_ = 0;
        }
        return buffer_[pos_++];
    }

private:
    int fd_;
    off_t at_;
    uchar buffer_[64 * 1024];
    size_t pos_ = 0, size_ = 0;
};

// Decodes a run-length encoded BMP from the bottom row up, as far as the row stored
// `lastStored` rows from the bottom; pixels the codes skip are the first colour of the table.
// `deliver(stored, indices)` receives each row's palette indices, or null for a row the codes
// left empty: the work is then bounded by the codes, however many rows they skip.
template <typename Deliver>
void decodeRle(int fd, const Bmp& bmp, int lastStored, Deliver deliver) {
    const bool four = bmp.bits == 4;
    std::vector<uchar> row(size_t(bmp.width), 0);
    auto stream = std::make_unique<ByteStream>(fd, bmp.dataAt);
    int x = 0, stored = 0;
    bool touched = false;  // whether the current row holds any pixel of the codes
    auto put = [&](int index) {
        if (x < bmp.width) row[size_t(x)] = uchar(index);
        ++x;
        touched = true;
    };
    auto endRow = [&] {
        deliver(stored, touched ? row.data() : nullptr);
        if (touched) std::fill(row.begin(), row.end(), uchar(0));
        touched = false;
        x = 0;
        ++stored;
    };
    while (stored <= lastStored) {
        const int count = stream->next(), value = stream->next();
        if (value < 0) break;
        if (count > 0) {
            for (int i = 0; i < count && x < bmp.width; ++i)
                put(four ? (i % 2 ? value & 0x0F : value >> 4) : value);
            continue;
        }
        if (value == 0) {  // end of the row
            endRow();
        } else if (value == 1) {  // end of the picture
            break;
        } else if (value == 2) {  // a move right and up
            const int dx = stream->next(), dy = stream->next();
            if (dy < 0) break;
            const int toX = x + dx;
            for (int i = 0; i < dy && stored <= lastStored; ++i) endRow();
            x = std::min(toX, bmp.width);
        } else {  // `value` pixels as they are, padded to a whole number of 16-bit words
            const int bytes = four ? (value + 1) / 2 : value;
            for (int i = 0; i < bytes; ++i) {
                const int b = stream->next();
                if (b < 0) return;
                if (four) {
                    put(b >> 4);
                    if (2 * i + 1 < value) put(b & 0x0F);
                } else {
                    put(b);
                }
            }
            if (bytes % 2) stream->next();
        }
    }
    // The row the codes were in when they ended.
    if (stored <= lastStored && touched) deliver(stored, row.data());
}

}  // namespace

Picture readBmp(int fd, const Request& request) {
    Bmp bmp;
    readHeader(fd, bmp);
    const QSize own(bmp.width, bmp.height);
    struct stat st {};
    if (::fstat(fd, &st) != 0 || bmp.dataAt >= st.st_size) Raise(err::InvalidPicture);

    Rows rows(own, planFor(own, request), false, false);
    if (!rows.valid()) Raise(err::InvalidPicture);
    if (bmp.compression == kRle8 || bmp.compression == kRle4) {
        // Rows from the bottom up: each one wanted is converted as it is decoded.
        decodeRle(fd, bmp, bmp.height - 1 - rows.top(), [&](int stored, const uchar* indices) {
            const int y = bmp.height - 1 - stored;
            if (!rows.wants(y)) return;
            if (!indices) return rows.doneFilled(y, bmp.palette[0]);
            QRgb* out = rows.row(y);
            for (int x = rows.left(); x < rows.right(); ++x)
                *out++ = bmp.palette[indices[size_t(x)]];
            rows.done(y);
        });
        return rows.finish();
    }
    // The bytes of the columns wanted, within a stored row.
    const size_t from = size_t(rows.left()) * size_t(bmp.bits) / 8;
    const size_t to = std::min(bmp.stride, (size_t(rows.right()) * size_t(bmp.bits) + 7) / 8);
    const size_t span = to - from;
    // Runs of rows that follow each other in the file are read at once, a few hundred
    // kilobytes at a time.
    const int perRead = int(std::max<size_t>(1, (256 * 1024) / bmp.stride));
    std::vector<uchar> buffer(size_t(perRead) * bmp.stride);
    // Rows whose bytes the file does not hold (a file cut short, or a header that declares
    // far more than follows it) are not read at all: they stay black, and the work is bounded
    // by the file, not by what its header says.
    const qint64 present =
        std::min<qint64>(bmp.height, (qint64(st.st_size) - bmp.dataAt + qint64(bmp.stride) - 1) /
                                         qint64(bmp.stride));
    const int firstRow =
        bmp.topDown ? rows.top() : int(std::max<qint64>(rows.top(), bmp.height - present));
    const int endRow = bmp.topDown ? int(std::min<qint64>(rows.bottom(), present)) : rows.bottom();
    for (int y = firstRow; y < endRow; y += perRead) {
        const int count = std::min(perRead, endRow - y);
        // The stored index of the run's first row in the file's order.
        const qint64 first = bmp.topDown ? y : qint64(bmp.height) - y - count;
        const off_t at = bmp.dataAt + off_t(first) * off_t(bmp.stride);
        if (span * 4 >= bmp.stride || count == 1) {
            readAt(fd, buffer.data(), size_t(count) * bmp.stride, at);
        } else {
            for (int i = 0; i < count; ++i)
                readAt(fd, buffer.data() + size_t(i) * bmp.stride + from, span,
                       at + off_t(i) * off_t(bmp.stride) + off_t(from));
        }
        for (int i = 0; i < count; ++i) {
            const int stored = bmp.topDown ? i : count - 1 - i;
            const uchar* row = buffer.data() + size_t(stored) * bmp.stride;
            convert(bmp, row, rows.left(), rows.right(), rows.row(y + i));
            rows.done(y + i);
        }
    }
    return rows.finish();
}

}  // namespace forms::pixels
