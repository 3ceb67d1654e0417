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
// for one that could not be read. A read that has not finished after a while (a mount that
// stops answering) is left to its thread and the next one starts. Never touches a widget.
class PreviewReader {
public:
    using Shown = std::function<void(const QString& path, Picture picture)>;

    explicit PreviewReader(Shown shown);
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
    void finished(unsigned request, const QString& path, Picture picture);

    Shown shown_;
    // The reading threads hold it weakly: a result that comes after the reader has gone is
    // dropped.
    std::shared_ptr<Shared> shared_;
};

}  // namespace forms
