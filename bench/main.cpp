// The benchmark program.
//
//   varnel_bench all DATA_DIR RESULT.json   makes the data, runs every figure in a process of
//                                           its own, prints the table, writes it as JSON
//   varnel_bench make-data DATA_DIR
//   varnel_bench figure NAME DATA_DIR       runs one figure, prints its result as JSON
//   varnel_bench startup-child app|min      (used by the start-up figure)
#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QSysInfo>
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <functional>

#include "bench.h"

namespace bench {

Samples alternate(int runs, const std::function<void()>& ours,
                  const std::function<void()>& baseline, const std::function<void()>& between) {
    Samples s;
    for (int i = -1; i < runs; ++i) {  // the first round warms caches and is not kept
        auto t = Clock::now();
        ours();
        const double o = msSince(t);
        if (between) between();
        t = Clock::now();
        baseline();
        const double b = msSince(t);
        if (i >= 0) {
            s.ours.push_back(o);
            s.baseline.push_back(b);
        }
    }
    return s;
}

namespace {

QJsonObject stats(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    const size_t n = v.size();
    const double median = n == 0 ? 0 : n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
    QJsonArray all;
    for (double x : v) all.append(x);
    return {{"median", median},
            {"min", n ? v.front() : 0},
            {"max", n ? v.back() : 0},
            {"samples", all}};
}

}  // namespace

QJsonObject result(const QString& figure, const QString& unit, const Samples& samples,
                   double target, const QString& note) {
    const QJsonObject ours = stats(samples.ours), base = stats(samples.baseline);
    const double ratio = ours["median"].toDouble() / base["median"].toDouble();
    QJsonObject r{{"figure", figure}, {"unit", unit},   {"ours", ours},
                  {"baseline", base}, {"ratio", ratio}, {"note", note}};
    if (target > 0) {
        r["target"] = target;
        r["met"] = ratio <= target;
    }
    return r;
}

namespace {

struct Figure {
    const char* name;
    const char* title;
    const char* screen;  // the offscreen platform's screen
    std::function<QJsonObject(const DataSet&, const QString& self)> run;
};

std::vector<Figure> figures() {
    auto preview = [](const char* file) {
        return [file](const DataSet& d, const QString&) {
            return FigurePreview(d, d.path(QLatin1String(file)), false);
        };
    };
    auto clickOnly = [](const char* file) {
        return [file](const DataSet& d, const QString&) {
            return FigurePreview(d, d.path(QLatin1String(file)), true);
        };
    };
    auto large = [](const char* file) {
        return [file](const DataSet& d, const QString&) {
            return FigureShowLarge(d, d.path(QLatin1String(file)), QString());
        };
    };
    auto other = [](const char* file) {
        return [file](const DataSet& d, const QString&) {
            return FigureShowOther(d, d.path(QLatin1String(file)), QString());
        };
    };
    auto prefetched = [](const char* file, QSize size) {
        return [file, size](const DataSet& d, const QString&) {
            return FigureShowPrefetched(d, d.path(QLatin1String(file)), size);
        };
    };
    auto fit = [](const char* file) {
        return [file](const DataSet& d, const QString&) {
            return FigureShowFit(d, d.path(QLatin1String(file)), QString());
        };
    };
    auto heifJxl = [](const char* figure) {
        return [figure](const DataSet& d, const QString&) {
            return FigureHeifJxl(d, QLatin1String(figure));
        };
    };
    auto more = [](const char* figure) {
        return [figure](const DataSet& d, const QString&) {
            return FigurePreviewMore(d, QLatin1String(figure));
        };
    };
    const char* hd = "screen-1920x1080.json";
    return {
        {"show-large-heic", "show tick, 12 MP HEIC (vs libheif whole decode)", hd,
         heifJxl("show-large-heic")},
        {"show-large-jxl", "show tick, 24 MP JPEG XL (vs libjxl to the centre)", hd,
         heifJxl("show-large-jxl")},
        {"preview-heic", "preview, 12 MP HEIC (vs libheif decode + scale)", hd,
         heifJxl("preview-heic")},
        {"preview-jxl", "preview, 24 MP JPEG XL (vs libjxl decode + scale)", hd,
         heifJxl("preview-jxl")},
        {"preview-heic-thumbnail", "preview, phone HEIC with thumbnail (vs whole)", hd,
         heifJxl("preview-heic-thumbnail")},
        {"preview-24mp-420", "preview, 24 MP JPEG 4:2:0", hd, preview("p24-420.jpg")},
        {"preview-24mp-444", "preview, 24 MP JPEG 4:4:4", hd, preview("p24-444.jpg")},
        {"preview-48mp-420", "preview, 48 MP JPEG 4:2:0", hd, preview("p48-420.jpg")},
        {"preview-48mp-444", "preview, 48 MP JPEG 4:4:4", hd, preview("p48-444.jpg")},
        {"preview-ui-thread-24mp", "preview's click handler, 24 MP JPEG", hd,
         clickOnly("p24-420.jpg")},
        {"preview-ui-thread-48mp", "preview's click handler, 48 MP JPEG", hd,
         clickOnly("p48-444.jpg")},
        {"preview-ui-thread-108mp", "preview's click handler, 108 MP JPEG", hd,
         more("preview-ui-thread-108mp")},
        {"preview-ui-thread-108mp-progressive", "preview's click handler, 108 MP progressive", hd,
         more("preview-ui-thread-108mp-progressive")},
        {"preview-memory-108mp-progressive", "preview memory, 108 MP progressive (MB)", hd,
         more("preview-memory-108mp-progressive")},
        {"preview-thumbnail", "preview, 24 MP JPEG from its EXIF thumbnail (vs 1/8)", hd,
         more("preview-thumbnail")},
        {"browse-keys", "40 Down at 30 Hz, 24 MP photos: longest stall (vs 60 Hz)", hd,
         more("browse-keys")},
        {"show-fits-6mp", "show tick, 3000x2000 JPEG (fits)", "screen-3840x2160.json",
         [](const DataSet& d, const QString&) {
             return FigureShowFits(d, d.path("p06-420.jpg"), QString());
         }},
        {"show-large-24mp-420", "show tick, 24 MP JPEG 4:2:0 on 1920x1080", hd,
         large("p24-420.jpg")},
        {"show-large-24mp-444", "show tick, 24 MP JPEG 4:4:4 on 1920x1080", hd,
         large("p24-444.jpg")},
        {"show-large-48mp-420", "show tick, 48 MP JPEG 4:2:0 on 1920x1080", hd,
         large("p48-420.jpg")},
        {"show-large-48mp-444", "show tick, 48 MP JPEG 4:4:4 on 1920x1080", hd,
         large("p48-444.jpg")},
        {"show-large-bmp-vs-qt", "show tick, 6000x4000 BMP (vs Qt reader)", hd, other("p24.bmp")},
        {"show-large-gif-vs-qt", "show tick, 4000x3000 GIF (vs Qt reader)", hd, other("p12.gif")},
        {"show-fit-24mp", "fitted load, 24 MP JPEG on 1920x1080", hd, fit("p24-420.jpg")},
        {"show-fit-48mp", "fitted load, 48 MP JPEG on 1920x1080", hd, fit("p48-420.jpg")},
        {"show-large-bmp", "show tick, 6000x4000 BMP (vs pread + convert)", hd,
         [](const DataSet& d, const QString&) {
             return FigureLargeBmp(d, d.path("p24.bmp"), QString());
         }},
        {"show-large-gif", "show tick, 4000x3000 GIF (vs giflib to the band)", hd,
         [](const DataSet& d, const QString&) {
             return FigureLargeGif(d, d.path("p12.gif"), QString());
         }},
        {"show-large-png", "show tick, 6000x4000 PNG (vs libspng to the band)", hd,
         [](const DataSet& d, const QString&) { return FigureLargeFormat(d, "png", {}); }},
        {"show-large-webp", "show tick, 6000x4000 WebP (vs libwebp cropping)", hd,
         [](const DataSet& d, const QString&) { return FigureLargeFormat(d, "webp", {}); }},
        {"show-large-tiff", "show tick, 6000x4000 TIFF (vs libtiff RGBA part)", hd,
         [](const DataSet& d, const QString&) { return FigureLargeFormat(d, "tiff", {}); }},
        {"preview-png", "preview, 6000x4000 PNG (vs libspng whole)", hd,
         [](const DataSet& d, const QString&) { return FigurePreviewFormat(d, "png", {}); }},
        {"preview-webp", "preview, 6000x4000 WebP (vs libwebp scaling)", hd,
         [](const DataSet& d, const QString&) { return FigurePreviewFormat(d, "webp", {}); }},
        {"preview-tiff", "preview, 6000x4000 TIFF (vs libtiff RGBA whole)", hd,
         [](const DataSet& d, const QString&) { return FigurePreviewFormat(d, "tiff", {}); }},
        {"show-tick-prefetched-png", "show tick read ahead, 24 MP PNG (vs part decode)", hd,
         [](const DataSet& d, const QString&) { return FigureFormatPrefetched(d, "png"); }},
        {"show-tick-prefetched-webp", "show tick read ahead, 24 MP WebP (vs part decode)", hd,
         [](const DataSet& d, const QString&) { return FigureFormatPrefetched(d, "webp"); }},
        {"show-tick-prefetched-tiff", "show tick read ahead, 24 MP TIFF (vs part decode)", hd,
         [](const DataSet& d, const QString&) { return FigureFormatPrefetched(d, "tiff"); }},
        {"memory-show-formats", "memory, show of 20, every format, read ahead (MB)", hd,
         [](const DataSet& d, const QString&) { return FigureMemoryFormats(d); }},
        {"colour-convert", "show load, 24 MP Adobe RGB JPEG (vs no profile)", hd,
         [](const DataSet& d, const QString&) { return FigureColourConvert(d, {}); }},
        {"memory-show", "memory, show of 20 pictures (MB over idle)", hd,
         [](const DataSet& d, const QString&) {
             QStringList files;
             for (const char* f : {"p24-420.jpg", "p48-444.jpg", "p36-420.jpg", "p24-portrait.jpg",
                                   "p48-420.jpg", "p24-444.jpg"})
                 files << d.path(QLatin1String(f));
             return FigureMemory(d, files, QString());
         }},
        {"file-list", "file list, 100,000 files", hd,
         [](const DataSet& d, const QString&) { return FigureFileList(d, QString()); }},
        {"startup", "start-up to first paint", hd,
         [](const DataSet& d, const QString& self) { return FigureStartup(d, self, QString()); }},
        {"startup-100k", "start-up in 100,000 files (vs in 6)", hd,
         [](const DataSet& d, const QString& self) { return FigureStartupManyFiles(d, self); }},
        {"open-100k-subfolders", "folder list, 100,000 folders (UI stall)", hd,
         [](const DataSet& d, const QString&) { return FigureManySubfolders(d); }},
        {"add-folder", "add a folder, 20,000 pictures in 200", hd,
         [](const DataSet& d, const QString&) { return FigureAddFolder(d); }},
        {"play-list", "play list, 32,767 adds + copy", hd,
         [](const DataSet& d, const QString&) { return FigurePlayList(d, QString()); }},
        {"show-tick-prefetched-24mp", "show tick read ahead, 24 MP JPEG (vs crop decode)", hd,
         prefetched("p24-420.jpg", {6000, 4000})},
        {"show-tick-prefetched-48mp", "show tick read ahead, 48 MP JPEG (vs crop decode)", hd,
         prefetched("p48-420.jpg", {8000, 6000})},
        {"show-tick-prefetched-108mp", "show tick read ahead, 108 MP JPEG (vs crop decode)", hd,
         prefetched("p108-420.jpg", {12000, 9000})},
        {"memory-show-prefetched", "memory, show of 20 with BMP and GIF, read ahead (MB)", hd,
         [](const DataSet& d, const QString&) {
             QStringList files;
             for (const char* f :
                  {"p24-420.jpg", "p24.bmp", "p48-444.jpg", "p12.gif", "p36-420.jpg"})
                 files << d.path(QLatin1String(f));
             return FigureMemoryPrefetched(d, files);
         }},
        {"fade-frame", "fade, one frame of two 1920x1080 (vs 60 Hz)", hd,
         [](const DataSet& d, const QString&) { return FigureFadeFrame(d); }},
        {"fade-ui-thread", "fade, UI thread's share of the fade", hd,
         [](const DataSet& d, const QString&) { return FigureFadeUiThread(d); }},
        {"loop-memory", "memory, 10 rounds of 20, shuffled (MB)", hd,
         [](const DataSet& d, const QString&) { return FigureLoopMemory(d); }},
        {"export-1080p", "video export, 40 x 24 MP at 1080p (vs ffmpeg)", hd,
         [](const DataSet& d, const QString&) { return FigureExport1080p(d); }},
        {"export-memory", "video export, peak RSS (vs idle + 6 frames) (MB)", hd,
         [](const DataSet& d, const QString&) { return FigureExportMemory(d); }},
        {"export-realtime", "video export's time (vs the video's 120 s)", hd,
         [](const DataSet& d, const QString&) { return FigureExportRealtime(d); }},
    };
}

const Figure* findFigure(const QString& name) {
    static const std::vector<Figure> all = figures();
    for (const Figure& f : all)
        if (name == QLatin1String(f.name)) return &f;
    return nullptr;
}

QString range(const QJsonObject& s) {
    auto n = [](double v) { return QString::number(v, 'f', v < 10 ? 2 : 1); };
    return QStringLiteral("%1 (%2-%3)")
        .arg(n(s["median"].toDouble()), n(s["min"].toDouble()), n(s["max"].toDouble()));
}

void printTable(const QJsonArray& results) {
    std::printf("\n%-46s %-5s %-24s %-24s %6s %7s %s\n", "figure", "unit", "ours: median (min-max)",
                "baseline: median (min-max)", "ratio", "target", "met");
    for (const QJsonValue& v : results) {
        const QJsonObject r = v.toObject();
        const QString target = r.contains("target")
                                   ? QStringLiteral("<=%1").arg(r["target"].toDouble(), 0, 'f', 2)
                                   : QStringLiteral("-");
        const QString met = r.contains("met") ? (r["met"].toBool() ? "yes" : "NO") : "-";
        std::printf("%-46s %-5s %-24s %-24s %6.2f %7s %s\n", qPrintable(r["title"].toString()),
                    qPrintable(r["unit"].toString()), qPrintable(range(r["ours"].toObject())),
                    qPrintable(range(r["baseline"].toObject())), r["ratio"].toDouble(),
                    qPrintable(target), qPrintable(met));
    }
    std::printf("\nnotes:\n");
    for (const QJsonValue& v : results) {
        const QJsonObject r = v.toObject();
        if (!r["note"].toString().isEmpty())
            std::printf("  %-22s %s\n", qPrintable(r["figure"].toString()),
                        qPrintable(r["note"].toString()));
    }
    std::fflush(stdout);
}

int runAll(const QString& self, const DataSet& data, const QString& out, const QStringList& only) {
    // A folder already filled by an earlier run is used as it is.
    if (!QFile::exists(data.path(".complete"))) {
        MakeData(data);
        QFile(data.path(".complete")).open(QIODevice::WriteOnly);
    }
    QJsonArray results;
    for (const Figure& f : figures()) {
        if (!only.isEmpty() && !only.contains(QLatin1String(f.name))) continue;
        std::fprintf(stderr, "bench: %s\n", f.name);
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen:configfile=" + data.path(QLatin1String(f.screen)));
        env.insert("DBUS_SESSION_BUS_ADDRESS", "disabled:");
        child.setProcessEnvironment(env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(self, {QStringLiteral("figure"), QLatin1String(f.name), data.dir});
        if (!child.waitForFinished(600000) || child.exitCode() != 0) {
            std::fprintf(stderr, "bench: %s failed\n", f.name);
            return 1;
        }
        const QList<QByteArray> lines = child.readAllStandardOutput().trimmed().split('\n');
        QJsonObject r = QJsonDocument::fromJson(lines.last()).object();
        r["figure"] = QLatin1String(f.name);
        r["title"] = QLatin1String(f.title);
        results.append(r);
    }
    printTable(results);
    const QJsonObject doc{
        {"date", QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {"machine", QSysInfo::prettyProductName() + " " + QSysInfo::currentCpuArchitecture()},
        {"qt", QString::fromLatin1(qVersion())},
        {"results", results}};
    QFile file(out);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "bench: cannot write %s\n", qPrintable(out));
        return 1;
    }
    file.write(QJsonDocument(doc).toJson());
    std::printf("\nwritten: %s\n", qPrintable(out));
    return 0;
}

int usage() {
    std::fprintf(stderr,
                 "usage: varnel_bench all DATA_DIR RESULT.json [FIGURE...]\n"
                 "       varnel_bench make-data DATA_DIR\n"
                 "       varnel_bench figure NAME DATA_DIR\n");
    return 2;
}

}  // namespace

}  // namespace bench

int main(int argc, char** argv) {
    using namespace bench;
    // The offscreen platform says on every window raised that it cannot raise it.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& m) {
        if (type == QtWarningMsg && m.contains(QLatin1String("does not support raise"))) return;
        std::fprintf(stderr, "%s\n", qPrintable(m));
    });
    if (argc >= 3 && std::strcmp(argv[1], "startup-child") == 0)
        return StartupChild(1, argv, std::strcmp(argv[2], "app") == 0);
    if (argc >= 4 && std::strcmp(argv[1], "all") == 0) {
        QCoreApplication application(argc, argv);
        QStringList only;
        for (int i = 4; i < argc; ++i) only << QString::fromLocal8Bit(argv[i]);
        return runAll(QCoreApplication::applicationFilePath(), {QString::fromLocal8Bit(argv[2])},
                      QString::fromLocal8Bit(argv[3]), only);
    }
    if (argc >= 3 && std::strcmp(argv[1], "make-data") == 0) {
        QCoreApplication application(argc, argv);
        MakeData({QString::fromLocal8Bit(argv[2])});
        return 0;
    }
    if (argc >= 4 && std::strcmp(argv[1], "figure") == 0) {
        int qtArgc = 1;
        QApplication application(qtArgc, argv);
        const Figure* f = findFigure(QString::fromLocal8Bit(argv[2]));
        if (!f) return usage();
        const QJsonObject r =
            f->run({QString::fromLocal8Bit(argv[3])}, QCoreApplication::applicationFilePath());
        std::printf("%s\n", QJsonDocument(r).toJson(QJsonDocument::Compact).constData());
        std::fflush(stdout);
        // Straight out: the windows' teardown is not part of any figure.
        std::_Exit(0);
    }
    return usage();
}
