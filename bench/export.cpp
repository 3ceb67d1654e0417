// The show as a video: 40 pictures of 24 MP exported at 1920x1080, against the ffmpeg command
// line making the same video from the same files; the export's peak memory; its speed against
// the video's own length.
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <atomic>

#include "bench.h"
#include "video/exporter.h"

namespace bench {

namespace {

constexpr int kPictures = 40;
constexpr int kSeconds = 3;
const QSize kSize(1920, 1080);

// 40 entries of 24 MP JPEG: landscape and portrait, subsampled and not, in turn.
forms::VideoOptions exportOptions(const DataSet& data) {
    forms::VideoOptions o;
    const QStringList files{data.path("p24-420.jpg"), data.path("p24-444.jpg"),
                            data.path("p24-portrait.jpg")};
    for (int i = 0; i < kPictures; ++i) o.paths << files[i % files.size()];
    o.seconds = kSeconds;
    o.size = kSize;
    o.fit = true;
    o.target = data.path("export.mp4");
    return o;
}

void exportOurs(const forms::VideoOptions& o) {
    const std::atomic<bool> never{false};
    const forms::VideoResult r = forms::ExportVideo(o, never);
    if (!r.ok || r.pictures != kPictures)
        Fail(QStringLiteral("the export failed: %1").arg(r.error));
}

// The same video by the ffmpeg command line: the concat demuxer with each picture's duration
// (the last named twice, as the demuxer wants), reduced to fit and padded onto black, the same
// encoder settings.
std::function<void()> ffmpegBaseline(const DataSet& data, const forms::VideoOptions& o) {
    const QString ffmpeg = QStandardPaths::findExecutable("ffmpeg");
    if (ffmpeg.isEmpty()) Fail("ffmpeg is not installed (scripts/setup.sh test)");
    const QString list = data.path("export-list.txt");
    QFile file(list);
    if (!file.open(QIODevice::WriteOnly)) Fail("cannot write the concat list");
    for (const QString& p : o.paths)
        file.write(QStringLiteral("file '%1'\nduration %2\n").arg(p).arg(kSeconds).toUtf8());
    file.write(QStringLiteral("file '%1'\n").arg(o.paths.last()).toUtf8());
    file.close();
    const QString filter = QStringLiteral(
                               "scale=%1:%2:force_original_aspect_ratio=decrease,"
                               "pad=%1:%2:(ow-iw)/2:(oh-ih)/2,format=yuv420p")
                               .arg(kSize.width())
                               .arg(kSize.height());
    const forms::VideoEncoderSettings settings = forms::EncoderSettings();
    QStringList args{"-y", "-v", "error", "-f", "concat", "-safe", "0", "-i", list, "-vf", filter};
    args += {"-r", "30", "-t", QString::number(kPictures * kSeconds)};
    args += {"-c:v", "libx264", "-preset", settings.preset, "-crf", settings.crf};
    args += {"-x264-params", settings.x264Params, "-threads", QString::number(settings.threads)};
    args += {"-movflags", "+faststart", data.path("export-ffmpeg.mp4")};
    return [ffmpeg, args] {
        QProcess p;
        p.start(ffmpeg, args);
        if (!p.waitForFinished(-1) || p.exitCode() != 0)
            Fail(QStringLiteral("ffmpeg failed: %1")
                     .arg(QString::fromUtf8(p.readAllStandardError())));
    };
}

}  // namespace

QJsonObject FigureExport1080p(const DataSet& data) {
    const forms::VideoOptions o = exportOptions(data);
    const Samples s = alternate(
        1, [&] { exportOurs(o); }, ffmpegBaseline(data, o));
    return result(QString(), "ms", s, 1.0,
                  QStringLiteral("40 x 24 MP JPEG, 3 s each, fitted, no fade, 1920x1080 H.264 "
                                 "veryfast CRF 23, one frame of look-ahead, no B frames; "
                                 "baseline: ffmpeg, concat demuxer, same settings"));
}

QJsonObject FigureExportMemory(const DataSet& data) {
    const forms::VideoOptions o = exportOptions(data);
    // The decoder's code is paged in once, as any earlier picture of the run would have.
    forms::LoadPictureFitted(o.paths.first(), kSize);
    const qint64 idle = ResidentBytes();
    ResetPeakResident();
    exportOurs(o);
    const qint64 peak = PeakResidentBytes();
    const double mb = 1024.0 * 1024.0;
    Samples s;
    s.ours = {peak / mb};
    s.baseline = {(idle + 6.0 * kSize.width() * kSize.height() * 4) / mb};
    return result(QString(), "MB", s, 1.0,
                  QStringLiteral("peak RSS over the export; baseline: idle %1 MB + 6 frames of "
                                 "1920x1080x4 bytes")
                      .arg(idle / mb, 0, 'f', 1));
}

QJsonObject FigureExportRealtime(const DataSet& data) {
    const forms::VideoOptions o = exportOptions(data);
    Samples s;
    const auto t = Clock::now();
    exportOurs(o);
    s.ours = {msSince(t)};
    s.baseline = {kPictures * kSeconds * 1000.0};
    return result(QString(), "ms", s, 0.1,
                  QStringLiteral("the export's time against the video's length (120 s)"));
}

}  // namespace bench
