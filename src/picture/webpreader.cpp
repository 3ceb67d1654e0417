// WebPs, decoded with libwebp from the file read into memory: the first frame, only the part
// wanted (the decoder's own cropping) or reduced (its own scaling).
#include <sys/stat.h>

#include <webp/decode.h>
#include <webp/demux.h>

#include <memory>
#include <vector>

#include "picture/orientation.h"
#include "picture/pixels.h"
#include "picture/readers.h"
#include "system/error.h"
#include "system/files.h"

namespace forms::pixels {

namespace {

// The largest WebP read: the format's own limit is 16383 x 16383 pixels, a few hundred
// megabytes at most even uncompressed.
constexpr off_t kMaxWebPFile = 256 << 20;

struct DemuxDelete {
    void operator()(WebPDemuxer* d) const { WebPDemuxDelete(d); }
};

// The content of a chunk the container holds once (a profile, an EXIF block); empty without.
QByteArray chunk(WebPDemuxer* demux, const char* name) {
    WebPChunkIterator it{};
    QByteArray out;
    if (WebPDemuxGetChunk(demux, name, 1, &it))
        out = QByteArray(reinterpret_cast<const char*>(it.chunk.bytes), int(it.chunk.size));
    WebPDemuxReleaseChunkIterator(&it);
    return out;
}

}  // namespace

Picture readWebP(int fd, const Request& request) {
    struct stat st {};
    if (::fstat(fd, &st) != 0 || st.st_size < 12 || st.st_size > kMaxWebPFile)
        Raise(err::InvalidPicture);
    std::vector<uint8_t> bytes(size_t(st.st_size));
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ReadSomeAt(fd, bytes.data() + done, bytes.size() - done, off_t(done));
        if (n <= 0) break;
        done += size_t(n);
    }
    const WebPData data{bytes.data(), done};
    std::unique_ptr<WebPDemuxer, DemuxDelete> demux(WebPDemux(&data));
    if (!demux) Raise(err::InvalidPicture);
    const uint32_t flags = WebPDemuxGetI(demux.get(), WEBP_FF_FORMAT_FLAGS);
    const QByteArray icc = flags & ICCP_FLAG ? chunk(demux.get(), "ICCP") : QByteArray();
    const int orientation =
        flags & EXIF_FLAG ? std::max(1, tiffOrientation(chunk(demux.get(), "EXIF"))) : 1;

    // The first frame, at its own size, as a GIF's.
    WebPIterator frame{};
    if (!WebPDemuxGetFrame(demux.get(), 1, &frame)) Raise(err::InvalidPicture);
    const WebPData fragment = frame.fragment;
    WebPDemuxReleaseIterator(&frame);
    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config) ||
        WebPGetFeatures(fragment.bytes, fragment.size, &config.input) != VP8_STATUS_OK)
        Raise(err::InvalidPicture);
    const QSize stored(config.input.width, config.input.height);
    if (stored.isEmpty() || tooLarge(stored)) Raise(err::InvalidPicture);
    const bool alpha = config.input.has_alpha;

    const Plan plan = planStored(stored, orientation, request);
    QSize size = plan.part.size();  // the pixels decoded
    QRect held = plan.part;
    if (plan.fitted.isValid()) {
        size = plan.fitted;
    } else if (plan.reduced()) {
        size = QSize(ceilDiv(stored.width(), plan.fx), ceilDiv(stored.height(), plan.fy));
    } else if (plan.part != QRect(QPoint(0, 0), stored)) {
        // The decoder crops from an even corner.
        held = QRect(QPoint(plan.part.x() & ~1, plan.part.y() & ~1), plan.part.bottomRight());
        size = held.size();
        config.options.use_cropping = 1;
        config.options.crop_left = held.x();
        config.options.crop_top = held.y();
        config.options.crop_width = held.width();
        config.options.crop_height = held.height();
    }
    if (plan.reduced() || plan.fitted.isValid()) {
        config.options.use_scaling = 1;
        config.options.scaled_width = size.width();
        config.options.scaled_height = size.height();
    }
    // A header may announce a picture its few bytes do not hold: the pixels are taken as the
    // decoder writes them, so that a file that fails at once costs nothing.
    QImage image =
        newImage(size, alpha ? QImage::Format_ARGB32_Premultiplied : QImage::Format_RGB32, false);
    if (image.isNull()) Raise(err::InvalidPicture);
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
    config.output.colorspace = alpha ? MODE_bgrA : MODE_BGRA;
#else
    config.output.colorspace = alpha ? MODE_Argb : MODE_ARGB;
#endif
    config.output.is_external_memory = 1;
    config.output.u.RGBA.rgba = image.bits();
    config.output.u.RGBA.stride = int(image.bytesPerLine());
    config.output.u.RGBA.size = size_t(image.sizeInBytes());
    const VP8StatusCode status = WebPDecode(fragment.bytes, fragment.size, &config);
    WebPFreeDecBuffer(&config.output);
    if (status != VP8_STATUS_OK) Raise(err::InvalidPicture);

    if (plan.fitted.isValid())
        return finishedPicture(Picture(std::move(image), size), orientation, icc);
    if (plan.reduced()) return finishedPicture(Picture(std::move(image), stored), orientation, icc);
    return finishedPicture(Picture(std::move(image), stored, held), orientation, icc);
}

}  // namespace forms::pixels
