#include "slideshow/screenawake.h"

#include <QtGui/qguiapplication_platform.h>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QGuiApplication>
#include <optional>

// Last: Xlib defines macros (None, Bool, Status) that Qt's headers use as names.
#include <X11/extensions/scrnsaver.h>

namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");

QDBusMessage call(const QString& method, const QVariantList& arguments) {
    QDBusMessage message = QDBusMessage::createMethodCall(kService, kPath, kService, method);
    message.setArguments(arguments);
    return message;
}

void release(uint cookie) {
    QDBusConnection::sessionBus().send(call(QStringLiteral("UnInhibit"), {cookie}));
}

// The X server's connection, when the program runs on X11.
Display* xDisplay() {
    auto* x11 = qApp ? qApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->display() : nullptr;
}

}  // namespace

struct ScreenAwake::Hold {
    bool released = false;
    std::optional<uint> cookie;
};

ScreenAwake::ScreenAwake(const QString& reason) : hold_(std::make_shared<Hold>()) {
    if (Display* display = xDisplay()) {
        int event = 0, error = 0;
        if (XScreenSaverQueryExtension(display, &event, &error)) {
            XScreenSaverSuspend(display, True);
            XFlush(display);
            xSuspended_ = true;
        }
    }
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return;
    // Asked without waiting: a slow service never holds up the show's window, and where there
    // is none the error that comes back is dropped.
    const QString application = QGuiApplication::applicationName();
    auto* watcher = new QDBusPendingCallWatcher(
        bus.asyncCall(call(QStringLiteral("Inhibit"), {application, reason})));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished,
                     [hold = hold_](QDBusPendingCallWatcher* w) {
                         const QDBusPendingReply<uint> reply = *w;
                         w->deleteLater();
                         if (reply.isError()) return;
                         // The show closed before the answer came: let go at once.
                         if (hold->released)
                             release(reply.value());
                         else
                             hold->cookie = reply.value();
                     });
}

ScreenAwake::~ScreenAwake() {
    hold_->released = true;
    if (hold_->cookie) release(*hold_->cookie);
    if (xSuspended_) {
        if (Display* display = xDisplay()) {
            XScreenSaverSuspend(display, False);
            XFlush(display);
        }
    }
}
