// Start-up: from the start of the process to the first paint of its main window, for the
// program and for a minimal Qt Widgets program with the same controls.
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMainWindow>
#include <QMenuBar>
#include <QProcess>
#include <QPushButton>
#include <QStorageInfo>
#include <QTimer>
#include <cstdio>

#include "bench.h"
#include "core/app.h"
#include "forms/runtime.h"

namespace bench {

namespace {

// Reports the time once the first top-level window has been painted, and ends at once.
class FirstPaint : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!seen_ && event->type() == QEvent::Paint && watched->isWidgetType() &&
            static_cast<QWidget*>(watched)->isWindow()) {
            seen_ = true;
            // Queued: runs once this paint and the rest of the window's have been flushed.
            QTimer::singleShot(0, [] {
                const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                                    Clock::now().time_since_epoch())
                                    .count();
                std::printf("%lld\n", static_cast<long long>(ns));
                std::fflush(stdout);
                ::_exit(0);
            });
        }
        return false;
    }

private:
    bool seen_ = false;
};

// The main window's controls, built with plain Qt widgets: the same kinds, places (twips /
// 15), captions, lists and menus.
void showMinimalWindow() {
    auto* window = new QMainWindow;
    window->setWindowTitle(QStringLiteral("Varnel ver1.0"));
    auto* client = new QWidget(window);
    window->setCentralWidget(client);
    client->setFixedSize(687, 560);
    auto place = [](QWidget* w, int l, int t, int wd, int h) {
        w->setGeometry(l / 15, t / 15, wd / 15, h / 15);
    };

    auto* pattern = new QComboBox(client);
    pattern->setEditable(true);
    pattern->addItems({"*.jpg", "*.bmp", "*.gif"});
    place(pattern, 360, 120, 2655, 300);
    auto* drives = new QComboBox(client);
    for (const QStorageInfo& v : QStorageInfo::mountedVolumes()) drives->addItem(v.rootPath());
    place(drives, 360, 480, 2655, 300);
    auto* dirs = new QListWidget(client);
    const QDir here = QDir::current();
    dirs->addItem(here.absolutePath());
    dirs->addItems(
        here.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase));
    place(dirs, 360, 840, 2655, 3660);
    auto* files = new QListWidget(client);
    files->addItems(here.entryList({"*.jpg"}, QDir::Files, QDir::Name | QDir::IgnoreCase));
    place(files, 3120, 120, 3015, 4410);
    auto* frame2 = new QGroupBox(QStringLiteral("選択された画像リスト"), client);
    place(frame2, 120, 4680, 6255, 3375);
    auto* list = new QListWidget(client);
    place(list, 360, 5040, 5775, 2760);
    auto* check = new QCheckBox(QStringLiteral("プレビューを表示する"), client);
    place(check, 7200, 3600, 2535, 495);
    auto* frame1 = new QGroupBox(QStringLiteral("ファイル選択"), client);
    place(frame1, 6480, 240, 1575, 2895);
    place(new QPushButton(QStringLiteral("選択"), client), 6600, 600, 1335, 495);
    place(new QPushButton(QStringLiteral("削除"), client), 6600, 1440, 1335, 495);
    place(new QPushButton(QStringLiteral("全削除"), frame1), 120, 2040, 1335, 495);
    auto* frame3 = new QGroupBox(QStringLiteral("スライド再生"), client);
    place(frame3, 8400, 240, 1575, 2895);
    place(new QPushButton(QStringLiteral("再生"), frame3), 120, 360, 1335, 495);
    place(new QPushButton(QStringLiteral("設定"), frame3), 120, 1200, 1335, 495);
    place(new QPushButton(QStringLiteral("Varnelの終了"), frame3), 120, 2040, 1335, 495);
    auto* frame4 = new QGroupBox(QStringLiteral("ファイルネーム"), client);
    place(frame4, 6840, 7320, 3255, 735);
    auto* text = new QLineEdit(client);
    place(text, 7080, 7560, 2655, 375);
    auto* preview = new QLabel(client);
    preview->setFrameStyle(QFrame::Box | QFrame::Plain);
    preview->setScaledContents(true);
    place(preview, 7080, 4080, 2535, 2895);

    struct Item {
        const char* menu;
        const char* caption;
        const char* key;
    };
    const Item items[] = {
        {"ファイル(&F)", "新規選択", "Ctrl+S"}, {"ファイル(&F)", "-", nullptr},
        {"ファイル(&F)", "終了", "Ctrl+E"},     {"選択(&S)", "選択", "Ctrl+D"},
        {"選択(&S)", "削除", "Ctrl+C"},         {"選択(&S)", "-", nullptr},
        {"選択(&S)", "全削除", "Ctrl+A"},       {"再生(&P)", "再生", "Ctrl+P"},
        {"再生(&P)", "設定", "Ctrl+O"},         {"ヘルプ(&H)", nullptr, nullptr},
    };
    QMap<QString, QMenu*> menus;
    for (const Item& item : items) {
        const QString title = QString::fromUtf8(item.menu);
        QMenu*& menu = menus[title];
        if (!menu) menu = window->menuBar()->addMenu(title);
        if (!item.caption) continue;
        if (QByteArray(item.caption) == "-") {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf8(item.caption));
        action->setShortcut(QKeySequence(QString::fromLatin1(item.key)));
    }
    window->setFixedSize(window->sizeHint());
    window->show();
}

}  // namespace

int StartupChild(int argc, char** argv, bool realProgram) {
    // As the program does: the start folder is read while the rest starts.
    const forms::StartFolderReadings begun =
        realProgram ? forms::BeginStartFolderReadings() : forms::StartFolderReadings();
    QApplication application(argc, argv);
    FirstPaint firstPaint;
    application.installEventFilter(&firstPaint);
    if (realProgram) {
        app::Initialise(application);
        forms::Dispatch([&] { app::Start(begun); });
    } else {
        application.setWindowIcon(QIcon(QStringLiteral(":/varnel.xpm")));
        showMinimalWindow();
    }
    return application.exec();
}

namespace {

// Milliseconds from starting the program (or the minimal one) in `folder` to its first paint.
double launch(const QString& self, const QString& folder, const char* which) {
    QProcess child;
    child.setWorkingDirectory(folder);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    const auto start = Clock::now();
    child.start(self, {QStringLiteral("startup-child"), QString::fromLatin1(which)});
    if (!child.waitForFinished(30000)) qFatal("the start-up child did not finish");
    const qlonglong painted = child.readAllStandardOutput().trimmed().toLongLong();
    if (painted <= 0) qFatal("the start-up child reported no paint");
    const auto begun =
        std::chrono::duration_cast<std::chrono::nanoseconds>(start.time_since_epoch()).count();
    return (painted - begun) / 1e6;
}

}  // namespace

QJsonObject FigureStartup(const DataSet& data, const QString& self, const QString& name) {
    auto launch = [&](const char* which) { return bench::launch(self, data.path("start"), which); };
    Samples s;
    launch("app");
    launch("min");
    for (int i = 0; i < 9; ++i) {
        s.ours.push_back(launch("app"));
        s.baseline.push_back(launch("min"));
    }
    return result(name, "ms", s, 1.2,
                  QStringLiteral("process start to the first paint of the main window; "
                                 "baseline: the same controls built with plain Qt widgets"));
}

QJsonObject FigureStartupManyFiles(const DataSet& data, const QString& self) {
    Samples s;
    launch(self, data.path("many"), "app");
    for (int i = 0; i < 7; ++i) {
        s.ours.push_back(launch(self, data.path("many"), "app"));
        s.baseline.push_back(launch(self, data.path("start"), "app"));
    }
    return result(QString(), "ms", s, 0,
                  QStringLiteral("the program started in a folder of 100,000 files; baseline: "
                                 "started in a folder of six"));
}

}  // namespace bench
