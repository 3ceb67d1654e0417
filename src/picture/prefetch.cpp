#include "picture/prefetch.h"

#include <pthread.h>
#include <time.h>
#include <QCoreApplication>
#include <QMetaObject>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

#include "system/files.h"

namespace forms {

namespace {

// The processor time a thread has used, by its clock; zero when it cannot be read.
std::chrono::microseconds timeWorked(clockid_t clock) {
    timespec t{};
    if (clock == clockid_t(-1) || clock_gettime(clock, &t) != 0) return {};
    return std::chrono::seconds(t.tv_sec) + std::chrono::duration_cast<std::chrono::microseconds>(
                                                std::chrono::nanoseconds(t.tv_nsec));
}

}  // namespace

struct Prefetch::Shared {
    std::mutex mutex;
    std::condition_variable changed;
    bool stop = false;
    // Told of each result kept; runs on the thread that made the requests.
    Arrived arrived;
    // The request waiting for the thread, and the one it works on. A request `asked` is for a
    // picture wanted now: what is read for it is fresh, whatever the file's identity says.
    bool queued = false;
    QString queuedPath;
    QSize queuedView;
    Loader queuedLoader;
    bool queuedAsked = false;
    bool busy = false;
    QString busyPath;
    QSize busyView;
    std::chrono::steady_clock::time_point busySince;
    // The reading thread's own processor clock, and its reading when the read began.
    clockid_t busyClock{};
    std::chrono::microseconds busyStart{};
    unsigned reads = 0;
    // A picture read, or the error of reading it, and what it was read for. The identity is
    // the picture's own, or for an error that of the path before it was read.
    struct Result {
        QString path;
        QSize view;
        FileIdentity source;
        bool asked = false;
        Picture picture;
        std::exception_ptr error;
    };
    // The result of the last request, once read; taken out whole, so that its pixels are
    // released outside the lock.
    std::optional<Result> ready;
};

Prefetch::~Prefetch() { Stop(); }

void Prefetch::Request(const QString& path, QSize view, Loader loader) {
    request(path, view, std::move(loader), false);
}

bool Prefetch::request(const QString& path, QSize view, Loader loader, bool asked) {
    std::optional<Shared::Result> dropped;  // released outside the lock
    if (!shared_) {
        auto shared = std::make_shared<Shared>();
        shared->arrived = arrived_;
        try {
            std::thread([shared] { run(shared); }).detach();
        } catch (const std::system_error&) {
            // No thread to be had (the process is at its limit): nothing is read ahead.
            return false;
        }
        shared_ = std::move(shared);
    }
    Shared& s = *shared_;
    std::unique_lock lock(s.mutex);
    dropped.swap(s.ready);
    s.queued = true;
    s.queuedPath = path;
    s.queuedView = view;
    s.queuedLoader = std::move(loader);
    s.queuedAsked = asked;
    s.changed.notify_all();
    return true;
}

void Prefetch::run(const std::shared_ptr<Shared>& shared) {
    Shared& s = *shared;
    std::unique_lock lock(s.mutex);
    if (pthread_getcpuclockid(pthread_self(), &s.busyClock) != 0) s.busyClock = -1;
    for (;;) {
        s.changed.wait(lock, [&] { return s.stop || s.queued; });
        if (s.stop) return;
        const QString path = s.queuedPath;
        const QSize view = s.queuedView;
        const Loader loader = std::move(s.queuedLoader);
        const bool asked = s.queuedAsked;
        s.queued = false;
        s.busy = true;
        s.busyPath = path;
        s.busyView = view;
        s.busySince = std::chrono::steady_clock::now();
        s.busyStart = timeWorked(s.busyClock);
        ++s.reads;
        lock.unlock();

        // A failed read has no descriptor to tell: the path is examined before it is read.
        Shared::Result result{path, view, IdentityOf(path), asked, {}, {}};
        try {
            result.picture = loader(path);
            result.source = result.picture.source();
        } catch (...) {
            result.error = std::current_exception();
        }

        lock.lock();
        s.busy = false;
        // A newer request or the end makes this result useless.
        if (!s.queued && !s.stop) {
            s.ready = std::move(result);
            if (s.arrived && QCoreApplication::instance()) {
                // Told through the event loop, and only if nothing has stopped the reading by
                // then: the one told may have gone with it.
                QMetaObject::invokeMethod(
                    QCoreApplication::instance(),
                    [shared, path] {
                        Arrived arrived;
                        {
                            std::lock_guard told(shared->mutex);
                            if (!shared->stop) arrived = shared->arrived;
                        }
                        if (arrived) arrived(path);
                    },
                    Qt::QueuedConnection);
            }
        } else {
            lock.unlock();
            result = Shared::Result();
            lock.lock();
        }
        s.changed.notify_all();
    }
}

std::optional<Picture> Prefetch::Take(const QString& path, QSize view, const Loader& loader) {
    std::optional<Shared::Result> taken;
    if (shared_) {
        Shared& s = *shared_;
        std::lock_guard lock(s.mutex);
        // A read of this very picture under way or waiting is not asked for twice.
        if ((s.busy && s.busyPath == path && s.busyView == view && !s.queued) ||
            (s.queued && s.queuedPath == path && s.queuedView == view))
            return std::nullopt;
        taken.swap(s.ready);
    }
    if (taken && taken->path == path && taken->view == view &&
        (taken->asked || taken->source == IdentityOf(path))) {
        if (taken->error) std::rethrow_exception(taken->error);
        return std::move(taken->picture);
    }
    // Read ahead for another entry or another view, or the file has changed: the old pixels go
    // before the new ones are read.
    taken.reset();
    if (request(path, view, loader, true)) return std::nullopt;
    return loader(path);  // no thread to be had: read here, as a last resort
}

bool Prefetch::Ready(const QString& path) const {
    if (!shared_) return false;
    std::lock_guard lock(shared_->mutex);
    return shared_->ready && shared_->ready->path == path;
}

std::optional<Prefetch::Underway> Prefetch::Reading() const {
    if (!shared_) return std::nullopt;
    const Shared& s = *shared_;
    std::lock_guard lock(shared_->mutex);
    // The thread cannot end while it is busy: its clock is still there to read.
    if (!s.busy) return std::nullopt;
    return Underway{s.busyPath,
                    std::chrono::duration_cast<std::chrono::milliseconds>(
                        std::chrono::steady_clock::now() - s.busySince),
                    timeWorked(s.busyClock) - s.busyStart, s.reads};
}

void Prefetch::Stop() {
    if (!shared_) return;
    std::optional<Shared::Result> dropped;  // released outside the lock
    {
        std::lock_guard lock(shared_->mutex);
        shared_->stop = true;
        shared_->queued = false;
        shared_->queuedLoader = nullptr;
        dropped.swap(shared_->ready);
        shared_->changed.notify_all();
    }
    // The thread keeps its share until its read, if any, is over.
    shared_.reset();
}

}  // namespace forms
