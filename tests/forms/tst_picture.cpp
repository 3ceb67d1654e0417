// The picture loader: upright JPEGs, reduced and partial decoding, sizes it takes and refuses,
// animated GIFs, and the image control showing a partial picture.
#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <QTest>
#include <atomic>
#include <thread>

extern "C" {
#include <gif_lib.h>
}

#include "forms/controls.h"
#include "forms/runtime.h"
#include "support/testsupport.h"

using forms::Kind;

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

// Adds an EXIF segment carrying `orientation` after the JPEG's first segment.
QByteArray withOrientation(const QByteArray& jpeg, int orientation, bool bigEndian) {
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
    put32(0);
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

// Writes a GIF with giflib's encoder: a logical screen with one frame of `frame`'s pixels
// (indices into a grey palette) at `at`.
void writeGif(const QString& path, QSize screen, QPoint at, const QImage& frame, bool interlaced) {
    int error = 0;
    GifFileType* gif = EGifOpenFileName(QFile::encodeName(path).constData(), false, &error);
    if (!gif) qFatal("cannot write a GIF");
    GifColorType colours[256];
    for (int i = 0; i < 256; ++i)
        colours[i] = {GifByteType(i), GifByteType(255 - i), GifByteType(i / 2)};
    ColorMapObject* map = GifMakeMapObject(256, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, screen.width(), screen.height(), 8, 0, map);
    EGifPutImageDesc(gif, at.x(), at.y(), frame.width(), frame.height(), interlaced, nullptr);
    static constexpr int kStart[] = {0, 4, 2, 1}, kStep[] = {8, 8, 4, 2};
    for (int pass = 0; pass < (interlaced ? 4 : 1); ++pass) {
        for (int y = interlaced ? kStart[pass] : 0; y < frame.height();
             y += interlaced ? kStep[pass] : 1) {
            QByteArray line(frame.width(), '\0');
            for (int x = 0; x < frame.width(); ++x) line[x] = char(qGray(frame.pixel(x, y)));
            EGifPutLine(gif, reinterpret_cast<GifPixelType*>(line.data()), frame.width());
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
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

class ImageForm : public forms::Form {
public:
    ImageForm()
        : Form({QStringLiteral("Picture"), forms::Border::None, 0, 0, 1500, 1200},
               {{"Image1", Kind::Image, {}, nullptr, 0, 0, 300, 300, -1}}) {}
    forms::Image Image1{*this, "Image1"};
};

forms::FormRef<ImageForm> imageForm;

}  // namespace

class PictureTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }

    // A quadrant picture written with an orientation tag; its stored size is `stored`.
    QString orientedJpeg(int orientation, bool bigEndian, QSize stored) {
        const QString name = QStringLiteral("o%1%2_%3x%4.jpg")
                                 .arg(orientation)
                                 .arg(bigEndian ? "m" : "i")
                                 .arg(stored.width())
                                 .arg(stored.height());
        testing::WriteFile(path(name),
                           withOrientation(encodeJpeg(quadrants(stored)), orientation, bigEndian));
        return path(name);
    }

private slots:
    void initTestCase() {
        testing::InitRuntime();
        QVERIFY(dir_.isValid());
    }
    void cleanup() {
        if (auto* f = imageForm.peek()) f->Unload();
        testing::Settle();
    }

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

    // The preview decodes at the largest reduction that still covers its box.
    void reducedForABox_data() {
        QTest::addColumn<QSize>("stored");
        QTest::addColumn<int>("orientation");
        QTest::addColumn<QSize>("box");
        QTest::addColumn<QSize>("held");
        QTest::newRow("an eighth") << QSize(800, 600) << 1 << QSize(100, 70) << QSize(100, 75);
        QTest::newRow("an eighth, rounded up")
            << QSize(803, 601) << 1 << QSize(100, 70) << QSize(101, 76);
        QTest::newRow("a quarter") << QSize(800, 600) << 1 << QSize(101, 70) << QSize(200, 150);
        QTest::newRow("a half") << QSize(800, 600) << 1 << QSize(300, 290) << QSize(400, 300);
        QTest::newRow("whole") << QSize(800, 600) << 1 << QSize(500, 100) << QSize(800, 600);
        QTest::newRow("larger box") << QSize(80, 60) << 1 << QSize(169, 193) << QSize(80, 60);
        QTest::newRow("turned") << QSize(800, 600) << 6 << QSize(70, 100) << QSize(75, 100);
    }
    void reducedForABox() {
        QFETCH(QSize, stored);
        QFETCH(int, orientation);
        QFETCH(QSize, box);
        QFETCH(QSize, held);
        const QString file = orientedJpeg(orientation, false, stored);
        const forms::Picture p = forms::LoadPicture(file, box);
        QCOMPARE(p.size(), orientation >= 5 ? stored.transposed() : stored);
        QVERIFY(p.isWhole());
        QCOMPARE(p.image().size(), held);
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
            << "big.gif" << testing::SolidGif({10000, 10000}, {1}, {qRgb(0, 0, 0), qRgb(0, 0, 255)})
            << QSize(10000, 10000);
        QTest::newRow("JPEG of 400 MP") << "huge.jpg" << flatJpeg(20000, 20000) << QSize();
        QTest::newRow("JPEG of 4 GP, header only")
            << "header.jpg" << flatJpeg(65000, 65000).left(200) << QSize();
        QByteArray gif("GIF89a\x60\xEA\x60\xEA\x00\x00\x00", 13);  // 60000 x 60000
        QTest::newRow("GIF of 3.6 GP, header only") << "huge.gif" << gif << QSize();
    }
    void sizes() {
        QFETCH(QString, name);
        QFETCH(QByteArray, content);
        QFETCH(QSize, size);
        testing::WriteFile(path(name), content);
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
        testing::WriteFile(file, bmpOf(image, bits, topDown, masks, rle));
        testing::WriteFile(oracle, bmpOf(image, bits, false, masks, rle));
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
            testing::WriteFile(path("rows.bmp"), head + codes);
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

    void animatedGifShowsItsFirstFrame() {
        const QList<QRgb> palette{qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255)};
        testing::WriteFile(path("anim.gif"), testing::SolidGif({30, 20}, {0, 1, 2}, palette));
        QImageReader reader(path("anim.gif"));
        QCOMPARE(reader.imageCount(), 3);
        const forms::Picture p = forms::LoadPicture(path("anim.gif"));
        QCOMPARE(p.size(), QSize(30, 20));
        QCOMPARE(p.image().pixel(15, 10), qRgb(255, 0, 0));
    }

    // The image control takes the whole picture's size and shows, where it lies in view, the
    // pixels of the part held.
    void imageControlShowsThePartInView() {
        const QString file = orientedJpeg(8, false, QSize(300, 400));  // 400 x 300 upright
        const QSize view(100, 80);  // the form's client area, in pixels
        const QImage whole = qtUpright(file);
        ImageForm& f = *imageForm;
        f.Show();
        f.Image1.Picture = forms::LoadPicture(file, {}, view);
        QCOMPARE(f.Image1.Width(), 400.0f * 15);
        QCOMPARE(f.Image1.Height(), 300.0f * 15);
        f.Image1.Move((view.width() * 15 - f.Image1.Width()) / 2,
                      (view.height() * 15 - f.Image1.Height()) / 2);
        QCOMPARE(f.Image1.Left(), -2250.0f);
        QCOMPARE(f.Image1.Top(), -1650.0f);
        const QImage shown = f.client()
                                 ->grab(QRect(QPoint(0, 0), view))
                                 .toImage()
                                 .convertToFormat(QImage::Format_RGB32);
        QCOMPARE(largestDifference(shown, whole.copy(centred(whole.size(), view))), 0);
    }
};

QTEST_MAIN(PictureTest)
#include "tst_picture.moc"
