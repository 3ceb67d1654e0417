// The figures: each drives the real windows through the forms runtime, as a user's actions
// reach them, and times the same work done directly as its baseline.
#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFileInfo>
#include <QImageReader>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <string>

#include "bench.h"
#include "core/forms.h"
#include "core/module1.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "slideshow/imv.h"

namespace bench {

void Settle() {
    for (int i = 0; i < 3; ++i) {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
    }
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

[[noreturn]] void Fail(const QString& why) {
    std::fprintf(stderr, "bench: %s\n", qPrintable(why));
    std::exit(2);
}

QSize ScreenSize() { return QGuiApplication::primaryScreen()->geometry().size(); }

QString HeldNote(const forms::Picture& p) {
    return QStringLiteral("picture %1x%2 on a %3x%4 screen; holds %5x%6%7")
        .arg(p.size().width())
        .arg(p.size().height())
        .arg(ScreenSize().width())
        .arg(ScreenSize().height())
        .arg(p.image().width())
        .arg(p.image().height())
        .arg(p.isWhole() ? QStringLiteral(" (the whole picture)") : QString());
}

namespace {

constexpr int kRuns = 7;

MainForm& mainWindow() {
    main_f->Show();
    Settle();
    return *main_f;
}

qint64 statusField(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string key = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.compare(0, key.size(), key) == 0)
            return std::stoll(line.substr(key.size())) * 1024;
    }
    return -1;
}

}  // namespace

qint64 ResidentBytes() { return statusField("VmRSS"); }
qint64 PeakResidentBytes() { return statusField("VmHWM"); }
void ResetPeakResident() {
    std::ofstream clear("/proc/self/clear_refs");
    clear << "5";
}

QJsonObject FigurePreview(const DataSet& data, const QString& file, bool uiThread,
                          const std::function<void()>& baseline) {
    MainForm& f = mainWindow();
    f.filebox.Pattern = "*." + QFileInfo(file).suffix();
    f.Dirbox.Path = data.dir;
    f.ckp.Value = 1;
    const QString picture = QFileInfo(file).fileName();
    int index = -1;
    for (int i = 0; i < f.filebox.ListCount(); ++i)
        if (f.filebox.List(i) == picture) index = i;
    if (index < 0) Fail(picture + " is not listed");
    f.filebox.ListIndex = index;
    auto shown = [&] {
        while (f.PreviewPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    };
    const Samples s = alternate(
        kRuns,
        [&] {
            f.filebox.Click();
            if (!uiThread) shown();
        },
        baseline ? baseline : [&] { DecodeJpegScaled(file, 8); },
        [&] {
            shown();
            Settle();
        });
    const QSize held = f.imP1.Picture().image().size();
    if (f.Text1.Text() != file) Fail("the click did not select " + file);
    return result(QString(), "ms", s, uiThread ? 0.05 : 1.3,
                  QStringLiteral("decoded at %1x%2 for a %3x%4 box")
                      .arg(held.width())
                      .arg(held.height())
                      .arg(f.imP1.pixelSize().width())
                      .arg(f.imP1.pixelSize().height()));
}

QJsonObject ShowTickFigure(const QString& file, const QString& name, double target,
                           const std::function<void()>& baseline) {
    Samples s;
    QString note;
    WithSlideShow(QStringList(2 * kRuns + 6, file), [&](SlideShowForm& show) {
        // Each tick reads its picture itself: what is read ahead is waited for and dropped
        // before the tick, outside the time measured.
        auto drop = [&] {
            WaitForNext(show);
            show.ahead.Stop();
        };
        drop();
        s = alternate(
            kRuns, [&] { show.Timer1.Tick(); }, baseline,
            [&] {
                drop();
                Settle();
            });
        const forms::Picture p = show.Image1.Picture();
        if (p.isNull()) Fail("the show did not show " + file);
        note = HeldNote(p);
    });
    return result(name, "ms", s, target, note);
}

QJsonObject FigureShowFits(const DataSet&, const QString& file, const QString& name) {
    return ShowTickFigure(file, name, 1.2, [&] { DecodeJpegWhole(file); });
}

QJsonObject FigureShowLarge(const DataSet&, const QString& file, const QString& name) {
    return ShowTickFigure(file, name, 1.5, [&] { DecodeJpegCentre(file, ScreenSize()); });
}

QJsonObject FigureShowOther(const DataSet&, const QString& file, const QString& name) {
    return ShowTickFigure(file, name, 0, [&] {
        QImageReader reader(file);
        if (reader.read().isNull()) Fail("Qt cannot read " + file);
    });
}

QJsonObject FigureMemory(const DataSet& data, const QStringList& files, const QString& name) {
    QStringList paths;
    for (int i = 0; i < 20; ++i) paths << files[i % files.size()];
    qint64 idle = 0, peak = 0, largest = 0;
    WithSlideShow(paths, [&](SlideShowForm& show) {
        // The decoder's code is paged in once, as any earlier picture of the run would have.
        forms::LoadPicture(data.path("p06-420.jpg"), {}, ScreenSize());
        Settle();
        idle = ResidentBytes();
        ResetPeakResident();
        for (int i = 0; i < paths.size(); ++i) {
            show.Timer1.Tick();
            Settle();  // painted
            largest = std::max(largest, qint64(show.Image1.Picture().image().sizeInBytes()));
        }
        peak = PeakResidentBytes();
    });
    const double mb = 1024.0 * 1024.0;
    const double budget = 2.0 * 1920 * 1080 * 4 / mb;
    Samples s;
    s.ours = {(peak - idle) / mb};
    s.baseline = {budget};
    return result(name, "MB", s, 1.0,
                  QStringLiteral("idle %1 MB, peak %2 MB over 20 pictures of 24-48 MP; largest "
                                 "picture held %3 MB; budget 2 x 1920x1080x4 bytes")
                      .arg(idle / mb, 0, 'f', 1)
                      .arg(peak / mb, 0, 'f', 1)
                      .arg(largest / mb, 0, 'f', 1));
}

QJsonObject FigureFileList(const DataSet& data, const QString& name) {
    MainForm& f = mainWindow();
    const QString many = data.path("many"), few = data.path("few");
    const int expected = int(ListMatching(many, ".jpg").size());
    f.Dirbox.Path = few;
    Settle();
    const Samples s = alternate(
        kRuns,
        [&] {
            f.Dirbox.Path = many;
            QCoreApplication::processEvents();  // the list lays out its rows
            f.filebox.widget()->repaint();
        },
        [&] {
            if (int(ListMatching(many, ".jpg").size()) != expected) Fail("listing changed");
        },
        [&] {
            if (f.filebox.ListCount() != expected)
                Fail(QStringLiteral("%1 files listed, %2 expected")
                         .arg(f.filebox.ListCount())
                         .arg(expected));
            f.Dirbox.Path = few;
            Settle();
        });
    return result(name, "ms", s, 1.3,
                  QStringLiteral("%1 of 100,000 files match *.jpg").arg(expected));
}

QJsonObject FigurePlayList(const DataSet&, const QString& name) {
    MainForm& f = mainWindow();
    const int count = 32767;
    f.selPath = QStringLiteral("/home/user/Pictures/2024/holiday/IMG_20240812_101512.jpg");
    Samples s;
    double longest = 0;
    QString where;
    auto stall = [&](double ms, const char* what) {
        if (ms > longest) {
            longest = ms;
            where = QString::fromLatin1(what);
        }
    };
    for (int run = 0; run < 4; ++run) {
        f.allcll.Value = true;
        Settle();
        const auto start = Clock::now();
        for (int i = 0; i < count; ++i) {
            const auto t = Clock::now();
            f.sentaku.Value = true;
            stall(msSince(t), "one add");
        }
        auto t = Clock::now();
        QCoreApplication::processEvents();
        f.List1.widget()->repaint();
        stall(msSince(t), "showing the list after the adds");
        const double adds = msSince(start);
        if (f.List1.ListCount() != count) Fail("the play list is not full");
        double copy = 0, close = 0;
        Module1::interval = 0;
        QTimer::singleShot(0, [&] {
            copy = msSince(t);
            if (imv->List2.ListCount() != count) Fail("the show did not copy the list");
            t = Clock::now();
            imv->Unload();
        });
        t = Clock::now();
        imv->Show(1, main_f);
        Settle();
        close = msSince(t);
        stall(copy, "opening the show (copy into List2)");
        stall(close, "closing the show");
        if (run > 0) s.ours.push_back(adds + copy);

        const auto b = Clock::now();
        std::vector<QString> list, copied;
        for (int i = 0; i < count; ++i) list.push_back(f.selPath);
        for (int i = 0; i < count; ++i) copied.push_back(list[size_t(i)]);
        if (run > 0) s.baseline.push_back(msSince(b));
    }
    f.allcll.Value = true;
    return result(name, "ms", s, 0,
                  QStringLiteral("longest UI stall %1 ms (%2)").arg(longest, 0, 'f', 1).arg(where));
}

void WithSlideShow(const QStringList& paths, const std::function<void(SlideShowForm&)>& inside) {
    MainForm& f = mainWindow();
    f.List1.Clear();
    for (const QString& p : paths) f.List1.AddItem(p);
    Module1::interval = 0;  // the figures tick the timer themselves
    QTimer::singleShot(0, [&] {
        Settle();
        inside(*imv);
        imv->Unload();
    });
    imv->Show(1, main_f);
    Settle();
}

}  // namespace bench
