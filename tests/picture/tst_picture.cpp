// The picture loader: upright JPEGs, reduced and partial decoding, sizes it takes and refuses,
// animated GIFs, pictures found by the bytes of their names and files that are no pictures.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QColorSpace>
#include <QDir>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QTest>
#include <atomic>
#include <thread>

extern "C" {}

#include "picture/picture.h"
#include "picture/previewreader.h"
#include "system/error.h"
#include "system/filenames.h"
#include "testdata/files.h"
#include "testdata/formats_heif_jxl.h"
#include "testdata/gif.h"

namespace {

// A picture whose quadrants are red, green, blue and yellow, shaded so that every pixel
// differs from its neighbours.
QImage quadrants(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    const QColor corners[2][2] = {{Qt::red, Qt::green}, {Qt::blue, Qt::yellow}};
    for (int y = 0; y < size.height(); ++y) {
        for (int x = 0; x < size.width(); ++x) {
            const QColor base = corners[2 * y / size.height()][2 * x / size.width()];
            const int shade = (x * 7 + y * 3) % 40;
            image.setPixel(
                x, y,
                qRgb(qBound(0, base.red() - shade, 255), qBound(0, base.green() - shade, 255),
                     qBound(0, base.blue() + shade - 20, 255)));
        }
    }
    return image;
}

QByteArray encodeJpeg(const QImage& image) {
    QByteArray out;
    QBuffer buffer(&out);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, "jpeg");
    writer.setQuality(95);
    if (!writer.write(image)) qFatal("cannot encode a JPEG");
    return out;
}

// Adds an EXIF segment carrying `orientation`, and a thumbnail when one is given, after the
// JPEG's first segment.
QByteArray withOrientation(const QByteArray& jpeg, int orientation, bool bigEndian,
                           const QByteArray& thumbnail = {}) {
    QByteArray tiff;
    auto put16 = [&](int v) {
        const char a = char(v & 0xFF), b = char((v >> 8) & 0xFF);
        tiff.append(bigEndian ? b : a);
        tiff.append(bigEndian ? a : b);
    };
    auto put32 = [&](quint32 v) {
        if (bigEndian) {
            put16(int(v >> 16));
            put16(int(v & 0xFFFF));
        } else {
            put16(int(v & 0xFFFF));
            put16(int(v >> 16));
        }
    };
    tiff.append(bigEndian ? "MM" : "II");
    put16(42);
    put32(8);
    put16(2);  // entries: a resolution unit, then the orientation
    put16(0x0128);
    put16(3);
    put32(1);
    put16(2);
    put16(0);
    put16(0x0112);
    put16(3);
    put32(1);
    put16(orientation);
    put16(0);
    put32(thumbnail.isEmpty() ? 0 : 38);  // the next directory: the thumbnail's
    if (!thumbnail.isEmpty()) {
        put16(2);
        for (const quint32 tag : {0x0201u, 0x0202u}) {
            put16(int(tag));
            put16(4);
            put32(1);
            put32(tag == 0x0201 ? 68 : quint32(thumbnail.size()));
        }
        put32(0);
        tiff.append(thumbnail);
    }
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff;
    QByteArray segment("\xFF\xE1");
    segment.append(char((body.size() + 2) >> 8));
    segment.append(char((body.size() + 2) & 0xFF));
    segment.append(body);
    // After SOI and the JFIF segment that Qt writes first.
    const int jfifLength = (uchar(jpeg[4]) << 8) | uchar(jpeg[5]);
    const int at = 4 + jfifLength;
    return jpeg.left(at) + segment + jpeg.mid(at);
}

// A baseline grey JPEG of any size whose every block is empty: two bits a block.
QByteArray flatJpeg(int width, int height) {
    QByteArray j("\xFF\xD8", 2);
    auto put16 = [&](int v) {
        j.append(char((v >> 8) & 0xFF));
        j.append(char(v & 0xFF));
    };
    j.append("\xFF\xDB", 2);  // quantisation table 0, all ones
    put16(67);
    j.append(char(0));
    j.append(QByteArray(64, char(1)));
    j.append("\xFF\xC0", 2);  // frame: 8 bits, one component
    put16(11);
    j.append(char(8));
    put16(height);
    put16(width);
    j.append(char(1));
    j.append("\x01\x11\x00", 3);
    for (char table : {char(0x00), char(0x10)}) {  // one code of one bit: DC 0, AC end of block
        j.append("\xFF\xC4", 2);
        put16(20);
        j.append(table);
        j.append(char(1));
        j.append(QByteArray(15, char(0)));
        j.append(char(0));
    }
    j.append("\xFF\xDA", 2);
    put16(8);
    j.append("\x01\x01\x00\x00\x3F\x00", 6);
    const qint64 bits = 2LL * ((width + 7) / 8) * ((height + 7) / 8);
    j.append(QByteArray(int(bits / 8), char(0)));
    if (bits % 8) j.append(char((1 << (8 - bits % 8)) - 1));
    j.append("\xFF\xD9", 2);
    return j;
}

// A BMP of `image` at a depth: 1, 4 and 8 bits through a palette of the colours used, 16 bits
// as 5-5-5 or (with masks) 5-6-5, 24 bits, 32 bits (with masks in reverse order when asked).
// With `rle`, 4 and 8-bit pictures are run-length encoded: runs of a colour, and the rest as
// literal pixels.
QByteArray bmpOf(const QImage& image, int bits, bool topDown, bool masks, bool rle = false) {
    QByteArray out;
    auto put = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) out.append(char(i < 4 ? (v >> (8 * i)) & 0xFF : 0));
    };
    QList<QRgb> palette;
    if (bits <= 8) {
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                if (!palette.contains(image.pixel(x, y))) palette << image.pixel(x, y);
        if (palette.size() > (1 << bits)) qFatal("too many colours for %d bits", bits);
    }
    const QList<quint32> maskList = !masks       ? QList<quint32>{}
                                    : bits == 16 ? QList<quint32>{0xF800, 0x07E0, 0x001F}
                                                 : QList<quint32>{0xFF, 0xFF00, 0xFF0000};
    const int stride = (image.width() * bits + 31) / 32 * 4;
    const int offset = 14 + 40 + 4 * int(palette.size() + maskList.size());
    out.append("BM");
    put(quint32(offset + stride * image.height()), 4);
    put(0, 4);
    put(quint32(offset), 4);
    put(40, 4);
    put(quint32(image.width()), 4);
    put(quint32(topDown ? -image.height() : image.height()), 4);
    put(1, 2);
    put(quint32(bits), 2);
    put(rle ? (bits == 8 ? 1 : 2) : masks ? 3 : 0, 4);
    put(0, 4 * 3);
    put(quint32(palette.size()), 4);
    put(0, 4);
    for (quint32 m : maskList) put(m, 4);
    for (QRgb c : palette) put(c & 0xFFFFFF, 4);
    for (int y = image.height() - 1; rle && y >= 0; --y) {
        QList<int> row;
        for (int x = 0; x < image.width(); ++x) row << int(palette.indexOf(image.pixel(x, y)));
        for (int x = 0; x < row.size();) {
            int run = 1;
            while (x + run < row.size() && run < 200 && row[x + run] == row[x]) ++run;
            if (run == 1 && x + 4 <= row.size()) {  // four literal pixels
                out.append('\0');
                out.append('\4');
                for (int k = 0; k < 4; k += bits == 4 ? 2 : 1)
                    out.append(char(bits == 4 ? row[x + k] << 4 | row[x + k + 1] : row[x + k]));
                x += 4;
                continue;
            }
            out.append(char(run));
            out.append(char(bits == 4 ? row[x] << 4 | row[x] : row[x]));
            x += run;
        }
        out.append(QByteArray(2, '\0'));
    }
    if (rle) return out + QByteArray("\0\1", 2);
    for (int i = 0; i < image.height(); ++i) {
        const int y = topDown ? i : image.height() - 1 - i;
        QByteArray row(stride, '\0');
        for (int x = 0; x < image.width(); ++x) {
            const QRgb c = image.pixel(x, y);
            quint32 v = bits <= 8 ? quint32(palette.indexOf(c)) : c & 0xFFFFFF;
            if (bits == 16)
                v = masks ? (qRed(c) >> 3) << 11 | (qGreen(c) >> 2) << 5 | qBlue(c) >> 3
                          : (qRed(c) >> 3) << 10 | (qGreen(c) >> 3) << 5 | qBlue(c) >> 3;
            if (bits == 32 && masks) v = quint32(qRed(c) | qGreen(c) << 8 | qBlue(c) << 16);
            if (bits < 8) {
                const int at = x * bits;
                row[at / 8] = char(uchar(row[at / 8]) | v << (8 - bits - at % 8));
            } else {
                for (int b = 0; b < bits / 8; ++b) row[x * bits / 8 + b] = char(v >> (8 * b));
            }
        }
        out.append(row);
    }
    return out;
}

// Writes a GIF: a logical screen with one frame of `frame`'s pixels (indices into a palette
// by their grey level) at `at`.
void writeGif(const QString& path, QSize screen, QPoint at, const QImage& frame, bool interlaced) {
    QList<QRgb> palette;
    for (int i = 0; i < 256; ++i) palette << qRgb(i, 255 - i, i / 2);
    const auto grey = [&frame](int y, unsigned char* row) {
        for (int x = 0; x < frame.width(); ++x) row[x] = uchar(qGray(frame.pixel(x, y)));
    };
    testdata::WriteFile(
        path, testdata::Gif(screen, palette, {{QRect(at, frame.size()), grey, interlaced}}));
}

QImage qtUpright(const QString& path) {
    QImageReader reader(path);
    reader.setAutoTransform(true);
    return reader.read().convertToFormat(QImage::Format_RGB32);
}

int largestDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 1000;
    int worst = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q))});
        }
    }
    return worst;
}

// The mean difference of two pictures' channels, for reductions made in different ways.
double meanDifference(const QImage& a, const QImage& b) {
    if (a.size() != b.size()) return 1000;
    qint64 sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                   std::abs(qBlue(p) - qBlue(q));
        }
    }
    return double(sum) / (3.0 * a.width() * a.height());
}

bool near(QRgb a, QColor b) {
    return std::abs(qRed(a) - b.red()) + std::abs(qGreen(a) - b.green()) +
               std::abs(qBlue(a) - b.blue()) <
           90;
}

// The part of a picture that a view shows with the picture centred on it.
QRect centred(QSize picture, QSize view) {
    const int w = std::min(picture.width(), view.width());
    const int h = std::min(picture.height(), view.height());
    return QRect((picture.width() - w) / 2, (picture.height() - h) / 2, w, h);
}

// A picture as it looks over black, where the show puts it.
QImage onBlack(const QImage& image) {
    QImage out(image.size(), QImage::Format_RGB32);
    out.fill(Qt::black);
    QPainter(&out).drawImage(0, 0, image);
    return out;
}

// A HEIF file whose pictures all declare a size of side x side.
QByteArray heifDeclaring(QByteArray heif, int side) {
    const char size[] = {char(side >> 24), char(side >> 16), char(side >> 8), char(side)};
    for (int at = heif.indexOf("ispe"); at >= 0; at = heif.indexOf("ispe", at + 1))
        heif.replace(at + 8, 4, size, 4).replace(at + 12, 4, size, 4);
    return heif;
}

}  // namespace

class PictureTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    // A quadrant picture written with an orientation tag; its stored size is `stored`.
    QString orientedJpeg(int orientation, bool bigEndian, QSize stored, QSize thumbnail = {}) {
        const QString name = QStringLiteral("o%1%2_%3x%4_%5.jpg")
                                 .arg(orientation)
                                 .arg(bigEndian ? "m" : "i")
                                 .arg(stored.width())
                                 .arg(stored.height())
                                 .arg(thumbnail.width());
        const QByteArray thumb =
            thumbnail.isEmpty() ? QByteArray() : encodeJpeg(quadrants(thumbnail));
        testdata::WriteFile(path(name), withOrientation(encodeJpeg(quadrants(stored)), orientation,
                                                        bigEndian, thumb));
        return path(name);
    }

private slots:
    void initTestCase() { QVERIFY(dir_.isValid()); }

    // Stored as red | green over blue | yellow; each orientation puts another quadrant in
    // the upright picture's top corners.
    void orientation_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("bigEndian");
        QTest::addColumn<QColor>("topLeft");
        QTest::addColumn<QColor>("topRight");
        QTest::newRow("1 as stored") << 1 << false << QColor(Qt::red) << QColor(Qt::green);
        QTest::newRow("2 mirrored") << 2 << false << QColor(Qt::green) << QColor(Qt::red);
        QTest::newRow("3 half turn") << 3 << false << QColor(Qt::yellow) << QColor(Qt::blue);
        QTest::newRow("4 flipped") << 4 << true << QColor(Qt::blue) << QColor(Qt::yellow);
        QTest::newRow("5 transposed") << 5 << false << QColor(Qt::red) << QColor(Qt::blue);
        QTest::newRow("6 quarter clockwise") << 6 << false << QColor(Qt::blue) << QColor(Qt::red);
        QTest::newRow("6 big-endian") << 6 << true << QColor(Qt::blue) << QColor(Qt::red);
        QTest::newRow("7 transverse") << 7 << false << QColor(Qt::yellow) << QColor(Qt::green);
        QTest::newRow("8 quarter anticlockwise")
            << 8 << true << QColor(Qt::green) << QColor(Qt::yellow);
    }
    void orientation() {
        QFETCH(int, orientation);
        QFETCH(bool, bigEndian);
        QFETCH(QColor, topLeft);
        QFETCH(QColor, topRight);
        const QSize stored(96, 64);
        const QString file = orientedJpeg(orientation, bigEndian, stored);
        const QSize upright = orientation >= 5 ? stored.transposed() : stored;

        const forms::Picture p = forms::LoadPicture(file);
        QCOMPARE(p.size(), upright);
        QVERIFY(p.isWhole());
        const QImage& image = p.image();
        QCOMPARE(image.size(), upright);
        QVERIFY(near(image.pixel(2, 2), topLeft));
        QVERIFY(near(image.pixel(image.width() - 3, 2), topRight));
        QCOMPARE(largestDifference(image, qtUpright(file)), 0);

        // Reduced for a preview box, the picture is upright too.
        const forms::Picture small = forms::LoadPicture(file, upright / 4);
        QCOMPARE(small.size(), upright);
        QCOMPARE(small.image().size(), upright / 4);
        QVERIFY(near(small.image().pixel(1, 1), topLeft));
    }

    // Shown centred on a smaller view, only the part in view is decoded; its pixels are those
    // of the whole picture.
    void partInView_data() {
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("view");
        for (int o : {1, 3, 6, 7}) {
            const QByteArray n = QByteArray::number(o);
            QTest::newRow(n + ", inside both ways") << o << QSize(101, 57);
            QTest::newRow(n + ", wider than the view") << o << QSize(90, 400);
            QTest::newRow(n + ", taller than the view") << o << QSize(400, 31);
            QTest::newRow(n + ", smaller than the view") << o << QSize(400, 400);
        }
    }
    void partInView() {
        QFETCH(int, orientation);
        QFETCH(QSize, view);
        const QString file = orientedJpeg(orientation, false, QSize(320, 200));
        const QImage whole = qtUpright(file);

        const forms::Picture p = forms::LoadPicture(file, {}, view);
        QCOMPARE(p.size(), whole.size());
        const QRect visible = centred(whole.size(), view);
        const QRect held = p.held();
        QVERIFY2(held.contains(visible), qPrintable(QStringLiteral("held %1,%2 %3x%4")
                                                        .arg(held.x())
                                                        .arg(held.y())
                                                        .arg(held.width())
                                                        .arg(held.height())));
        // No more than the decoder's block alignment and the margin beyond what is seen.
        QVERIFY(held.width() <= visible.width() + 2 * 16 + 4);
        QVERIFY(held.height() <= visible.height() + 2 * 16 + 4);
        QCOMPARE(p.isWhole(), visible == whole.rect());
        QCOMPARE(p.image().size(), held.size());
        QCOMPARE(largestDifference(p.image().copy(visible.translated(-held.topLeft())),
                                   whole.copy(visible)),
                 0);
    }

    // The preview decodes at the largest reduction that still covers its box, or takes the
    // camera's thumbnail when that covers the box and has the picture's proportions.
    void reducedForABox_data() {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("held");
        QTest::addColumn<QSize>("thumbnail");
        QTest::newRow("thumbnail")
            << QSize(800, 600) << 1 << QSize(100, 70) << QSize(160, 120) << QSize(160, 120);
        QTest::newRow("thumbnail, turned")
            << QSize(800, 600) << 6 << QSize(70, 100) << QSize(120, 160) << QSize(160, 120);
        QTest::newRow("thumbnail too small")
            << QSize(800, 600) << 1 << QSize(200, 150) << QSize(200, 150) << QSize(160, 120);
        QTest::newRow("thumbnail banded")
            << QSize(900, 600) << 1 << QSize(100, 60) << QSize(113, 75) << QSize(160, 120);
        QTest::newRow("an eighth")
            << QSize(800, 600) << 1 << QSize(100, 70) << QSize(100, 75) << QSize();
        QTest::newRow("an eighth, rounded up")
            << QSize(803, 601) << 1 << QSize(100, 70) << QSize(101, 76) << QSize();
        QTest::newRow("a quarter")
            << QSize(800, 600) << 1 << QSize(101, 70) << QSize(200, 150) << QSize();
        QTest::newRow("a half") << QSize(800, 600) << 1 << QSize(300, 290) << QSize(400, 300)
                                << QSize();
        QTest::newRow("whole") << QSize(800, 600) << 1 << QSize(500, 100) << QSize(800, 600)
                               << QSize();
        QTest::newRow("larger box")
            << QSize(80, 60) << 1 << QSize(169, 193) << QSize(80, 60) << QSize();
        QTest::newRow("turned") << QSize(800, 600) << 6 << QSize(70, 100) << QSize(75, 100)
                                << QSize();
    }
    void reducedForABox() {
        QFETCH(QSize, stored);
        QFETCH(int, orientation);
        QFETCH(QSize, box);
        QFETCH(QSize, held);
        QFETCH(QSize, thumbnail);
        const QString file = orientedJpeg(orientation, false, stored, thumbnail);
        const forms::Picture p = forms::LoadPicture(file, box);
        QCOMPARE(p.size(), orientation >= 5 ? stored.transposed() : stored);
        QVERIFY(p.isWhole());
        QCOMPARE(p.image().size(), held);
    }

    // A progressive JPEG reduced holds only part of its coefficients; its pixels are those of
    // the same picture coded in one pass (the same coefficients), at every reduction.
    void progressiveReduced_data() {
        QTest::addColumn<QString>("sampling");
        QTest::addColumn<QSize>("box");
        for (const char* sampling : {"2x2", "1x1", "2x1"})
            for (const QSize box : {QSize(80, 60), QSize(160, 120), QSize(320, 240)})
                QTest::addRow("%s, %dx%d", sampling, box.width(), box.height()) << sampling << box;
    }
    void progressiveReduced() {
        QFETCH(QString, sampling);
        QFETCH(QSize, box);
        const QImage source = quadrants(QSize(643, 481));
        QList<QImage> decoded;
        for (const char* interlace : {"None", "JPEG"}) {
            const QString file = path(QStringLiteral("prog_%1_%2.jpg").arg(sampling, interlace));
            testdata::WriteFile(
                file, testdata::Converted(
                          source, "p.jpg",
                          "-quality 90 -sampling-factor " + sampling + " -interlace " + interlace));
            decoded << forms::LoadPicture(file, box).image();
        }
        QVERIFY(!decoded[0].isNull());
        QCOMPARE(decoded[1], decoded[0]);
    }

    // Pictures of a hundred megapixels load; larger than can be held, they are refused like
    // any picture that cannot be shown.
    void sizes_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QSize>("size");  // invalid: refused
        QTest::newRow("JPEG of 100 MP")
            << "big.jpg" << flatJpeg(10000, 10000) << QSize(10000, 10000);
        QTest::newRow("GIF of 100 MP")
            << "big.gif"
            << testdata::SolidGif({10000, 10000}, {1}, {qRgb(0, 0, 0), qRgb(0, 0, 255)})
            << QSize(10000, 10000);
        QTest::newRow("JPEG of 400 MP") << "huge.jpg" << flatJpeg(20000, 20000) << QSize();
        QTest::newRow("JPEG of 4 GP, header only")
            << "header.jpg" << flatJpeg(65000, 65000).left(200) << QSize();
        QByteArray gif("GIF89a\x60\xEA\x60\xEA\x00\x00\x00", 13);  // 60000 x 60000
        QTest::newRow("GIF of 3.6 GP, header only") << "huge.gif" << gif << QSize();
        const QImage small = quadrants({64, 48});
        QTest::newRow("HEIC declaring 400 MP")
            << "huge.heic" << heifDeclaring(testdata::EncodeHeif(small, false), 20000) << QSize();
        QTest::newRow("AVIF declaring 400 MP")
            << "huge.avif" << heifDeclaring(testdata::EncodeHeif(small, true), 20000) << QSize();
        // A JPEG XL codestream's size (20000 x 20000, in 18 bits each) and default metadata.
        const QByteArray jxl("\xFF\x0A\xFC\x70\x02\x7E\x38\x11", 8);
        QTest::newRow("JPEG XL of 400 MP, header only")
            << "huge.jxl" << jxl + QByteArray(16, '\0') << QSize();
    }
    void sizes() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QSize, size);
        testdata::WriteFile(path(name), content);
        for (const auto& [fit, view] : {std::pair<QSize, QSize>{},
                                        {QSize(169, 193), QSize()},
                                        {QSize(), QSize(1920, 1080)}}) {
            try {
                const forms::Picture p = forms::LoadPicture(path(name), fit, view);
                QVERIFY2(size.isValid(), "a picture too large to hold was loaded");
                QCOMPARE(p.size(), size);
                const QImage& image = p.image();
                QVERIFY(!image.isNull());
                if (view.isValid()) {
                    QVERIFY(p.held().contains(centred(size, view)));
                    QVERIFY(image.width() < 2000 && image.height() < 1200);
                }
                if (fit.isValid() && name.endsWith("jpg"))
                    QCOMPARE(image.size(), QSize(1250, 1250));
                const QRgb centre = image.pixel(image.width() / 2, image.height() / 2);
                QCOMPARE(centre, name.endsWith("gif") ? qRgb(0, 0, 255) : qRgb(128, 128, 128));
            } catch (const forms::Error& e) {
                QVERIFY2(!size.isValid(), qPrintable(e.Description()));
                QCOMPARE(e.Number(), forms::err::InvalidPicture);
            }
        }
    }

    // Fitted to a screen, a larger picture is reduced whole to the largest size that fits,
    // close to a smooth reduction of the whole picture; one that fits stays as it is.
    void fittedToTheScreen_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QSize>("fitted");
        QTest::newRow("JPEG, a quarter then smooth")
            << "jpg" << 1 << QSize(2560, 2048) << QSize(600, 500) << QSize(600, 480);
        QTest::newRow("JPEG, exactly half")
            << "jpg" << 1 << QSize(2560, 2048) << QSize(1280, 1024) << QSize(1280, 1024);
        QTest::newRow("JPEG, turned, too tall")
            << "jpg" << 6 << QSize(640, 480) << QSize(1000, 320) << QSize(240, 320);
        QTest::newRow("JPEG that fits")
            << "jpg" << 1 << QSize(640, 480) << QSize(640, 480) << QSize(640, 480);
        QTest::newRow("BMP, too wide")
            << "bmp" << 1 << QSize(900, 300) << QSize(450, 400) << QSize(450, 150);
        QTest::newRow("GIF, interlaced, too large")
            << "gif" << 1 << QSize(500, 400) << QSize(200, 200) << QSize(200, 160);
        QTest::newRow("BMP that fits")
            << "bmp" << 1 << QSize(90, 30) << QSize(450, 400) << QSize(90, 30);
    }
    void fittedToTheScreen() {
        QFETCH(QString, format);
        QFETCH(int, orientation);
        QFETCH(QSize, stored);
        QFETCH(QSize, screen);
        QFETCH(QSize, fitted);
        QString file = path(QStringLiteral("fit.") + format);
        if (format == "jpg")
            file = orientedJpeg(orientation, false, stored);
        else if (format == "gif")
            writeGif(file, stored, QPoint(), quadrants(stored), true);
        else
            QVERIFY(quadrants(stored).save(file, "BMP"));
        const QImage whole = qtUpright(file);

        const forms::Picture p = forms::LoadPictureFitted(file, screen);
        QCOMPARE(p.size(), fitted);
        QVERIFY(p.isWhole());
        QCOMPARE(p.image().size(), fitted);
        const QImage expected =
            whole.scaled(fitted, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
        // The decoder's own reduction differs from averaging the full picture by a little.
        if (fitted == whole.size())
            QCOMPARE(largestDifference(p.image(), expected), 0);
        else
            QVERIFY2(meanDifference(p.image(), expected) < 3,
                     qPrintable(QString::number(meanDifference(p.image(), expected))));
    }

    // Uncompressed BMPs of every depth, stored either way up and read in place: whole, the
    // part a view shows and reduced for a box, against Qt's reader of the same pixels stored
    // bottom-up.
    void bmpDepths_data() {
        QTest::addColumn<int>("bits");
        QTest::addColumn<bool>("masks");
        QTest::addColumn<bool>("topDown");
        QTest::addColumn<bool>("rle");
        QTest::newRow("8 bits run-length encoded") << 8 << false << false << true;
        QTest::newRow("4 bits run-length encoded") << 4 << false << false << true;
        const std::pair<int, bool> kinds[] = {{1, false}, {4, false},  {8, false},  {16, false},
                                              {16, true}, {24, false}, {32, false}, {32, true}};
        for (bool topDown : {false, true}) {
            for (const auto& [bits, masks] : kinds) {
                QTest::newRow(qPrintable(QStringLiteral("%1 bits%2, %3")
                                             .arg(bits)
                                             .arg(masks ? " with masks" : "")
                                             .arg(topDown ? "top-down" : "bottom-up")))
                    << bits << masks << topDown << false;
            }
        }
    }
    void bmpDepths() {
        QFETCH(int, bits);
        QFETCH(bool, masks);
        QFETCH(bool, topDown);
        QFETCH(bool, rle);
        const QSize size(203, 77);  // rows padded at every depth
        QImage image = quadrants(size);
        if (bits <= 8) {
            const int n = 1 << std::min(bits, 4);
            for (int y = 0; y < size.height(); ++y)
                for (int x = 0; x < size.width(); ++x)
                    image.setPixel(x, y,
                                   qRgb(17 * ((x / 3 + y) % n), 255 - 13 * ((x / 3 + y) % n), 90));
        }
        const QString file = path(QStringLiteral("d%1.bmp").arg(bits));
        const QString oracle = path(QStringLiteral("d%1-qt.bmp").arg(bits));
        testdata::WriteFile(file, bmpOf(image, bits, topDown, masks, rle));
        testdata::WriteFile(oracle, bmpOf(image, bits, false, masks, rle));
        const QImage expected = QImage(oracle, "BMP").convertToFormat(QImage::Format_RGB32);
        QCOMPARE(expected.size(), size);
        // Qt widens 5 and 6-bit channels by shifting; here they are scaled to reach white.
        const int tolerance = bits == 16 ? 7 : 0;

        const forms::Picture whole = forms::LoadPicture(file);
        QCOMPARE(whole.size(), size);
        QVERIFY(largestDifference(whole.image(), expected) <= tolerance);
        const QSize view(60, 50);
        const forms::Picture part = forms::LoadPicture(file, {}, view);
        QCOMPARE(part.size(), size);
        QVERIFY(part.held().contains(centred(size, view)));
        QVERIFY(part.held().width() < 70 && part.held().height() < 60);
        QVERIFY(largestDifference(part.image(), expected.copy(part.held())) <= tolerance);
        const forms::Picture small = forms::LoadPicture(file, QSize(50, 19));
        QCOMPARE(small.image().size(), QSize(51, 20));  // a quarter, rounded up
    }

    // Rows a BMP cut short lacks stay black (k); rows its codes skip take the first colour (r).
    void bmpRowsNotStored() {
        QImage image(8, 8, QImage::Format_RGB32);
        image.fill(Qt::blue);
        image.setPixel(0, 0, qRgb(255, 0, 0));
        const QByteArray skip("\0\2\0\3\x08\x01\0\0\0\1", 10);       // up 3 rows, 8 blue, end
        for (const QByteArray& codes : {QByteArray(24, 1), skip}) {  // three stored rows, or codes
            const QByteArray head = bmpOf(image, 8, false, false, codes == skip).left(62);
            testdata::WriteFile(path("rows.bmp"), head + codes);
            const QImage shown = forms::LoadPicture(path("rows.bmp")).image();
            QString seen;
            for (int y = 0; y < 8; ++y)
                seen += "krb"[qRed(shown.pixel(7, y)) / 255 + qBlue(shown.pixel(7, y)) / 255 * 2];
            QCOMPARE(seen, codes == skip ? "kkkkbrrr" : "kkkkkbbb");
        }
    }

    // A GIF is its first frame, wherever the frame lies on the logical screen its header
    // announces: the frame's pixels, as Qt's reader places them on that screen.
    void gifFrame_data() {
        QTest::addColumn<QSize>("screen");
        QTest::addColumn<QPoint>("at");
        QTest::addColumn<bool>("interlaced");
        QTest::addColumn<QSize>("view");
        QTest::newRow("fills its screen") << QSize(100, 80) << QPoint() << false << QSize();
        QTest::newRow("amid a larger screen")
            << QSize(300, 240) << QPoint(120, 90) << false << QSize();
        QTest::newRow("interlaced, amid") << QSize(300, 240) << QPoint(120, 90) << true << QSize();
        QTest::newRow("part in view") << QSize(300, 240) << QPoint(7, 3) << false << QSize(41, 31);
        QTest::newRow("interlaced, part in view")
            << QSize(100, 80) << QPoint() << true << QSize(50, 23);
    }
    void gifFrame() {
        QFETCH(QSize, screen);
        QFETCH(QPoint, at);
        QFETCH(bool, interlaced);
        QFETCH(QSize, view);
        QImage frame(100, 80, QImage::Format_RGB32);
        for (int y = 0; y < frame.height(); ++y)
            for (int x = 0; x < frame.width(); ++x) {
                const int i = (x * 5 + y * 3) % 256;
                frame.setPixel(x, y, qRgb(i, i, i));
            }
        const QString file = path("frame.gif");
        writeGif(file, screen, at, frame, interlaced);
        const QImage onScreen = QImage(file, "GIF").convertToFormat(QImage::Format_RGB32);
        const QImage expected = onScreen.copy(QRect(at, frame.size()));

        const forms::Picture p = forms::LoadPicture(file, {}, view);
        QCOMPARE(p.size(), frame.size());
        QVERIFY(p.held().contains(centred(frame.size(), view.isValid() ? view : frame.size())));
        QCOMPARE(largestDifference(p.image(), expected.copy(p.held())), 0);
    }

    // HEIF and JPEG XL pictures, turned by their files, some with alpha: the part a view
    // shows, and the picture reduced for a box and fitted to a screen, against the library's
    // own whole decode cut and scaled here.
    void heifAndJxl_data() {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<bool>("alpha");
        QTest::newRow("HEIC") << "heic" << 1 << false;
        QTest::newRow("HEIC turned a quarter") << "heic" << 6 << false;
        QTest::newRow("AVIF with alpha, mirrored") << "avif" << 2 << true;
        QTest::newRow("JPEG XL lossy") << "jxl" << 1 << false;
        QTest::newRow("JPEG XL lossy, turned back") << "jxl" << 8 << false;
        QTest::newRow("JPEG XL lossless, transposed, alpha") << "jxl lossless" << 5 << true;
    }
    void heifAndJxl() {
        QFETCH(QString, format);
        QFETCH(int, orientation);
        QFETCH(bool, alpha);
        QImage image = quadrants(QSize(300, 200)).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; alpha && y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                image.setPixel(x, y, (image.pixel(x, y) & 0xFFFFFF) | uint(160 + x % 96) << 24);
        const bool jxl = format.startsWith("jxl");
        const QByteArray bytes =
            jxl ? testdata::EncodeJxl(image, format.endsWith("lossless"), orientation)
                : testdata::EncodeHeif(image, format == "avif", orientation);
        if (bytes.isEmpty()) QSKIP("no encoder for this format");
        const QImage whole = jxl ? testdata::DecodeJxl(bytes) : testdata::DecodeHeif(bytes);
        QCOMPARE(whole.size(), orientation >= 5 ? QSize(200, 300) : QSize(300, 200));
        const QString file = path("picture." + format.left(4));
        testdata::WriteFile(file, bytes);

        const QSize view(150, 75);
        forms::Picture p = forms::LoadPicture(file, {}, view);
        QCOMPARE(p.size(), whole.size());
        QVERIFY(p.held().contains(centred(whole.size(), view)) && !p.isWhole());
        QVERIFY(largestDifference(p.image(), whole.copy(p.held())) <= (alpha ? 2 : 0));
        for (const bool fitted : {false, true}) {
            p = fitted ? forms::LoadPictureFitted(file, QSize(200, 200))
                       : forms::LoadPicture(file, QSize(90, 70));
            QCOMPARE(p.size(),
                     fitted ? whole.size().scaled(200, 200, Qt::KeepAspectRatio) : whole.size());
            const QImage expected =
                whole.scaled(p.image().size(), Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            QVERIFY2(meanDifference(p.image(), expected) < 3,
                     qPrintable(QString::number(meanDifference(p.image(), expected))));
        }
    }

    // A phone's HEIC carries a small picture of itself: the preview uses it where it covers
    // the preview's box, the whole picture where it does not.
    void heifPreviewFromThumbnail() {
        QImage thumbnail(160, 120, QImage::Format_RGB32);
        thumbnail.fill(Qt::green);
        const QByteArray bytes =
            testdata::EncodeHeif(quadrants(QSize(640, 480)), false, 1, thumbnail);
        if (bytes.isEmpty()) QSKIP("no HEVC encoder");
        testdata::WriteFile(path("phone.heic"), bytes);
        for (const QSize box : {QSize(160, 120), QSize(161, 100)}) {
            const forms::Picture p = forms::LoadPicture(path("phone.heic"), box);
            QCOMPARE(p.size(), QSize(640, 480));
            QCOMPARE(
                near(p.image().pixel(p.image().width() / 4, p.image().height() * 3 / 4), Qt::green),
                box.width() <= 160);
        }
    }

    // A preview is handed on only if its file is still the one read: a file rewritten in
    // place after the decode (size and time put back) is read again, a file gone gives none.
    void previewFreshAtDelivery_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("reads");
        QTest::addColumn<QColor>("shown");  // invalid: no picture
        QTest::newRow("unchanged") << "" << 1 << QColor(Qt::red);
        QTest::newRow("rewritten in place") << "rewrite" << 2 << QColor(Qt::blue);
        QTest::newRow("removed") << "remove" << 1 << QColor();
    }
    void previewFreshAtDelivery() {
        QFETCH(QString, change);
        QFETCH(int, reads);
        QFETCH(QColor, shown);
        const QString file = testdata::MakePicture(dir_.path(), "fresh.bmp", {40, 30}, Qt::red);
        QFile blueFile(testdata::MakePicture(dir_.path(), "blue.bmp", {40, 30}, Qt::blue));
        const QByteArray blue = blueFile.open(QIODevice::ReadOnly) ? blueFile.readAll() : "";
        std::atomic<int> count{0};
        auto load = [&](const QString& p, QSize box) {
            forms::Picture picture = forms::LoadPicture(p, box);
            if (count++ > 0) return picture;
            struct stat before {};
            ::stat(QFile::encodeName(p).constData(), &before);
            if (change == "remove") QFile::remove(p);
            if (change == "rewrite") {
                testdata::WriteFile(p, blue);  // in place, the same size, the time put back
                const timespec times[2] = {before.st_atim, before.st_mtim};
                ::utimensat(AT_FDCWD, QFile::encodeName(p).constData(), times, 0);
            }
            return picture;
        };
        QList<forms::Picture> delivered;
        forms::PreviewReader reader(
            [&](const QString&, forms::Picture p) { delivered << std::move(p); }, load);
        reader.Request(file, QSize(20, 15));
        QTRY_VERIFY(!reader.Busy());
        QCOMPARE(count.load(), reads);
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(delivered[0].isNull(), !shown.isValid());
        if (shown.isValid()) QVERIFY(near(delivered[0].image().pixel(5, 5), shown));
    }

    // The loader keeps no state between calls: pictures load on another thread while this
    // one loads the same, each exactly as it loads alone.
    void loadsOnAnotherThread() {
        const QString bmp = path("thread.bmp"), gif = path("thread.gif");
        QVERIFY(quadrants(QSize(300, 200)).save(bmp, "BMP"));
        writeGif(gif, QSize(240, 90), QPoint(), quadrants(QSize(240, 90)), true);
        const QStringList files{orientedJpeg(6, false, QSize(320, 200)), bmp, gif};
        auto load = [&](int i) {
            return i % 2 ? forms::LoadPictureFitted(files[i / 2], QSize(101, 67)).image()
                         : forms::LoadPicture(files[i / 2], {}, QSize(100, 80)).image();
        };
        QList<QImage> alone;
        for (int i = 0; i < 2 * files.size(); ++i) alone << load(i);
        std::atomic<int> differ{0};
        auto work = [&] {
            for (int round = 0; round < 20; ++round)
                for (int i = 0; i < alone.size(); ++i)
                    if (load(i) != alone[i]) ++differ;
        };
        std::thread other(work);
        work();
        other.join();
        QCOMPARE(differ.load(), 0);
    }

    // PNG, TIFF and WebP made by ImageMagick: whole, the part a view shows, reduced for a box
    // and fitted to a screen, against the pixels written (of a lossy WebP, its whole decode),
    // turned upright and cut or scaled here.
    void otherFormats_data() {
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<int>("alpha");  // 0 none, 1 every level, 2 on or off
        QTest::addColumn<bool>("grey");
        QTest::newRow("PNG") << "PNG24:o.png"
                             << "" << 1 << 0 << false;
        QTest::newRow("PNG 16-bit grey") << "o.png"
                                         << "-colorspace Gray -depth 16" << 1 << 0 << true;
        QTest::newRow("PNG palette, alpha") << "PNG8:o.png"
                                            << "" << 1 << 2 << false;
        QTest::newRow("PNG interlaced") << "PNG24:o.png"
                                        << "-interlace PNG" << 1 << 0 << false;
        QTest::newRow("PNG 16-bit alpha, interlaced") << "PNG64:o.png"
                                                      << "-interlace PNG" << 1 << 1 << false;
        QTest::newRow("TIFF strips") << "o.tiff"
                                     << "-compress zip" << 1 << 0 << false;
        QTest::newRow("TIFF tiles, 16-bit, half turn")
            << "o.tiff"
            << "-define tiff:tile-geometry=32x32 -depth 16 -orient BottomRight" << 3 << 0 << false;
        QTest::newRow("TIFF palette") << "o.tiff"
                                      << "-type Palette" << 1 << 0 << false;
        QTest::newRow("TIFF CMYK") << "o.tiff"
                                   << "-colorspace CMYK" << 1 << 0 << false;
        QTest::newRow("TIFF grey, alpha, turned")
            << "o.tiff"
            << "-colorspace Gray -orient LeftBottom" << 8 << 1 << true;
        QTest::newRow("WebP lossless, alpha") << "o.webp"
                                              << "-define webp:lossless=true" << 1 << 1 << false;
        QTest::newRow("WebP lossy") << "o.webp"
                                    << "-quality 90" << 1 << 0 << false;
    }
    void otherFormats() {
        QFETCH(QString, to);
        QFETCH(QString, options);
        QFETCH(int, orientation);
        QFETCH(int, alpha);
        QFETCH(bool, grey);
        QImage source = quadrants({200, 76}).convertToFormat(QImage::Format_ARGB32);
        for (int y = 0; y < source.height(); ++y) {
            for (int x = 0; x < source.width(); ++x) {
                QRgb p = source.pixel(x, y);
                if (grey) p = qRgb(qGreen(p), qGreen(p), qGreen(p));
                const int a = alpha == 1      ? (qRed(p) * 3 + qGreen(p)) % 256
                              : qRed(p) > 128 ? 255
                                              : 0;
                source.setPixel(x, y, alpha ? (p & 0xFFFFFF) | uint(a) << 24 : p);
            }
        }
        const QString file = path(to.section(':', -1));
        testdata::WriteFile(file, testdata::Converted(source, to, options));
        const bool lossy = options.contains("quality");
        QImage expected = onBlack(lossy ? forms::LoadPicture(file).image() : source);
        const int turns[9] = {0, 0, 0, 180, 0, 0, 90, 0, 270};
        expected = expected.transformed(QTransform().rotate(turns[orientation]));
        const QSize own = expected.size();
        const int tolerance = lossy ? 12 : 6;  // ImageMagick's palettes shift a few levels

        const forms::Picture whole = forms::LoadPicture(file);
        QCOMPARE(whole.size(), own);
        QVERIFY(largestDifference(onBlack(whole.image()), expected) <= tolerance);
        const QSize view(60, 50);
        const forms::Picture part = forms::LoadPicture(file, {}, view);
        QVERIFY(part.held().contains(centred(own, view)));
        QVERIFY(part.held().width() < 70 && part.held().height() < 60);
        const QRect visible = centred(own, view);
        QVERIFY(largestDifference(
                    onBlack(part.image()).copy(visible.translated(-part.held().topLeft())),
                    expected.copy(visible)) <= tolerance);
        for (const forms::Picture& small :
             {forms::LoadPicture(file, QSize(50, 19)), forms::LoadPictureFitted(file, {90, 90})}) {
            QVERIFY(small.image().width() * small.image().height() * 4 <
                    own.width() * own.height());
            const QImage scaled = expected.scaled(small.image().size(), Qt::IgnoreAspectRatio,
                                                  Qt::SmoothTransformation);
            QVERIFY(meanDifference(onBlack(small.image()), scaled) < 5);
        }
    }

    // An embedded profile's colours are shown in sRGB: mid-grey stored in a linear response
    // is far lighter on screen; without a profile it stays as stored.
    void trueColours_data() {
        QTest::addColumn<QString>("to");
        QTest::addColumn<bool>("profile");
        for (const char* to : {"c.jpg", "PNG24:c.png", "c.tiff", "c.webp"})
            QTest::newRow(to) << QString(to) << true;
        QTest::newRow("PNG without a profile") << "PNG24:c.png" << false;
    }
    void trueColours() {
        QFETCH(QString, to);
        QFETCH(bool, profile);
        const QColorSpace linear(QColorSpace::Primaries::SRgb,
                                 QColorSpace::TransferFunction::Linear);
        testdata::WriteFile(path("linear.icc"), linear.iccProfile());
        QImage grey(64, 48, QImage::Format_RGB32);
        grey.fill(qRgb(128, 128, 128));
        const QString file = path(to.section(':', -1));
        testdata::WriteFile(
            file, testdata::Converted(grey, to, profile ? "-profile " + path("linear.icc") : ""));
        for (const forms::Picture& p :
             {forms::LoadPicture(file), forms::LoadPicture(file, {16, 12}),
              forms::LoadPicture(file, {}, {20, 20})}) {
            const int shown = qGreen(p.image().pixel(5, 5));
            QVERIFY2(std::abs(shown - (profile ? 188 : 128)) <= 3,
                     qPrintable(QString::number(shown)));
        }
    }

    void animatedGifShowsItsFirstFrame() {
        const QList<QRgb> palette{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
        testdata::WriteFile(path("anim.gif"), testdata::SolidGif({30, 20}, {0, 1, 2}, palette));
        QImageReader reader(path("anim.gif"));
        QCOMPARE(reader.imageCount(), 3);
        const forms::Picture p = forms::LoadPicture(path("anim.gif"));
        QCOMPARE(p.size(), QSize(30, 20));
        QCOMPARE(p.image().pixel(15, 10), qRgb(255, 0, 0));
    }

    // A picture opens by the path text of its bytes, also through a folder named that way.
    void pictureByPathText() {
        QTemporaryDir tmp;
        const QByteArray dir = QFile::encodeName(tmp.path()) + "/\x8e\xca\x90\x5e";  // 写真
        QCOMPARE(::mkdir(dir.constData(), 0700), 0);
        testdata::MakePicture(tmp.path(), "p.bmp", QSize(4, 3), Qt::red);
        const QByteArray file = dir + "/\x93\xfa\x96\x7b.bmp";
        QCOMPARE(::rename(QFile::encodeName(tmp.path() + "/p.bmp").constData(), file.constData()),
                 0);
        QCOMPARE(forms::LoadPicture(forms::PathText(file)).size(), QSize(4, 3));
        // QTemporaryDir cannot remove names that are not UTF-8: they go by their bytes.
        ::unlink(file.constData());
        ::rmdir(dir.constData());
    }

    void loadPicture_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("error");  // 0: loads
        QTest::newRow("jpeg") << "ok.jpg" << 0;
        QTest::newRow("bmp") << "ok.bmp" << 0;
        QTest::newRow("gif") << "ok.gif" << 0;
        QTest::newRow("jpeg named gif") << "jpeg.gif" << 0;
        QTest::newRow("png named jpg") << "png.jpg" << 0;
        QTest::newRow("text named jpg") << "text.jpg" << forms::err::InvalidPicture;
        QTest::newRow("empty") << "empty.jpg" << forms::err::InvalidPicture;
        QTest::newRow("truncated") << "truncated.jpg" << forms::err::InvalidPicture;
        QTest::newRow("missing") << "missing.jpg" << forms::err::FileNotFound;
        QTest::newRow("directory") << "dir.jpg" << forms::err::InvalidPicture;
        QTest::newRow("fifo") << "fifo.jpg" << forms::err::InvalidPicture;
        QTest::newRow("link to fifo") << "fifolink.jpg" << forms::err::InvalidPicture;
        QTest::newRow("link to /dev/zero") << "zero.jpg" << forms::err::InvalidPicture;
        QTest::newRow("dangling link") << "dangling.jpg" << forms::err::FileNotFound;
        QTest::newRow("huge header") << "huge.bmp" << forms::err::InvalidPicture;
    }
    void loadPicture() {
        QFETCH(QString, name);
        QFETCH(int, error);
        QTemporaryDir tmp;
        const QString d = tmp.path();
        testdata::MakePicture(d, "ok.jpg", QSize(8, 6), Qt::red);
        testdata::MakePicture(d, "ok.bmp", QSize(8, 6), Qt::red);
        testdata::MakePicture(d, "ok.gif", QSize(8, 6), Qt::red);
        testdata::MakePicture(d, "jpeg.gif", QSize(8, 6), Qt::red, "JPG");
        testdata::MakePicture(d, "png.jpg", QSize(8, 6), Qt::red, "PNG");
        testdata::WriteFile(d + "/text.jpg", "just some text");
        testdata::WriteFile(d + "/empty.jpg", "");
        QFile ok(d + "/ok.jpg");
        QVERIFY(ok.open(QIODevice::ReadOnly));
        testdata::WriteFile(d + "/truncated.jpg", ok.read(20));
        QDir(d).mkdir("dir.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(d + "/fifo.jpg").constData(), 0600), 0);
        QFile::link(d + "/fifo.jpg", d + "/fifolink.jpg");
        QFile::link("/dev/zero", d + "/zero.jpg");
        QFile::link(d + "/nowhere.jpg", d + "/dangling.jpg");
        // A BMP header that declares 60000 x 60000 pixels.
        QByteArray bmp(54, '\0');
        bmp[0] = 'B';
        bmp[1] = 'M';
        auto put32 = [&](int at, quint32 v) {
            for (int i = 0; i < 4; ++i) bmp[at + i] = char((v >> (8 * i)) & 0xFF);
        };
        put32(10, 54);
        put32(14, 40);
        put32(18, 60000);
        put32(22, 60000);
        bmp[26] = 1;
        bmp[28] = 24;
        testdata::WriteFile(d + "/huge.bmp", bmp);

        try {
            const forms::Picture p = forms::LoadPicture(d + "/" + name);
            QCOMPARE(error, 0);
            QCOMPARE(p.size(), QSize(8, 6));
        } catch (const forms::Error& e) {
            QCOMPARE(e.Number(), error);
        }
    }
};

QTEST_MAIN(PictureTest)
#include "tst_picture.moc"
