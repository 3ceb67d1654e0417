#include "core/app.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <QRegularExpression>
#include <QStringList>
#include <cstdio>
#include <cstdlib>

#include "core/forms.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"

namespace app {

namespace {

// What the platform said while it started: the platform plugins it could not find, those it
// found but could not start, and the displays it could not reach. Until the application is
// up, a platform that cannot start is said in one line that names the cause, not in a trace
// of the platform plugins.
struct StartupTrace {
    QStringList missingPlugins;
    QStringList failedPlugins;
    QString xDisplay;  // the X11 display that could not be reached
    bool waylandUnreachable = false;
};
// Set only while the application object is being built, when Qt reports through a plain
// function that can carry no state of its own.
StartupTrace* startupTrace = nullptr;

[[noreturn]] void failStart(const QString& line) {
    std::fprintf(stderr, "varnel: %s\n", qPrintable(line));
    std::fflush(stderr);
    std::_Exit(1);
}

QString noDisplayLine() {
    return QStringLiteral(
        "cannot open the display; start it on an X11 or Wayland desktop "
        "(DISPLAY or WAYLAND_DISPLAY), or under xvfb-run.");
}

void record(StartupTrace& trace, const QString& message) {
    static const QRegularExpression plugin(
        QStringLiteral("^Could not (find|load) the Qt platform plugin \"([^\"]*)\""));
    static const QRegularExpression xDisplay(
        QStringLiteral("^could not connect to display ?(.*)$"));
    if (const auto m = plugin.match(message); m.hasMatch())
        (m.captured(1) == QLatin1String("find") ? trace.missingPlugins : trace.failedPlugins)
            << m.captured(2);
    else if (const auto x = xDisplay.match(message); x.hasMatch())
        trace.xDisplay = x.captured(1).trimmed();
    else if (message.startsWith(QLatin1String("Failed to create wl_display")))
        trace.waylandUnreachable = true;
}

QString failureLine(const StartupTrace& trace) {
    if (trace.missingPlugins.contains(QLatin1String("wayland")))
        return QStringLiteral(
                   "the Qt platform plugin \"wayland\" is not installed; install "
                   "qt6-wayland") +
               (trace.failedPlugins.contains(QLatin1String("xcb"))
                    ? QStringLiteral(" (the X11 display could not be opened either).")
                    : QStringLiteral("."));
    if (!trace.missingPlugins.isEmpty())
        return QStringLiteral(
                   "the Qt platform plugin \"%1\" is not installed; check "
                   "QT_QPA_PLATFORM (xcb or wayland on a desktop).")
            .arg(trace.missingPlugins.first());
    if (trace.failedPlugins.contains(QLatin1String("xcb")) && !trace.xDisplay.isEmpty())
        return QStringLiteral(
                   "cannot connect to the X11 display %1; is its server running, and "
                   "may this user open windows on it?")
            .arg(trace.xDisplay);
    if (trace.waylandUnreachable)
        return QStringLiteral(
                   "cannot connect to the Wayland display %1; is the compositor "
                   "running?")
            .arg(qEnvironmentVariable("WAYLAND_DISPLAY"));
    return noDisplayLine();
}

void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (startupTrace) record(*startupTrace, message);
    if (type == QtFatalMsg) failStart(startupTrace ? failureLine(*startupTrace) : noDisplayLine());
}

bool hasDisplay() {
    const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
    if (!platform.isEmpty() && !platform.startsWith("xcb") && !platform.startsWith("wayland"))
        return true;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

}  // namespace

void Initialise(QApplication& application) {
    forms::SetAppTitle(QStringLiteral("varnel"));
    application.setApplicationName(QStringLiteral("varnel"));
    application.setWindowIcon(QIcon(QStringLiteral(":/varnel.xpm")));
    // A Japanese gothic face at the size the layouts were drawn for.
    QFont font(QStringLiteral("IPAPGothic"), 9);
    font.setStyleHint(QFont::SansSerif);
    application.setFont(font);
    // Closing the main window leaves nothing loaded: the application ends.
    forms::Form::SetLastFormUnloadedAction([] { forms::End(); });
}

void Start() { main_f->Show(); }

int Run(int argc, char** argv) {
    if (!hasDisplay()) failStart(noDisplayLine());
    StartupTrace trace;
    startupTrace = &trace;
    qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(nullptr);
    startupTrace = nullptr;
    Initialise(application);
    forms::Dispatch(Start);
    return application.exec();
}

}  // namespace app
