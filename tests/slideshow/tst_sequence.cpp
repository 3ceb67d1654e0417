// The show's sequence alone, driven by key and tick sequences: t a tick, r Right, l Left,
// p Space. Each step gives the entry shown (a, b, ...), "-" for nothing or "E" for the end.
// Upper-case letters stand for entries a shuffle chooses: each is bound at its first use, and
// within a round (between slashes) different letters are different entries; "?" is any entry.
// A shuffle never shows one entry twice in a row.
#include <QMap>
#include <QTest>

#include "slideshow/sequence.h"

class SequenceTest : public QObject {
    Q_OBJECT

private slots:
    void steps_data() {
        QTest::addColumn<int>("count");
        QTest::addColumn<bool>("loop");
        QTest::addColumn<bool>("shuffle");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("expected");
        QTest::newRow("empty") << 0 << false << false << "t t r"
                               << "E - -";
        QTest::newRow("empty, looping") << 0 << true << true << "t"
                                        << "E";
        QTest::newRow("in order, then the end once") << 3 << false << false << "t t t t t"
                                                     << "a b c E -";
        QTest::newRow("Right and Left") << 3 << false << false << "l r l r l r r r"
                                        << "- a - b a b c E";
        QTest::newRow("paused") << 3 << false << false << "p t t r t l p t"
                                << "- - - a - - - b";
        QTest::newRow("loop") << 2 << true << false << "t t t l l l r"
                              << "a b a b a - b";
        QTest::newRow("loop of one") << 1 << true << false << "t t r l"
                                     << "a a a a";
        QTest::newRow("shuffle") << 4 << false << true << "t t t t l l r r r"
                                 << "A B C D C B C D E";
        QTest::newRow("shuffle and loop") << 3 << true << true << "t t t t t t t l l r"
                                          << "A B C / D E F / G F E F";
        QTest::newRow("shuffle of two") << 2 << true << true << "t t t t t t"
                                        << "A B / A B / A B";
        QTest::newRow("shuffle, many rounds")
            << 3 << true << true << QString("t ").repeated(60).trimmed()
            << QString("? ").repeated(60).trimmed();
    }
    void steps() {
        QFETCH(int, count);
        QFETCH(bool, loop);
        QFETCH(bool, shuffle);
        QFETCH(QString, keys);
        QFETCH(QString, expected);
        ShowSequence sequence(count, {loop, shuffle}, 7);
        QStringList want = expected.split(' ');
        QMap<QChar, int> bound;
        QSet<int> round;
        for (const QString& key : keys.split(' ')) {
            while (want.first() == "/") {
                want.removeFirst();
                round.clear();
            }
            const QString w = want.takeFirst();
            const int ahead = sequence.Ahead(), before = sequence.Position();
            ShowSequence::Step step = ShowSequence::Step::Stay;
            if (key == "t") step = sequence.Tick();
            if (key == "r") step = sequence.Forward();
            if (key == "l") step = sequence.Back();
            if (key == "p") sequence.TogglePause();
            const int at = sequence.Position();
            QString seen = step == ShowSequence::Step::End ? "E" : "-";
            if (step == ShowSequence::Step::Show) {
                QVERIFY(at >= 0 && at < count);
                seen = QChar('a' + at);
                // What was read ahead is what a step forward shows.
                if (key != "l") QCOMPARE(at, ahead);
                if (shuffle && count > 1) QVERIFY(at != before);
                if (w == "?") seen = w;
                if (w[0].isUpper()) {
                    if (!bound.contains(w[0])) {
                        QVERIFY2(!round.contains(at), qPrintable(key + " repeats within a round"));
                        bound[w[0]] = at;
                        round.insert(at);
                    }
                    if (bound[w[0]] == at) seen = w;
                }
            }
            if (step == ShowSequence::Step::End) QCOMPARE(ahead, -1);
            QCOMPARE(seen, w);
        }
    }
};

QTEST_MAIN(SequenceTest)
#include "tst_sequence.moc"
