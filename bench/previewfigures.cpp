// The preview's figures: a camera's thumbnail against the reduced decode, the user interface's
// share of the preview of 108 MP photos and the preview's memory for a progressive one, and
// holding Down through a folder of photos in the real main window.
#include <time.h>
#include <unistd.h>

#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "bench.h"
#include "core/forms.h"
#include "mainwindow/main_f.h"

namespace bench {

namespace {

constexpr int kRuns = 7;
constexpr double kFrameMs = 1000.0 / 60;

// A 108 MP photo, written the first time a figure needs it.
QString photo108(const DataSet& data, bool progressive) {
    const QString file = data.path(progressive ? "p108-420-progressive.jpg" : "p108-420.jpg");
    if (!QFileInfo::exists(file)) WritePhotoJpeg(file, {12000, 9000}, true, 92, 108, progressive);
    return file;
}

// An EXIF block holding `thumbnail` as the second directory's JPEG, as cameras write it.
QByteArray exifWithThumbnail(const QByteArray& thumbnail) {
    QByteArray tiff("II*\0\x08\0\0\0", 8);
    auto put16 = [&](quint32 v) { tiff.append(char(v & 0xFF)).append(char((v >> 8) & 0xFF)); };
    auto put32 = [&](quint32 v) {
        put16(v & 0xFFFF);
        put16(v >> 16);
    };
    put16(0);   // the first directory: no entries
    put32(14);  // then the thumbnail's
    put16(2);
    for (const quint32 tag : {0x0201u, 0x0202u}) {
        put16(tag);
        put16(4);  // LONG
        put32(1);
        put32(tag == 0x0201 ? 44 : quint32(thumbnail.size()));
    }
    put32(0);
    const QByteArray body = QByteArray("Exif\0\0", 6) + tiff + thumbnail;
    QByteArray segment("\xFF\xE1");
    segment.append(char((body.size() + 2) >> 8)).append(char((body.size() + 2) & 0xFF));
    return segment + body;
}

// A 24 MP camera photo (4:3) carrying a 160x120 thumbnail of itself.
QString photoWithThumbnail(const DataSet& data) {
    const QString file = data.path("p24-thumbnail.jpg");
    if (QFileInfo::exists(file)) return file;
    const QString plain = data.path("p24-thumbnail-plain.jpg");
    WritePhotoJpeg(plain, {5664, 4248}, true, 92, 24);
    const QImage small = forms::LoadPicture(plain, {160, 120})
                             .image()
                             .scaled(160, 120, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    QByteArray thumbnail;
    QBuffer buffer(&thumbnail);
    buffer.open(QIODevice::WriteOnly);
    if (!small.save(&buffer, "JPEG", 90)) Fail("cannot encode the thumbnail");
    QFile in(plain), out(file);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly))
        Fail("cannot write " + file);
    const QByteArray jpeg = in.readAll();
    out.write(jpeg.left(2) + exifWithThumbnail(thumbnail) + jpeg.mid(2));
    out.close();
    QFile::remove(plain);
    return file;
}

QJsonObject thumbnailFigure(const DataSet& data) {
    const QString file = photoWithThumbnail(data);
    const QSize box(160, 120);
    QSize held;
    const Samples s = alternate(
        kRuns, [&] { held = forms::LoadPicture(file, box).image().size(); },
        [&] { DecodeJpegScaled(file, 8); });
    if (held != box) Fail("the thumbnail was not used");
    return result(QString(), "ms", s, 0.1,
                  QStringLiteral("a 5664x4248 JPEG for a 160x120 box: the thumbnail, against "
                                 "the decode at an eighth (708x531)"));
}

// Selects `file` in the main window's file list, with the preview ticked.
MainForm& selectIn(const QString& dir, const QString& file) {
    main_f->Show();
    Settle();
    MainForm& f = *main_f;
    f.Dirbox.Path = dir;
    f.filebox.Pattern = QStringLiteral("*.jpg");
    f.ckp.Value = 1;
    for (int i = 0; i < f.filebox.ListCount(); ++i)
        if (f.filebox.List(i) == file) f.filebox.ListIndex = i;
    if (f.filebox.ListIndex() < 0) Fail(file + " is not listed");
    return f;
}

void waitForPreview(MainForm& f) {
    while (f.PreviewPending()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// Peak memory of the preview of a 108 MP progressive JPEG, from the click until it is shown,
// against libjpeg's own decode at an eighth.
QJsonObject memoryFigure(const DataSet& data) {
    const QString file = photo108(data, true);
    MainForm& f = selectIn(data.dir, QFileInfo(file).fileName());
    const double mb = 1024.0 * 1024;
    Settle();
    qint64 before = ResidentBytes();
    ResetPeakResident();
    const auto start = Clock::now();
    f.filebox.Click();
    // On a busy machine the read may outlast the reader's patience; what it reads is shown
    // all the same when no other file has been clicked since.
    while (f.imP1.Picture().isNull())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    const double shownMs = msSince(start);
    const double ours = double(PeakResidentBytes() - before) / mb;
    if (f.imP1.Picture().isNull()) Fail("no preview of " + file);
    Settle();
    before = ResidentBytes();
    ResetPeakResident();
    const auto decoded = Clock::now();
    DecodeJpegScaled(file, 8);
    const double decodeMs = msSince(decoded);
    const double baseline = double(PeakResidentBytes() - before) / mb;
    return result(QString(), "MB", Samples{{ours}, {baseline}}, 0.25,
                  QStringLiteral("peak RSS over RSS before the click; shown %1 ms after it, "
                                 "libjpeg's decode at an eighth %2 ms")
                      .arg(shownMs, 0, 'f', 0)
                      .arg(decodeMs, 0, 'f', 0));
}

double threadCpuMs() {
    timespec t{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000 + double(t.tv_nsec) / 1e6;
}

// 40 Down presses at 30 Hz through a folder of 24 MP photos: the longest stretch the user
// interface's thread is busy without going back to wait for events, against one frame at 60 Hz.
QJsonObject browseFigure(const DataSet& data) {
    const QString dir = data.path("browse");
    QDir().mkpath(dir);
    constexpr int kPresses = 40;
    const QByteArray photo = QFile::encodeName(data.path("p24-420.jpg"));
    for (int i = 0; i <= kPresses; ++i) {
        const QString name = dir + QStringLiteral("/b%1.jpg").arg(i, 2, 10, QLatin1Char('0'));
        if (!QFileInfo::exists(name))
            ::link(photo.constData(), QFile::encodeName(name).constData());
    }
    MainForm& f = selectIn(dir, QStringLiteral("b00.jpg"));
    f.filebox.Click();
    waitForPreview(f);
    Settle();
    QWidget* list = f.filebox.widget();
    list->setFocus();

    // A probe ticks every millisecond: between two of its ticks the thread was away from its
    // events. The figure is the thread's own time spent in the longest such stretch (its CPU
    // time); the wall time, which on a shared machine includes waits for a core, is noted.
    double longest = 0, longestWall = 0, probedCpu = threadCpuMs();
    Clock::time_point probed;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const double cpu = threadCpuMs();
        longest = std::max(longest, cpu - probedCpu);
        longestWall = std::max(longestWall, msSince(probed) - 1);
        probed = Clock::now();
        probedCpu = cpu;
    });
    QEventLoop loop;
    QTimer keys;
    keys.setTimerType(Qt::PreciseTimer);
    int pressed = 0;
    Clock::time_point lastKey;
    double lastShown = 0;
    QObject::connect(&keys, &QTimer::timeout, [&] {
        if (pressed < kPresses) {
            QCoreApplication::postEvent(
                list, new QKeyEvent(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier));
            QCoreApplication::postEvent(
                list, new QKeyEvent(QEvent::KeyRelease, Qt::Key_Down, Qt::NoModifier));
            if (++pressed == kPresses) lastKey = Clock::now();
        } else if (!f.PreviewPending()) {
            if (lastShown == 0) lastShown = msSince(lastKey);
            // A few frames more: painting what was shown last is counted too.
            if (msSince(lastKey) > lastShown + 200) loop.quit();
        }
    });
    keys.start(1000 / 30);
    probed = Clock::now();
    probedCpu = threadCpuMs();
    probe.start(1);
    loop.exec();
    probe.stop();

    const QString last = dir + QStringLiteral("/b%1.jpg").arg(kPresses);
    if (f.filebox.ListIndex() != kPresses || f.selPath != last)
        Fail("the highlight did not follow every key");
    if (f.imP1.Picture().isNull()) Fail("no preview after the keys");
    return result(QString(), "ms", Samples{{longest}, {kFrameMs}}, 1.0,
                  QStringLiteral("%1 presses; longest wall-clock gap %2 ms; the last file's "
                                 "preview shown within %3 ms of the last key (seen at the keys' "
                                 "33 ms ticks)")
                      .arg(kPresses)
                      .arg(longestWall, 0, 'f', 1)
                      .arg(lastShown, 0, 'f', 0));
}

}  // namespace

QJsonObject FigurePreviewMore(const DataSet& data, const QString& figure) {
    if (figure == "preview-thumbnail") return thumbnailFigure(data);
    if (figure == "preview-memory-108mp-progressive") return memoryFigure(data);
    if (figure == "browse-keys") return browseFigure(data);
    return FigurePreview(data, photo108(data, figure.endsWith("progressive")), true);
}

}  // namespace bench
