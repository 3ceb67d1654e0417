// The slide-show window, opened as the user opens it (再生 on the main window) and driven
// tick by tick through its timer's handler.
#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>

#include <QApplication>
#include <QDir>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <atomic>
#include <cmath>
#include <future>

#include "core/forms.h"
#include "core/module1.h"
#include "forms/twips.h"
#include "mainwindow/main_f.h"
#include "picture/prefetch.h"
#include "slideshow/imv.h"
#include "support/testsupport.h"

namespace {

const QString kEnd = QStringLiteral("終了しました。");

// Positions and sizes in twips are compared exactly, half twips included.
#define EXACT(actual, expected)                                                         \
    QVERIFY2((actual) == (expected), qPrintable(QStringLiteral("%1 is %2, expected %3") \
                                                    .arg(#actual)                       \
                                                    .arg(double(actual), 0, 'f', 3)     \
                                                    .arg(double(expected), 0, 'f', 3)))

// Presses 再生 and runs `inside` while the slide show is open; returns whether the modal
// Show has returned. Whatever `inside` leaves open is closed, so a failed check cannot hang.
bool play(const std::function<void(SlideShowForm&)>& inside) {
    bool returned = false;
    testing::WhileModal(
        [&] {
            main_f->playS.Value = true;
            returned = true;
        },
        [&] {
            if (SlideShowForm* f = imv.peek()) inside(*f);
            if (SlideShowForm* f = imv.peek()) f->Unload();
        });
    testing::Settle();
    return returned;
}

// What the window shows: "black", the size of the picture, or the notice's text.
QString onScreen(SlideShowForm& f) {
    const forms::Picture p = f.Image1.Picture();
    if (!p.isNull()) return QStringLiteral("%1x%2").arg(p.size().width()).arg(p.size().height());
    return f.Label1.Visible() ? QStringLiteral("notice: ") + f.Label1.Caption()
                              : QStringLiteral("black");
}

// A field of /proc/self/status, in KB; VmHWM, the peak, is put back to the present size by
// writing 5 to /proc/self/clear_refs.
qint64 statusKb(const char* field) {
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field))
            return line.mid(int(qstrlen(field)) + 1).trimmed().split(' ').at(0).toLongLong();
    return -1;
}

// Threads of this process, to see that nothing is left running.
int threadCount() {
    return int(QDir(QStringLiteral("/proc/self/task"))
                   .entryList(QDir::Dirs | QDir::NoDotAndDotDot)
                   .size());
}

QStringList playList() {
    QStringList out;
    for (int i = 0; i < main_f->List1.ListCount(); ++i) out << main_f->List1.List(i);
    return out;
}

}  // namespace

class SlideShowTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    // Pictures told apart by their sizes, in each of the three formats.
    const QList<std::pair<QString, QSize>> pictures_{
        {"a.jpg", {30, 20}}, {"b.bmp", {50, 40}}, {"c.gif", {70, 60}}};

    QString path(const QString& name) const { return dir_.path() + QLatin1Char('/') + name; }
    QString shape(const QString& name) const {
        for (const auto& [n, size] : pictures_)
            if (n == name) return QStringLiteral("%1x%2").arg(size.width()).arg(size.height());
        return name;
    }
    void setPlayList(const QStringList& names) {
        main_f->List1.Clear();
        for (const QString& name : names) main_f->List1.AddItem(path(name));
    }

private slots:
    void initTestCase() {
        testing::InitRuntime();
        QVERIFY(dir_.isValid());
        for (const auto& [name, size] : pictures_)
            testing::MakePicture(dir_.path(), name, size, Qt::red);
        main_f->Show();
        QCOMPARE(forms::twips::perPixelX(), 15.0);
        QCOMPARE(forms::twips::perPixelY(), 15.0);
    }
    void init() {
        Module1::interval = 3;
        main_f->List1.Clear();
    }
    void cleanupTestCase() { testing::UnloadAll(); }

    void timeline_data() {
        QTest::addColumn<QStringList>("names");
        QTest::newRow("empty") << QStringList{};
        QTest::newRow("one") << QStringList{"b.bmp"};
        QTest::newRow("three") << QStringList{"a.jpg", "b.bmp", "c.gif"};
        QTest::newRow("a repeat") << QStringList{"c.gif", "a.jpg", "c.gif"};
    }
    void timeline() {
        QFETCH(QStringList, names);
        setPlayList(names);
        const QStringList before = playList();
        QStringList expected{"black"};
        for (const QString& name : names) expected << shape(name);
        expected << "message over " + expected.last();

        for (int round = 1; round <= 2; ++round) {  // a replay shows the same sequence
            testing::MsgBoxes boxes;
            QStringList seen;
            bool tickingDuringMessage = true;
            boxes.onShown = [&](const QString&) {
                if (SlideShowForm* f = imv.peek()) {
                    seen << "message over " + onScreen(*f);
                    tickingDuringMessage = f->Timer1.Ticking();
                }
            };
            QPointer<QWidget> window;
            const bool returned = play([&](SlideShowForm& f) {
                window = f.window();
                QVERIFY(f.window()->isModal());
                QCOMPARE(f.Timer1.Interval(), 3000);
                QVERIFY(f.Timer1.Ticking());
                QCOMPARE(int(f.List2.ListCount()), int(names.size()));
                QVERIFY(!f.List2.Visible());
                seen << onScreen(f);
                for (int k = 1; k <= names.size(); ++k) {
                    testing::ShowTick(f);
                    seen << onScreen(f);
                    QVERIFY(imv.peek());
                    QCOMPARE(int(f.Position()), k - 1);
                }
                QVERIFY(boxes.texts.isEmpty());
                testing::ShowTick(f);  // finds the working list empty: the end
                QVERIFY(!imv.peek());
            });
            QVERIFY(!QTest::currentTestFailed());
            QVERIFY(returned);
            QCOMPARE(seen, expected);
            QCOMPARE(boxes.texts, QStringList({kEnd}));
            QCOMPARE(boxes.titles, QStringList({QStringLiteral("varnel")}));
            QVERIFY(!tickingDuringMessage);
            QVERIFY(!window);  // destroyed, with its picture
            QCOMPARE(playList(), before);
        }
    }

    void centring_data() {
        QTest::addColumn<QSize>("size");  // pixels
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QTest::newRow("smaller, even difference") << screen - QSize(400, 300);
        QTest::newRow("smaller, odd difference") << screen - QSize(401, 299);
        QTest::newRow("one pixel") << QSize(1, 1);
        QTest::newRow("as large as the screen") << screen;
        QTest::newRow("larger, even difference") << screen + QSize(200, 100);
        QTest::newRow("larger, odd difference") << screen + QSize(201, 177);
        QTest::newRow("wider only") << QSize(screen.width() + 400, 50);
        QTest::newRow("taller only, odd") << QSize(51, screen.height() + 333);
    }
    void centring() {
        QFETCH(QSize, size);
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        const QString file = testing::MakePicture(dir_.path(), "centre.bmp", size, Qt::green);
        main_f->List1.AddItem(file);
        play([&](SlideShowForm& f) {
            QCOMPARE(f.window()->geometry(), QGuiApplication::primaryScreen()->geometry());
            EXACT(f.Width(), float(screen.width() * 15));
            EXACT(f.Height(), float(screen.height() * 15));
            testing::ShowTick(f);
            // Never scaled: the control has the picture's own size.
            EXACT(f.Image1.Width(), float(size.width() * 15));
            EXACT(f.Image1.Height(), float(size.height() * 15));
            QCOMPARE(f.Image1.pixelSize(), size);
            const float left = (f.Width() - f.Image1.Width()) / 2;
            const float top = (f.Height() - f.Image1.Height()) / 2;
            EXACT(f.Image1.Left(), left);
            EXACT(f.Image1.Top(), top);
            EXACT(left, (screen.width() - size.width()) * 15 / 2.0f);
            EXACT(top, (screen.height() - size.height()) * 15 / 2.0f);
            const bool wider = size.width() > screen.width(),
                       taller = size.height() > screen.height();
            QCOMPARE(left < 0, wider);
            QCOMPARE(top < 0, taller);
            const bool oddX = (screen.width() - size.width()) % 2 != 0;
            const bool oddY = (screen.height() - size.height()) % 2 != 0;
            EXACT(left - std::floor(left), oddX ? 0.5f : 0.0f);
            EXACT(top - std::floor(top), oddY ? 0.5f : 0.0f);
            // On screen: black margins (or cut-off edges) equal on opposite sides, within
            // the half pixel.
            const QRect shown = f.Image1.widget()->geometry();
            QVERIFY(std::abs(shown.left() - (screen.width() - 1 - shown.right())) <= 1);
            QVERIFY(std::abs(shown.top() - (screen.height() - 1 - shown.bottom())) <= 1);
        });
    }

    void interval_data() {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<int>("period");  // milliseconds
        QTest::addColumn<bool>("ticks");
        QTest::newRow("0") << 0 << 0 << false;
        QTest::newRow("-1") << -1 << -1000 << false;
        QTest::newRow("-32768") << -32768 << -32768000 << false;
        QTest::newRow("1") << 1 << 1000 << true;
        QTest::newRow("3") << 3 << 3000 << true;
        QTest::newRow("32") << 32 << 32000 << true;
        QTest::newRow("33") << 33 << 33000 << true;
        QTest::newRow("40") << 40 << 40000 << true;
        QTest::newRow("32767") << 32767 << 32767000 << true;
    }
    void interval() {
        QFETCH(int, seconds);
        QFETCH(int, period);
        QFETCH(bool, ticks);
        Module1::interval = int16_t(seconds);
        setPlayList({"a.jpg"});
        testing::MsgBoxes boxes;
        const bool returned = play([&](SlideShowForm& f) {
            QCOMPARE(f.Timer1.Interval(), period);
            QCOMPARE(f.Timer1.Ticking(), ticks);
            QCOMPARE(onScreen(f), QStringLiteral("black"));
            f.window()->close();
        });
        QVERIFY(returned);
        QVERIFY(boxes.texts.isEmpty());
    }

    void entryThatCannotBeShown_data() {
        QTest::addColumn<QString>("name");
        QTest::newRow("missing") << "missing.jpg";
        QTest::newRow("text named jpg") << "text.jpg";
        QTest::newRow("empty file") << "empty.gif";
        QTest::newRow("directory") << "dir.bmp";
        QTest::newRow("fifo") << "fifo.jpg";
        QTest::newRow("empty path") << "";
    }
    void entryThatCannotBeShown() {
        QFETCH(QString, name);
        QTemporaryDir bad;
        testing::WriteFile(bad.path() + "/text.jpg", "not a picture at all");
        testing::WriteFile(bad.path() + "/empty.gif", "");
        QDir(bad.path()).mkdir("dir.bmp");
        QCOMPARE(::mkfifo(QFile::encodeName(bad.path() + "/fifo.jpg").constData(), 0600), 0);
        const QString badPath = name.isEmpty() ? QString() : bad.path() + "/" + name;
        main_f->List1.AddItem(path("a.jpg"));
        main_f->List1.AddItem(badPath);
        main_f->List1.AddItem(path("b.bmp"));

        testing::MsgBoxes boxes;
        QStringList seen;
        const bool returned = play([&](SlideShowForm& f) {
            for (int k = 0; k < 3; ++k) {
                testing::ShowTick(f);
                seen << onScreen(f);
                QVERIFY(imv.peek());
                QVERIFY(f.Timer1.Ticking());
            }
            QVERIFY(boxes.texts.isEmpty());
            testing::ShowTick(f);
        });
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(returned);
        QCOMPARE(seen.size(), 3);
        QCOMPARE(seen[0], shape("a.jpg"));
        QVERIFY2(seen[1].startsWith("notice: "), qPrintable(seen[1]));
        QVERIFY2(seen[1].contains(name.isEmpty() ? QStringLiteral("（空の項目）") : name),
                 qPrintable(seen[1]));
        QCOMPARE(seen[2], shape("b.bmp"));
        QCOMPARE(boxes.texts, QStringList({kEnd}));
    }

    // The runtime's own timer puts the first picture up: no tick is called by hand.
    void timerShowsThePictures() {
        setPlayList({"a.jpg"});
        testing::MsgBoxes boxes;
        play([&](SlideShowForm& f) {
            f.Timer1.Interval = 100;
            QTRY_VERIFY(imv.peek() && onScreen(*imv.peek()) == shape("a.jpg"));
        });
    }

    // The next picture is read while the one before is shown; a file changed or removed after
    // that is read again at its tick.
    void fileChangedAfterItWasReadAhead_data() {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("expected");
        QTest::newRow("unchanged") << QString() << QStringLiteral("40x30");
        QTest::newRow("replaced") << QStringLiteral("replace") << QStringLiteral("90x10");
        QTest::newRow("removed") << QStringLiteral("remove") << QStringLiteral("notice");
        QTest::newRow("rewritten, times kept (cp -p)") << QStringLiteral("rewrite") << "60x20";
    }
    void fileChangedAfterItWasReadAhead() {
        QFETCH(QString, change);
        QFETCH(QString, expected);
        QTemporaryDir tmp;
        const QString next = testing::MakePicture(tmp.path(), "next.bmp", {40, 30}, Qt::blue);
        main_f->List1.AddItem(path("a.jpg"));
        main_f->List1.AddItem(next);
        play([&](SlideShowForm& f) {
            testing::ShowTick(f);
            QTRY_VERIFY(f.ahead.Ready(next));
            if (change == "replace") {
                testing::MakePicture(tmp.path(), "new.bmp", {90, 10}, Qt::blue);
                QVERIFY(QFile::remove(next) && QFile::rename(tmp.path() + "/new.bmp", next));
            } else if (change == "remove") {
                QVERIFY(QFile::remove(next));
            } else if (!change.isEmpty()) {
                QFile in(testing::MakePicture(tmp.path(), "o.bmp", {60, 20}, Qt::blue));
                const QByteArray to = QFile::encodeName(next);
                struct stat st {};
                QVERIFY(in.open(QIODevice::ReadOnly) && ::stat(to, &st) == 0);
                // Changes are stamped by the clock's tick: the rewrite comes in a later one.
                timespec t{};
                do clock_gettime(CLOCK_REALTIME_COARSE, &t);
                while (t.tv_sec == st.st_ctim.tv_sec && t.tv_nsec == st.st_ctim.tv_nsec);
                const timespec times[2] = {st.st_atim, st.st_mtim};
                testing::WriteFile(next, in.readAll());
                QCOMPARE(::utimensat(AT_FDCWD, to, times, 0), 0);
            }
            testing::ShowTick(f);
            QVERIFY(onScreen(f).startsWith(expected));
        });
    }

    // A picture read ahead is taken only for the view it was read for.
    void readAheadForItsViewOnly() {
        QTemporaryDir tmp;
        const QString p = testing::MakePicture(tmp.path(), "p.bmp", {40, 30}, Qt::blue);
        std::atomic<int> reads{0};
        const forms::Prefetch::Loader load = [&reads](const QString& path) {
            ++reads;
            return forms::LoadPicture(path);
        };
        forms::Prefetch ahead;
        for (const QSize taken : {QSize(10, 10), QSize(20, 20)}) {
            reads = 0;
            ahead.Request(p, {10, 10}, load);
            QTRY_VERIFY(ahead.Ready(p));
            std::optional<forms::Picture> got = ahead.Take(p, taken, load);
            if (!got) QTRY_VERIFY(ahead.Ready(p));  // read again for its view
            if (!got) got = ahead.Take(p, taken, load);
            QCOMPARE(got.value_or(forms::Picture()).size(), QSize(40, 30));
            QCOMPARE(reads.load(), taken == QSize(10, 10) ? 1 : 2);
        }
    }

    // Stopping never waits for a read that does not answer (a dead mount): it is left to end
    // on its own, and what it reads is thrown away.
    void stopLeavesAReadBehind() {
        std::promise<void> answer;
        const std::shared_future<void> answered = answer.get_future().share();
        std::atomic<bool> reading{false};
        forms::Prefetch ahead;
        ahead.Request("stuck.jpg", {10, 10}, [&reading, answered](const QString&) {
            reading = true;
            answered.wait();
            return forms::Picture();
        });
        QTRY_VERIFY(reading);
        ahead.Stop();
        QVERIFY(!ahead.Ready("stuck.jpg"));
        answer.set_value();
    }

    // Closing the show while the next picture is being read leaves nothing running once that
    // read is over.
    void unloadWhileReading() {
        QTemporaryDir tmp;
        const QString big = testing::MakePicture(tmp.path(), "big.jpg", {4000, 3000}, Qt::red);
        const int threads = threadCount();
        for (int i = 0; i < 3; ++i) main_f->List1.AddItem(big);
        const bool returned = play([&](SlideShowForm& f) {
            testing::ShowTick(f);  // the next is being read now
            QTest::keyClick(f.window(), Qt::Key_Escape);
            QVERIFY(!imv.peek());
        });
        QVERIFY(returned);
        QTRY_COMPARE(threadCount(), threads);
    }

    // At most two pictures are held, the one shown and the next: over a show stepped by ticks
    // and keys, the peak stays within one screen of pixels above the picture read ahead at
    // the start.
    void peakMemory() {
        if (!MEMORY_MEASURED) QSKIP("resident sizes mean nothing under the sanitizers");
        const QSize screen = QGuiApplication::primaryScreen()->geometry().size();
        QTemporaryDir tmp;
        QStringList names;
        for (QColor c : {Qt::red, Qt::green, Qt::blue})
            names << testing::MakePicture(tmp.path(), c.name().mid(1) + ".jpg", screen * 3, c);
        main_f->List1.Clear();
        for (int i = 0; i < 8; ++i) main_f->List1.AddItem(names[i % 3]);
        const qint64 screenKb = qint64(screen.width()) * screen.height() * 4 / 1024;
        play([&](SlideShowForm& f) {
            auto step = [&](const std::function<void()>& action) {
                action();
                testing::Settle();  // painted
                if (f.Position() + 1 < f.List2.ListCount())
                    QTRY_VERIFY(f.ahead.Ready(f.List2.List(f.Position() + 1)));
            };
            QTRY_VERIFY(f.ahead.Ready(f.List2.List(0)));
            testing::Settle();
            const qint64 idle = statusKb("VmRSS");
            QFile refs(QStringLiteral("/proc/self/clear_refs"));
            if (!refs.open(QIODevice::WriteOnly) || refs.write("5") != 1)
                QSKIP("the peak cannot be reset");
            refs.close();
            for (int i = 0; i < 4; ++i) step([&] { testing::ShowTick(f); });
            step([&] { QTest::keyClick(f.window(), Qt::Key_Left); });
            step([&] { QTest::keyClick(f.window(), Qt::Key_Right); });
            step([&] { testing::ShowTick(f); });
            const qint64 peak = statusKb("VmHWM");
            qInfo("idle %lld KB, peak %lld KB, a screen %lld KB", idle, peak, screenKb);
            QVERIFY2(peak - idle < screenKb * 3 / 2,
                     qPrintable(QStringLiteral("peak %1 KB over idle").arg(peak - idle)));
        });
    }

    // A play while the show is open (as when it opened where it cannot be seen) brings it to
    // the front and returns: no second modal loop runs inside the first.
    void playWhileOpen() {
        setPlayList({"a.jpg"});
        play([&](SlideShowForm& f) {
            bool nested = false;
            QTimer inner;  // fires only if a nested loop runs
            inner.setSingleShot(true);
            QObject::connect(&inner, &QTimer::timeout, [&] {
                nested = true;
                if (imv.peek()) imv.peek()->Unload();
            });
            inner.start(0);
            main_f->playS.Value = true;
            inner.stop();
            QVERIFY(!nested);
            QCOMPARE(imv.peek(), &f);
        });
    }

    void doubleClickKeysAndClicks() {
        setPlayList({"b.bmp", "c.gif"});
        const int ends = testing::EndCount();
        testing::MsgBoxes boxes;
        play([&](SlideShowForm& f) {
            testing::ShowTick(f);
            QWidget* picture = f.Image1.widget();
            QWidget* blank = f.client();
            const QPoint onPicture = picture->rect().center();
            const QPoint offPicture = picture->geometry().topLeft() - QPoint(10, 10);
            QVERIFY(!picture->geometry().contains(offPicture));

            QTest::mouseDClick(picture, Qt::LeftButton, {}, onPicture);
            QTest::mouseClick(picture, Qt::LeftButton, {}, onPicture);
            QTest::mouseClick(blank, Qt::LeftButton, {}, offPicture);
            QTest::mouseClick(blank, Qt::RightButton, {}, offPicture);
            for (Qt::Key key : {Qt::Key_Return, Qt::Key_A, Qt::Key_Up, Qt::Key_Down, Qt::Key_F1})
                QTest::keyClick(f.window(), key);
            QCOMPARE(testing::EndCount(), ends);
            QCOMPARE(imv.peek(), &f);
            QCOMPARE(onScreen(f), shape("b.bmp"));
            QCOMPARE(int(f.Position()), 0);
            QVERIFY(boxes.texts.isEmpty());

            QTest::mouseDClick(blank, Qt::LeftButton, {}, offPicture);
            QCOMPARE(testing::EndCount(), ends + 1);
        });
        QVERIFY(boxes.texts.isEmpty());
    }

    void closeRequestUnloads() {
        setPlayList({"a.jpg", "b.bmp"});
        const QStringList before = playList();
        testing::MsgBoxes boxes;
        bool closed = false;
        const bool returned = play([&](SlideShowForm& f) {
            testing::ShowTick(f);
            f.window()->close();
            closed = !imv.peek();
        });
        QVERIFY(closed);
        QVERIFY(returned);
        QVERIFY(boxes.texts.isEmpty());
        QCOMPARE(playList(), before);
        QVERIFY(main_f.peek());
    }
};

QTEST_MAIN(SlideShowTest)
#include "tst_slideshow.moc"
