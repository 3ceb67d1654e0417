#include "picture/previewreader.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QTimer>
#include <system_error>
#include <thread>

#include "system/error.h"
#include "system/files.h"

namespace forms {

namespace {
// A read still going after this long is left behind: a healthy preview takes well under it.
constexpr int kGiveUpMs = 5000;
// Reads given up on that may still be running before the next read waits for one to end.
constexpr int kMaxLeftBehind = 1;
}  // namespace

// The state of the requests, kept on the thread that makes them.
struct PreviewReader::Shared {
    unsigned latest = 0;   // the number of the newest request
    unsigned reading = 0;  // the request being read; 0: none
    QString path;          // the newest request
    QSize box;
    bool pending = false;  // the newest request waits for the reading to end
    bool reread = false;   // the newest request is being read again: its file had changed
    int running = 0;       // reading threads not ended, those left behind included
    QTimer giveUp;
};

PreviewReader::PreviewReader(Shown shown, Load load)
    : shown_(std::move(shown)), load_(std::move(load)), shared_(std::make_shared<Shared>()) {
    if (!load_) load_ = [](const QString& path, QSize box) { return LoadPicture(path, box); };
    shared_->giveUp.setSingleShot(true);
    QObject::connect(&shared_->giveUp, &QTimer::timeout, &shared_->giveUp, [this] {
        // The read under way does not answer: the newest request goes ahead without it.
        shared_->reading = 0;
        if (shared_->pending) start();
    });
}

PreviewReader::~PreviewReader() { Cancel(); }

void PreviewReader::Request(const QString& path, QSize box) {
    Shared& s = *shared_;
    ++s.latest;
    s.path = path;
    s.box = box;
    s.pending = true;
    s.reread = false;
    if (s.reading == 0) start();
}

void PreviewReader::Cancel() {
    ++shared_->latest;
    shared_->pending = false;
}

bool PreviewReader::Busy() const { return shared_->pending || shared_->reading != 0; }

void PreviewReader::start() {
    Shared& s = *shared_;
    if (s.running > kMaxLeftBehind) return;  // the request waits for a read to end
    ++s.running;
    s.pending = false;
    s.reading = s.latest;
    s.giveUp.start(kGiveUpMs);
    const unsigned request = s.latest;
    const QString path = s.path;
    const QSize box = s.box;
    // The thread holds what it needs by value; its result goes through the event loop back to
    // this thread, and finds the reader there only if it is still alive.
    auto read = [this, load = load_, weak = std::weak_ptr<Shared>(shared_), request, path, box] {
        Picture picture;
        bool changed = false;
        try {
            picture = load(path, box);
            // The file may have changed or gone while it was read. Asked here rather than on
            // the window's thread, which a mount that stops answering would hold.
            const FileIdentity now = IdentityOf(path);
            if (!now.valid) picture = Picture();
            changed = !picture.isNull() && now != picture.source();
        } catch (...) {
            // Not a picture, gone, or too large to hold: the preview is left empty.
        }
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [this, weak, request, path, changed, picture = std::move(picture)]() mutable {
                if (weak.lock()) finished(request, path, std::move(picture), changed);
            },
            Qt::QueuedConnection);
    };
    try {
        std::thread(read).detach();
    } catch (const std::system_error&) {
        read();  // no thread to be had: read here, shown from the event loop all the same
    }
}

void PreviewReader::finished(unsigned request, const QString& path, Picture picture, bool changed) {
    Shared& s = *shared_;
    --s.running;
    if (request == s.reading) {
        s.reading = 0;
        s.giveUp.stop();
    }
    if (request == s.latest) {
        if (changed && !s.reread) {
            ++s.latest;
            s.pending = true;
            s.reread = true;  // once: a file rewritten without end is shown as last read
        } else if (shown_) {
            shown_(path, std::move(picture));
        }
    }
    if (s.reading == 0 && s.pending) start();
}

}  // namespace forms
