#include "testdata/formats_heif_jxl.h"

#include <jxl/decode.h>
#include <jxl/encode.h>
#include <libheif/heif.h>

// The HEVC encoder keeps a few buffers of its own to the end of the process: not a leak of
// the program's, so the leak checker of a sanitized build leaves them out.
extern "C" const char* __lsan_default_suppressions() { return "leak:libx265\n"; }

namespace testdata {

namespace {

// RGBA bytes of an image, as both encoders take them.
QImage rgba(const QImage& image) { return image.convertToFormat(QImage::Format_RGBA8888); }

heif_image* heifImage(const QImage& source) {
    const QImage in = rgba(source);
    heif_image* image = nullptr;
    heif_image_create(in.width(), in.height(), heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                      &image);
    heif_image_add_plane(image, heif_channel_interleaved, in.width(), in.height(), 8);
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
    for (int y = 0; y < in.height(); ++y)
        memcpy(plane + y * stride, in.constScanLine(y), size_t(in.width()) * 4);
    return image;
}

heif_error appendTo(heif_context*, const void* data, size_t size, void* out) {
    static_cast<QByteArray*>(out)->append(static_cast<const char*>(data), qsizetype(size));
    return heif_error{heif_error_Ok, heif_suberror_Unspecified, ""};
}

}  // namespace

QByteArray EncodeHeif(const QImage& image, bool av1, int orientation, const QImage& thumbnail) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    QByteArray out;
    if (heif_context_get_encoder_for_format(
            context, av1 ? heif_compression_AV1 : heif_compression_HEVC, &encoder)
            .code == heif_error_Ok) {
        heif_encoder_set_lossy_quality(encoder, 90);
        heif_encoder_set_logging_level(encoder, 0);
        // The encoders' quickest settings: test pictures need no small files.
        heif_encoder_set_parameter(encoder, av1 ? "speed" : "preset", av1 ? "9" : "ultrafast");
        heif_encoding_options* options = heif_encoding_options_alloc();
        options->image_orientation = heif_orientation(orientation);
        heif_image* pixels = heifImage(image);
        heif_image_handle* handle = nullptr;
        heif_context_encode_image(context, pixels, encoder, options, &handle);
        if (!thumbnail.isNull()) {
            // Encoded only when larger than its box: given a pixel larger, scaled to the box.
            heif_image* small = heifImage(thumbnail.scaled(thumbnail.size() + QSize(1, 1)));
            heif_context_encode_thumbnail(context, small, handle, encoder, options,
                                          std::max(thumbnail.width(), thumbnail.height()), nullptr);
            heif_image_release(small);
        }
        heif_writer writer{1, appendTo};
        heif_context_write(context, &writer, &out);
        heif_image_handle_release(handle);
        heif_image_release(pixels);
        heif_encoding_options_free(options);
        heif_encoder_release(encoder);
    }
    heif_context_free(context);
    return out;
}

QByteArray EncodeJxl(const QImage& image, bool lossless, int orientation) {
    const bool alpha = image.hasAlphaChannel();
    const QImage in = alpha ? rgba(image) : image.convertToFormat(QImage::Format_RGB888);
    JxlEncoder* encoder = JxlEncoderCreate(nullptr);
    JxlBasicInfo info;
    JxlEncoderInitBasicInfo(&info);
    info.xsize = uint32_t(in.width());
    info.ysize = uint32_t(in.height());
    info.bits_per_sample = 8;
    info.num_color_channels = 3;
    info.alpha_bits = alpha ? 8 : 0;
    info.num_extra_channels = alpha ? 1 : 0;
    info.uses_original_profile = lossless;
    info.orientation = JxlOrientation(orientation);
    JxlEncoderSetBasicInfo(encoder, &info);
    JxlColorEncoding srgb;
    JxlColorEncodingSetToSRGB(&srgb, false);
    JxlEncoderSetColorEncoding(encoder, &srgb);
    JxlEncoderFrameSettings* settings = JxlEncoderFrameSettingsCreate(encoder, nullptr);
    JxlEncoderSetFrameLossless(settings, lossless);
    // Rows as Qt keeps them, each a multiple of four bytes long.
    const JxlPixelFormat format{alpha ? 4u : 3u, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 4};
    if (JxlEncoderAddImageFrame(settings, &format, in.constBits(), size_t(in.sizeInBytes())) !=
        JXL_ENC_SUCCESS)
        qFatal("cannot encode a JPEG XL picture");
    JxlEncoderCloseInput(encoder);
    QByteArray out(1 << 16, '\0');
    size_t used = 0;
    for (;;) {
        uint8_t* next = reinterpret_cast<uint8_t*>(out.data()) + used;
        size_t avail = size_t(out.size()) - used;
        const JxlEncoderStatus status = JxlEncoderProcessOutput(encoder, &next, &avail);
        used = size_t(next - reinterpret_cast<uint8_t*>(out.data()));
        if (status != JXL_ENC_NEED_MORE_OUTPUT) break;
        out.resize(out.size() * 2);
    }
    out.resize(qsizetype(used));
    JxlEncoderDestroy(encoder);
    return out;
}

QImage DecodeHeif(const QByteArray& file) {
    heif_context* context = heif_context_alloc();
    QImage out;
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    if (heif_context_read_from_memory_without_copy(context, file.constData(), size_t(file.size()),
                                                   nullptr)
                .code == heif_error_Ok &&
        heif_context_get_primary_image_handle(context, &handle).code == heif_error_Ok &&
        heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
                .code == heif_error_Ok) {
        int stride = 0;
        const uint8_t* plane =
            heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        out = QImage(plane, heif_image_get_width(image, heif_channel_interleaved),
                     heif_image_get_height(image, heif_channel_interleaved), stride,
                     QImage::Format_RGBA8888)
                  .convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return out;
}

QImage DecodeJxl(const QByteArray& file) {
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_BASIC_INFO | JXL_DEC_FULL_IMAGE);
    JxlDecoderSetInput(decoder, reinterpret_cast<const uint8_t*>(file.constData()),
                       size_t(file.size()));
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    QImage out;
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo info;
            JxlDecoderGetBasicInfo(decoder, &info);
            out = QImage(int(info.xsize), int(info.ysize), QImage::Format_RGBA8888);
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            JxlDecoderSetImageOutBuffer(decoder, &format, out.bits(), size_t(out.sizeInBytes()));
        } else {
            if (status != JXL_DEC_FULL_IMAGE) out = QImage();
            break;
        }
    }
    JxlDecoderDestroy(decoder);
    return out.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

}  // namespace testdata
