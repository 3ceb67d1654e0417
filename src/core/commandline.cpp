// The command line: the options that need no display, and the files to put in the play list.
#include <QDir>
#include <QTimer>
#include <cstdio>
#include <string>

#include "core/app.h"
#include "core/forms.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "system/filenames.h"
#include "system/startfolder.h"

namespace app {

int Options(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--") break;
        if (arg == "--help" || arg == "-h") {
            std::fputs(
                "Usage: varnel [FILE...]\n"
                "Builds a play list of pictures and plays it as a slide show.\n"
                "\n"
                "  FILE       a picture (JPEG, BMP, GIF, PNG, WebP, HEIC, HEIF, AVIF, TIFF or\n"
                "             JPEG XL), appended to the play list in the order given, or a\n"
                "             play list (*.m3u), whose entries are appended\n"
                "  --         ends the options: the names after it are files\n"
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
    const QByteArray started = forms::NativePath(forms::FolderStartedIn());
    bool options = true;
    for (int i = 1; i < argc; ++i) {
        QByteArray arg = argv[i];
        if (options && arg == "--") {
            options = false;
            continue;
        }
        if (options && arg.size() > 1 && arg.startsWith('-')) {
            // The options are read before the window opens; one not known is no file either.
            std::fprintf(stderr, "varnel: unknown option '%s' (see varnel --help)\n",
                         arg.constData());
            continue;
        }
        // A relative name is of the folder started in, whatever folder the lists move to; one
        // that cannot be made full stays relative, and is refused.
        if (!arg.startsWith('/') && !started.isEmpty()) arg = started + '/' + arg;
        files << QDir::cleanPath(forms::PathText(arg));
    }
    return files;
}

void OpenArguments(const QStringList& files) {
    if (files.isEmpty()) return;
    // After the main window has been drawn, so that a message about the files is shown over it.
    QTimer::singleShot(0, main_f->window(),
                       [files] { forms::Dispatch([&] { main_f->OpenFiles(files); }); });
}

}  // namespace app
