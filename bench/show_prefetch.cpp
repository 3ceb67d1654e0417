// The slide show with the next picture read ahead: what a tick costs the user interface once
// the picture is ready, and the memory a show holds with every format in it.
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <cstdio>

#include "bench.h"
#include "core/forms.h"
#include "core/module1.h"
#include "mainwindow/main_f.h"
#include "slideshow/imv.h"

namespace bench {

namespace {

constexpr int kRuns = 7;

}  // namespace

void WaitForNext(SlideShowForm& show) {
    const int next = show.Next();
    if (next < 0) return;
    const QString path = show.List2.List(int16_t(next));
    for (int i = 0; i < 60000 && !show.ahead.Ready(path); ++i) QThread::msleep(1);
    if (!show.ahead.Ready(path)) Fail("the next picture was not read ahead: " + path);
}

QJsonObject FigureShowPrefetched(const DataSet& data, const QString& file, QSize size,
                                 const std::function<void()>& baseline) {
    if (!QFileInfo::exists(file)) WritePhotoJpeg(file, size, true, 92, 108);
    (void)data;
    Samples s;
    QString note;
    WithSlideShow(QStringList(2 * kRuns + 6, file), [&](SlideShowForm& show) {
        WaitForNext(show);
        s = alternate(
            kRuns,
            [&] {
                show.Timer1.Tick();
                show.window()->repaint();  // the picture on screen is part of the tick's work
            },
            baseline ? baseline : [&] { DecodeJpegCentre(file, ScreenSize()); },
            [&] {
                Settle();
                WaitForNext(show);
            });
        const forms::Picture p = show.Image1.Picture();
        if (p.isNull()) Fail("the show did not show " + file);
        note = "UI thread: tick and paint with the picture read ahead; " + HeldNote(p);
    });
    return result(QString(), "ms", s, 0.10, note);
}

QJsonObject FigureMemoryPrefetched(const DataSet& data, const QStringList& files) {
    QStringList paths;
    for (int i = 0; i < 20; ++i) paths << files[i % files.size()];
    qint64 idle = 0, peak = 0;
    WithSlideShow(paths, [&](SlideShowForm& show) {
        // The decoders' code is paged in once, as any earlier picture of the run would have.
        forms::LoadPicture(data.path("p06-420.jpg"), {}, ScreenSize());
        WaitForNext(show);
        Settle();
        idle = ResidentBytes();
        ResetPeakResident();
        for (int i = 0; i < paths.size(); ++i) {
            show.Timer1.Tick();
            Settle();  // painted
            WaitForNext(show);
        }
        peak = PeakResidentBytes();
    });
    const double mb = 1024.0 * 1024.0;
    const QSize screen = ScreenSize();
    const double budget = 3.0 * screen.width() * screen.height() * 4 / mb;
    Samples s;
    s.ours = {(peak - idle) / mb};
    s.baseline = {budget};
    QStringList suffixes;
    for (const QString& f : files) suffixes << QFileInfo(f).suffix();
    suffixes.removeDuplicates();
    return result(QString(), "MB", s, 1.0,
                  QStringLiteral("idle %1 MB (the first picture read ahead), peak %2 MB over 20 "
                                 "pictures (%5); budget 3 screens of %3x%4")
                      .arg(idle / mb, 0, 'f', 1)
                      .arg(peak / mb, 0, 'f', 1)
                      .arg(screen.width())
                      .arg(screen.height())
                      .arg(suffixes.join(", ")));
}

}  // namespace bench
