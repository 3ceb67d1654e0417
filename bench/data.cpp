// The benchmark's own data: photo-like pictures in the three formats, a directory of 100,000
// files, and screen configurations for the offscreen platform.
#include <fcntl.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

extern "C" {
#include <jpeglib.h>
}

#include "bench.h"
#include "testdata/gif.h"

namespace bench {

namespace {

// Paints a picture one row at a time: two smooth gradients crossing, discs and rectangles of
// other colours with hard edges (some with a fine stripe texture), and sensor-like noise.
class PhotoPainter {
public:
    PhotoPainter(QSize size, unsigned seed) : width_(size.width()), height_(size.height()) {
        rng_ = seed * 2654435761u + 1;
        const double pi = 3.14159265358979;
        a1_ = 2 * pi * 1.3 / width_;
        b1_ = 2 * pi * 0.8 / height_;
        a2_ = 2 * pi * 0.6 / width_;
        b2_ = 2 * pi * 2.1 / height_;
        for (const double a : {a1_, a2_}) {
            std::vector<float> s(width_), c(width_);
            for (int x = 0; x < width_; ++x) {
                s[x] = float(std::sin(a * x));
                c[x] = float(std::cos(a * x));
            }
            sines_.push_back(std::move(s));
            cosines_.push_back(std::move(c));
        }
        const int small = std::min(width_, height_);
        for (int i = 0; i < 18; ++i) {
            Shape s;
            s.disc = next() % 2;
            s.cx = float(next() % unsigned(width_));
            s.cy = float(next() % unsigned(height_));
            s.r = float(small) * (0.03f + float(next() % 100) / 800.0f);
            s.h = s.r * (0.5f + float(next() % 100) / 100.0f);
            s.dr = int(next() % 121) - 60;
            s.dg = int(next() % 121) - 60;
            s.db = int(next() % 121) - 60;
            s.striped = next() % 3 == 0;
            shapes_.push_back(s);
        }
    }

    // Fills one row, three bytes a pixel in the order given (red first, or blue first).
    void row(int y, unsigned char* out, bool bgr) {
        const float s1 = float(std::sin(b1_ * y)), c1 = float(std::cos(b1_ * y));
        const float s2 = float(std::sin(-b2_ * y)), c2 = float(std::cos(-b2_ * y));
        std::vector<int>& r = r_;
        std::vector<int>& g = g_;
        std::vector<int>& b = b_;
        r.resize(width_);
        g.resize(width_);
        b.resize(width_);
        for (int x = 0; x < width_; ++x) {
            const float u = sines_[0][x] * c1 + cosines_[0][x] * s1;  // sin(a1 x + b1 y)
            const float v = cosines_[1][x] * c2 - sines_[1][x] * s2;  // cos(a2 x - b2 y)
            r[x] = int(128 + 70 * u + 30 * v);
            g[x] = int(118 + 40 * u - 50 * v);
            b[x] = int(105 - 55 * u + 35 * v);
        }
        for (const Shape& s : shapes_) {
            const float dy = float(y) - s.cy;
            float half;
            if (s.disc) {
                if (std::abs(dy) >= s.r) continue;
                half = std::sqrt(s.r * s.r - dy * dy);
            } else {
                if (std::abs(dy) >= s.h) continue;
                half = s.r;
            }
            const int x0 = std::max(0, int(s.cx - half)), x1 = std::min(width_, int(s.cx + half));
            for (int x = x0; x < x1; ++x) {
                const int k = s.striped && ((x + y) / 5) % 2 ? 2 : 3;
                r[x] += s.dr * k / 3;
                g[x] += s.dg * k / 3;
                b[x] += s.db * k / 3;
            }
        }
        // Fine detail as in foliage or fabric (mostly in brightness), then colour noise.
        for (int x = 0; x < width_; ++x) {
            const unsigned n = next();
            const int grain = int(n & 31) - 16;
            const int red = clamp(r[x] + grain + int((n >> 5) & 7) - 4);
            const int green = clamp(g[x] + grain + int((n >> 8) & 7) - 4);
            const int blue = clamp(b[x] + grain + int((n >> 11) & 7) - 4);
            out[3 * x] = (unsigned char)(bgr ? blue : red);
            out[3 * x + 1] = (unsigned char)green;
            out[3 * x + 2] = (unsigned char)(bgr ? red : blue);
        }
    }

private:
    struct Shape {
        bool disc, striped;
        float cx, cy, r, h;
        int dr, dg, db;
    };
    static int clamp(int v) { return v < 0 ? 0 : v > 255 ? 255 : v; }
    unsigned next() {
        rng_ ^= rng_ << 13;
        rng_ ^= rng_ >> 17;
        rng_ ^= rng_ << 5;
        return rng_;
    }

    int width_, height_;
    unsigned rng_;
    double a1_, b1_, a2_, b2_;
    std::vector<std::vector<float>> sines_, cosines_;
    std::vector<Shape> shapes_;
    std::vector<int> r_, g_, b_;
};

void say(const QString& what) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(what));
    std::fflush(stderr);
}

void writeBmp(const QString& path, QSize size, unsigned seed) {
    PhotoPainter painter(size, seed);
    const int stride = (size.width() * 3 + 3) & ~3;
    const quint32 bytes = quint32(stride) * quint32(size.height());
    QByteArray header(54, '\0');
    auto put32 = [&](int at, quint32 v) {
        for (int i = 0; i < 4; ++i) header[at + i] = char((v >> (8 * i)) & 0xFF);
    };
    header[0] = 'B';
    header[1] = 'M';
    put32(2, 54 + bytes);
    put32(10, 54);
    put32(14, 40);
    put32(18, quint32(size.width()));
    put32(22, quint32(size.height()));
    header[26] = 1;
    header[28] = 24;
    put32(34, bytes);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    file.write(header);
    std::vector<unsigned char> row(size_t(stride), 0);
    for (int y = size.height() - 1; y >= 0; --y) {  // bottom-up
        painter.row(y, row.data(), true);
        file.write(reinterpret_cast<const char*>(row.data()), stride);
    }
}

// A GIF of the photo reduced to a 6x7x6 colour cube.
void writeGif(const QString& path, QSize size, unsigned seed) {
    QList<QRgb> cube;
    for (int i = 0; i < 252; ++i) cube << qRgb(i / 42 * 51, (i / 6) % 7 * 42, i % 6 * 51);
    PhotoPainter painter(size, seed);
    std::vector<unsigned char> rgb(size_t(size.width()) * 3);
    const auto reduced = [&](int y, unsigned char* row) {
        painter.row(y, rgb.data(), false);
        for (int x = 0; x < size.width(); ++x)
            row[x] = (rgb[3 * x] * 6 / 256) * 42 + (rgb[3 * x + 1] * 7 / 256) * 6 +
                     rgb[3 * x + 2] * 6 / 256;
    };
    const QByteArray out = testdata::Gif(size, cube, {{QRect(QPoint(), size), reduced}});
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size())
        qFatal("cannot write %s", qPrintable(path));
}

// 100,000 empty files: a third end in ".jpg" in mixed case, the rest in other extensions
// (".jpeg" and ".jpg.bak" among them, which "*.jpg" must not list).
void makeManyFiles(const QString& dir) {
    QDir().mkpath(dir);
    const char* stems[] = {"IMG_", "img_", "DSC", "Photo ", "scan-", "Ürlaub_"};
    const char* matching[] = {"jpg", "JPG", "Jpg", "jpG"};
    const char* other[] = {"png", "jpeg", "txt", "jpg.bak", "bmp", "JPGX"};
    for (int i = 0; i < 100000; ++i) {
        const int number = int((qint64(i) * 7919) % 100000);
        const char* ext = i % 3 == 0 ? matching[(i / 3) % 4] : other[i % 6];
        char name[64];
        std::snprintf(name, sizeof name, "%s%05d.%s", stems[(i / 7) % 6], number, ext);
        const QByteArray full = QFile::encodeName(dir) + '/' + name;
        const int fd = ::open(full.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (fd < 0) qFatal("cannot create %s", full.constData());
        ::close(fd);
    }
}

void writeScreen(const QString& path, QSize size) {
    const QJsonObject screen{{"name", "bench"},
                             {"x", 0},
                             {"y", 0},
                             {"width", size.width()},
                             {"height", size.height()},
                             {"logicalDpi", 96},
                             {"logicalBaseDpi", 96},
                             {"dpr", 1.0}};
    const QJsonObject config{{"screens", QJsonArray{screen}}, {"windowFrameMargins", false}};
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", qPrintable(path));
    file.write(QJsonDocument(config).toJson());
}

}  // namespace

void WritePhotoJpeg(const QString& path, QSize size, bool subsampled, int quality, unsigned seed,
                    bool progressive) {
    PhotoPainter painter(size, seed);
    FILE* out = std::fopen(QFile::encodeName(path).constData(), "wb");
    if (!out) qFatal("cannot write %s", qPrintable(path));
    jpeg_compress_struct info{};
    jpeg_error_mgr errors{};
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    jpeg_stdio_dest(&info, out);
    info.image_width = JDIMENSION(size.width());
    info.image_height = JDIMENSION(size.height());
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    info.comp_info[0].h_samp_factor = subsampled ? 2 : 1;
    info.comp_info[0].v_samp_factor = subsampled ? 2 : 1;
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    std::vector<unsigned char> row(size_t(size.width()) * 3);
    while (info.next_scanline < info.image_height) {
        painter.row(int(info.next_scanline), row.data(), false);
        JSAMPROW line = row.data();
        jpeg_write_scanlines(&info, &line, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::fclose(out);
}

void MakeData(const DataSet& data) {
    QDir().mkpath(data.dir);
    writeScreen(data.path("screen-1920x1080.json"), {1920, 1080});
    writeScreen(data.path("screen-3840x2160.json"), {3840, 2160});
    struct Jpeg {
        const char* name;
        QSize size;
        bool subsampled;
    };
    const Jpeg jpegs[] = {
        {"p24-420.jpg", {6000, 4000}, true}, {"p24-444.jpg", {6000, 4000}, false},
        {"p48-420.jpg", {8000, 6000}, true}, {"p48-444.jpg", {8000, 6000}, false},
        {"p06-420.jpg", {3000, 2000}, true}, {"p24-portrait.jpg", {4000, 6000}, true},
        {"p36-420.jpg", {7360, 4912}, true},
    };
    unsigned seed = 1;
    for (const Jpeg& j : jpegs) {
        say(QStringLiteral("writing %1").arg(QLatin1String(j.name)));
        WritePhotoJpeg(data.path(QLatin1String(j.name)), j.size, j.subsampled, 92, seed++);
    }
    say(QStringLiteral("writing p24.bmp"));
    writeBmp(data.path("p24.bmp"), {6000, 4000}, seed++);
    say(QStringLiteral("writing p12.gif"));
    writeGif(data.path("p12.gif"), {4000, 3000}, seed++);
    say(QStringLiteral("creating 100,000 files"));
    makeManyFiles(data.path("many"));
    // A small directory to step away to, and the start-up directory.
    for (const char* dir : {"few", "start", "start/sub1", "start/sub2"})
        QDir().mkpath(data.path(dir));
    for (const char* name : {"few/a.jpg", "few/b.JPG", "few/c.png", "start/one.jpg",
                             "start/two.jpg", "start/three.bmp"}) {
        QFile file(data.path(QLatin1String(name)));
        if (!file.open(QIODevice::WriteOnly)) qFatal("cannot write %s", name);
    }
}

}  // namespace bench
