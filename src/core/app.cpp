#include "core/app.h"

#include <QApplication>
#include <QFont>
#include <QIcon>
#include <cstdio>
#include <cstdlib>

#include "core/forms.h"
#include "forms/filecontrols.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"

namespace app {

namespace {

// Until the application is up, a platform that cannot start is said in one line, not in a
// trace of the platform plugins.
void startupMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type != QtFatalMsg) return;
    (void)message;
    std::fputs(
        "varnel: cannot open the display; start it on an X11 or Wayland desktop "
        "(DISPLAY or WAYLAND_DISPLAY), or under xvfb-run.\n",
        stderr);
    std::fflush(stderr);
    std::_Exit(1);
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

void Start() {
    // The lists start in the folder the program was started in, or in the nearest that can be
    // read; the user is told once the window is up.
    const QString moved = forms::EnterReadableFolder();
    main_f->Show();
    if (!moved.isEmpty()) forms::MsgBox(moved);
}

int Run(int argc, char** argv) {
    if (!hasDisplay()) startupMessages(QtFatalMsg, {}, {});
    qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(nullptr);
    Initialise(application);
    forms::Dispatch(Start);
    return application.exec();
}

}  // namespace app
