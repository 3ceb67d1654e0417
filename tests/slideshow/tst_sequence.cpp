// The show's sequence driven by keys and ticks (t tick, r Right, l Left, p Space), each step
// giving the entry shown (a, b, ...), "-" or "E" (the end); upper-case letters are entries a
// shuffle chooses, distinct within a round (between slashes); "?" is any. And the caption's date.
#include <QBuffer>
#include <QImage>
#include <QMap>
#include <QTemporaryDir>
#include <QTest>

#include "picture/datetaken.h"
#include "slideshow/sequence.h"

namespace {

// "Exif\0\0", then TIFF data: the picture's directory points to the EXIF directory, whose one
// entry, DateTimeOriginal, points to `date` at `at` (44: right after the two directories).
QByteArray exif(bool big, const QByteArray& date, quint32 at = 44) {
    QByteArray b = QByteArray("Exif\0\0", 6) + (big ? "MM" : "II");
    auto put = [&](quint32 v, int bytes) {
        for (int i = 0; i < bytes; ++i) b += char(v >> 8 * (big ? bytes - 1 - i : i));
    };
    const quint32 values[] = {42, 8, 1, 0x8769, 4, 1, 26, 0, 1, 0x9003, 2, 20, at, 0};
    const int widths[] = {2, 4, 2, 2, 2, 4, 4, 4, 2, 2, 2, 4, 4, 4};
    for (int k = 0; k < 14; ++k) put(values[k], widths[k]);
    return b + date + '\0';
}

}  // namespace

class SequenceTest : public QObject {
    Q_OBJECT

private slots:
    void steps() {
        const QString many = QString("t ").repeated(60).trimmed();
        const struct {
            int count;
            const char* mode;  // l: loop, s: shuffle
            QString keys, expected;
        } rows[] = {{0, "", "t t r", "E - -"},
                    {0, "ls", "t", "E"},
                    {3, "", "t t t t t", "a b c E -"},
                    {3, "", "l r l r l r r r", "- a - b a b c E"},
                    {3, "", "p t t r t l p t", "- - - a - - - b"},
                    {2, "l", "t t t l l l r", "a b a b a - b"},
                    {1, "l", "t t r l", "a a a a"},
                    {4, "s", "t t t t l l r r r", "A B C D C B C D E"},
                    {3, "ls", "t t t t t t t l l r", "A B C / D E F / G F E F"},
                    {2, "ls", "t t t t t t", "A B / A B / A B"},
                    {3, "ls", many, QString(many).replace('t', '?')}};
        for (const auto& row : rows) {
            const bool shuffle = strchr(row.mode, 's');
            ShowSequence sequence(row.count, {bool(strchr(row.mode, 'l')), shuffle}, 7);
            QStringList want = row.expected.split(' ');
            QMap<QChar, int> bound;  // the upper-case letters
            QSet<int> round;         // the entries bound in this round
            for (const QString& key : row.keys.split(' ')) {
                if (want.first() == "/") want.removeFirst(), round.clear();
                const QString w = want.takeFirst();
                const int ahead = sequence.Ahead(), before = sequence.Position();
                auto step = ShowSequence::Step::Stay;
                if (key == "t") step = sequence.Tick();
                if (key == "r") step = sequence.Forward();
                if (key == "l") step = sequence.Back();
                if (key == "p") sequence.TogglePause();
                const int at = sequence.Position();
                QString seen = step == ShowSequence::Step::End ? "E" : "-";
                if (step == ShowSequence::Step::End) QCOMPARE(ahead, -1);
                if (step == ShowSequence::Step::Show) {
                    seen = w == "?" ? w : QString(QChar('a' + at));
                    if (key != "l") QCOMPARE(at, ahead);
                    if (shuffle && row.count > 1) QVERIFY(at != before);
                    if (w[0].isUpper() && !bound.contains(w[0])) {
                        QVERIFY2(!round.contains(at), qPrintable(row.expected));
                        bound[w[0]] = at;
                        round.insert(at);
                    }
                    if (bound.value(w[0], -1) == at) seen = w;
                }
                QVERIFY2(seen == w, qPrintable(row.keys + ": " + seen + " for " + w));
            }
        }
    }
    void dateTaken() {
        const QByteArray date = "2024:05:03 14:22:10";
        const QString shown = QStringLiteral("2024年5月3日 14:22");
        // Two dated, then a clock never set, a date of another shape, an offset past the end
        // of the block, a block cut short.
        const QByteArray blocks[] = {exif(false, date),
                                     exif(true, date),
                                     exif(false, "0000:00:00 00:00:00"),
                                     exif(false, "2024-05-03 14:22:10"),
                                     exif(true, date, 4000),
                                     exif(false, date).left(40)};
        for (int k = 0; k < 6; ++k)
            QCOMPARE(forms::pixels::exifDateTaken(
                         reinterpret_cast<const uchar*>(blocks[k].constData()), blocks[k].size()),
                     k < 2 ? shown : QString());
        // In a file: the APP1 segment after the JFIF one.
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        QImage(8, 8, QImage::Format_RGB32).save(&buffer, "JPEG");
        const QByteArray block = exif(true, date);
        const QByteArray app1 = QByteArray("\xFF\xE1") + char((block.size() + 2) >> 8) +
                                char((block.size() + 2) & 0xFF) + block;
        QTemporaryDir dir;
        for (const QByteArray& content : {jpeg, jpeg.left(20) + app1 + jpeg.mid(20)}) {
            QFile file(dir.filePath("p.jpg"));
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
            file.close();
            QCOMPARE(forms::DateTaken(file.fileName()), content == jpeg ? QString() : shown);
        }
    }
};

QTEST_MAIN(SequenceTest)
#include "tst_sequence.moc"
