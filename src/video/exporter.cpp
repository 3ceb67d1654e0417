#include "video/exporter.h"

#include <fcntl.h>
#include <unistd.h>

#include <QFont>
#include <QGuiApplication>
#include <QPainter>
#include <QRandomGenerator>
#include <QThread>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <new>
#include <system_error>

#include "picture/caption.h"
#include "picture/datetaken.h"
#include "picture/picture.h"
#include "system/error.h"
#include "system/filenames.h"
#include "system/files.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace forms {

namespace {

constexpr int kFps = 30;
constexpr int kFadeMs = 500;  // the show's longest fade
constexpr int kSampleRate = 48000;
constexpr int kSamplesPerFrame = kSampleRate / kFps;
constexpr int kMusicFadeOutSeconds = 2;

// Thrown between frames when the user has cancelled.
struct Cancelled {};

struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
struct CodecFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFree>;
struct InputClose {
    void operator()(AVFormatContext* f) const { avformat_close_input(&f); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

QString avText(int ret) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(ret, text, sizeof text);
    return QString::fromLocal8Bit(text);
}

// A failure of the video's own making: the libraries refused what was asked of them.
[[noreturn]] void failEncoder(const char* what, int ret) {
    throw Error(
        err::InvalidArgument,
        QStringLiteral("動画を作れませんでした（%1: %2）。").arg(QLatin1String(what), avText(ret)));
}

// A failure to write the file: a full disk and the like in the words every save uses.
void checkWrite(int ret) {
    if (ret >= 0) return;
    if (ret > -4096) RaiseWriteError(-ret);
    throw Error(err::DeviceUnavailable,
                QStringLiteral("動画を書き込めませんでした（%1）。").arg(avText(ret)));
}

AVFrame* newFrame(AVPixelFormat format, QSize size) {
    FramePtr frame(av_frame_alloc());
    if (!frame) throw std::bad_alloc();
    frame->format = format;
    frame->width = size.width();
    frame->height = size.height();
    if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
    return frame.release();
}

// Takes every packet an encoder has ready and hands it to the file.
void drain(AVCodecContext* encoder, AVStream* stream, AVFormatContext* file, AVPacket* packet) {
    for (;;) {
        const int ret = avcodec_receive_packet(encoder, packet);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return;
        if (ret < 0) failEncoder("encode", ret);
        // Every frame lasts one frame's time, the last one too.
        if (packet->duration <= 0 && encoder->codec_type == AVMEDIA_TYPE_VIDEO)
            packet->duration = 1;
        av_packet_rescale_ts(packet, encoder->time_base, stream->time_base);
        packet->stream_index = stream->index;
        checkWrite(av_interleaved_write_frame(file, packet));
    }
}

CodecPtr openEncoder(const AVCodec* codec, AVFormatContext* file,
                     const std::function<void(AVCodecContext*)>& setUp, AVDictionary** options) {
    CodecPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) throw std::bad_alloc();
    setUp(encoder.get());
    if (file->oformat->flags & AVFMT_GLOBALHEADER) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    const int ret = avcodec_open2(encoder.get(), codec, options);
    if (ret < 0) failEncoder(codec->name, ret);
    return encoder;
}

AVStream* newStream(AVFormatContext* file, AVCodecContext* encoder) {
    AVStream* stream = avformat_new_stream(file, nullptr);
    if (!stream) throw std::bad_alloc();
    stream->time_base = encoder->time_base;
    const int ret = avcodec_parameters_from_context(stream->codecpar, encoder);
    if (ret < 0) failEncoder("stream", ret);
    return stream;
}

// The file being written, under a temporary name beside the target: removed unless it has
// been renamed over the target.
class TemporaryFile {
public:
    // Links are followed: the file a link leads to is replaced, the link stays.
    explicit TemporaryFile(const QString& target) : target_(SaveTarget(target)) {
        const QByteArray& native = target_;
        const qsizetype slash = native.lastIndexOf('/');
        const QByteArray prefix =
            native.left(slash + 1) + '.' + native.mid(slash + 1) + QByteArrayLiteral(".");
        // Made new, never an existing file, with the permissions the user gives new files.
        for (int tries = 0;; ++tries) {
            path_ = prefix + QByteArray::number(QRandomGenerator::global()->generate(), 36)
                                 .rightJustified(6, '0');
            const int fd = ::open(path_.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (fd >= 0) {
                ::close(fd);
                return;
            }
            if (errno != EEXIST || tries == 100) {
                const int error = errno;
                path_.clear();
                RaiseWriteError(error);
            }
        }
    }
    ~TemporaryFile() {
        if (!path_.isEmpty()) ::unlink(path_.constData());
    }
    const QByteArray& path() const { return path_; }

    // Makes sure every byte is on the disk, then puts the file in the target's place.
    void replace() {
        const int fd = ::open(path_.constData(), O_RDONLY | O_CLOEXEC);
        int error = fd < 0 ? errno : 0;
        if (!error && ::fsync(fd) != 0) error = errno;
        if (fd >= 0) ::close(fd);
        if (!error && ::rename(path_.constData(), target_.constData()) != 0) error = errno;
        if (error) RaiseWriteError(error);
        path_.clear();
    }

private:
    QByteArray target_;
    QByteArray path_;
};

// The MP4 file: its streams, opened for writing.
struct Output {
    AVFormatContext* file = nullptr;
    ~Output() {
        if (file && file->pb) avio_closep(&file->pb);
        avformat_free_context(file);
    }
};

// The music: decoded, resampled to the AAC encoder's format, repeated when shorter than the
// video and cut at its end with a fade-out, encoded as the video's frames are.
class Music {
public:
    Music(const QString& path, AVFormatContext* file) : file_(file) {
        const QByteArray url = QByteArrayLiteral("file:") + NativePath(path);
        AVFormatContext* input = nullptr;
        if (avformat_open_input(&input, url.constData(), nullptr, nullptr) < 0) unreadable(path);
        input_.reset(input);
        if (avformat_find_stream_info(input, nullptr) < 0) unreadable(path);
        const AVCodec* decoder = nullptr;
        stream_ = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
        if (stream_ < 0 || !decoder) unreadable(path);
        decoder_.reset(avcodec_alloc_context3(decoder));
        if (!decoder_ ||
            avcodec_parameters_to_context(decoder_.get(), input->streams[stream_]->codecpar) < 0 ||
            avcodec_open2(decoder_.get(), decoder, nullptr) < 0)
            unreadable(path);

        const AVCodec* aac = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!aac) failEncoder("aac", AVERROR_ENCODER_NOT_FOUND);
        encoder_ = openEncoder(
            aac, file,
            [](AVCodecContext* c) {
                c->sample_fmt = AV_SAMPLE_FMT_FLTP;
                c->sample_rate = kSampleRate;
                c->ch_layout = AV_CHANNEL_LAYOUT_STEREO;
                c->bit_rate = 192000;
                c->time_base = {1, kSampleRate};
            },
            nullptr);
        out_ = newStream(file, encoder_.get());

        SwrContext* swr = nullptr;
        const int ret =
            swr_alloc_set_opts2(&swr, &encoder_->ch_layout, encoder_->sample_fmt, kSampleRate,
                                &knownLayout(decoder_->ch_layout), decoder_->sample_fmt,
                                decoder_->sample_rate, 0, nullptr);
        resampler_.reset(swr);
        if (ret < 0 || swr_init(swr) < 0) unreadable(path);
        fifo_.reset(av_audio_fifo_alloc(encoder_->sample_fmt, 2, 4 * encoder_->frame_size));
        decoded_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!fifo_ || !decoded_ || !packet_) throw std::bad_alloc();
        path_ = path;
    }

    // Keeps the music up with a video of `samples` so far, less the length of the fade-out:
    // where that begins is known only at the end.
    void keepUpWith(int64_t samples) { writeUntil(samples - kMusicFadeOutSeconds * kSampleRate); }

    // The rest of the music, for a video of `samples` in all, and what the encoder still holds.
    void finish(int64_t samples) {
        total_ = samples;
        writeUntil(total_);
        send(nullptr);
    }

private:
    // Encodes the music up to `samples` from the start (never beyond the video's end).
    void writeUntil(int64_t samples) {
        samples = std::min(samples, total_);
        const int frameSize = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
        while (written_ < samples) {
            const int n = int(std::min<int64_t>(frameSize, total_ - written_));
            while (av_audio_fifo_size(fifo_.get()) < n) decodeSome();
            FramePtr frame(av_frame_alloc());
            if (!frame) throw std::bad_alloc();
            frame->nb_samples = n;
            frame->format = encoder_->sample_fmt;
            frame->sample_rate = kSampleRate;
            av_channel_layout_copy(&frame->ch_layout, &encoder_->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
            av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), n);
            fadeOut(frame.get());
            frame->pts = written_;
            written_ += n;
            send(frame.get());
        }
    }

    static AVChannelLayout& knownLayout(AVChannelLayout& layout) {
        if (layout.order == AV_CHANNEL_ORDER_UNSPEC) {
            const int channels = layout.nb_channels;
            av_channel_layout_uninit(&layout);
            av_channel_layout_default(&layout, channels);
        }
        return layout;
    }

    [[noreturn]] static void unreadable(const QString& path) {
        throw Error(
            err::InvalidPicture,
            QStringLiteral("音楽のファイル「%1」を読めませんでした。").arg(DisplayPath(path)));
    }

    void send(AVFrame* frame) {
        const int ret = avcodec_send_frame(encoder_.get(), frame);
        if (ret < 0) failEncoder("aac", ret);
        drain(encoder_.get(), out_, file_, packet_.get());
    }

    // The last seconds fade out, so that the music does not stop short.
    void fadeOut(AVFrame* frame) const {
        const int64_t fade = std::min<int64_t>(kMusicFadeOutSeconds * kSampleRate, total_ / 2);
        const int64_t start = total_ - fade;
        if (written_ + frame->nb_samples <= start || fade <= 0) return;
        for (int c = 0; c < frame->ch_layout.nb_channels; ++c) {
            auto* s = reinterpret_cast<float*>(frame->data[c]);
            for (int i = 0; i < frame->nb_samples; ++i) {
                const int64_t at = written_ + i;
                if (at >= start) s[i] *= float(total_ - at) / float(fade);
            }
        }
    }

    // Decodes the next packet into the queue; at the end of the track, starts it again.
    void decodeSome() {
        const int ret = av_read_frame(input_.get(), packet_.get());
        if (ret == AVERROR_EOF) {
            decode(nullptr);
            // A track that gave nothing at all would be read round for ever.
            if (queued_ == 0) unreadable(path_);
            queued_ = 0;
            avcodec_flush_buffers(decoder_.get());
            if (av_seek_frame(input_.get(), stream_, 0, AVSEEK_FLAG_BACKWARD) < 0)
                unreadable(path_);
            return;
        }
        if (ret < 0) unreadable(path_);
        if (packet_->stream_index == stream_) decode(packet_.get());
        av_packet_unref(packet_.get());
    }

    void decode(AVPacket* packet) {
        // A damaged packet is passed over, as players do.
        if (avcodec_send_packet(decoder_.get(), packet) < 0) return;
        while (avcodec_receive_frame(decoder_.get(), decoded_.get()) >= 0) {
            FramePtr out(av_frame_alloc());
            if (!out) throw std::bad_alloc();
            // A track that does not say where its channels go is read as the usual layout for
            // their number, as the resampler was told.
            knownLayout(decoded_->ch_layout);
            out->format = encoder_->sample_fmt;
            out->sample_rate = kSampleRate;
            av_channel_layout_copy(&out->ch_layout, &encoder_->ch_layout);
            const int ret = swr_convert_frame(resampler_.get(), out.get(), decoded_.get());
            av_frame_unref(decoded_.get());
            if (ret < 0) unreadable(path_);
            if (out->nb_samples <= 0) continue;
            if (av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out->data),
                                    out->nb_samples) < out->nb_samples)
                throw std::bad_alloc();
            queued_ += out->nb_samples;
        }
    }

    AVFormatContext* file_;
    int64_t total_ = INT64_MAX;  // known at the end
    QString path_;
    std::unique_ptr<AVFormatContext, InputClose> input_;
    int stream_ = -1;
    CodecPtr decoder_;
    CodecPtr encoder_;
    AVStream* out_ = nullptr;
    std::unique_ptr<SwrContext, SwrFree> resampler_;
    std::unique_ptr<AVAudioFifo, FifoFree> fifo_;
    FramePtr decoded_;
    PacketPtr packet_;
    int64_t written_ = 0;
    int64_t queued_ = 0;  // samples decoded since the track last started
};

// One picture on black at the video's size, as the show places it: centred at its own size
// (only the part that falls inside held), or reduced to fit; the caption along the bottom.
QImage compose(const Picture& picture, QSize size, const QString& caption) {
    QImage canvas(size, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    const QPoint origin((size.width() - picture.size().width()) / 2,
                        (size.height() - picture.size().height()) / 2);
    const QRect held = picture.held().translated(origin);
    if (picture.image().size() == held.size()) {
        painter.drawImage(held.topLeft(), picture.image());
    } else {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(held, picture.image());
    }
    if (!caption.isEmpty()) {
        // As large on the video as the show's caption is on a screen of the video's size.
        QFont font = QGuiApplication::font();
        font.setPixelSize(std::max(12, size.height() / 40));
        painter.setFont(font);
        const QSize pad = CaptionPadding(painter.fontMetrics());
        const int height = painter.fontMetrics().height() + 2 * pad.height();
        PaintCaption(painter, QRectF(0, size.height() - height, size.width(), height), caption);
    }
    return canvas;
}

// The frame that fades `to` in over `from`, `amount` of 256 of the way.
void blend(const AVFrame* from, const AVFrame* to, int amount, AVFrame* out) {
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane ? (out->width + 1) / 2 : out->width;
        const int h = plane ? (out->height + 1) / 2 : out->height;
        for (int y = 0; y < h; ++y) {
            const uint8_t* a = from->data[plane] + y * from->linesize[plane];
            const uint8_t* b = to->data[plane] + y * to->linesize[plane];
            uint8_t* o = out->data[plane] + y * out->linesize[plane];
            for (int x = 0; x < w; ++x)
                o[x] = uint8_t((a[x] * (256 - amount) + b[x] * amount + 128) >> 8);
        }
    }
}

class Exporter {
public:
    Exporter(const VideoOptions& options, const std::atomic<bool>& cancel,
             const std::function<void(const VideoProgress&)>& progress)
        : o_(options), cancel_(cancel), progress_(progress) {}

    VideoResult run() {
        VideoResult result;
        if (o_.seconds < 1)
            throw Error(err::InvalidArgument,
                        QStringLiteral("画像の切り替えタイミングを1秒以上にしてください。"));
        QStringList paths = o_.paths;
        if (o_.shuffle) std::shuffle(paths.begin(), paths.end(), *QRandomGenerator::global());

        TemporaryFile temp(o_.target);
        Output out;
        const QByteArray url = QByteArrayLiteral("file:") + temp.path();
        int ret = avformat_alloc_output_context2(&out.file, nullptr, "mp4", url.constData());
        if (ret < 0) failEncoder("mp4", ret);
        openVideo(out.file);
        std::unique_ptr<Music> music;
        if (!o_.music.isEmpty()) music = std::make_unique<Music>(o_.music, out.file);
        checkWrite(avio_open(&out.file->pb, url.constData(), AVIO_FLAG_WRITE));
        AVDictionary* muxOptions = nullptr;
        av_dict_set(&muxOptions, "movflags", "+faststart", 0);
        ret = avformat_write_header(out.file, &muxOptions);
        av_dict_free(&muxOptions);
        checkWrite(ret);

        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < paths.size(); ++i) {
            if (progress_) {
                VideoProgress p{i, int(paths.size()), -1};
                if (i > 0) {
                    const std::chrono::duration<double> spent =
                        std::chrono::steady_clock::now() - start;
                    p.secondsLeft = spent.count() / i * (paths.size() - i);
                }
                progress_(p);
            }
            if (!addPicture(paths[i], i + 1 < paths.size() ? paths[i + 1] : QString(), music.get()))
                ++result.leftOut;
            else
                ++result.pictures;
        }
        if (result.pictures == 0)
            throw Error(err::InvalidPicture,
                        QStringLiteral("動画にできる画像がひとつもありませんでした。"));
        sendVideo(nullptr);
        // The music ends with the pictures, however many were left out.
        if (music) music->finish(pts_ * kSamplesPerFrame);
        checkWrite(av_write_trailer(out.file));
        checkWrite(avio_closep(&out.file->pb));
        temp.replace();
        result.ok = true;
        return result;
    }

private:
    void openVideo(AVFormatContext* file) {
        const AVCodec* h264 = avcodec_find_encoder_by_name("libx264");
        if (!h264) h264 = avcodec_find_encoder(AV_CODEC_ID_H264);
        if (!h264) failEncoder("h264", AVERROR_ENCODER_NOT_FOUND);
        const QSize size = o_.size;
        AVDictionary* options = nullptr;
        const VideoEncoderSettings settings = EncoderSettings();
        av_dict_set(&options, "preset", settings.preset, 0);
        av_dict_set(&options, "crf", settings.crf, 0);
        av_dict_set(&options, "x264-params", settings.x264Params, 0);
        encoder_ = openEncoder(
            h264, file,
            [size, threads = settings.threads](AVCodecContext* c) {
                c->width = size.width();
                c->height = size.height();
                c->pix_fmt = AV_PIX_FMT_YUV420P;
                c->time_base = {1, kFps};
                c->framerate = {kFps, 1};
                c->thread_count = threads;
                c->colorspace = AVCOL_SPC_BT709;
                c->color_primaries = AVCOL_PRI_BT709;
                c->color_trc = AVCOL_TRC_IEC61966_2_1;
                c->color_range = AVCOL_RANGE_MPEG;
            },
            &options);
        av_dict_free(&options);
        stream_ = newStream(file, encoder_.get());
        packet_.reset(av_packet_alloc());
        if (!packet_) throw std::bad_alloc();
        file_ = file;
    }

    // How each picture is read: at the video's size, on the reading thread.
    std::function<Picture(const QString&)> loader() const {
        return [size = o_.size, fit = o_.fit](const QString& path) {
            return fit ? LoadPictureFitted(path, size) : LoadPicture(path, {}, size);
        };
    }

    // Reads one entry and sends its frames, the next entry being read meanwhile; false when
    // it cannot be read.
    bool addPicture(const QString& path, const QString& next, Music* music) {
        FramePtr frame;
        {
            Picture picture;
            try {
                picture = take(path);
            } catch (const Error&) {
                // Left out and counted.
            }
            if (!next.isEmpty()) {
                try {
                    ahead_ = std::async(std::launch::async, loader(), next);
                    aheadPath_ = next;
                } catch (const std::system_error&) {
                    // No thread to be had: the next picture is read when its turn comes.
                }
            }
            if (picture.isNull()) return false;
            const QString caption = o_.caption ? CaptionText(path, DateTaken(path)) : QString();
            frame.reset(convert(compose(picture, o_.size, caption)));
        }
        const int frames = FramesPerPicture(o_.seconds);
        const int fade = o_.fade && previous_ ? FadeFrames(o_.seconds) : 0;
        for (int k = 0; k < frames; ++k) {
            if (cancel_.load()) throw Cancelled();
            if (k < fade) {
                FramePtr mixed(newFrame(AV_PIX_FMT_YUV420P, o_.size));
                blend(previous_.get(), frame.get(), (k + 1) * 256 / (fade + 1), mixed.get());
                sendVideo(mixed.get());
            } else {
                sendVideo(frame.get());
            }
            if (music) music->keepUpWith(pts_ * kSamplesPerFrame);
        }
        // The picture before is kept only for the next to fade in over.
        if (o_.fade) previous_ = std::move(frame);
        return true;
    }

    // The picture at `path`: the one read ahead when it is that one (waiting for the read to
    // finish), else read here. Throws what the reader threw.
    Picture take(const QString& path) {
        if (ahead_.valid() && aheadPath_ == path) return ahead_.get();
        return loader()(path);
    }

    // The composed picture in the encoder's format: converted once, sent for every frame.
    AVFrame* convert(const QImage& image) {
        const QSize size = o_.size;
        scaler_.reset(sws_getCachedContext(
            scaler_.release(), size.width(), size.height(), AV_PIX_FMT_RGB32, size.width(),
            size.height(), AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
        if (!scaler_) failEncoder("swscale", AVERROR(EINVAL));
        // BT.709 in the video's range, as the stream says.
        sws_setColorspaceDetails(scaler_.get(), sws_getCoefficients(SWS_CS_ITU709), 1,
                                 sws_getCoefficients(SWS_CS_ITU709), 0, 0, 1 << 16, 1 << 16);
        FramePtr frame(newFrame(AV_PIX_FMT_YUV420P, size));
        const uint8_t* source[] = {image.constBits()};
        const int stride[] = {int(image.bytesPerLine())};
        sws_scale(scaler_.get(), source, stride, 0, size.height(), frame->data, frame->linesize);
        return frame.release();
    }

    // Sends a frame (the same one again while a picture is held: the encoder takes a
    // reference, no copy), or none to end the stream.
    void sendVideo(AVFrame* frame) {
        if (frame) frame->pts = pts_++;
        const int ret = avcodec_send_frame(encoder_.get(), frame);
        if (ret < 0) failEncoder("h264", ret);
        drain(encoder_.get(), stream_, file_, packet_.get());
    }

    const VideoOptions& o_;
    const std::atomic<bool>& cancel_;
    const std::function<void(const VideoProgress&)>& progress_;
    CodecPtr encoder_;
    AVStream* stream_ = nullptr;
    AVFormatContext* file_ = nullptr;
    PacketPtr packet_;
    std::unique_ptr<SwsContext, SwsFree> scaler_;
    QString aheadPath_;
    std::future<Picture> ahead_;  // the next picture, read while this one is encoded
    FramePtr previous_;           // the picture before, which the next fades in over
    int64_t pts_ = 0;
};

}  // namespace

int FramesPerPicture(int seconds) { return std::max(0, seconds) * kFps; }

int FadeFrames(int seconds) {
    // The show fades for half a second, or half the interval when that is shorter.
    const int ms = std::min(kFadeMs, seconds * 1000 / 2);
    return std::max(0, ms * kFps / 1000);
}

VideoEncoderSettings EncoderSettings() {
    // A picture is held for many frames, each the same as the one before: the encoder looks
    // one frame ahead (enough to see where a picture changes, and for the quality it gives a
    // picture to carry over to the frames that repeat it), refers to the one frame before, and
    // makes no B frames; a key frame comes at least every 10 s. Nothing in the video moves, so
    // motion is searched at whole pixels only, which spares the encoder its half-pixel copies
    // of every frame. It then keeps a few frames of its own instead of dozens, and a held frame
    // costs little to encode. Each thread keeps frames too: a few are enough.
    return {"veryfast", "23",
            "rc-lookahead=1:sync-lookahead=0:bframes=0:ref=1:keyint=300:me=dia:subme=0",
            std::clamp(QThread::idealThreadCount(), 1, 4)};
}

VideoResult ExportVideo(const VideoOptions& options, const std::atomic<bool>& cancel,
                        const std::function<void(const VideoProgress&)>& progress) {
    // Failures are reported by what the libraries return, not on the terminal.
    av_log_set_level(AV_LOG_ERROR);
    VideoResult result;
    try {
        // The order of destruction matters: the exporter's encoders and the file close first,
        // then the temporary file is removed (inside run).
        result = Exporter(options, cancel, progress).run();
    } catch (const Cancelled&) {
        result.cancelled = true;
    } catch (const Error& e) {
        result.error = e.Description();
    } catch (const std::bad_alloc&) {
        result.error = Describe(err::OutOfMemory);
    }
    return result;
}

}  // namespace forms
