// Fuzz target of the picture loader: each input is put in an in-memory file and loaded as the
// preview loads it (reduced to its box), as the slide show loads it on a full-HD screen, as a
// view smaller than the picture loads it, and fitted to a small screen. The loader must return a
// picture or throw the runtime's error; anything else (a crash, a sanitizer report, another
// exception, a hang) is a finding.
//
// Run with fuzz/run.sh. With VARNEL_FUZZ_SEEDS=DIR set, the program writes a seed corpus of
// small pictures of every kind the loader reads to DIR and exits.
#include <sys/mman.h>
#include <unistd.h>

#include <QBuffer>
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QImageWriter>
#include <QLoggingCategory>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>

#include "picture/picture.h"
#include "system/error.h"
#include "testdata/formats_heif_jxl.h"
#include "testdata/gif.h"

namespace {

int g_fd = -1;
QString g_path;

// --- seeds ---

QImage pattern(QSize size, QImage::Format format = QImage::Format_RGB32) {
    QImage image(size, QImage::Format_RGB32);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 29 % 256, y * 53 % 256, (x * y * 7) % 256));
    return format == QImage::Format_RGB32 ? image : image.convertToFormat(format);
}

QByteArray encoded(const QImage& image, const char* format, int quality, bool progressive) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(quality);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image)) {
        std::fprintf(stderr, "cannot encode a %s seed\n", format);
        std::exit(1);
    }
    return buffer.data();
}

// A GIF of four colours, `frames` images one after another, each of `size` at `at` on a
// logical screen of `screen` (of `size` when empty).
QByteArray gif(QSize size, int frames, QSize screen = {}, QPoint at = {}, bool interlaced = false) {
    QList<testdata::GifFrame> images;
    for (int f = 0; f < frames; ++f)
        images.push_back({QRect(at, size),
                          [f, size](int y, unsigned char* row) {
                              for (int x = 0; x < size.width(); ++x)
                                  row[x] = (unsigned char)((y * size.width() + x + f) % 4);
                          },
                          interlaced});
    return testdata::Gif(screen.isEmpty() ? size : screen,
                         {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255)},
                         images);
}

// A JPEG with an EXIF block that says how to turn it upright.
QByteArray withOrientation(const QByteArray& jpeg, int orientation) {
    QByteArray exif("Exif\0\0II*\0\x08\0\0\0\x01\0\x12\x01\x03\0\x01\0\0\0", 24);
    exif.append(char(orientation));
    exif.append(QByteArray(3, '\0'));
    exif.append(QByteArray(4, '\0'));
    QByteArray app1("\xFF\xE1", 2);
    app1.append(char(((exif.size() + 2) >> 8) & 0xFF));
    app1.append(char((exif.size() + 2) & 0xFF));
    return jpeg.left(2) + app1 + exif + jpeg.mid(2);
}

void writeSeeds(const QString& dir) {
    QDir().mkpath(dir);
    auto put = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir + QLatin1Char('/') + QLatin1String(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size()) {
            std::fprintf(stderr, "cannot write seed %s\n", name);
            std::exit(1);
        }
    };
    const QImage small = pattern({16, 12});
    put("baseline.jpg", encoded(small, "jpeg", 75, false));
    put("progressive.jpg", encoded(pattern({40, 24}), "jpeg", 75, true));
    put("grey.jpg", encoded(pattern({9, 7}, QImage::Format_Grayscale8), "jpeg", 50, false));
    put("odd-size.jpg", encoded(pattern({17, 3}), "jpeg", 95, false));
    put("turned.jpg", withOrientation(encoded(pattern({12, 8}), "jpeg", 60, false), 6));
    put("mirrored.jpg", withOrientation(encoded(pattern({8, 12}), "jpeg", 60, true), 5));
    put("rgb24.bmp", encoded(small, "bmp", -1, false));
    put("indexed.bmp", encoded(pattern({10, 6}, QImage::Format_Indexed8), "bmp", -1, false));
    put("mono.bmp", encoded(pattern({13, 5}, QImage::Format_Mono), "bmp", -1, false));
    put("still.gif", gif({7, 5}, 1));
    put("animated.gif", gif({6, 4}, 3));
    // Stored from the top down: a negative height.
    QByteArray topDown = encoded(small, "bmp", -1, false);
    topDown[25] = char(0xFF);
    topDown[24] = char(0xFF);
    topDown[23] = char(0xFF);
    topDown[22] = char(-small.height());
    put("top-down.bmp", topDown);
    // An interlaced frame; a frame amid a larger logical screen.
    put("interlaced.gif", gif({9, 11}, 1, {}, {}, true));
    put("amid.gif", gif({4, 3}, 1, {40, 30}, {18, 13}));
    // HEIC (turned, and with a thumbnail), AVIF with alpha, JPEG XL lossy and lossless.
    QImage alpha = pattern({14, 10}, QImage::Format_ARGB32);
    alpha.setPixel(3, 4, qRgba(10, 20, 30, 40));
    put("small.heic", testdata::EncodeHeif(small, false));
    put("turned.heic", testdata::EncodeHeif(pattern({12, 8}), false, 6));
    put("thumbnail.heic", testdata::EncodeHeif(pattern({64, 48}), false, 1, pattern({16, 12})));
    put("alpha.avif", testdata::EncodeHeif(alpha, true, 2));
    put("lossy.jxl", testdata::EncodeJxl(small, false));
    put("lossless-alpha.jxl", testdata::EncodeJxl(alpha, true, 5));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    static QGuiApplication app(*argc, *argv);
    // The image readers' complaints about each damaged input would drown the fuzzer's output.
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.imageio*=false"));
    const QByteArray seeds = qgetenv("VARNEL_FUZZ_SEEDS");
    if (!seeds.isEmpty()) {
        writeSeeds(QString::fromLocal8Bit(seeds));
        std::exit(0);
    }
    g_fd = ::memfd_create("picture", MFD_CLOEXEC);
    if (g_fd < 0) {
        std::perror("memfd_create");
        std::exit(1);
    }
    g_path = QStringLiteral("/proc/self/fd/%1").arg(g_fd);
    // The image readers are loaded once, here, so that they are not taken for leaks of the
    // first input that reaches them.
    for (const QByteArray& bytes :
         {encoded(pattern({4, 4}), "jpeg", 75, false), encoded(pattern({4, 4}), "bmp", -1, false),
          gif({4, 4}, 1), testdata::EncodeHeif(pattern({4, 4}), false),
          testdata::EncodeHeif(pattern({4, 4}), true),
          testdata::EncodeJxl(pattern({4, 4}), false)}) {
        if (::ftruncate(g_fd, 0) != 0 ||
            ::pwrite(g_fd, bytes.constData(), size_t(bytes.size()), 0) != bytes.size())
            std::abort();
        (void)forms::LoadPicture(g_path);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (::ftruncate(g_fd, 0) != 0) std::abort();
    if (size > 0 && ::pwrite(g_fd, data, size, 0) != ssize_t(size)) std::abort();
    // The preview's box, a full-HD screen, a view smaller than most inputs' pictures, and
    // fitted to a screen that small.
    struct Load {
        QSize fit, view, screen;
    };
    for (const Load& load : {Load{QSize(169, 193), {}, {}}, Load{{}, QSize(1920, 1080), {}},
                             Load{{}, QSize(5, 3), {}}, Load{{}, {}, QSize(7, 5)}}) {
        try {
            const forms::Picture picture = load.screen.isValid()
                                               ? forms::LoadPictureFitted(g_path, load.screen)
                                               : forms::LoadPicture(g_path, load.fit, load.view);
            if (picture.isNull()) continue;
            // The picture held must lie within the picture, and its pixels must be readable.
            const QRect whole(QPoint(0, 0), picture.size());
            if (!whole.contains(picture.held()) || picture.image().isNull()) std::abort();
            if (load.screen.isValid() && (picture.size().width() > load.screen.width() ||
                                          picture.size().height() > load.screen.height()))
                std::abort();
            volatile QRgb corner =
                picture.image().pixel(picture.image().width() - 1, picture.image().height() - 1);
            (void)corner;
        } catch (const forms::Error&) {
            // Refused: what a bad file should get.
        } catch (const std::exception& e) {
            std::fprintf(stderr, "foreign exception: %s\n", e.what());
            std::abort();
        }
    }
    return 0;
}
