// Baselines: the same work done with the libraries directly, as little code as it takes.
#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>

#include <QFile>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>

extern "C" {
#include <jpeglib.h>
}

#include "bench.h"

namespace bench {

namespace {

// The picture decoded last: released only once the next one has been decoded, as a window
// that shows one picture after another holds the old one until the new one is there.
std::unique_ptr<unsigned char[]> g_shown;

struct Jpeg {
    explicit Jpeg(const QString& path) {
        file = std::fopen(QFile::encodeName(path).constData(), "rb");
        if (!file) qFatal("cannot open %s", qPrintable(path));
        info.err = jpeg_std_error(&errors);
        jpeg_create_decompress(&info);
        jpeg_stdio_src(&info, file);
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_EXT_BGRX;
    }
    ~Jpeg() {
        jpeg_destroy_decompress(&info);
        std::fclose(file);
    }
    // Reads `rows` rows into a new buffer.
    std::unique_ptr<unsigned char[]> read(JDIMENSION rows) {
        const size_t stride = size_t(info.output_width) * 4;
        std::unique_ptr<unsigned char[]> pixels(new unsigned char[stride * rows]);
        JSAMPROW lines[16];
        JDIMENSION done = 0;
        while (done < rows) {
            const JDIMENSION n = std::min<JDIMENSION>(16, rows - done);
            for (JDIMENSION i = 0; i < n; ++i) lines[i] = pixels.get() + stride * (done + i);
            done += jpeg_read_scanlines(&info, lines, n);
        }
        return pixels;
    }
    FILE* file;
    jpeg_decompress_struct info{};
    jpeg_error_mgr errors{};
};

}  // namespace

void DecodeJpegScaled(const QString& path, int denom) {
    Jpeg jpeg(path);
    jpeg.info.scale_num = 1;
    jpeg.info.scale_denom = unsigned(denom);
    jpeg_start_decompress(&jpeg.info);
    auto pixels = jpeg.read(jpeg.info.output_height);
    jpeg_finish_decompress(&jpeg.info);
}

void DecodeJpegWhole(const QString& path) {
    Jpeg jpeg(path);
    jpeg_start_decompress(&jpeg.info);
    auto pixels = jpeg.read(jpeg.info.output_height);
    jpeg_finish_decompress(&jpeg.info);
    g_shown = std::move(pixels);
}

void DecodeJpegCentre(const QString& path, QSize view) {
    Jpeg jpeg(path);
    jpeg_start_decompress(&jpeg.info);
    const JDIMENSION width = jpeg.info.output_width, height = jpeg.info.output_height;
    JDIMENSION x = width > JDIMENSION(view.width()) ? (width - JDIMENSION(view.width())) / 2 : 0;
    JDIMENSION w = std::min(width, JDIMENSION(view.width()));
    const JDIMENSION rows = std::min(height, JDIMENSION(view.height()));
    if (w < width) jpeg_crop_scanline(&jpeg.info, &x, &w);
    if (rows < height) jpeg_skip_scanlines(&jpeg.info, (height - rows) / 2);
    auto pixels = jpeg.read(rows);
    jpeg_abort_decompress(&jpeg.info);
    g_shown = std::move(pixels);
}

std::vector<std::string> ListMatching(const QString& dir, const char* suffix) {
    const QByteArray native = QFile::encodeName(dir);
    DIR* d = ::opendir(native.constData());
    if (!d) qFatal("cannot list %s", native.constData());
    const size_t n = std::strlen(suffix);
    std::vector<std::string> names;
    while (const dirent* e = ::readdir(d)) {
        if (e->d_name[0] == '.' || e->d_type != DT_REG) continue;
        const size_t len = std::strlen(e->d_name);
        if (len >= n && ::strcasecmp(e->d_name + len - n, suffix) == 0)
            names.emplace_back(e->d_name);
    }
    ::closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = ::strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

}  // namespace bench
