// Shared pieces of the benchmark program: timing, results, data and baselines.
#pragma once

#include <QJsonObject>
#include <QSize>
#include <QString>
#include <QStringList>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "picture/picture.h"

class SlideShowForm;

namespace bench {

using Clock = std::chrono::steady_clock;

inline double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// The figures measured in one run of a figure: our code path and its baseline, each a list
// of samples in the figure's unit.
struct Samples {
    std::vector<double> ours;
    std::vector<double> baseline;
};

// Runs `ours` and `baseline` alternately, `runs` times each after one warm-up of each, and
// returns the times in milliseconds. `between` runs untimed after each run of ours.
Samples alternate(int runs, const std::function<void()>& ours,
                  const std::function<void()>& baseline, const std::function<void()>& between = {});

// One figure's result line, as the figure's process prints it on its standard output.
QJsonObject result(const QString& figure, const QString& unit, const Samples& samples,
                   double target, const QString& note = {});

// --- test data ---

// The files made for the figures, by name, inside the data folder.
struct DataSet {
    QString dir;
    QString path(const QString& name) const { return dir + QLatin1Char('/') + name; }
};

// Writes every file the figures use (pictures, a directory of 100,000 empty files, screen
// configurations for the offscreen platform). Prints what it does on stderr.
void MakeData(const DataSet& data);

// A photo-like JPEG: smooth gradients, shapes with hard edges, fine texture and noise.
void WritePhotoJpeg(const QString& path, QSize size, bool subsampled, int quality, unsigned seed,
                    bool progressive = false);

// --- baselines: the least work that gives the same pixels, written directly ---

// Decodes a JPEG at 1/denom of its size into a new buffer.
void DecodeJpegScaled(const QString& path, int denom);
// Decodes a whole JPEG into a new buffer; the previous buffer is released after the new one
// is full, as a window that shows one picture after another does.
void DecodeJpegWhole(const QString& path);
// Decodes the centre `view` of a JPEG (cropped columns, skipped rows) into a new buffer.
void DecodeJpegCentre(const QString& path, QSize view);
// Lists a directory's regular files ending in `suffix` (any case), sorted as the file list
// sorts them.
std::vector<std::string> ListMatching(const QString& dir, const char* suffix);

// --- figures, each run in a process of its own ---

// The preview of `file`: from the click until it is shown (`uiThread` false), or the user
// interface's share of it, the click's handler alone (`uiThread` true); against `baseline`, by
// default a JPEG decoded at an eighth.
QJsonObject FigurePreview(const DataSet& data, const QString& file, bool uiThread,
                          const std::function<void()>& baseline = {});
QJsonObject FigureShowFits(const DataSet& data, const QString& file, const QString& name);
QJsonObject FigureShowLarge(const DataSet& data, const QString& file, const QString& name);
QJsonObject FigureShowOther(const DataSet& data, const QString& file, const QString& name);
QJsonObject FigureShowFit(const DataSet& data, const QString& file, const QString& name);
QJsonObject FigureLargeBmp(const DataSet& data, const QString& file, const QString& name);
QJsonObject FigureLargeGif(const DataSet& data, const QString& file, const QString& name);
// A show tick of a 24 MP picture of `ext` ("png", "webp", "tiff"), written from the 24 MP
// JPEG when missing, against its library's decode of the part held.
QJsonObject FigureLargeFormat(const DataSet& data, const QString& ext, const QString& name);
// The preview of that picture against its library's quickest decode to the preview's size:
// libwebp's own scaling; libspng and libtiff decode whole.
QJsonObject FigurePreviewFormat(const DataSet& data, const QString& ext, const QString& name);
// The show of that picture read ahead, against its library's decode of the part held.
QJsonObject FigureFormatPrefetched(const DataSet& data, const QString& ext);
// Memory of a show of 20 pictures of every format, read ahead.
QJsonObject FigureMemoryFormats(const DataSet& data);
// A 24 MP JPEG with an Adobe RGB profile loaded for the show, against it without one.
QJsonObject FigureColourConvert(const DataSet& data, const QString& name);
// Ticks the show through copies of one picture against `baseline`, each tick reading its
// picture itself (nothing read ahead).
QJsonObject ShowTickFigure(const QString& file, const QString& name, double target,
                           const std::function<void()>& baseline);
QJsonObject FigureMemory(const DataSet& data, const QStringList& files, const QString& name);
QJsonObject FigureFileList(const DataSet& data, const QString& name);
QJsonObject FigurePlayList(const DataSet& data, const QString& name);
// The show with the next picture read ahead (show_prefetch.cpp); a missing JPEG of `size` is
// written first. The baseline is, by default, the JPEG's visible part decoded.
QJsonObject FigureShowPrefetched(const DataSet& data, const QString& file, QSize size,
                                 const std::function<void()>& baseline = {});
QJsonObject FigureMemoryPrefetched(const DataSet& data, const QStringList& files);

// HEIC and JPEG XL (heifjxl.cpp): show-large-heic, show-large-jxl, preview-heic, preview-jxl,
// preview-heic-thumbnail.
QJsonObject FigureHeifJxl(const DataSet& data, const QString& figure);

// The preview's own figures (previewfigures.cpp): preview-thumbnail, preview-ui-thread-108mp,
// preview-ui-thread-108mp-progressive, preview-memory-108mp-progressive, browse-keys.
QJsonObject FigurePreviewMore(const DataSet& data, const QString& figure);

// Start-up: the children report when their main window has first been painted.
int StartupChild(int argc, char** argv, bool realProgram);
QJsonObject FigureStartup(const DataSet& data, const QString& self, const QString& name);
QJsonObject FigureStartupManyFiles(const DataSet& data, const QString& self);
QJsonObject FigureManySubfolders(const DataSet& data);
QJsonObject FigureAddFolder(const DataSet& data);

// Memory of this process, from /proc/self/status, in bytes.
// The screen the figures run on (offscreen, configured), in pixels.
QSize ScreenSize();
// What a figure's note says of a picture shown: its size, the screen's, and what it holds.
QString HeldNote(const forms::Picture& p);
// Opens the slide show over a play list of `paths` with no ticks of its own, runs `inside`
// while it is open, then closes it.
void WithSlideShow(const QStringList& paths, const std::function<void(SlideShowForm&)>& inside);

// Waits, as the interval would, until the picture the show shows next has been read.
void WaitForNext(SlideShowForm& show);
// The show's options, fade, repeat and shuffle: cross-fade frames, the UI thread in a fade,
// memory over rounds (show_options.cpp).
QJsonObject FigureFadeFrame(const DataSet& data);
QJsonObject FigureFadeUiThread(const DataSet& data);
QJsonObject FigureLoopMemory(const DataSet& data);
// The show as a video (export.cpp): 40 x 24 MP at 1920x1080 against the ffmpeg command line,
// its peak memory against 6 frames, its time against the video's length.
QJsonObject FigureExport1080p(const DataSet& data);
QJsonObject FigureExportMemory(const DataSet& data);
QJsonObject FigureExportRealtime(const DataSet& data);

// Runs what the event loop has queued, deferred deletions included.
void Settle();
// Ends the benchmark run with a message: a figure could not be measured.
[[noreturn]] void Fail(const QString& why);

qint64 ResidentBytes();
qint64 PeakResidentBytes();
void ResetPeakResident();

}  // namespace bench
