#pragma once

#include <QColor>
#include <QList>
#include <QSize>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>
#include <memory>

#include "testdata/files.h"

// Under AddressSanitizer freed memory is held back in quarantine and every allocation has its
// shadow: resident sizes say nothing there, and LeakSanitizer checks for leaks at exit instead.
#if defined(__SANITIZE_ADDRESS__)
#define MEMORY_MEASURED 0
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MEMORY_MEASURED 0
#endif
#endif
#ifndef MEMORY_MEASURED
#define MEMORY_MEASURED 1
#endif

class QTimer;
class QWidget;

class SlideShowForm;

namespace testing {

// Sets up the runtime for tests: the application's title, End recorded instead of ending
// the process (the rest of the handler is skipped all the same).
void InitRuntime();
int EndCount();

// Answers every message box that opens while it lives: records its text and title, and
// presses OK. Works inside nested modal loops.
class MsgBoxes {
public:
    MsgBoxes();
    ~MsgBoxes();
    QStringList texts;
    QStringList titles;
    // Runs before OK is pressed on each box, with the box's text.
    std::function<void(const QString&)> onShown;

private:
    QTimer* timer_;
};

// Runs `inside` from the event loop once `start` has opened a modal window, then returns
// after `start` has returned.
void WhileModal(const std::function<void()>& start, const std::function<void()>& inside);

// Closes the slide show, the settings dialog and any other modal window left open, so that a
// test that went wrong inside a modal loop fails instead of waiting for ever.
void CloseModals();

// While it lives, the file system does not answer for the paths given (their reading or their
// drive's state waits, as in a dead mount) as long as the window waits for any folder. Every
// thread held is let go at its end.
class Hang {
public:
    explicit Hang(QList<QByteArray> paths);
    ~Hang();
    Hang(const Hang&) = delete;
    Hang& operator=(const Hang&) = delete;

private:
    struct State;
    std::shared_ptr<State> state_;
};

using testdata::Converted;
using testdata::MakePicture;
using testdata::WriteFile;
// Waits until the preview asked for last is shown.
void SettlePreview();
// A tick of the open show, and the picture it asks for put up (or its notice) once read.
void ShowTick(SlideShowForm& show);

// Unloads the three windows, so the next use builds them afresh.
void UnloadAll();

// Processes pending events, deferred deletions included.
void Settle();

}  // namespace testing
