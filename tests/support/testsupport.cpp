#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QMessageBox>
#include <QTimer>

#include "core/forms.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"

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
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* box = qobject_cast<QMessageBox*>(w);
            if (!box || !box->isVisible() || box->property("answered").toBool()) continue;
            box->setProperty("answered", true);
            texts << box->text();
            titles << box->windowTitle();
            if (onShown) onShown(box->text());
            box->button(QMessageBox::Ok)->click();
        }
    });
    timer_->start();
}

MsgBoxes::~MsgBoxes() { delete timer_; }

void WhileModal(const std::function<void()>& start, const std::function<void()>& inside) {
    QTimer::singleShot(0, inside);
    start();
}

namespace {

// Qt writes no GIF: a solid one is written here, its LZW stream restarted with a clear code
// after every two pixels so that codes stay three bits wide.
QByteArray solidGif(QSize size, QColor colour) {
    QByteArray out("GIF89a");
    auto put16 = [&](int v) {
        out.append(char(v & 0xFF));
        out.append(char((v >> 8) & 0xFF));
    };
    put16(size.width());
    put16(size.height());
    out.append(char(0x80));  // global colour table of two entries
    out.append(char(0));
    out.append(char(0));
    for (QColor c : {colour, QColor(Qt::black)}) {
        out.append(char(c.red()));
        out.append(char(c.green()));
        out.append(char(c.blue()));
    }
    out.append(',');
    put16(0);
    put16(0);
    put16(size.width());
    put16(size.height());
    out.append(char(0));
    out.append(char(2));  // minimum code size
    QByteArray data;
    quint32 bits = 0;
    int count = 0;
    auto emitCode = [&](int code) {
        bits |= quint32(code) << count;
        count += 3;
        while (count >= 8) {
            data.append(char(bits & 0xFF));
            bits >>= 8;
            count -= 8;
        }
    };
    const qint64 pixels = qint64(size.width()) * size.height();
    for (qint64 i = 0; i < pixels; ++i) {
        if (i % 2 == 0) emitCode(4);
        emitCode(0);
    }
    emitCode(5);
    if (count > 0) data.append(char(bits & 0xFF));
    for (int at = 0; at < data.size(); at += 255) {
        const QByteArray block = data.mid(at, 255);
        out.append(char(block.size()));
        out.append(block);
    }
    out.append(char(0));
    out.append(';');
    return out;
}

}  // namespace

QString MakePicture(const QString& dir, const QString& name, QSize size, QColor colour,
                    const char* format) {
    const bool gif = format ? qstricmp(format, "gif") == 0
                            : name.endsWith(QLatin1String(".gif"), Qt::CaseInsensitive);
    if (gif) {
        const QString path = dir + QLatin1Char('/') + name;
        WriteFile(path, solidGif(size, colour));
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
