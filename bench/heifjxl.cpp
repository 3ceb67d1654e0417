// Figures of HEIC and JPEG XL pictures: the show's tick on a large picture, the preview, and a
// phone's HEIC previewed from its thumbnail, each against the library's own fastest decode of
// what is shown. The pictures are written on first use, from the photo-like JPEG.
#include <jxl/decode.h>
#include <libheif/heif.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <cstring>
#include <vector>

#include "bench.h"
#include "core/forms.h"
#include "mainwindow/main_f.h"
#include "testdata/formats_heif_jxl.h"

namespace bench {

namespace {

constexpr int kRuns = 7;

// The photo-like picture of `size`, cut from the 24 MP JPEG, as HEIC (with a phone's 320x240
// thumbnail when asked) or JPEG XL; written once.
void ensure(const DataSet& data, const QString& file, QSize size, bool thumbnail = false) {
    if (QFileInfo::exists(file)) return;
    const QImage photo = QImage(data.path("p24-420.jpg")).copy(QRect(QPoint(0, 0), size));
    if (photo.size() != size) Fail("no photo to make " + file + " from");
    std::fprintf(stderr, "writing %s\n", qPrintable(QFileInfo(file).fileName()));
    const QByteArray bytes =
        file.endsWith(".jxl")
            ? testdata::EncodeJxl(photo, false)
            : testdata::EncodeHeif(photo, false, 1,
                                   thumbnail ? photo.scaled(320, 240, Qt::IgnoreAspectRatio,
                                                            Qt::SmoothTransformation)
                                             : QImage());
    QFile out(file);
    if (bytes.isEmpty() || !out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size())
        Fail("cannot write " + file);
}

// libheif's whole decode of the primary picture to RGBA, the one decode it offers; scaled
// smoothly to `box` when one is given.
QImage heifWhole(const QString& file, QSize box = {}) {
    heif_context* context = heif_context_alloc();
    heif_image_handle* handle = nullptr;
    heif_image* image = nullptr;
    heif_context_read_from_file(context, QFile::encodeName(file).constData(), nullptr);
    heif_context_get_primary_image_handle(context, &handle);
    if (heif_decode_image(handle, &image, heif_colorspace_RGB, heif_chroma_interleaved_RGBA,
                          nullptr)
            .code != heif_error_Ok)
        Fail("libheif cannot decode " + file);
    QImage scaled;
    if (box.isValid()) {
        int stride = 0;
        const uchar* pixels =
            heif_image_get_plane_readonly(image, heif_channel_interleaved, &stride);
        scaled = QImage(pixels, heif_image_get_width(image, heif_channel_interleaved),
                        heif_image_get_height(image, heif_channel_interleaved), stride,
                        QImage::Format_RGBA8888)
                     .scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    heif_image_release(image);
    heif_image_handle_release(handle);
    heif_context_free(context);
    return scaled;
}

// libjxl's decode of a whole file, its rows handed to `row` as it decodes them.
void jxlRows(const QString& file, JxlImageOutCallback row, void* opaque) {
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) Fail("cannot read " + file);
    const QByteArray bytes = in.readAll();
    JxlDecoder* decoder = JxlDecoderCreate(nullptr);
    JxlDecoderSubscribeEvents(decoder, JXL_DEC_FULL_IMAGE);
    JxlDecoderSetInput(decoder, reinterpret_cast<const uint8_t*>(bytes.constData()),
                       size_t(bytes.size()));
    JxlDecoderCloseInput(decoder);
    const JxlPixelFormat format{4, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0};
    for (;;) {
        const JxlDecoderStatus status = JxlDecoderProcessInput(decoder);
        if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            JxlDecoderSetImageOutCallback(decoder, &format, row, opaque);
        } else {
            if (status != JXL_DEC_FULL_IMAGE) Fail("libjxl cannot decode " + file);
            break;
        }
    }
    JxlDecoderDestroy(decoder);
}

// The centre of a picture that a screen shows, copied from the rows a decoder hands out.
struct Centre {
    QRect part;
    std::vector<uchar> pixels;  // reused across runs
    static void row(void* opaque, size_t x, size_t y, size_t n, const void* in) {
        auto* c = static_cast<Centre*>(opaque);
        const int from = std::max(int(x), c->part.left());
        const int to = std::min(int(x + n), c->part.right() + 1);
        if (!c->part.contains(c->part.left(), int(y)) || from >= to) return;
        std::memcpy(
            c->pixels.data() + 4 * (size_t(int(y) - c->part.top()) * size_t(c->part.width()) +
                                    size_t(from - c->part.left())),
            static_cast<const uchar*>(in) + 4 * (size_t(from) - x), 4 * size_t(to - from));
    }
};

// The whole picture decoded and scaled smoothly to the preview's box.
QImage jxlScaled(const QString& file, QSize size, QSize box) {
    QImage whole(size, QImage::Format_RGBA8888);
    jxlRows(
        file,
        [](void* opaque, size_t x, size_t y, size_t n, const void* in) {
            auto* image = static_cast<QImage*>(opaque);
            std::memcpy(image->scanLine(int(y)) + 4 * x, in, 4 * n);
        },
        &whole);
    return whole.scaled(box, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

// The preview's click on `file` against `baseline`.
QJsonObject previewFigure(const DataSet& data, const QString& file, const QString& name,
                          double target, const std::function<void(QSize box)>& baseline) {
    main_f->Show();
    Settle();
    MainForm& f = *main_f;
    f.Dirbox.Path = data.dir;
    f.filebox.Pattern = QStringLiteral("*.") + QFileInfo(file).suffix();
    f.ckp.Value = 1;
    int index = -1;
    for (int i = 0; i < f.filebox.ListCount(); ++i)
        if (f.filebox.List(i) == QFileInfo(file).fileName()) index = i;
    if (index < 0) Fail(file + " is not listed");
    f.filebox.ListIndex = index;
    const QSize box = f.imP1.pixelSize();
    QSize held;
    const Samples s = alternate(
        kRuns,
        [&] {
            f.filebox.Click();
            held = f.imP1.Picture().image().size();
        },
        [&] { baseline(box); }, Settle);
    if (f.imP1.Picture().isNull()) Fail("no preview of " + file);
    return result(name, "ms", s, target,
                  QStringLiteral("held %1x%2 for a %3x%4 box")
                      .arg(held.width())
                      .arg(held.height())
                      .arg(box.width())
                      .arg(box.height()));
}

}  // namespace

QJsonObject FigureHeifJxl(const DataSet& data, const QString& figure) {
    const QString heic = data.path("p12.heic"), phone = data.path("p12-thumbnail.heic");
    const QString jxl = data.path("p24.jxl");
    const QSize phoneSize(4032, 3024), jxlSize(6000, 4000);
    if (figure == "show-large-heic") {
        ensure(data, heic, phoneSize);
        return ShowTickFigure(heic, figure, 1.5, [&] { heifWhole(heic); });
    }
    if (figure == "show-large-jxl") {
        ensure(data, jxl, jxlSize);
        const QSize screen = ScreenSize();
        Centre centre;
        centre.part = QRect(QPoint((jxlSize.width() - screen.width()) / 2,
                                   (jxlSize.height() - screen.height()) / 2),
                            screen);
        centre.pixels.resize(4 * size_t(screen.width()) * size_t(screen.height()));
        return ShowTickFigure(jxl, figure, 1.5, [&] { jxlRows(jxl, Centre::row, &centre); });
    }
    if (figure == "preview-heic") {
        ensure(data, heic, phoneSize);
        return previewFigure(data, heic, figure, 1.3, [&](QSize box) { heifWhole(heic, box); });
    }
    if (figure == "preview-jxl") {
        ensure(data, jxl, jxlSize);
        return previewFigure(data, jxl, figure, 1.3,
                             [&](QSize box) { jxlScaled(jxl, jxlSize, box); });
    }
    ensure(data, phone, phoneSize, true);
    return previewFigure(data, phone, figure, 0.05, [&](QSize) { heifWhole(phone); });
}

}  // namespace bench
