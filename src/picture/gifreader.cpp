// GIFs, decoded row by row with giflib: only the first frame, and of it only the rows down to
// the last one wanted, of which only the wanted ones are kept.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <vector>

extern "C" {
#include <gif_lib.h>
}

#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// The file, read a buffer at a time: giflib asks for a few bytes at once.
struct GifInput {
    int fd;
    size_t pos = 0, size = 0;
    GifByteType buffer[64 * 1024];
};

int readFromFile(GifFileType* gif, GifByteType* into, int size) {
    auto* in = static_cast<GifInput*>(gif->UserData);
    int done = 0;
    while (done < size) {
        if (in->pos == in->size) {
            const ssize_t n = ReadSome(in->fd, in->buffer, sizeof in->buffer);
            if (n <= 0) break;
            in->pos = 0;
            in->size = size_t(n);
        }
        const size_t n = std::min(size_t(size - done), in->size - in->pos);
        std::memcpy(into + done, in->buffer + in->pos, n);
        in->pos += n;
        done += int(n);
    }
    return done;
}

struct Closer {
    void operator()(GifFileType* gif) const {
        int error = 0;
        DGifCloseFile(gif, &error);
    }
};

// The rows of an interlaced frame in the order they are stored: every eighth from 0, every
// eighth from 4, every fourth from 2, every second from 1.
class RowOrder {
public:
    RowOrder(int height, bool interlaced) : height_(height), interlaced_(interlaced) {}
    int next() {
        if (!interlaced_) return ++row_;
        static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
        while (pass_ < 4) {
            if (row_ < 0) row_ = kStart[pass_];
            if (row_ < height_) {
                const int y = row_;
                row_ += kStep[pass_];
                return y;
            }
            ++pass_;
            row_ = -1;
        }
        return height_;
    }

private:
    int height_;
    bool interlaced_;
    int pass_ = 0;
    int row_ = -1;
};

// Reads up to the first frame's description; gives the frame's transparent colour, or -1.
int toFirstFrame(GifFileType* gif) {
    int transparent = -1;
    for (;;) {
        GifRecordType type;
        if (DGifGetRecordType(gif, &type) == GIF_ERROR) Raise(err::InvalidPicture);
        if (type == IMAGE_DESC_RECORD_TYPE) break;
        if (type != EXTENSION_RECORD_TYPE) Raise(err::InvalidPicture);  // no frame
        int code = 0;
        GifByteType* block = nullptr;
        if (DGifGetExtension(gif, &code, &block) == GIF_ERROR) Raise(err::InvalidPicture);
        if (code == GRAPHICS_EXT_FUNC_CODE && block && block[0] >= 4)
            transparent = (block[1] & 1) ? block[4] : -1;
        while (block) {
            if (DGifGetExtensionNext(gif, &block) == GIF_ERROR) Raise(err::InvalidPicture);
        }
    }
    if (DGifGetImageDesc(gif) == GIF_ERROR) Raise(err::InvalidPicture);
    return transparent;
}

// The frame's colours by index: its own table or the file's, the transparent one clear.
void colourTable(const GifFileType& gif, int transparent, QRgb (&colours)[256]) {
    const ColorMapObject* map = gif.Image.ColorMap ? gif.Image.ColorMap : gif.SColorMap;
    for (int i = 0; i < 256; ++i) {
        if (map && i < map->ColorCount) {
            const GifColorType& c = map->Colors[i];
            colours[i] = qRgb(c.Red, c.Green, c.Blue);
        } else {
            colours[i] = qRgb(i, i, i);  // no colour table: shades of grey
        }
    }
    if (transparent >= 0) colours[transparent] = 0;
}

}  // namespace

Picture readGif(int fd, const Request& request) {
    if (::lseek(fd, 0, SEEK_SET) != 0) Raise(err::InvalidPicture);
    int error = 0;
    auto input = std::make_unique<GifInput>();
    input->fd = fd;
    std::unique_ptr<GifFileType, Closer> gif(DGifOpen(input.get(), readFromFile, &error));
    if (!gif) Raise(err::InvalidPicture);

    const int transparent = toFirstFrame(gif.get());

    // The picture is the first frame, as decoded: the logical screen the header announces
    // may be far larger than anything the file holds.
    const GifImageDesc& frame = gif->Image;
    const QSize own(frame.Width, frame.Height);
    if (own.isEmpty() || tooLarge(own)) Raise(err::InvalidPicture);
    QRgb colours[256];
    colourTable(*gif, transparent, colours);
    const bool alpha = transparent >= 0;

    Rows rows(own, planFor(own, request, frame.Interlace), alpha, frame.Interlace);
    if (!rows.valid()) Raise(err::InvalidPicture);
    std::vector<GifPixelType> line(size_t(own.width()));
    RowOrder order(own.height(), frame.Interlace);
    int decoded = 0, wanted = 0;
    const int wantedRows = rows.bottom() - rows.top();
    while (wanted < wantedRows) {
        const int y = order.next();
        if (y >= own.height()) break;
        // A frame whose data ends early shows the rows it has.
        if (DGifGetLine(gif.get(), line.data(), own.width()) == GIF_ERROR) break;
        ++decoded;
        if (!rows.wants(y)) continue;
        QRgb* out = rows.row(y);
        for (int x = rows.left(); x < rows.right(); ++x) *out++ = colours[line[size_t(x)]];
        rows.done(y);
        ++wanted;
    }
    if (decoded == 0) Raise(err::InvalidPicture);
    return rows.finish();
}

}  // namespace forms::pixels
