// The show's sequence alone, driven by keys and ticks: t a tick, r Right, l Left, p Space.
// Each step gives the entry shown (a, b, ...), "-" for nothing or "E" for the end. Upper-case
// letters stand for entries a shuffle chooses, bound at first use; within a round (between
// slashes) different letters are different entries; "?" is any entry. What was read ahead is
// what a step forward shows, and a shuffle never shows one entry twice in a row.
#include <QMap>
#include <QTest>

#include "slideshow/sequence.h"

class SequenceTest : public QObject {
    Q_OBJECT

private slots:
    void steps() {
        const QString many = QString("t ").repeated(60).trimmed();
        const struct {
            int count;
            const char* mode;  // l: loop, s: shuffle
            QString keys, expected;
        } rows[] = {
            {0, "", "t t r", "E - -"},
            {0, "ls", "t", "E"},
            {3, "", "t t t t t", "a b c E -"},
            {3, "", "l r l r l r r r", "- a - b a b c E"},
            {3, "", "p t t r t l p t", "- - - a - - - b"},
            {2, "l", "t t t l l l r", "a b a b a - b"},
            {1, "l", "t t r l", "a a a a"},
            {4, "s", "t t t t l l r r r", "A B C D C B C D E"},
            {3, "ls", "t t t t t t t l l r", "A B C / D E F / G F E F"},
            {2, "ls", "t t t t t t", "A B / A B / A B"},
            {3, "ls", many, QString(many).replace('t', '?')},
        };
        for (const auto& row : rows) {
            const bool shuffle = strchr(row.mode, 's');
            ShowSequence sequence(row.count, {bool(strchr(row.mode, 'l')), shuffle}, 7);
            QStringList want = row.expected.split(' ');
            QMap<QChar, int> bound;
            QSet<int> round;
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
                    QVERIFY(at >= 0 && at < row.count);
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
                QVERIFY2(
                    seen == w,
                    qPrintable(
                        QStringLiteral("%1 in %2: %3, expected %4").arg(key, row.keys, seen, w)));
            }
        }
    }
};

QTEST_MAIN(SequenceTest)
#include "tst_sequence.moc"
