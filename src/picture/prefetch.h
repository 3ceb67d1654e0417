#pragma once

#include <sys/types.h>

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
    // path, for that view, and the file has not changed since (same size, modification time
    // and inode); otherwise it is read now, on the calling thread. Throws what the loader
    // throws.
    Picture Take(const QString& path, QSize view, const Loader& loader);
    // Waits for a read under way, drops what was read and ends the thread.
    void Stop();

    // Whether a picture of `path` has been read and waits to be taken.
    bool Ready(const QString& path) const;

private:
    // What identifies the content of a file; a file that cannot be examined has none.
    struct Stamp {
        bool valid = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        long long modifiedNs = 0;
        bool operator==(const Stamp& o) const {
            return valid && o.valid && device == o.device && inode == o.inode && size == o.size &&
                   modifiedNs == o.modifiedNs;
        }
    };
    static Stamp stampOf(const QString& path);
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
    // A picture read, or the error of reading it, and what it was read for.
    struct Result {
        QString path;
        QSize view;
        Stamp stamp;
        Picture picture;
        std::exception_ptr error;
    };
    // The result of the last request, once read; taken out whole, so that its pixels are
    // released outside the lock.
    std::optional<Result> ready_;
};

}  // namespace forms
