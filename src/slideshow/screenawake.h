#pragma once

#include <QString>
#include <memory>

// Keeps the screen on while it lives: the desktop's screensaver and power saving are held off
// through org.freedesktop.ScreenSaver on the session bus, and on X11 the X server's own saver
// and DPMS are suspended. Where neither exists it does nothing and says nothing. Released when
// it is destroyed; should the program end without that, the bus and the X server drop the hold
// themselves when its connections close.
class ScreenAwake {
public:
    explicit ScreenAwake(const QString& reason);
    ~ScreenAwake();
    ScreenAwake(const ScreenAwake&) = delete;
    ScreenAwake& operator=(const ScreenAwake&) = delete;

    // What answers the hold and what it returned; shared with a reply still on its way.
    struct Hold;

private:
    std::shared_ptr<Hold> hold_;
    bool xSuspended_ = false;
};
