#include "picture/prefetch.h"

#include <system_error>

#include "system/files.h"

namespace forms {

Prefetch::~Prefetch() { Stop(); }

void Prefetch::Request(const QString& path, QSize view, Loader loader) {
    std::optional<Result> dropped;  // released outside the lock
    std::unique_lock lock(mutex_);
    dropped.swap(ready_);
    queued_ = true;
    queuedPath_ = path;
    queuedView_ = view;
    queuedLoader_ = std::move(loader);
    stop_ = false;
    if (!thread_.joinable()) {
        try {
            thread_ = std::thread([this] { run(); });
        } catch (const std::system_error&) {
            // No thread to be had (the process is at its limit): nothing is read ahead, and
            // Take reads the picture itself.
            queued_ = false;
            queuedLoader_ = nullptr;
            return;
        }
    }
    changed_.notify_all();
}

void Prefetch::run() {
    std::unique_lock lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || queued_; });
        if (stop_) return;
        const QString path = queuedPath_;
        const QSize view = queuedView_;
        const Loader loader = std::move(queuedLoader_);
        queued_ = false;
        busy_ = true;
        busyPath_ = path;
        lock.unlock();

        // A failed read has no descriptor to tell: the path is examined before it is read.
        Result result{path, view, IdentityOf(path), {}, {}};
        try {
            result.picture = loader(path);
            result.source = result.picture.source();
        } catch (...) {
            result.error = std::current_exception();
        }

        lock.lock();
        busy_ = false;
        // A newer request or the end makes this result useless.
        if (!queued_ && !stop_) {
            ready_ = std::move(result);
        } else {
            lock.unlock();
            result = Result();
            lock.lock();
        }
        changed_.notify_all();
    }
}

Picture Prefetch::Take(const QString& path, QSize view, const Loader& loader) {
    std::optional<Result> taken;
    {
        std::unique_lock lock(mutex_);
        // A read of this very picture under way is waited for rather than done twice.
        changed_.wait(lock, [&] {
            return !((busy_ && busyPath_ == path && !queued_) || (queued_ && queuedPath_ == path));
        });
        taken.swap(ready_);
    }
    if (taken && taken->path == path && taken->view == view && taken->source == IdentityOf(path)) {
        if (taken->error) std::rethrow_exception(taken->error);
        return std::move(taken->picture);
    }
    // Read ahead for another entry or another view, or the file has changed: the old pixels go
    // before the new ones are read.
    taken.reset();
    return loader(path);
}

bool Prefetch::Ready(const QString& path) const {
    std::lock_guard lock(mutex_);
    return ready_ && ready_->path == path;
}

void Prefetch::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
        queued_ = false;
        queuedLoader_ = nullptr;
        changed_.notify_all();
    }
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(mutex_);
    ready_.reset();
}

}  // namespace forms
