#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QPointer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <condition_variable>
#include <mutex>

#include "core/forms.h"
#include "forms/filecontrols.h"
#include "forms/filedialogs.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"
#include "system/jobs.h"

namespace testing {

namespace {
int g_ends = 0;
}

void InitRuntime() {
    forms::SetAppTitle(QStringLiteral("varnel"));
    forms::SetEndAction([] {
        ++g_ends;
        throw forms::EndRequested{};
    });
}

int EndCount() { return g_ends; }

MsgBoxes::MsgBoxes() : timer_(new QTimer) {
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, [this] {
        // Each box is looked for afresh: answering one may run code that deletes windows.
        for (;;) {
            QPointer<QMessageBox> box;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* b = qobject_cast<QMessageBox*>(w);
                if (b && b->isVisible() && !b->property("answered").toBool()) {
                    box = b;
                    break;
                }
            }
            if (!box) return;
            box->setProperty("answered", true);
            texts << box->text();
            titles << box->windowTitle();
            if (onShown) onShown(box->text());
            if (box && box->isVisible()) box->button(QMessageBox::Ok)->click();
        }
    });
    timer_->start();
}

MsgBoxes::~MsgBoxes() { delete timer_; }

void WhileModal(const std::function<void()>& start, const std::function<void()>& inside) {
    QTimer::singleShot(0, inside);
    start();
}

void CloseModals() {
    if (auto* f = imv.peek()) f->Unload();
    if (auto* f = setei.peek()) f->Unload();
    for (int i = 0; i < 10; ++i) {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal) break;
        modal->close();
        if (modal && modal->isVisible()) modal->hide();
    }
}

struct Hang::State {
    QList<QByteArray> paths;
    std::mutex mutex;
    std::condition_variable released;
    bool over = false;
};

Hang::Hang(QList<QByteArray> paths) : state_(std::make_shared<State>()) {
    state_->paths = std::move(paths);
    forms::SetFileSystemWait(100);
    forms::SetFileSystemHook([state = state_](const QByteArray& path) {
        if (!state->paths.contains(path)) return;
        std::unique_lock<std::mutex> lock(state->mutex);
        state->released.wait(lock, [&] { return state->over; });
    });
}

Hang::~Hang() {
    forms::SetFileSystemHook(nullptr);
    forms::SetFileSystemWait(0);
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->over = true;
    state_->released.notify_all();
}

// A GIF of solid frames, one per colour index given, with real LZW compression so that
// large pictures stay small files.
QByteArray SolidGif(QSize size, const QList<int>& frames, const QList<QRgb>& palette) {
    QByteArray out("GIF89a");
    auto put16 = [&](int v) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    };
    put16(size.width());
    put16(size.height());
    out.append(char(0x81));  // global colour table of four entries
    out.append(char(0));
    out.append(char(0));
    for (int i = 0; i < 4; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : qRgb(0, 0, 0);
        out.append(char(qRed(c)));
        out.append(char(qGreen(c)));
        out.append(char(qBlue(c)));
    }
    for (int index : frames) {
        out.append("\x21\xF9\x04\x00\x0A\x00\x00\x00", 8);  // a tenth of a second each
        out.append(',');
        put16(0);
        put16(0);
        put16(size.width());
        put16(size.height());
        out.append(char(0));
        const int minimum = 2, clear = 1 << minimum, first = clear + 2;
        out.append(char(minimum));
        QByteArray data;
        quint32 bits = 0;
        int count = 0, width = minimum + 1, next = first;
        bool clearing = false;
        auto output = [&](int code) {
            bits |= quint32(code) << count;
            count += width;
            while (count >= 8) {
                data.append(char(bits & 0xFF));
                bits >>= 8;
                count -= 8;
            }
            if (clearing) {
                width = minimum + 1;
                clearing = false;
            } else if (next > (1 << width) - 1 && width < 12) {
                ++width;
            }
        };
        // In a solid frame the table holds runs: a run of L pixels has code first + L - 2.
        qint64 left = qint64(size.width()) * size.height();
        int longest = 1;
        output(clear);
        while (left > 0) {
            const int run = int(std::min<qint64>(longest, left));
            left -= run;
            output(run == 1 ? index : first + run - 2);
            if (left == 0) break;
            if (next < 4096) {
                ++next;
                longest = run + 1;
            } else {
                next = first;
                longest = 1;
                clearing = true;
                output(clear);
            }
        }
        output(clear + 1);
        if (count > 0) data.append(char(bits & 0xFF));
        for (int at = 0; at < data.size(); at += 255) {
            const QByteArray block = data.mid(at, 255);
            out.append(char(block.size()));
            out.append(block);
        }
        out.append(char(0));
    }
    out.append(';');
    return out;
}

QByteArray Converted(const QImage& image, const QString& to, const QString& options) {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("source.png"));
    const QString out = dir.filePath(to.section(QLatin1Char(':'), -1));
    const QString prefix =
        to.contains(QLatin1Char(':')) ? to.section(QLatin1Char(':'), 0, 0) + ':' : QString();
    if (!image.save(source, "PNG")) qFatal("cannot write %s", qPrintable(source));
    const QStringList args =
        QStringList{source} + options.split(' ', Qt::SkipEmptyParts) + QStringList{prefix + out};
    if (QProcess::execute(QStringLiteral("convert"), args) != 0)
        qFatal("convert failed: %s", qPrintable(args.join(' ')));
    QFile file(out);
    if (!file.open(QIODevice::ReadOnly)) qFatal("convert wrote no %s", qPrintable(out));
    return file.readAll();
}

QString MakePicture(const QString& dir, const QString& name, QSize size, QColor colour,
                    const char* format) {
    const bool gif = format ? qstricmp(format, "gif") == 0
                            : name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive);
    if (gif) {
        const QString path = dir + QLatin1Char('/') + name;
        WriteFile(path, SolidGif(size, {0}, {colour.rgb(), qRgb(0, 0, 0)}));
        return path;
    }
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    const QString path = dir + QLatin1Char('/') + name;
    if (!image.save(path, format, 100)) qFatal("cannot write %s", qPrintable(path));
    return path;
}

void WriteFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
}

void UnloadAll() {
    if (auto* f = imv.peek()) f->Unload();
    if (auto* f = setei.peek()) f->Unload();
    if (auto* f = main_f.peek()) f->Unload();
    Settle();
}

void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace testing
