// The show's options: a cross-fade frame against the 60 Hz frame, the user interface thread's
// share of a fade, and the memory of a show that repeats, shuffled, round after round.
#include <time.h>

#include <QAction>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QPainter>
#include <QTimer>
#include <algorithm>

#include "bench.h"
#include "core/forms.h"
#include "mainwindow/main_f.h"
#include "slideshow/imv.h"

namespace bench {

namespace {

constexpr double kFrameMs = 1000.0 / 60;

double threadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The show over `paths` with the menu items given ticked, its interval 3 s but its timer
// stopped: the figure ticks it.
void withOptions(const QStringList& paths, std::initializer_list<forms::Menu*> items,
                 const std::function<void(SlideShowForm&)>& inside) {
    for (forms::Menu* m : items) m->action()->setChecked(true);
    WithSlideShow(paths, [&](SlideShowForm& show) {
        show.Timer1.Interval = 3000;
        show.Timer1.Enabled = false;
        inside(show);
    });
    for (forms::Menu* m : items) m->action()->setChecked(false);
}

// Two screen-sized photos, the one fading in over the other.
QStringList twoScreens(const DataSet& data) {
    const QStringList files{data.path("hd-a.jpg"), data.path("hd-b.jpg")};
    for (int i = 0; i < 2; ++i)
        if (!QFileInfo::exists(files[i])) WritePhotoJpeg(files[i], {1920, 1080}, true, 92, 7 + i);
    return files;
}

}  // namespace

QJsonObject FigureFadeFrame(const DataSet& data) {
    Samples s;
    std::vector<double> bare;
    withOptions(twoScreens(data), {&main_f->fadeMn}, [&](SlideShowForm& show) {
        show.Timer1.Tick();
        WaitForNext(show);
        show.Timer1.Tick();  // the second picture starts to fade in over the first
        if (!show.Fading()) Fail("no fade began");
        for (int i = 0; i < 60; ++i) {
            show.Image1.Opacity = (i % 30 + 1) / 31.0;
            const auto t = Clock::now();
            show.window()->repaint();
            s.ours.push_back(msSince(t));
            s.baseline.push_back(kFrameMs);
        }
        // The least a frame can do, for the load of the machine: the two pictures blended
        // into a screen-sized image with QPainter.
        const QImage under = show.Image2.Picture().image(), over = show.Image1.Picture().image();
        QImage frame(under.size(), QImage::Format_RGB32);
        for (int i = 0; i < 30; ++i) {
            const auto t = Clock::now();
            QPainter painter(&frame);
            painter.drawImage(0, 0, under);
            painter.setOpacity((i + 1) / 31.0);
            painter.drawImage(0, 0, over);
            painter.end();
            bare.push_back(msSince(t));
        }
    });
    std::sort(bare.begin(), bare.end());
    return result(QString(), "ms", s, 0.5,
                  QStringLiteral("the whole window repainted, the picture before beneath the "
                                 "next at a partial opacity; a bare QPainter blend of the two "
                                 "takes %1 ms (median) in the same run")
                      .arg(bare[bare.size() / 2], 0, 'f', 1));
}

QJsonObject FigureFadeUiThread(const DataSet& data) {
    Samples s;
    withOptions(twoScreens(data), {&main_f->fadeMn, &main_f->loopMn}, [&](SlideShowForm& show) {
        show.Timer1.Tick();
        for (int run = 0; run < 6; ++run) {
            WaitForNext(show);
            Settle();
            const double cpu = threadCpuMs();
            const auto t = Clock::now();
            show.Timer1.Tick();  // the next picture fades in over this one
            QEventLoop loop;
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                if (!show.Fading()) loop.quit();
            });
            poll.start(1);
            loop.exec();
            const double wall = msSince(t);
            s.ours.push_back((threadCpuMs() - cpu) / wall * 1000);
            s.baseline.push_back(1000);
        }
    });
    return result(QString(), "ms", s, 0.5,
                  QStringLiteral("CPU time of the UI thread per second of a fade (the tick "
                                 "that starts it included), two 1920x1080 photos"));
}

QJsonObject FigureLoopMemory(const DataSet& data) {
    const QStringList files{data.path("p06-420.jpg"), data.path("hd-a.jpg"), data.path("hd-b.jpg"),
                            data.path("p24-420.jpg")};
    twoScreens(data);
    QStringList paths;
    for (int i = 0; i < 20; ++i) paths << files[i % files.size()];
    qint64 idle = 0, peak = 0, second = 0, tenth = 0;
    withOptions(paths, {&main_f->loopMn, &main_f->shuffleMn}, [&](SlideShowForm& show) {
        forms::LoadPicture(data.path("p06-420.jpg"), {}, ScreenSize());
        WaitForNext(show);
        Settle();
        idle = ResidentBytes();
        ResetPeakResident();
        for (int round = 1; round <= 10; ++round) {
            for (int i = 0; i < paths.size(); ++i) {
                show.Timer1.Tick();
                Settle();  // painted
                WaitForNext(show);
            }
            if (round == 2) second = ResidentBytes();
            if (round == 10) tenth = ResidentBytes();
        }
        peak = PeakResidentBytes();
    });
    const double mb = 1024.0 * 1024.0;
    const QSize screen = ScreenSize();
    Samples s;
    s.ours = {(peak - idle) / mb};
    s.baseline = {3.0 * screen.width() * screen.height() * 4 / mb};
    return result(QString(), "MB", s, 1.0,
                  QStringLiteral("idle %1 MB, peak %2 MB over 200 ticks; resident after round "
                                 "2: %3 MB, after round 10: %4 MB; budget 3 screens")
                      .arg(idle / mb, 0, 'f', 1)
                      .arg(peak / mb, 0, 'f', 1)
                      .arg(second / mb, 0, 'f', 1)
                      .arg(tenth / mb, 0, 'f', 1));
}

}  // namespace bench
