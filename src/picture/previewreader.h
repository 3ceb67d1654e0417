#pragma once

#include <QSize>
#include <QString>
#include <functional>
#include <memory>

#include "picture/picture.h"

namespace forms {

// Reads pictures for a preview away from the user interface's thread, the newest request
// winning: while one picture is read, further requests replace each other, and only the last
// is read next. Each result is handed to `shown` on the thread that made the request (which
// runs an event loop), and only when no newer request has come since; a null picture stands
// for one that could not be read. A picture is handed on only if the file it was read from is
// still the one its path names: a file changed since is read once more, a file gone gives a
// null picture. A read that has not finished after a while (a mount that stops answering) is
// left to its thread and the next one starts; while one read is left behind, a second one
// that stops answering holds the next request until either ends, so that reads never pile up.
// Never touches a widget.
class PreviewReader {
public:
    using Shown = std::function<void(const QString& path, Picture picture)>;
    using Load = std::function<Picture(const QString& path, QSize box)>;

    // `load` reads a picture on the reading thread; by default LoadPicture(path, box).
    explicit PreviewReader(Shown shown, Load load = {});
    ~PreviewReader();
    PreviewReader(const PreviewReader&) = delete;
    PreviewReader& operator=(const PreviewReader&) = delete;

    // Reads `path` reduced for a box of `box` device pixels.
    void Request(const QString& path, QSize box);
    // Drops every request not yet shown.
    void Cancel();
    // Whether a request has not been shown yet.
    bool Busy() const;

private:
    struct Shared;
    void start();
    void finished(unsigned request, const QString& path, Picture picture, bool changed);

    Shown shown_;
    Load load_;
    // The reading threads hold it weakly: a result that comes after the reader has gone is
    // dropped.
    std::shared_ptr<Shared> shared_;
};

}  // namespace forms
