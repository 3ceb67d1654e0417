#include "core/app.h"

#include <fontconfig/fontconfig.h>

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QFontInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStringList>
#include <QTranslator>
#include <cstdio>
#include <cstdlib>

#include "core/forms.h"
#include "forms/filecontrols.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "system/directory.h"
#include "system/paths.h"
#include "system/startfolder.h"

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

// The point size the layouts were drawn for.
constexpr int kLayoutPointSize = 9;

// The face fontconfig prefers for Japanese sans-serif text among those that cover Japanese,
// a proportional one first (the layouts were drawn with one: a fixed-pitch face widens the
// captions), or an empty string when no installed face covers Japanese.
QString fontconfigJapaneseFamily() {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>("sans-serif:lang=ja"));
    if (!pattern) return {};
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcFontSet* fonts = FcFontSort(nullptr, pattern, FcFalse, nullptr, &result);
    QString first, proportional;
    const auto* ja = reinterpret_cast<const FcChar8*>("ja");
    for (int i = 0; fonts && i < fonts->nfont && proportional.isEmpty(); ++i) {
        FcPattern* font = fonts->fonts[i];
        FcLangSet* langs = nullptr;
        FcChar8* name = nullptr;
        if (FcPatternGetLangSet(font, FC_LANG, 0, &langs) != FcResultMatch ||
            FcLangSetHasLang(langs, ja) != FcLangEqual ||
            FcPatternGetString(font, FC_FAMILY, 0, &name) != FcResultMatch)
            continue;
        const QString family = QString::fromUtf8(reinterpret_cast<const char*>(name));
        if (first.isEmpty()) first = family;
        int spacing = FC_PROPORTIONAL;
        FcPatternGetInteger(font, FC_SPACING, 0, &spacing);
        if (spacing == FC_PROPORTIONAL) proportional = family;
    }
    if (fonts) FcFontSetDestroy(fonts);
    FcPatternDestroy(pattern);
    return proportional.isEmpty() ? first : proportional;
}

// The face for every caption: the desktop's own where it covers Japanese, else the layouts'
// own face, else the installed face fontconfig prefers for Japanese; empty when none covers
// Japanese.
QString japaneseFamily(const QFont& desktop) {
    const QString own = QFontInfo(desktop).family();
    if (QFontDatabase::writingSystems(own).contains(QFontDatabase::Japanese)) return own;
    // The face the layouts were drawn with, where it is installed: other faces, taller or
    // wider, clip a few captions in their boxes.
    const QString drawnWith = QStringLiteral("IPAPGothic");
    if (QFontDatabase::families(QFontDatabase::Japanese).contains(drawnWith)) return drawnWith;
    QString family = fontconfigJapaneseFamily();
    if (family.isEmpty()) {
        const QStringList all = QFontDatabase::families(QFontDatabase::Japanese);
        if (!all.isEmpty()) family = all.first();
    }
    return family;
}

// Qt's own texts (a text box's context menu, standard buttons) in Japanese, as the program's.
void loadQtTranslations(QApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QStringLiteral("qtbase_ja"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        application.installTranslator(translator);
    else
        delete translator;
}

}  // namespace

void Initialise(QApplication& application) {
    forms::SetAppTitle(QStringLiteral("varnel"));
    application.setApplicationName(QStringLiteral("varnel"));
    // Qt's file dialog keeps its state in the user's settings; nothing is written but what the
    // user saves, so settings lead where no file can ever be made.
    for (const auto format : {QSettings::NativeFormat, QSettings::IniFormat})
        QSettings::setPath(format, QSettings::UserScope, QStringLiteral("/dev/null/varnel"));
    application.setWindowIcon(QIcon(QStringLiteral(":/varnel.xpm")));
    QFont font = QApplication::font();
    const QString family = japaneseFamily(font);
    if (family.isEmpty())
        std::fputs(
            "varnel: no installed font covers Japanese, captions show as boxes; "
            "install the package fonts-ipafont-gothic.\n",
            stderr);
    else
        font.setFamilies({family});
    font.setPointSize(kLayoutPointSize);
    application.setFont(font);
    loadQtTranslations(application);
    // Closing the main window leaves nothing loaded: the application ends.
    forms::Form::SetLastFormUnloadedAction([] { forms::End(); });
}

void Start() { Start(forms::BeginStartFolderReadings()); }

void Start(const forms::StartFolderReadings& begun) {
    // The lists start in the folder the program was started in, or in the nearest that can be
    // read; the user is told once the window is up.
    forms::Listing entered;
    const QString moved = forms::EnterReadableFolder(begun, &entered);
    {
        // The lists show that folder from the reading just made: a folder of many files is
        // read once.
        const forms::ListingLoan lend(forms::paths::currentDirectory(), entered);
        main_f->Show();
    }
    if (!moved.isEmpty()) forms::MsgBox(moved);
}

int Run(int argc, char** argv) {
    if (!hasDisplay()) failStart(noDisplayLine());
    // The start folder is read while the window system is reached and the fonts are found.
    const forms::StartFolderReadings begun = forms::BeginStartFolderReadings();
    StartupTrace trace;
    startupTrace = &trace;
    qInstallMessageHandler(startupMessages);
    QApplication application(argc, argv);
    qInstallMessageHandler(nullptr);
    startupTrace = nullptr;
    Initialise(application);
    const QStringList files = FileArguments(argc, argv);  // before Start moves to a folder
    forms::Dispatch([&] { Start(begun); });
    OpenArguments(files);
    return application.exec();
}

}  // namespace app
