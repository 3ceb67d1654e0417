#pragma once

#include <condition_variable>
#include <exception>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>

#include "picture/picture.h"

namespace forms {

// Reads the picture that comes next on a thread of its own, while the one before it is on
// screen, so that taking it costs the user interface nothing. It holds at most one picture
// besides what the caller holds, and it never touches a window: it only runs the loader it is
// given, which must not either.
class Prefetch {
public:
    using Loader = std::function<Picture(const QString& path)>;

    Prefetch() = default;
    ~Prefetch();
    Prefetch(const Prefetch&) = delete;
    Prefetch& operator=(const Prefetch&) = delete;

    // Starts reading `path` for a view of size `view` in the background, in place of whatever
    // was read ahead before.
    void Request(const QString& path, QSize view, Loader loader);
    // The picture at `path` for a view of size `view`: the one read ahead when it is of that
    // path, for that view, and the file the path names now is the very file read, unchanged
    // (the identity the picture carries); otherwise it is read now, on the calling thread.
    // Throws what the loader throws.
    Picture Take(const QString& path, QSize view, const Loader& loader);
    // Waits for a read under way, drops what was read and ends the thread.
    void Stop();

    // Whether a picture of `path` has been read and waits to be taken.
    bool Ready(const QString& path) const;

private:
    void run();

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    bool stop_ = false;
    // The request waiting for the thread, and the one it works on.
    bool queued_ = false;
    QString queuedPath_;
    QSize queuedView_;
    Loader queuedLoader_;
    bool busy_ = false;
    QString busyPath_;
    // A picture read, or the error of reading it, and what it was read for. The identity is
    // the picture's own, or for an error that of the path before it was read.
    struct Result {
        QString path;
        QSize view;
        FileIdentity source;
        Picture picture;
        std::exception_ptr error;
    };
    // The result of the last request, once read; taken out whole, so that its pixels are
    // released outside the lock.
    std::optional<Result> ready_;
};

}  // namespace forms
