#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>

#include "picture/picture.h"

namespace forms {

// Reads the picture that comes next on a thread of its own, while the one before it is on
// screen, so that taking it costs the user interface nothing. It holds at most one picture
// besides what the caller holds, and it never touches a window: it only runs the loader it is
// given, which must not either. Taking never waits for a read: a picture not read yet is asked
// for, and the caller is told through its event loop when it has been read.
class Prefetch {
public:
    using Loader = std::function<Picture(const QString& path)>;
    // Told, on the thread that makes the requests, of `path` read (or failed) and waiting to be
    // taken.
    using Arrived = std::function<void(const QString& path)>;

    explicit Prefetch(Arrived arrived = {}) : arrived_(std::move(arrived)) {}
    ~Prefetch();
    Prefetch(const Prefetch&) = delete;
    Prefetch& operator=(const Prefetch&) = delete;

    // Starts reading `path` for a view of size `view` in the background, in place of whatever
    // was read ahead before.
    void Request(const QString& path, QSize view, Loader loader);
    // The picture at `path` for a view of size `view`, when it has been read: read ahead for
    // that path and view, and the file the path names now is the very file read, unchanged
    // (the identity the picture carries), or read since it was asked for here. Otherwise
    // nothing: it is asked for, in place of any other request, unless it is being read
    // already, and `arrived` tells when it is ready (when no thread can be had, it is read
    // here, as a last resort). Throws what the loader threw.
    std::optional<Picture> Take(const QString& path, QSize view, const Loader& loader);
    // Drops what was read and lets the thread end: a read under way is not waited for (it may
    // be of a file that does not answer); it finishes on its own and is thrown away.
    void Stop();

    // Whether a picture of `path` has been read and waits to be taken.
    bool Ready(const QString& path) const;
    // The read under way: of which path, for how long it has been going, and how much of that
    // time its thread has spent working (a read stuck in a mount that has stopped spends
    // none). Each read has a number of its own.
    struct Underway {
        QString path;
        std::chrono::milliseconds elapsed;
        std::chrono::microseconds working;
        unsigned number = 0;
    };
    std::optional<Underway> Reading() const;

private:
    // What the reading thread shares with the caller. The thread holds its own share, so that
    // a read left behind by Stop ends on its own without anyone waiting for it.
    struct Shared;
    static void run(const std::shared_ptr<Shared>& shared);
    // Queues a request; false when no thread can be had.
    bool request(const QString& path, QSize view, Loader loader, bool asked);
    Arrived arrived_;
    std::shared_ptr<Shared> shared_;
};

}  // namespace forms
