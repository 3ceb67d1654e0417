#include "core/app.h"

#include <unistd.h>

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QIcon>
#include <QTimer>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "core/forms.h"
#include "forms/filenames.h"
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

void Start() { main_f->Show(); }

int Options(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            std::fputs(
                "Usage: varnel [FILE...]\n"
                "Builds a play list of pictures and plays it as a slide show.\n"
                "\n"
                "  FILE       a JPEG, BMP or GIF picture, appended to the play list in the order\n"
                "             given, or a play list (*.m3u), whose entries are appended\n"
                "  --help     print this help and exit\n"
                "  --version  print the version and exit\n",
                stdout);
            return 0;
        }
        if (arg == "--version") {
            std::fputs("varnel " VARNEL_VERSION "\n", stdout);
            return 0;
        }
    }
    return -1;
}

QStringList FileArguments(int argc, char** argv) {
    QStringList files;
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        QByteArray arg = argv[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (!arg.startsWith('/')) {
            char cwd[PATH_MAX];
            if (::getcwd(cwd, sizeof cwd)) arg = QByteArray(cwd) + '/' + arg;
        }
        files << QDir::cleanPath(forms::DisplayName(arg.constData()));
    }
    return files;
}

void OpenArguments(const QStringList& files) {
    if (files.isEmpty()) return;
    // After the main window has been drawn, so that a message about the files is shown over it.
    QTimer::singleShot(0, main_f->window(),
                       [files] { forms::Dispatch([&] { main_f->OpenFiles(files); }); });
}

int Run(int argc, char** argv) {
    if (!hasDisplay()) startupMessages(QtFatalMsg, {}, {});
    qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(nullptr);
    Initialise(application);
    forms::Dispatch(Start);
    OpenArguments(FileArguments(argc, argv));
    return application.exec();
}

}  // namespace app
