// Folders of many entries: the folder list opening a folder of 100,000 subfolders, and a
// folder of pictures added to the play list.
#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QListWidget>
#include <algorithm>
#include <atomic>
#include <string>
#include <vector>

#include "bench.h"
#include "core/forms.h"
#include "mainwindow/main_f.h"
#include "picture/folderscan.h"

namespace bench {

namespace {

// Made on first use: most runs of the other figures do not need them.
void makeOnce(const QString& dir, const std::function<void()>& make) {
    if (QFile::exists(dir + QLatin1String("/.complete"))) return;
    QDir(dir).removeRecursively();
    QDir().mkpath(dir);
    make();
    QFile(dir + QLatin1String("/.complete")).open(QIODevice::WriteOnly);
}

// The names of a directory's entries of one type, sorted as a list shows them.
std::vector<std::string> readdirSorted(const QByteArray& dir, unsigned char type) {
    std::vector<std::string> names;
    DIR* d = ::opendir(dir.constData());
    if (!d) Fail(QStringLiteral("cannot list %1").arg(QString::fromLocal8Bit(dir)));
    while (const dirent* e = ::readdir(d))
        if (e->d_name[0] != '.' && e->d_type == type) names.emplace_back(e->d_name);
    ::closedir(d);
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        const int c = ::strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    return names;
}

}  // namespace

QJsonObject FigureManySubfolders(const DataSet& data) {
    const QString dirs = data.path("subfolders");
    std::vector<double> stalls;
    makeOnce(dirs, [&] {
        std::fprintf(stderr, "bench: creating 100,000 folders\n");
        const QByteArray root = QFile::encodeName(dirs);
        for (int i = 0; i < 100000; ++i)
            ::mkdir((root + "/Dir" + QByteArray::number(i)).constData(), 0755);
    });
    main_f->Show();
    Settle();
    MainForm& f = *main_f;
    const QByteArray native = QFile::encodeName(dirs);
    QWidget* list = f.Dirbox.widget();
    int opened = 0;
    const Samples s = alternate(
        7,
        [&] {
            // Enter on the folder, as the user opens it; then the event loop runs until it is
            // open. What is timed is the UI thread's longest piece of work without a return
            // to the event loop.
            f.Dirbox.Path = data.dir;
            Settle();
            int row = 0;
            while (f.Dirbox.List(row) != dirs) ++row;
            static_cast<QListWidget*>(list)->setCurrentRow(row);
            const auto begun = Clock::now();
            QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
            QCoreApplication::sendEvent(list, &enter);
            double longest = msSince(begun);
            while (f.Dirbox.Path() != dirs) {
                const auto t = Clock::now();
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
                longest = std::max(longest, msSince(t));
            }
            const auto t = Clock::now();
            list->repaint();
            longest = std::max(longest, msSince(t));
            opened = f.Dirbox.ListCount();
            stalls.push_back(longest);
        },
        [&] {
            if (readdirSorted(native, DT_DIR).size() != 100000) Fail("folders missing");
        });
    if (opened < 100000) Fail("the folder list is short");
    Samples r = s;
    r.ours.assign(stalls.end() - qsizetype(r.ours.size()), stalls.end());
    return result(QString(), "ms", r, 0,
                  QStringLiteral("the UI thread's longest stall opening a folder of 100,000 "
                                 "folders with Enter; baseline: readdir of it and the sort of "
                                 "the names"));
}

QJsonObject FigureAddFolder(const DataSet& data) {
    const QString root = data.path("pictures");
    makeOnce(root, [&] {
        std::fprintf(stderr, "bench: writing 20,000 small pictures in 200 folders\n");
        QByteArray jpeg;
        QBuffer buffer(&jpeg);
        buffer.open(QIODevice::WriteOnly);
        QImage(16, 12, QImage::Format_RGB32).save(&buffer, "JPEG");
        for (int d = 1; d <= 200; ++d) {
            const QString dir = root + QStringLiteral("/day%1").arg(d);
            QDir().mkpath(dir);
            for (int i = 1; i <= 100; ++i) {
                QFile file(dir + QStringLiteral("/img%1.jpg").arg(i));
                if (!file.open(QIODevice::WriteOnly) || file.write(jpeg) != jpeg.size())
                    Fail("cannot write the pictures");
            }
        }
    });
    const QByteArray native = QFile::encodeName(root);
    // What no recognition by content can avoid: each file opened and its first bytes read.
    auto readdirAndOpen = [&] {
        for (const std::string& sub : readdirSorted(native, DT_DIR)) {
            const QByteArray dir = native + '/' + sub.c_str();
            for (const std::string& name : readdirSorted(dir, DT_REG)) {
                char head[64];
                const int fd = ::open((dir + '/' + name.c_str()).constData(), O_RDONLY | O_CLOEXEC);
                if (fd < 0 || ::pread(fd, head, sizeof head, 0) <= 0) Fail("cannot read");
                ::close(fd);
            }
        }
    };
    const Samples opened = alternate(
        3, [] {}, readdirAndOpen);
    std::vector<double> o = opened.baseline;
    std::sort(o.begin(), o.end());
    const Samples s = alternate(
        7,
        [&] {
            std::atomic<bool> cancel{false};
            std::atomic<unsigned> seen{0};
            const forms::FolderPictures found = forms::CollectPictures(root, cancel, seen);
            if (found.pictures.size() != 20000) Fail("pictures missing");
        },
        [&] {
            size_t n = 0;
            for (const std::string& sub : readdirSorted(native, DT_DIR))
                n += readdirSorted(native + '/' + sub.c_str(), DT_REG).size();
            if (n != 20000) Fail("pictures missing");
        });
    return result(QString(), "ms", s, 2,
                  QStringLiteral("20,000 pictures of 16x12 in 200 folders; baseline: readdir "
                                 "of every folder and the sort of the names; the same and "
                                 "each file opened and its first bytes read: %1 ms")
                      .arg(o[o.size() / 2], 0, 'f', 1));
}

}  // namespace bench
