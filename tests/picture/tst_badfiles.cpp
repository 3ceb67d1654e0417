// Damaged, hostile and unusual files fed to the picture loader and to the two places where a
// user meets them: the preview of the main window and the slide show. Each must load or be
// refused with the runtime's error, quickly and without taking much memory; the preview then
// stays empty and the show names the file and goes on.
//
// Besides the files made here, a corpus of others' test images is read from the folder named
// by VARNEL_CORPUS (scripts/corpus.sh fetches it).
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QFile>
#include <QImageWriter>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QTest>
#include <algorithm>
#include <functional>

#include "core/forms.h"
#include "core/module1.h"
#include "forms/filecontrols.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "picture/picture.h"
#include "slideshow/imv.h"
#include "support/testsupport.h"
#include "testdata/formats_heif_jxl.h"
#include "testdata/gif.h"

namespace {

// A file that takes longer than this is taken for a hang; the sanitizers' checks of every
// access make the decoders several times slower.
constexpr qint64 kCeilingMs = MEMORY_MEASURED ? 5000 : 20000;
// The most memory the whole run may have held at once.
constexpr qint64 kMaxPeakKb = 300 * 1024;

// --- memory ---

qint64 statusKb(const char* field) {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    const QByteArray key = QByteArray(field) + ':';
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').at(0).toLongLong();
    return -1;
}

// The highest resident size seen so far. The kernel's own peak (VmHWM) can be put back to the
// current size so that one file's peak can be measured; the highest of all is kept here.
class Peak {
public:
    qint64 overall() { return std::max(highest_, statusKb("VmHWM")); }
    // Starts a new measurement; false when the kernel does not allow it.
    bool reset() {
        highest_ = overall();
        QFile refs(QStringLiteral("/proc/self/clear_refs"));
        return refs.open(QIODevice::WriteOnly) && refs.write("5") == 1;
    }
    qint64 sinceReset() { return statusKb("VmHWM"); }
    // Leaves the peak since the last reset out of the overall one.
    void discard() {
        const qint64 keep = highest_;
        reset();
        highest_ = keep;
    }

private:
    qint64 highest_ = 0;
};

Peak g_peak;

// The bytes this process has read from files so far.
qint64 bytesRead() {
    QFile io(QStringLiteral("/proc/self/io"));
    if (!io.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith("rchar:")) return line.mid(6).trimmed().toLongLong();
    return -1;
}

// --- files made here ---

void put16be(QByteArray& out, int v) {
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}
void put16le(QByteArray& out, int v) {
    out.append(char(v & 0xFF));
    out.append(char((v >> 8) & 0xFF));
}
void put32le(QByteArray& out, qint64 v) {
    put16le(out, int(v & 0xFFFF));
    put16le(out, int((v >> 16) & 0xFFFF));
}

// A grey TIFF that declares `size` in strips of `rows` rows, and holds sixteen bytes of it.
QByteArray tiffDeclaring(QSize size, qint64 rows) {
    QByteArray out("II*\0\x08\0\0\0\x07\0", 10);
    const qint64 strips = (size.height() + rows - 1) / rows;
    const qint64 entries[7][3] = {
        {256, 4, size.width()}, {257, 4, size.height()}, {258, 3, 8}, {262, 3, 1},
        {273, 4, 94},           {278, 4, rows},          {279, 4, 16}};
    for (const auto& [tag, type, value] : entries) {
        put16le(out, int(tag));
        put16le(out, int(type));
        put32le(out, tag == 273 || tag == 279 ? strips : 1);  // offsets beyond the file
        put32le(out, strips > 1 && (tag == 273 || tag == 279) ? 1 << 30 : value);
    }
    return out + QByteArray(4 + 16, '\x40');
}

QByteArray segment(uchar marker, const QByteArray& body) {
    QByteArray out;
    out.append(char(0xFF));
    out.append(char(marker));
    put16be(out, int(body.size()) + 2);
    return out + body;
}

enum class Scans { Baseline, ProgressiveDc };

// A JPEG put together segment by segment: grey (one component) or CMYK (four), a flat
// quantisation table and Huffman tables of a single one-bit code, so that every zero bit of
// the data is a whole block. `scans` scans of `bytesPerScan` zero bytes each follow the
// header; each scan covers every component.
QByteArray handJpeg(QSize size, Scans kind, int scans, int bytesPerScan, int components = 1) {
    QByteArray out("\xFF\xD8");
    out += segment(0xDB, QByteArray(1, '\0') + QByteArray(64, '\1'));
    QByteArray sof(1, char(8));
    put16be(sof, size.height());
    put16be(sof, size.width());
    sof.append(char(components));
    QByteArray sos(1, char(components));
    for (int c = 1; c <= components; ++c) {
        sof += QByteArray(1, char(c)) + QByteArray("\x11\x00", 2);
        sos += QByteArray(1, char(c)) + QByteArray(1, '\0');
    }
    out += segment(kind == Scans::Baseline ? 0xC0 : 0xC2, sof);
    QByteArray counts(16, '\0');
    counts[0] = 1;
    out += segment(0xC4, QByteArray(1, '\x00') + counts + QByteArray(1, '\0') +
                             QByteArray(1, '\x10') + counts + QByteArray(1, '\0'));
    // Baseline: the whole band of coefficients; progressive: first scans of the DC alone.
    sos += kind == Scans::Baseline ? QByteArray("\x00\x3F\x00", 3) : QByteArray(3, '\0');
    for (int i = 0; i < scans; ++i) out += segment(0xDA, sos) + QByteArray(bytesPerScan, '\0');
    return out + "\xFF\xD9";
}

QByteArray bmp(QSize size, int bitsPerPixel, qint64 declaredHeight, const QByteArray& pixels) {
    QByteArray out("BM");
    put32le(out, 54 + pixels.size());
    put32le(out, 0);
    put32le(out, 54);
    put32le(out, 40);
    put32le(out, size.width());
    put32le(out, declaredHeight);
    put16le(out, 1);
    put16le(out, bitsPerPixel);
    put32le(out, 0);  // uncompressed
    put32le(out, pixels.size());
    put32le(out, 2835);
    put32le(out, 2835);
    put32le(out, 0);
    put32le(out, 0);
    return out + pixels;
}

// LZW codes packed the way GIF packs them: least significant bit first.
class GifCodes {
public:
    void add(int code, int width) {
        bits_ |= quint64(code) << count_;
        count_ += width;
        while (count_ >= 8) {
            data_.append(char(bits_ & 0xFF));
            bits_ >>= 8;
            count_ -= 8;
        }
    }
    QByteArray blocks() const {
        QByteArray data = data_;
        if (count_ > 0) data.append(char(bits_ & 0xFF));
        QByteArray out;
        for (int at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            out.append(char(block.size()));
            out.append(block);
        }
        return out + QByteArray(1, '\0');
    }

private:
    QByteArray data_;
    quint64 bits_ = 0;
    int count_ = 0;
};

QByteArray gif(QSize screen, QSize image, int minCodeSize, const GifCodes& codes) {
    QByteArray out("GIF89a");
    put16le(out, screen.width());
    put16le(out, screen.height());
    out.append(char(0x80 | (minCodeSize - 1)));
    out.append(char(0));
    out.append(char(0));
    for (int i = 0; i < (1 << minCodeSize); ++i) out += QByteArray(3, char(i * 37));
    out.append(',');
    put16le(out, 0);
    put16le(out, 0);
    put16le(out, image.width());
    put16le(out, image.height());
    out.append(char(0));
    out.append(char(minCodeSize));
    return out + codes.blocks() + ';';
}

// Codes as an encoder that never sends a clear code would give them, its code width growing
// with the table; past 4096 entries the table is full and the width stays at 12 bits.
GifCodes gifWithoutClear(int minCodeSize, int count, const std::function<int(int next)>& code) {
    GifCodes codes;
    const int clear = 1 << minCodeSize;
    int width = minCodeSize + 1;
    codes.add(clear, width);
    int next = clear + 2;
    for (int i = 0; i < count; ++i) {
        codes.add(code(next) & ((1 << width) - 1), width);
        if (i == 0) continue;  // the first code after a clear adds no entry
        if (next < 4096) ++next;
        if (next == (1 << width) && width < 12) ++width;
    }
    codes.add(clear + 1, width);
    return codes;
}

QByteArray gifDeclaring(QSize size) {
    GifCodes codes;
    codes.add(4, 3);
    codes.add(0, 3);
    codes.add(5, 3);
    return gif(size, size, 2, codes);
}

QByteArray tiff() {
    QByteArray out("II*\0", 4);
    put32le(out, 8);
    const int entries = 8;
    put16le(out, entries);
    const int pixelAt = 8 + 2 + entries * 12 + 4;
    auto entry = [&](int tag, int type, qint64 value) {
        put16le(out, tag);
        put16le(out, type);
        put32le(out, 1);
        put32le(out, value);
    };
    entry(256, 3, 1);  // width
    entry(257, 3, 1);  // height
    entry(258, 3, 8);  // bits per sample
    entry(259, 3, 1);  // no compression
    entry(262, 3, 1);  // black is zero
    entry(273, 4, pixelAt);
    entry(278, 3, 1);
    entry(279, 4, 1);
    put32le(out, 0);
    return out + QByteArray(1, '\x80');
}

QImage pattern(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    QRandomGenerator noise(7);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb(x * 4, y * 4, int(noise.bounded(256))));
    return image;
}

QByteArray encoded(const QImage& image, const char* format, bool progressive = false) {
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    writer.setQuality(90);
    writer.setProgressiveScanWrite(progressive);
    if (!writer.write(image)) qFatal("cannot encode %s", format);
    return buffer.data();
}

QByteArray readAll(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) qFatal("cannot read %s", qPrintable(path));
    return f.readAll();
}

enum class Expect { Either, Loaded, Refused };

// A file made to hurt a decoder.
struct Hostile {
    Hostile() = default;
    Hostile(QString n, QByteArray b, bool limit = false)
        : name(std::move(n)), bytes(std::move(b)), atLimit(limit) {}
    Hostile(QString n, QByteArray b, Expect e, QSize s = {}, qint64 sparse = 0)
        : name(std::move(n)), bytes(std::move(b)), expect(e), size(s), sparseSize(sparse) {}
    QString name;
    QByteArray bytes;
    // A picture of the largest size held, that takes its full memory: not bound to the
    // memory limit of bad files; measured only when VARNEL_HEAVY is set.
    bool atLimit = false;
    Expect expect = Expect::Either;
    QSize size;             // the picture's size when it loads, if checked
    qint64 sparseSize = 0;  // the file is made this long with a hole after its bytes
};

// The same pixels as a 48x40 BMP of `bits` (8, 24 or 32) stored from the top down.
QByteArray topDownBmp(int bits) {
    const QSize size(48, 40);
    const int stride = (size.width() * bits + 31) / 32 * 4;
    QByteArray palette;
    if (bits == 8)
        for (int i = 0; i < 256; ++i) put32le(palette, qint64(i) * 0x010101);
    QByteArray pixels;
    for (int y = 0; y < size.height(); ++y) {
        QByteArray row(stride, '\0');
        for (int x = 0; x < size.width(); ++x)
            for (int b = 0; b < bits / 8; ++b) row[x * bits / 8 + b] = char(y < 20 ? 250 : 5);
        pixels += row;
    }
    QByteArray out = bmp(size, bits, -size.height(), palette + pixels);
    const qint64 offset = 54 + palette.size();
    for (int i = 0; i < 4; ++i) out[10 + i] = char((offset >> (8 * i)) & 0xFF);
    return out;
}

// A solid GIF whose logical screen is `screen`, with its one frame of `frame` at `at`.
QByteArray gifOnScreen(QSize screen, QSize frame, QPoint at) {
    const auto blue = [width = frame.width()](int, unsigned char* row) {
        std::fill(row, row + width, 1);
    };
    return testdata::Gif(screen, {qRgb(0, 0, 0), qRgb(0, 0, 255)}, {{QRect(at, frame), blue}});
}

// --- outcomes ---

struct Outcome {
    bool loaded = false;
    int error = 0;    // the runtime's error number when refused
    QString foreign;  // an exception other than the runtime's error
    qint64 ms = 0;
};

Outcome load(const QString& path, QSize fit = {}) {
    Outcome o;
    QElapsedTimer clock;
    clock.start();
    try {
        o.loaded = !forms::LoadPicture(path, fit).isNull();
    } catch (const forms::Error& e) {
        o.error = e.Number();
    } catch (const std::exception& e) {
        o.foreign = QString::fromUtf8(e.what());
    } catch (...) {
        o.foreign = QStringLiteral("unknown exception");
    }
    o.ms = clock.elapsed();
    return o;
}

// The slowest file of a group.
struct Worst {
    qint64 ms = -1;
    QString file;
    void note(qint64 t, const QString& path) {
        if (t > ms) {
            ms = t;
            file = QFileInfo(path).fileName();
        }
    }
};

QStringList filesIn(const QString& dir) {
    QStringList out;
    QDirIterator it(dir, QDir::Files | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) out << it.next();
    out.sort();
    return out;
}

}  // namespace

Q_DECLARE_METATYPE(Hostile)

class BadFilesTest : public QObject {
    Q_OBJECT

    QTemporaryDir tmp_;
    QString made_;   // the files made here, all in one folder
    QString aside_;  // hostile files kept out of the user's paths
    QList<Hostile> hostile_;
    QString corpus_;  // empty without a corpus

    void write(const QString& name, const QByteArray& content) {
        testing::WriteFile(made_ + QLatin1Char('/') + name, content);
    }

    // The folder of a group of files, or a skip.
    QString folder(const QString& group) {
        if (group == QLatin1String("made")) return made_;
        return corpus_;
    }

    QString where(const Hostile& h) const { return !h.atLimit ? made_ : aside_; }

    void makeFiles() {
        const QImage picture = pattern({48, 40});
        const QList<std::pair<QString, QByteArray>> valid{
            {"baseline.jpg", encoded(picture, "jpeg")},
            {"progressive.jpg", encoded(picture, "jpeg", true)},
            {"picture.bmp", encoded(picture, "bmp")},
            {"picture.gif",
             readAll(testing::MakePicture(tmp_.path(), "solid.gif", {48, 40}, Qt::red))},
            {"picture.png", encoded(picture, "png")},
            {"picture.tiff", testing::Converted(picture, "p.tiff", "-compress zip")},
            {"picture.webp", testing::Converted(picture, "p.webp")},
            {"picture.heic", testdata::EncodeHeif(picture, false)},
            {"picture.avif", testdata::EncodeHeif(picture, true)},
            {"picture.jxl", testdata::EncodeJxl(picture, false)},
        };
        for (const auto& [name, bytes] : valid) {
            write(name, bytes);
            // Cut short: every byte through the headers, then every few bytes.
            const int step = std::max(1, int(bytes.size() / 40));
            for (int n = 0; n < bytes.size(); n += n < 64 ? 3 : step)
                write(QStringLiteral("cut%1-%2").arg(n, 5, 10, QLatin1Char('0')).arg(name),
                      bytes.left(n));
            // A few bits turned over, at random places (the same each run).
            QRandomGenerator random(quint32(qHash(name)));
            for (int i = 0; i < 30; ++i) {
                QByteArray flipped = bytes;
                const int flips = 1 + int(random.bounded(8));
                for (int k = 0; k < flips; ++k) {
                    // Half of them in the first 200 bytes, where the headers are.
                    const int limit =
                        i % 2 ? int(flipped.size()) : std::min(200, int(flipped.size()));
                    const int at = int(random.bounded(limit));
                    flipped[at] = char(flipped[at] ^ (1 << random.bounded(8)));
                }
                write(QStringLiteral("flip%1-%2").arg(i, 2, 10, QLatin1Char('0')).arg(name),
                      flipped);
            }
        }
        for (const char* ext : {"jpg", "bmp", "gif"}) write(QStringLiteral("empty.") + ext, {});
        write("text.jpg", "This is not a picture.\n");
        write("tiff.jpg", tiff());
        write("png.jpg", encoded(picture, "png"));
        write("jpeg-magic-then-text.jpg", "\xFF\xD8\xFF and then text");
        write("bmp-magic-then-text.bmp", "BM and then text");
        write("gif-magic-then-text.gif", "GIF89a and then text");
        for (const Hostile& h : hostile_) {
            const QString path = where(h) + QLatin1Char('/') + h.name;
            testing::WriteFile(path, h.bytes);
            if (h.sparseSize > 0 && !QFile::resize(path, h.sparseSize))
                qFatal("cannot make %s sparse", qPrintable(path));
        }
    }

    static QList<Hostile> hostileFiles() {
        QList<Hostile> out;
        for (int side : {60000, 65535}) {
            const QSize size(side, side);
            const QString n = QString::number(side);
            out.push_back({"declares-" + n + ".jpg", handJpeg(size, Scans::Baseline, 1, 64)});
            out.push_back({"declares-" + n + "-progressive.jpg",
                           handJpeg(size, Scans::ProgressiveDc, 1, 64)});
            out.push_back({"declares-" + n + ".bmp", bmp(size, 24, side, QByteArray(64, '\x40'))});
            out.push_back({"declares-" + n + ".gif", gifDeclaring(size)});
            out.push_back({"declares-" + n + ".tiff", tiffDeclaring(size, side)});
        }
        // Within the pixel limit, but one stored row is a gigabyte.
        out.push_back(
            {"declares-268435456x1.bmp", bmp({268435456, 1}, 32, 1, QByteArray(64, '\x40'))});
        out.push_back({"declares-bottom-up-minimum.bmp",
                       bmp({16, 16}, 24, -2147483647LL - 1, QByteArray(64, '\x40'))});
        out.push_back({"gif-codes-beyond-table.gif",
                       gif({16, 16}, {16, 16}, 2,
                           gifWithoutClear(2, 3000, [](int next) { return next + 1; }))});
        out.push_back(
            {"gif-table-full-no-clear.gif",
             gif({100, 100}, {100, 100}, 8, gifWithoutClear(8, 8000, [](int) { return 0; }))});
        out.push_back({"gif-strings-longer-than-picture.gif",
                       gif({16, 16}, {16, 16}, 2, gifWithoutClear(2, 4000, [](int next) {
                               return next;  // the code being defined: each string grows by one
                           }))});
        out.push_back(
            {"gif-image-beyond-screen.gif",
             gif({16, 16}, {65535, 2}, 2, gifWithoutClear(2, 40, [](int) { return 1; }))});
        // Every scan of a progressive JPEG passes over all its blocks: many scans of a large
        // picture keep the decoder busy for long, from a file of a few hundred kilobytes: the
        // decoder refuses them at once.
        out.push_back({"progressive-20000-scans.jpg",
                       handJpeg({64, 64}, Scans::ProgressiveDc, 20000, 1), Expect::Refused});
        out.push_back({"progressive-20000-scans-1024.jpg",
                       handJpeg({1024, 1024}, Scans::ProgressiveDc, 20000, 1), Expect::Refused});
        out.push_back({"progressive-cmyk-20000-scans-1536.jpg",
                       handJpeg({1536, 1536}, Scans::ProgressiveDc, 20000, 1, 4), Expect::Refused});
        out.push_back({"progressive-20000-scans-2048.jpg",
                       handJpeg({2048, 2048}, Scans::ProgressiveDc, 20000, 1), Expect::Refused});
        out.push_back(
            {"declares-60000.png", QByteArray("\x89PNG\r\n\x1A\n\0\0\0\x0DIHDR\0\0\xEA\x60\0\0\xEA"
                                              "\x60\x08\x02\0\0\0\x0F\xB0\xE2\x15",
                                              33)});
        // The largest lossless WebP, its header and nothing more.
        out.push_back({"declares-16384.webp", QByteArray("RIFF\x1A\0\0\0WEBPVP8L\x0E\0\0\0\x2F\xFF"
                                                         "\xFF\xFF\x0F",
                                                         25) +
                                                  QByteArray(9, 0)});
        // A million strips of one row each, all but the first missing.
        out.push_back({"tiff-million-strips.tiff", tiffDeclaring({16, 1000000}, 1)});
        // Top-down BMPs, as other programs write them.
        for (int bits : {8, 24, 32})
            out.push_back({QStringLiteral("top-down-%1.bmp").arg(bits), topDownBmp(bits),
                           Expect::Loaded, QSize(48, 40)});
        // The picture is the frame the file holds, not the screen its header announces.
        out.push_back({"gif-frame-amid-large-screen.gif",
                       gifOnScreen({3000, 2400}, {200, 150}, {1400, 1125}), Expect::Loaded,
                       QSize(200, 150)});
        out.push_back({"gif-announces-huge-screen.gif",
                       gifOnScreen({65535, 4095}, {16, 16}, {0, 0}), Expect::Loaded,
                       QSize(16, 16)});
        // Data after the end of the picture, with marker bytes in it by chance.
        QByteArray trailing;
        for (int i = 0; i < 300; ++i) trailing += QByteArray("\xFF\xDA\x00\x08", 4);
        out.push_back({"cmyk-with-trailing-data.jpg",
                       handJpeg({64, 64}, Scans::Baseline, 1, 64, 4) + trailing, Expect::Loaded,
                       QSize(64, 64)});
        // 8 GiB files that cost no disk: a start, then nothing but zeros.
        const qint64 sparse = 8LL << 30;
        const QByteArray progressive = encoded(pattern({48, 40}), "jpeg", true);
        // The start marker and the first segment, then zeros where the next marker should be.
        out.push_back(
            {"sparse-jpeg-start-only.jpg", progressive.left(20), Expect::Refused, {}, sparse});
        out.push_back({"sparse-progressive-cut.jpg", progressive.left(progressive.size() / 2),
                       Expect::Loaded, QSize(48, 40), sparse});
        const QByteArray large = handJpeg({6000, 4000}, Scans::ProgressiveDc, 1, 0);
        out.push_back({"sparse-progressive-24mp-cut.jpg", large.left(large.size() - 2),
                       Expect::Loaded, QSize(6000, 4000), sparse});
        const QByteArray heic = testdata::EncodeHeif(pattern({48, 40}), false);
        out.push_back(
            {"sparse-heic-cut.heic", heic.left(heic.size() / 2), Expect::Either, {}, sparse});
        // A grid whose canvas (12288 x 10240) is far larger than the picture it makes.
        QByteArray grid = heic;
        grid.replace(grid.indexOf("idat") + 8, 4, "\x30\x00\x28\x00", 4);
        out.push_back({"heic-grid-canvas-larger.heic", grid, Expect::Refused});
        const QByteArray jxl = testdata::EncodeJxl(pattern({480, 400}), true);
        out.push_back({"sparse-jxl-cut.jxl", jxl.left(jxl.size() / 2), Expect::Either, {}, sparse});
        out.push_back({"sparse-header-only.bmp", bmp({4000, 3000}, 24, 3000, {}), Expect::Loaded,
                       QSize(4000, 3000), sparse});
        out.push_back({"sparse-header-only.gif",
                       gifDeclaring({4000, 3000}).left(30),
                       Expect::Refused,
                       {},
                       sparse});
        // A JPEG of more scans than any encoder writes is refused, however quickly it would
        // decode.
        out.push_back({"progressive-200-scans.jpg",
                       handJpeg({16, 16}, Scans::ProgressiveDc, 200, 1), Expect::Refused});
        if (qEnvironmentVariableIntValue("VARNEL_HEAVY")) {
            out.push_back({"progressive-20000-scans-4096.jpg",
                           handJpeg({4096, 4096}, Scans::ProgressiveDc, 20000, 1)});
            const QSize limit(16384, 16384);
            out.push_back({"at-limit.jpg", handJpeg(limit, Scans::Baseline, 1, 64), true});
            out.push_back(
                {"at-limit-progressive.jpg", handJpeg(limit, Scans::ProgressiveDc, 1, 64), true});
            out.push_back({"at-limit.bmp", bmp(limit, 24, 16384, QByteArray(64, '\x40')), true});
            out.push_back({"at-limit.gif", gifDeclaring(limit), true});
        }
        return out;
    }

private slots:
    void initTestCase() {
        testing::InitRuntime();
        QVERIFY(tmp_.isValid());
        made_ = QFileInfo(tmp_.path()).canonicalFilePath() + "/made";
        aside_ = QFileInfo(tmp_.path()).canonicalFilePath() + "/aside";
        QVERIFY(QDir().mkpath(made_) && QDir().mkpath(aside_));
        hostile_ = hostileFiles();
        makeFiles();
        const QString corpus = qEnvironmentVariable("VARNEL_CORPUS");
        if (!corpus.isEmpty()) {
            corpus_ = QDir(corpus + "/files").exists() ? corpus + "/files" : corpus;
            corpus_ = QFileInfo(corpus_).canonicalFilePath();
        }
        // The lists start where the files are: one drive, the root.
        forms::SetDriveSource([] { return QList<forms::DriveInfo>{{QStringLiteral("/"), {}}}; });
        main_f->Show();
        g_peak.reset();
    }
    void cleanupTestCase() {
        testing::UnloadAll();
        const qint64 peak = g_peak.overall();
        qInfo("peak memory of the run (VmHWM): %lld MB", peak / 1024);
        if (MEMORY_MEASURED)
            QVERIFY2(peak < kMaxPeakKb, qPrintable(QStringLiteral("%1 MB").arg(peak / 1024)));
    }

    // Every file of a group straight through the loader, whole and reduced as for the preview.
    void loader_data() {
        QTest::addColumn<QString>("group");
        QTest::newRow("made here") << "made";
        QTest::newRow("corpus") << "corpus";
    }
    void loader() {
        QFETCH(QString, group);
        const QString dir = folder(group);
        if (dir.isEmpty())
            QSKIP("no corpus: set VARNEL_CORPUS to a folder filled by scripts/corpus.sh");
        const QStringList files = filesIn(dir);
        QVERIFY(!files.isEmpty());
        int loaded = 0, refused = 0;
        Worst worst;
        for (const QString& path : files) {
            for (QSize fit : {QSize(), QSize(169, 193)}) {
                const Outcome o = load(path, fit);
                QVERIFY2(o.foreign.isEmpty(), qPrintable(path + ": " + o.foreign));
                QVERIFY2(o.ms < kCeilingMs,
                         qPrintable(QStringLiteral("%1: %2 ms").arg(path).arg(o.ms)));
                QVERIFY2(o.loaded || o.error != 0,
                         qPrintable(path + ": neither loaded nor refused"));
                worst.note(o.ms, path);
                if (fit.isEmpty()) ++(o.loaded ? loaded : refused);
            }
        }
        qInfo("%s: %lld files, %d loaded, %d refused; slowest %lld ms (%s)", qPrintable(group),
              qint64(files.size()), loaded, refused, worst.ms, qPrintable(worst.file));
    }

    // Headers that declare enormous pictures, and streams made to make a decoder work or
    // write without end: each is dealt with quickly and in little memory.
    void hostile_data() {
        QTest::addColumn<Hostile>("file");
        for (const Hostile& h : hostile_) QTest::newRow(qPrintable(h.name)) << h;
    }
    void hostile() {
        QFETCH(Hostile, file);
        const QString path = where(file) + QLatin1Char('/') + file.name;
        const bool measured = g_peak.reset();
        const qint64 readBefore = bytesRead();
        const Outcome o = load(path);
        const qint64 read = bytesRead() - readBefore;
        const qint64 peak = g_peak.sinceReset();
        testing::Settle();
        qInfo("%s (%lld bytes): %s in %lld ms, peak %lld MB", qPrintable(file.name),
              qint64(file.bytes.size()),
              o.loaded ? "loaded" : qPrintable(QStringLiteral("refused (%1)").arg(o.error)), o.ms,
              peak / 1024);
        // A picture at the size limit holds its memory by right, but not in the run's peak.
        if (file.atLimit) g_peak.discard();
        QVERIFY2(o.foreign.isEmpty(), qPrintable(o.foreign));
        QVERIFY(o.loaded || o.error != 0);
        if (MEMORY_MEASURED && measured && !file.atLimit)
            QVERIFY2(peak < kMaxPeakKb, qPrintable(QStringLiteral("%1 MB").arg(peak / 1024)));
        if (file.name.startsWith(QLatin1String("declares-")) || file.expect == Expect::Refused)
            QCOMPARE(o.error, forms::err::InvalidPicture);  // too large to hold, or no picture
        // A file far longer than its picture is read no further than the picture needs.
        if (file.sparseSize > 0 && readBefore >= 0)
            QVERIFY2(read < 256 << 20, qPrintable(QStringLiteral("%1 MB read").arg(read >> 20)));
        if (file.expect == Expect::Loaded) {
            QVERIFY2(o.loaded, qPrintable(QStringLiteral("refused (%1)").arg(o.error)));
            if (file.size.isValid()) {
                const QSize view(1920, 1080);
                const forms::Picture p = forms::LoadPicture(path, {}, view);
                QCOMPARE(p.size(), file.size);
                QVERIFY(p.image().width() <= view.width() + 40);
                QVERIFY(p.image().height() <= view.height() + 40);
            }
        }
        QVERIFY2(o.ms < kCeilingMs, qPrintable(QStringLiteral("%1 ms").arg(o.ms)));
    }

    // Each file clicked in the file list with the preview on: the path is selected and shown,
    // the preview shows the picture or stays empty, and nothing is asked of the user.
    void preview_data() { loader_data(); }
    void preview() {
        QFETCH(QString, group);
        const QString dir = folder(group);
        if (dir.isEmpty())
            QSKIP("no corpus: set VARNEL_CORPUS to a folder filled by scripts/corpus.sh");
        MainForm& f = *main_f;
        f.Dirbox.Path = dir;
        f.filebox.Pattern = QStringLiteral("*");
        QCOMPARE(f.filebox.ListCount(), int(QDir(dir).entryList(QDir::Files).size()));
        f.ckp.Value = 1;
        testing::MsgBoxes boxes;
        Worst worst;
        int shown = 0;
        for (int i = 0; i < f.filebox.ListCount(); ++i) {
            f.filebox.ListIndex = i;
            const QString path = dir + QLatin1Char('/') + f.filebox.List(i);
            QElapsedTimer clock;
            clock.start();
            f.filebox.Click();
            testing::SettlePreview();
            const qint64 ms = clock.elapsed();
            worst.note(ms, path);
            QVERIFY2(ms < kCeilingMs, qPrintable(QStringLiteral("%1: %2 ms").arg(path).arg(ms)));
            QCOMPARE(f.selPath, path);
            QCOMPARE(f.Text1.Text(), path);
            if (!f.imP1.Picture().isNull()) ++shown;
        }
        testing::Settle();
        QCOMPARE(boxes.texts, QStringList());
        f.ckp.Value = 0;
        qInfo("%s: %d files clicked, %d previewed; slowest %lld ms (%s)", qPrintable(group),
              f.filebox.ListCount(), shown, worst.ms, qPrintable(worst.file));
    }

    // Every file of a group in the play list: each tick shows the picture or names the file,
    // the show reaches its end, and the play list is as it was.
    void show_data() { loader_data(); }
    void show() {
        QFETCH(QString, group);
        const QString dir = folder(group);
        if (dir.isEmpty())
            QSKIP("no corpus: set VARNEL_CORPUS to a folder filled by scripts/corpus.sh");
        const QStringList files = filesIn(dir);
        main_f->List1.Clear();
        for (const QString& path : files) main_f->List1.AddItem(path);
        Module1::interval = 1;
        testing::MsgBoxes boxes;
        Worst worst;
        int pictures = 0, notices = 0;
        bool done = false;
        testing::WhileModal(
            [] { main_f->playS.Value = true; },
            [&] {
                SlideShowForm* f = imv.peek();
                if (!f) return;
                const auto finish = qScopeGuard([] {
                    if (SlideShowForm* left = imv.peek()) left->Unload();
                });
                for (const QString& path : files) {
                    QElapsedTimer clock;
                    clock.start();
                    testing::ShowTick(*f);
                    const qint64 ms = clock.elapsed();
                    worst.note(ms, path);
                    QVERIFY2(ms < kCeilingMs,
                             qPrintable(QStringLiteral("%1: %2 ms").arg(path).arg(ms)));
                    if (!f->Image1.Picture().isNull()) {
                        QVERIFY(!f->Label1.Visible());
                        ++pictures;
                    } else {
                        QVERIFY2(f->Label1.Visible() && f->Label1.Caption().contains(path),
                                 qPrintable(path));
                        ++notices;
                    }
                }
                QVERIFY(boxes.texts.isEmpty());
                testing::ShowTick(*f);
                done = !imv.peek();
            });
        testing::Settle();
        QVERIFY(done);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("終了しました。")});
        QCOMPARE(int(main_f->List1.ListCount()), int(files.size()));
        QCOMPARE(main_f->List1.List(0), files.first());
        main_f->List1.Clear();
        qInfo("%s: %d ticks, %d pictures shown, %d named as not shown; slowest %lld ms (%s)",
              qPrintable(group), int(files.size()), pictures, notices, worst.ms,
              qPrintable(worst.file));
    }

    // Files that are no regular files: never listed; put in the play list, or in place of a
    // listed file before its click, they are passed over at once.
    void specialFiles_data() {
        QTest::addColumn<QString>("kind");
        for (const char* k :
             {"fifo", "link to a fifo", "link to /dev/zero", "directory", "dangling link"})
            QTest::newRow(k) << k;
    }
    void specialFiles() {
        QFETCH(QString, kind);
        QTemporaryDir scratch;
        QVERIFY(scratch.isValid());
        const QString dir = QFileInfo(scratch.path()).canonicalFilePath();
        const QString special = dir + "/x.jpg";
        auto make = [&] {
            const QByteArray at = QFile::encodeName(special);
            if (kind == "fifo") return ::mkfifo(at.constData(), 0600) == 0;
            if (kind == "link to a fifo")
                return ::mkfifo(QFile::encodeName(dir + "/pipe").constData(), 0600) == 0 &&
                       QFile::link(dir + "/pipe", special);
            if (kind == "link to /dev/zero") return QFile::link("/dev/zero", special);
            if (kind == "directory") return QDir().mkdir(special);
            return QFile::link(dir + "/nowhere.jpg", special);
        };
        testing::MakePicture(dir, "ok.jpg", {20, 10}, Qt::red);

        // Listed as a picture, then replaced before it is clicked.
        MainForm& f = *main_f;
        testing::MakePicture(dir, "x.jpg", {20, 10}, Qt::green);
        f.Dirbox.Path = dir;
        f.filebox.Pattern = QStringLiteral("*.jpg");
        QCOMPARE(f.filebox.ListCount(), 2);
        QVERIFY(QFile::remove(special));
        QVERIFY(make());
        f.ckp.Value = 1;
        f.filebox.ListIndex = 0;
        f.filebox.Click();
        testing::SettlePreview();
        QTRY_VERIFY(!f.imP1.Picture().isNull());
        f.filebox.ListIndex = 1;
        f.filebox.Click();
        testing::SettlePreview();
        QCOMPARE(f.selPath, special);
        QTRY_VERIFY(f.imP1.Picture().isNull());
        f.ckp.Value = 0;

        // Not listed once the list is read again.
        f.filebox.Pattern = QStringLiteral("*.*");
        QCOMPARE(f.filebox.ListCount(), 1);
        QCOMPARE(f.filebox.List(0), QStringLiteral("ok.jpg"));

        // In the play list: named for one interval, then the show goes on.
        main_f->List1.Clear();
        main_f->List1.AddItem(special);
        main_f->List1.AddItem(dir + "/ok.jpg");
        testing::MsgBoxes boxes;
        QStringList seen;
        testing::WhileModal([] { main_f->playS.Value = true; },
                            [&] {
                                SlideShowForm* s = imv.peek();
                                if (!s) return;
                                for (int k = 0; k < 3 && imv.peek(); ++k) {
                                    testing::ShowTick(*s);
                                    if (!imv.peek()) break;
                                    seen << (s->Image1.Picture().isNull()
                                                 ? s->Label1.Caption()
                                                 : QStringLiteral("picture"));
                                }
                                if (SlideShowForm* left = imv.peek()) left->Unload();
                            });
        testing::Settle();
        QCOMPARE(seen.size(), 2);
        QVERIFY2(seen[0].contains(special), qPrintable(seen[0]));
        QCOMPARE(seen[1], QStringLiteral("picture"));
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("終了しました。")});
        QCOMPARE(main_f->List1.ListCount(), 2);
        main_f->List1.Clear();
        f.Dirbox.Path = QDir::rootPath();
    }
};

QTEST_MAIN(BadFilesTest)
#include "tst_badfiles.moc"
