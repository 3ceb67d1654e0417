// The main window as a whole: layout, focus order, menus, command routing, the inert main
// window under the slide show and the settings dialog, and help.
#include <QAction>
#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPointer>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "core/forms.h"
#include "core/module1.h"
#include "forms/twips.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"
#include "support/testsupport.h"

namespace {

QMenuBar* menuBar() { return static_cast<QMainWindow*>(main_f->window())->menuBar(); }

QAction* menuAction(const QString& name) {
    for (forms::Menu* m : main_f->menus())
        if (m->Name() == name) return m->action();
    return nullptr;
}

// The main window, shown and active, its play list holding a, b, c with b selected.
MainForm& prepare() {
    MainForm& m = *main_f;
    m.Show();
    if (!QTest::qWaitFor([&] { return QApplication::activeWindow() == m.window(); }, 1000))
        qWarning("the main window did not become active");
    m.List1.Clear();
    for (const char* item : {"a", "b", "c"}) m.List1.AddItem(QString::fromLatin1(item));
    m.List1.ListIndex = 1;
    m.selPath = QStringLiteral("/pictures/new.jpg");
    return m;
}

QStringList entries() {
    QStringList out;
    for (int i = 0; i < main_f->List1.ListCount(); ++i) out << main_f->List1.List(i);
    return out;
}

// Gives an input to the main window as the window system would: keys to the window (and so
// to its focus widget), clicks at the button's place; or triggers a menu item.
void give(const QString& input) {
    const QString how = input.section(':', 0, 0), what = input.section(':', 1);
    QWindow* window = main_f->window()->windowHandle();
    if (how == QLatin1String("key")) {
        const QKeyCombination k = QKeySequence(what)[0];
        QTest::keyClick(window, k.key(), k.keyboardModifiers());
    } else if (how == QLatin1String("menu")) {
        menuAction(what)->trigger();
    } else {
        QWidget* button = main_f->control(what)->widget();
        const QPoint at = button->mapTo(main_f->window(), button->rect().center());
        QTest::mouseClick(window, Qt::LeftButton, {}, at);
    }
}

// Runs `inside` on the slide show or the settings dialog once `start` has opened it modally;
// the window system delivers keys from its own queue, so the opening may come a little later.
void whileOpen(const std::function<void()>& start,
               const std::function<void(forms::Form&)>& inside) {
    QObject context;
    int polls = 0;
    std::function<void()> poll = [&] {
        forms::Form* f = imv.peek();
        if (!f) f = setei.peek();
        if (f && f->window()->isVisible()) {
            inside(*f);
        } else if (++polls < 100) {
            QTimer::singleShot(1, &context, poll);
        } else {
            // Given up: whatever opens is closed, so that `start` returns and the test fails.
            if (polls == 100) QTest::qFail("no modal window opened", __FILE__, __LINE__);
            testing::CloseModals();
            QTimer::singleShot(10, &context, poll);
        }
    };
    QTimer::singleShot(0, &context, poll);
    start();
}

// A help file (or a directory in its place) beside the test program, where the bare name is
// looked up; removed afterwards.
struct HelpFileBeside {
    explicit HelpFileBeside(const QByteArray* content, bool directory = false) {
        clear();
        if (directory) QDir().mkdir(path);
        if (content) testing::WriteFile(path, *content);
    }
    ~HelpFileBeside() { clear(); }
    void clear() {
        QFile::remove(path);
        QDir().rmdir(path);
    }
    const QString path = QCoreApplication::applicationDirPath() + QStringLiteral("/varnel.hlp");
};

QTextBrowser* helpViewer() {
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* b = qobject_cast<QTextBrowser*>(w); b && b->isVisible()) return b;
    return nullptr;
}

}  // namespace

class MainWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::InitRuntime(); }
    void cleanup() {
        if (QTextBrowser* viewer = helpViewer()) viewer->close();
        testing::UnloadAll();
    }

    // Every control where the layout puts it: twips / 15 at 96 DPI, in its container.
    void layout_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("container");
        QTest::addColumn<QRect>("twips");
        QTest::addColumn<QString>("caption");
        const auto row = [](const char* name, const char* container, int l, int t, int w, int h,
                            const QString& caption = {}) {
            QTest::newRow(name) << QString::fromLatin1(name) << QString::fromLatin1(container)
                                << QRect(l, t, w, h) << caption;
        };
        row("drbox", "", 360, 480, 2655, 300);
        row("Dirbox", "", 360, 840, 2655, 3660);
        row("filebox", "", 3120, 120, 3015, 4410);
        row("List1", "", 360, 5040, 5775, 2760);
        row("ckp", "", 7200, 3600, 2535, 495, QStringLiteral("プレビューを表示する"));
        row("sentaku", "", 6600, 600, 1335, 495, QStringLiteral("選択"));
        row("cll", "", 6600, 1440, 1335, 495, QStringLiteral("削除"));
        row("Frame1", "", 6480, 240, 1575, 2895, QStringLiteral("ファイル選択"));
        row("allcll", "Frame1", 120, 2040, 1335, 495, QStringLiteral("全削除"));
        row("Frame2", "", 120, 4680, 6255, 3375, QStringLiteral("選択された画像リスト"));
        row("Frame3", "", 8400, 240, 1575, 2895, QStringLiteral("スライド再生"));
        row("playS", "Frame3", 120, 360, 1335, 495, QStringLiteral("再生"));
        row("op", "Frame3", 120, 1200, 1335, 495, QStringLiteral("設定"));
        row("ends", "Frame3", 120, 2040, 1335, 495, QStringLiteral("Varnelの終了"));
        row("Text1", "", 7080, 7560, 2655, 375, QStringLiteral(""));
        row("Combo1", "", 360, 120, 2655, 300, QStringLiteral("*.jpg"));
        row("Frame4", "", 6840, 7320, 3255, 735, QStringLiteral("ファイルネーム"));
        row("imP1", "", 7080, 4080, 2535, 2895);
    }
    void layout() {
        QFETCH(QString, name);
        QFETCH(QString, container);
        QFETCH(QRect, twips);
        QFETCH(QString, caption);
        MainForm& m = *main_f;
        m.Show();
        QWidget* w = m.control(name)->widget();
        QVERIFY(w->isVisible());
        QCOMPARE(w->geometry(),
                 QRect(twips.x() / 15, twips.y() / 15, twips.width() / 15, twips.height() / 15));
        QWidget* parent = container.isEmpty() ? m.client() : m.control(container)->widget();
        QCOMPARE(w->parentWidget(), parent);
        const QByteArray property = w->inherits("QGroupBox")         ? "title"
                                    : w->inherits("QComboBox")       ? "currentText"
                                    : w->inherits("QLineEdit")       ? "text"
                                    : w->inherits("QAbstractButton") ? "text"
                                                                     : "";
        if (!property.isEmpty() && !caption.isNull())
            QCOMPARE(w->property(property).toString(), caption);
    }

    void window() {
        QCOMPARE(forms::twips::perPixelX(), 15.0);
        MainForm& m = *main_f;
        m.Show();
        QWidget* w = m.window();
        QCOMPARE(m.Caption(), QStringLiteral("Varnel ver1.0"));
        QCOMPARE(m.client()->size(), QSize(687, 560));
        QCOMPARE(m.client()->mapToGlobal(QPoint(0, 0)), QPoint(2700 / 15, 2310 / 15));
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(
            !(w->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        QVERIFY(w->windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(m.Combo1.ListCount(), 9);
        QCOMPARE(m.Combo1.List(2), QStringLiteral("*.gif"));
        QCOMPARE(m.Combo1.List(3), QStringLiteral("*.png"));
        QCOMPARE(m.Combo1.Text(), QStringLiteral("*.jpg"));
        QCOMPARE(m.List1.ListCount(), int16_t(0));
        QCOMPARE(m.ckp.Value(), 0);
        QCOMPARE(int(Module1::interval), 3);
    }

    void tabOrderAndFirstFocus() {
        MainForm& m = *main_f;
        m.Show();
        const QStringList expected = {"drbox",   "Dirbox", "filebox", "List1", "ckp",
                                      "sentaku", "cll",    "allcll",  "playS", "op",
                                      "ends",    "Text1",  "Combo1"};
        QWidget* first = m.drbox.widget();
        QCOMPARE(m.window()->focusWidget(), first->focusProxy() ? first->focusProxy() : first);
        // The focusable controls met along the focus chain, from drbox round to drbox.
        QStringList order;
        QWidget* w = first;
        do {
            for (const forms::ControlLayout& row : m.controlLayout()) {
                QWidget* c = m.control(QString::fromLatin1(row.name))->widget();
                if (c == w && w->focusPolicy() != Qt::NoFocus)
                    order << QString::fromLatin1(row.name);
            }
            w = w->nextInFocusChain();
        } while (w != first && order.size() <= expected.size());
        QCOMPARE(order, expected);
    }

    // Captions, access keys, separators and shortcuts of the whole menu tree.
    void menus() {
        main_f->Show();
        QStringList tree;
        for (QAction* top : menuBar()->actions()) {
            QString line = top->text();
            if (QMenu* menu = top->menu()) {
                QStringList items;
                for (QAction* a : menu->actions())
                    items << (a->isSeparator()
                                  ? QStringLiteral("-")
                                  : a->text() + QLatin1Char(' ') + a->shortcut().toString());
                line += QLatin1String(": ") + items.join(QLatin1String(" | "));
            }
            tree << line;
        }
        QCOMPARE(tree,
                 QStringList({
                     QStringLiteral("ファイル(&F): 新規選択 Ctrl+S | 再生リストを開く...  | "
                                    "再生リストを保存...  | - | 終了 Ctrl+E"),
                     QStringLiteral(
                         "選択(&S): 選択 Ctrl+D | すべて追加 Ctrl+Shift+D | 削除 Ctrl+C | - | "
                         "全削除 Ctrl+A | - | 元に戻す Ctrl+Z"),
                     QStringLiteral("再生(&P): 再生 Ctrl+P | 設定 Ctrl+O | "
                                    "大きな画像を画面に合わせる  | 繰り返し  | シャッフル  | "
                                    "フェード  | ファイル名を表示  | 動画として書き出す... "),
                     QStringLiteral("ヘルプ(&H)"),
                 }));
        QCOMPARE(menuAction("helpMn"), menuBar()->actions().last());
    }

    // Every menu item, shortcut and command button reaches its command, wherever the focus is.
    void commands_data() {
        QTest::addColumn<QString>("input");
        QTest::addColumn<QString>("focus");
        QTest::addColumn<QString>("effect");
        const struct {
            const char *input, *focus, *effect;
        } rows[] = {
            {"menu:sinki", "", "cleared"},      {"menu:allcllMn", "", "cleared"},
            {"menu:sentakuMn", "", "added"},    {"menu:cllMn", "", "removed"},
            {"menu:pylyMn", "", "imv"},         {"menu:seteiMn", "", "setei"},
            {"menu:endMn", "", "end"},          {"key:Ctrl+S", "drbox", "cleared"},
            {"key:Ctrl+S", "Text1", "cleared"}, {"key:Ctrl+A", "drbox", "cleared"},
            {"key:Ctrl+A", "Text1", "cleared"}, {"key:Ctrl+A", "List1", "cleared"},
            {"key:Ctrl+D", "drbox", "added"},   {"key:Ctrl+D", "Text1", "added"},
            {"key:Ctrl+C", "drbox", "removed"}, {"key:Ctrl+C", "Text1", "removed"},
            {"key:Ctrl+C", "List1", "removed"}, {"key:Ctrl+C", "Combo1", "removed"},
            {"key:Ctrl+P", "drbox", "imv"},     {"key:Ctrl+P", "Text1", "imv"},
            {"key:Ctrl+O", "drbox", "setei"},   {"key:Ctrl+O", "List1", "setei"},
            {"key:Ctrl+E", "drbox", "end"},     {"key:Ctrl+E", "Text1", "end"},
            {"button:allcll", "", "cleared"},   {"button:sentaku", "", "added"},
            {"button:cll", "", "removed"},      {"button:playS", "", "imv"},
            {"button:op", "", "setei"},         {"button:ends", "", "end"},
        };
        for (const auto& r : rows)
            QTest::addRow("%s in %s", r.input, *r.focus ? r.focus : "-")
                << QString::fromLatin1(r.input) << QString::fromLatin1(r.focus)
                << QString::fromLatin1(r.effect);
    }
    void commands() {
        QFETCH(QString, input);
        QFETCH(QString, focus);
        QFETCH(QString, effect);
        MainForm& m = prepare();
        if (!focus.isEmpty()) m.control(focus)->SetFocus();
        testing::MsgBoxes boxes;
        const int ends = testing::EndCount();
        QString opened;
        if (effect == QLatin1String("imv") || effect == QLatin1String("setei")) {
            whileOpen([&] { give(input); },
                      [&](forms::Form& f) {
                          if (f.window()->isModal()) opened = &f == imv.peek() ? "imv" : "setei";
                          f.Unload();
                      });
        } else {
            give(input);
        }
        const QString result = opened.size()                ? opened
                               : testing::EndCount() > ends ? QStringLiteral("end")
                               : entries() == QStringList() ? QStringLiteral("cleared")
                               : entries() == QStringList({"a", "b", "c", "/pictures/new.jpg"})
                                   ? QStringLiteral("added")
                               : entries() == QStringList({"a", "c"}) ? QStringLiteral("removed")
                                                                      : entries().join(',');
        QCOMPARE(result, effect);
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(m.Loaded());
        if (effect == QLatin1String("imv") || effect == QLatin1String("setei"))
            QCOMPARE(entries(), QStringList({"a", "b", "c"}));
    }

    // While the slide show or the settings dialog is open, the main window takes no input.
    void inertUnderModalWindows_data() {
        QTest::addColumn<QString>("modal");
        QTest::addColumn<QString>("input");
        for (const char* modal : {"imv", "setei"})
            for (const char* input :
                 {"key:Ctrl+S", "key:Ctrl+A", "key:Ctrl+C", "key:Ctrl+D", "key:Ctrl+E",
                  "key:Ctrl+P", "key:Ctrl+O", "key:Alt+H", "key:Delete", "button:allcll",
                  "button:sentaku", "button:cll", "button:ends", "button:op", "button:playS",
                  "menu:sinki", "menu:sentakuMn", "menu:endMn", "menu:helpMn"})
                QTest::addRow("%s, %s", modal, input) << modal << input;
    }
    void inertUnderModalWindows() {
        QFETCH(QString, modal);
        QFETCH(QString, input);
        MainForm& m = prepare();
        m.Text1.SetFocus();
        testing::MsgBoxes boxes;
        const int ends = testing::EndCount();
        forms::Form* open = nullptr;
        bool nested = false, stillModal = false;
        whileOpen(
            [&] {
                if (modal == QLatin1String("imv"))
                    m.playS.Value = true;
                else
                    m.op.Value = true;
            },
            [&](forms::Form& f) {
                open = &f;
                // A window opened over this one by mistake is closed again, and noted.
                QObject context;
                QTimer::singleShot(0, &context, [&] {
                    forms::Form* other =
                        &f == imv.peek() ? static_cast<forms::Form*>(setei.peek()) : imv.peek();
                    nested = other != nullptr;
                    if (other) other->Unload();
                });
                // Keys also go straight to the main window's focus widget, as they would if
                // it had the keyboard.
                if (input.startsWith(QLatin1String("key:"))) {
                    const QKeyCombination k = QKeySequence(input.section(':', 1))[0];
                    QTest::keyClick(m.window()->focusWidget(), k.key(), k.keyboardModifiers());
                }
                give(input);
                testing::Settle();
                stillModal = QApplication::activeModalWidget() == f.window();
                f.Unload();
            });
        QVERIFY(open);
        QVERIFY(!nested);
        QVERIFY(stillModal);
        QCOMPARE(entries(), QStringList({"a", "b", "c"}));
        QCOMPARE(m.List1.ListIndex(), int16_t(1));
        QCOMPARE(testing::EndCount(), ends);
        QVERIFY(!imv.peek() && !setei.peek());
        QVERIFY(!helpViewer());
        QVERIFY(boxes.texts.isEmpty());
    }

    void helpOpensTheViewer_data() {
        QTest::addColumn<QString>("input");
        QTest::newRow("menu") << "menu:helpMn";
        QTest::newRow("access key") << "key:Alt+H";
    }
    void helpOpensTheViewer() {
        QFETCH(QString, input);
        const QByteArray html = QStringLiteral(
                                    "<html><head><title>テスト用ヘルプ</title></head>"
                                    "<body><h1>目次</h1><p>本文</p></body></html>")
                                    .toUtf8();
        HelpFileBeside file(&html);
        prepare();
        testing::MsgBoxes boxes;
        give(input);
        QTextBrowser* viewer = helpViewer();
        QVERIFY(viewer);
        QVERIFY(viewer->isWindow());
        QVERIFY(!viewer->isModal());
        QCOMPARE(viewer->windowTitle(), QStringLiteral("テスト用ヘルプ"));
        QVERIFY(viewer->toPlainText().contains(QStringLiteral("本文")));
        QVERIFY(boxes.texts.isEmpty());
        QVERIFY(!QApplication::activeModalWidget());
        // Help is not modal: back in the main window, its commands go on working.
        QWidget* main = main_f->window();
        main->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), main, 1000);
        QVERIFY(viewer->isVisible());
        give("key:Ctrl+S");
        QCOMPARE(entries(), QStringList());
        // Esc closes it.
        QPointer<QTextBrowser> open = viewer;
        QTest::keyClick(viewer, Qt::Key_Escape);
        QTRY_VERIFY(!open || !open->isVisible());
    }

    // What the viewer cannot show, it reports in a message that names the file.
    void unusableHelpFileIsReported_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("directory") << "directory";
        QTest::newRow("binary") << "binary";
    }
    void unusableHelpFileIsReported() {
        QFETCH(QString, kind);
        const QByteArray binary("?_\x03\0\0\0\xff\xff", 8);
        HelpFileBeside file(kind == QLatin1String("binary") ? &binary : nullptr,
                            kind == QLatin1String("directory"));
        MainForm& m = prepare();
        testing::MsgBoxes boxes;
        give("menu:helpMn");
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(QStringLiteral("varnel.hlp")), qPrintable(boxes.texts[0]));
        QVERIFY(!helpViewer());
        QVERIFY(m.Loaded());
        QCOMPARE(m.CommonDialog1.HelpFile(), QStringLiteral("varnel.hlp"));
        QCOMPARE(m.CommonDialog1.HelpCommand(), 3);
        // The program goes on (back in its window, which the offscreen platform does not
        // activate again by itself).
        m.window()->activateWindow();
        QTRY_COMPARE_WITH_TIMEOUT(QApplication::activeWindow(), m.window(), 1000);
        give("key:Ctrl+S");
        QCOMPARE(entries(), QStringList());
    }

    // The help file that ships with the program: Japanese HTML with a title, self-contained.
    void shippedHelpFile() {
        QFile file(QStringLiteral(QT_TESTCASE_SOURCEDIR "/../resources/varnel.hlp"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QTextBrowser browser;
        browser.setHtml(html);
        QVERIFY(!browser.documentTitle().isEmpty());
        for (const char* topic : {"再生リスト", "スライドショー", "設定", "プレビュー", "Ctrl+C"})
            QVERIFY2(browser.toPlainText().contains(QString::fromUtf8(topic)), topic);
        for (const char* external : {"src=", "http:", "https:", "<link", "<script"})
            QVERIFY2(!html.contains(QLatin1String(external), Qt::CaseInsensitive), external);
    }
};

QTEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
