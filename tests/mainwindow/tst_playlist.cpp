// The play list of the main window: add, remove and clear, pressed through their buttons;
// saved and opened through the menu, files dropped on it, entries moved.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QAction>
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QListWidget>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QUrl>
#include <climits>
#include <memory>

#include "forms/filedialogs.h"
#include "system/filenames.h"
#include "system/files.h"

#include "core/forms.h"
#include "mainwindow/main_f.h"
#include "support/testsupport.h"

namespace {

QStringList entries() {
    QStringList out;
    for (int i = 0; i < main_f->List1.ListCount(); ++i) out << main_f->List1.List(i);
    return out;
}

void fill(const QStringList& items) {
    for (const QString& item : items) main_f->List1.AddItem(item);
}

QByteArray read(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// Chooses a menu item, the file dialog answering with `path`.
void choose(forms::Menu& item, const QString& path) {
    forms::SetFileDialogAction([path](bool, const QString&) { return path; });
    item.action()->trigger();
    forms::SetFileDialogAction(nullptr);
}

QListWidget* list1() { return static_cast<QListWidget*>(main_f->List1.widget()); }

// A drop on the play list at the place of entry `row` (its upper or lower half; -1: below all).
void dropOnList(QMimeData* data, int row, bool lowerHalf) {
    QListWidget* list = list1();
    QPoint at(5, list->viewport()->height() - 2);
    if (row >= 0) {
        const QRect r = list->visualItemRect(list->item(row));
        at = QPoint(r.center().x(), lowerHalf ? r.bottom() - 1 : r.top() + 1);
    }
    // As a drag arrives: it enters (the list becomes the target), then drops.
    QDragEnterEvent enter(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(list->viewport(), &enter);
    QDropEvent drop(at, Qt::CopyAction | Qt::MoveAction, data, Qt::LeftButton, {});
    QCoreApplication::sendEvent(list->viewport(), &drop);
    delete data;
}

}  // namespace

class PlayListTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        testing::InitRuntime();
        main_f->Show();
    }
    void init() {
        main_f->List1.Clear();
        main_f->selPath.clear();
    }
    void cleanupTestCase() { testing::UnloadAll(); }

    void listStartsEmpty() {
        QCOMPARE(main_f->List1.ListCount(), int16_t(0));
        QCOMPARE(main_f->List1.ListIndex(), int16_t(-1));
    }

    void addBeforeAnyFileClickAddsOneEmptyEntry() {
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(main_f->sentaku.widget()), Qt::LeftButton);
        QCOMPARE(entries(), QStringList({QString()}));
        QVERIFY(boxes.texts.isEmpty());
    }

    void addKeepsDuplicatesInOrderAndLeavesSelectionAndPath() {
        const QString a = QStringLiteral("/pics/a.jpg"), b = QStringLiteral("/pics/b.jpg");
        for (const QString& path : {a, a, b, a}) {
            main_f->selPath = path;
            main_f->sentaku.Value = true;
        }
        QCOMPARE(entries(), QStringList({a, a, b, a}));
        main_f->List1.ListIndex = 1;
        main_f->sentaku.Value = true;
        QCOMPARE(main_f->List1.ListIndex(), int16_t(1));
        QCOMPARE(main_f->selPath, a);
        QCOMPARE(entries(), QStringList({a, a, b, a, a}));
    }

    void removeSelected_data() {
        QTest::addColumn<QStringList>("before");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QStringList>("after");
        const QStringList abcd{"a", "b", "c", "d"};
        QTest::newRow("first") << abcd << 0 << QStringList{"b", "c", "d"};
        QTest::newRow("middle") << abcd << 2 << QStringList{"a", "b", "d"};
        QTest::newRow("last") << abcd << 3 << QStringList{"a", "b", "c"};
        QTest::newRow("only") << QStringList{"a"} << 0 << QStringList{};
        QTest::newRow("one of duplicates")
            << QStringList{"x", "x", "y", "x"} << 1 << QStringList{"x", "y", "x"};
        QTest::newRow("empty entry") << QStringList{"a", "", "b"} << 1 << QStringList{"a", "b"};
    }
    void removeSelected() {
        QFETCH(QStringList, before);
        QFETCH(int, selected);
        QFETCH(QStringList, after);
        fill(before);
        main_f->List1.ListIndex = int16_t(selected);
        testing::MsgBoxes boxes;
        main_f->cll.Value = true;
        QCOMPARE(entries(), after);
        QVERIFY(boxes.texts.isEmpty());
        // The selection went with the entry: removing again asks for a selection.
        QCOMPARE(main_f->List1.ListIndex(), int16_t(-1));
        main_f->cll.Value = true;
        QCOMPARE(entries(), after);
        QCOMPARE(boxes.texts, QStringList({QStringLiteral("ファイルを選択してください。")}));
    }

    void removeWithoutSelection_data() {
        QTest::addColumn<QStringList>("items");
        QTest::newRow("empty list") << QStringList{};
        QTest::newRow("nothing selected") << QStringList{"a", "b", "c"};
        QTest::newRow("current but not selected") << QStringList{"a", "b"};
    }
    void removeWithoutSelection() {
        QFETCH(QStringList, items);
        fill(items);
        auto* list = static_cast<QListWidget*>(main_f->List1.widget());
        if (QByteArray(QTest::currentDataTag()) == "current but not selected") {
            // The list took the focus and has a current row, which the user has not selected.
            list->setFocus();
            list->selectionModel()->setCurrentIndex(list->model()->index(0, 0),
                                                    QItemSelectionModel::NoUpdate);
        }
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(main_f->cll.widget()), Qt::LeftButton);
        QCOMPARE(boxes.texts, QStringList({QStringLiteral("ファイルを選択してください。")}));
        QCOMPARE(boxes.titles, QStringList({QStringLiteral("varnel")}));
        QCOMPARE(entries(), items);
    }

    void removeAnEntryTheUserClicked() {
        fill({"a", "b", "c"});
        auto* list = static_cast<QListWidget*>(main_f->List1.widget());
        const QRect r = list->visualItemRect(list->item(1));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
        QCOMPARE(main_f->List1.ListIndex(), int16_t(1));
        testing::MsgBoxes boxes;
        main_f->cll.Value = true;
        QCOMPARE(entries(), QStringList({"a", "c"}));
        QVERIFY(boxes.texts.isEmpty());
    }

    void clear_data() {
        QTest::addColumn<QStringList>("items");
        QTest::addColumn<int>("selected");
        QTest::newRow("empty") << QStringList{} << -1;
        QTest::newRow("entries") << QStringList{"a", "b", "a"} << -1;
        QTest::newRow("with a selection") << QStringList{"a", "b"} << 1;
    }
    void clear() {
        QFETCH(QStringList, items);
        QFETCH(int, selected);
        fill(items);
        main_f->List1.ListIndex = int16_t(selected);
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(main_f->allcll.widget()), Qt::LeftButton);
        QCOMPARE(main_f->List1.ListCount(), int16_t(0));
        QCOMPARE(main_f->List1.ListIndex(), int16_t(-1));
        QVERIFY(boxes.texts.isEmpty());
        // The list is usable again at once.
        main_f->selPath = QStringLiteral("/pics/z.jpg");
        main_f->sentaku.Value = true;
        QCOMPARE(entries(), QStringList({"/pics/z.jpg"}));
    }

    void addPastTheLimitIsRefused() {
        const QString last = QStringLiteral("/pics/last.jpg");
        for (int i = 0; i < 32766; ++i) main_f->List1.AddItem(QString::number(i));
        main_f->selPath = last;
        testing::MsgBoxes boxes;
        main_f->sentaku.Value = true;  // the 32767th entry still fits
        QCOMPARE(main_f->List1.ListCount(), int16_t(32767));
        QVERIFY(boxes.texts.isEmpty());

        main_f->List1.ListIndex = 5;
        main_f->selPath = QStringLiteral("/pics/one-too-many.jpg");
        main_f->sentaku.Value = true;
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(QStringLiteral("32767")), qPrintable(boxes.texts[0]));
        QCOMPARE(boxes.titles, QStringList({QStringLiteral("varnel")}));
        QCOMPARE(main_f->List1.ListCount(), int16_t(32767));
        QCOMPARE(main_f->List1.List(32766), last);
        QCOMPARE(main_f->List1.List(0), QStringLiteral("0"));
        QCOMPARE(main_f->List1.ListIndex(), int16_t(5));

        // Removing one makes room again.
        main_f->cll.Value = true;
        main_f->sentaku.Value = true;
        QCOMPARE(boxes.texts.size(), 1);
        QCOMPARE(main_f->List1.ListCount(), int16_t(32767));
        QCOMPARE(main_f->List1.List(32766), QStringLiteral("/pics/one-too-many.jpg"));
        QCOMPARE(main_f->List1.List(5), QStringLiteral("6"));
    }

    // Odd names survive a save and an open through the menu; names a line cannot hold are
    // left out and named.
    void saveAndOpenRoundTrip() {
        QTemporaryDir dir;
        const QString d = dir.path();
        // A name in Shift_JIS bytes (日本), as old archives leave them.
        const QByteArray sjis = QFile::encodeName(d) + "/\x93\xfa\x96\x7b.jpg";
        ::close(::open(sjis.constData(), O_CREAT | O_WRONLY, 0644));
        const QStringList odd{d + "/with  spaces .jpg", d + "/写真 一.jpg",
                              forms::PathText(sjis),    d + "/#hash.jpg",
                              d + "/missing.gif",       d + "/with  spaces .jpg"};
        for (int i : {0, 1, 3}) testing::WriteFile(odd[i], "x");
        fill(odd.mid(0, 2));
        fill({d + "/line\nbreak.jpg", QString(), d + "/nul" + QChar(0) + ".jpg"});
        fill(odd.mid(2));
        QCOMPARE(::symlink("real.m3u", QFile::encodeName(d + "/list.m3u").constData()), 0);
        testing::MsgBoxes boxes;
        choose(main_f->lstSaveMn, d + "/list.m3u");
        QVERIFY(QFileInfo(d + "/list.m3u").isSymLink());  // its target made as new files are
        QCOMPARE(QFileInfo(d + "/real.m3u").permissions(), QFileInfo(odd[0]).permissions());
        QCOMPARE(boxes.texts.size(), 1);
        for (const char* part : {"3 件", "3 番目", "5 番目", "line↵break.jpg", "（空の項目）"})
            QVERIFY2(boxes.texts[0].contains(QString::fromUtf8(part)), qPrintable(boxes.texts[0]));
        QByteArray expected;
        for (const QString& path : odd) expected += (path == odd[2] ? sjis : path.toUtf8()) + '\n';
        QCOMPARE(read(d + "/list.m3u"), expected);

        main_f->List1.Clear();
        fill({"other"});
        choose(main_f->lstOpenMn, d + "/list.m3u");
        QCOMPARE(entries(), odd);
        QCOMPARE(boxes.texts.size(), 1);
    }

    void failedSaveLeavesTheOldFile_data() {
        QTest::addColumn<bool>("folder");
        QTest::addColumn<QString>("why");
        QTest::newRow("disk full") << false << QStringLiteral("ディスクの空きが足りません");
        QTest::newRow("a folder of that name") << true << QStringLiteral("同じ名前のフォルダ");
        QTest::newRow("a link to a FIFO") << true << QStringLiteral("通常のファイルではありません");
    }
    void failedSaveLeavesTheOldFile() {
        QFETCH(bool, folder);
        QFETCH(QString, why);
        QTemporaryDir dir;
        const QString target = dir.path() + "/list.m3u";
        const QByteArray old = "/old/one.jpg\n/old/two.jpg\n";
        if (QTest::currentDataTag() == QLatin1String("a link to a FIFO"))  // not listed
            QVERIFY(::mkfifo(QFile::encodeName(target + ".f"), 0600) == 0 &&
                    QFile::link(target + ".f", target));
        else if (folder)
            QVERIFY(QDir().mkdir(target));
        else
            testing::WriteFile(target, old);
        for (int i = 0; i < 200; ++i) main_f->List1.AddItem(QStringLiteral("/new/%1.jpg").arg(i));
        // Files may not grow past 1 KiB: the disk is full for this save.
        rlimit saved{};
        ::getrlimit(RLIMIT_FSIZE, &saved);
        const rlimit small{1024, saved.rlim_max};
        const auto oldSignal = ::signal(SIGXFSZ, SIG_IGN);
        if (!folder) ::setrlimit(RLIMIT_FSIZE, &small);
        testing::MsgBoxes boxes;
        choose(main_f->lstSaveMn, target);
        ::setrlimit(RLIMIT_FSIZE, &saved);
        ::signal(SIGXFSZ, oldSignal);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(why), qPrintable(boxes.texts[0]));
        QCOMPARE(boxes.texts[0].contains(QStringLiteral("変更していません")), !folder);
        QCOMPARE(QDir(dir.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::Hidden),
                 QStringList{"list.m3u"});
        if (folder)  // a folder, or a FIFO
            QVERIFY(QFileInfo(target).exists() && !QFileInfo(target).isFile());
        else
            QCOMPARE(read(target), old);
        QCOMPARE(main_f->List1.ListCount(), int16_t(200));
    }

    void badListFiles_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("loaded");  // -1: the list is unchanged
        QTest::addColumn<QStringList>("head");
        QTest::addColumn<QString>("message");
        QByteArray many;
        for (int i = 0; i < 32770; ++i) many += "/p/" + QByteArray::number(i) + ".jpg\n";
        const QByteArray longLine(PATH_MAX, 'x');
        QTest::newRow("missing") << QByteArray("<missing>") << -1 << QStringList{"keep"}
                                 << QStringLiteral("開けませんでした");
        QTest::newRow("a folder") << QByteArray("<folder>") << -1 << QStringList{"keep"}
                                  << QStringLiteral("通常のファイルではありません");
        QTest::newRow("NUL bytes") << QByteArray("/p/a.jpg\n\0\0\x01\x02", 12) << -1
                                   << QStringList{"keep"} << QStringLiteral("テキストではない");
        QTest::newRow("too many") << many << 32767 << QStringList{"/p/0.jpg", "/p/1.jpg"}
                                  << QStringLiteral("残りの 3 件");
        QTest::newRow("a line too long")
            << "/p/a.jpg\n" + longLine + "\n/" + longLine.left(PATH_MAX - 2) + "\n/p/b.jpg" << 3
            << QStringList{"/p/a.jpg", "/" + longLine.left(PATH_MAX - 2), "/p/b.jpg"}
            << QStringLiteral("1 行");
        QTest::newRow("extended, CRLF, blank lines, relative")
            << QByteArray("#EXTM3U\r\n#EXTINF:5,a\r\n/p/a.jpg\r\n\r\n  \nsub/b.jpg") << 2
            << QStringList{"/p/a.jpg", "<dir>/sub/b.jpg"} << QString();
        QTest::newRow("byte-order mark, CR, file URLs")
            << QByteArray(
                   "\xEF\xBB\xBF/a\r/b\rfile:///c%20d\rfile://localhost/e\rfile://f/g\rfile:///%00")
            << 4 << QStringList{"/a", "/b", "/c d", "/e"} << QStringLiteral("2 件は");
        QTest::newRow("empty") << QByteArray() << 0 << QStringList{} << QString();
    }
    void badListFiles() {
        QFETCH(QByteArray, content);
        QFETCH(int, loaded);
        QFETCH(QStringList, head);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.path() + "/list.m3u";
        if (content == "<folder>")
            QDir().mkdir(path);
        else if (content != "<missing>")
            testing::WriteFile(path, content);
        fill({"keep"});
        testing::MsgBoxes boxes;
        choose(main_f->lstOpenMn, path);
        QCOMPARE(boxes.texts.size(), message.isEmpty() ? 0 : 1);
        if (!message.isEmpty())
            QVERIFY2(boxes.texts[0].contains(message), qPrintable(boxes.texts[0]));
        QCOMPARE(main_f->List1.ListCount(), loaded < 0 ? int16_t(1) : int16_t(loaded));
        head.replaceInStrings("<dir>", dir.path());
        QCOMPARE(entries().mid(0, int(head.size())), head);
    }

    void commandLineFiles() {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QString a = testing::MakePicture(d, "a.jpg", {4, 4}, Qt::red);
        const QString b = testing::MakePicture(d, "b.gif", {4, 4}, Qt::blue);
        testing::WriteFile(d + "/list.m3u", (b + "\n" + a + "\n").toUtf8());
        testing::WriteFile(d + "/notes.txt", "text");
        testing::MsgBoxes boxes;
        main_f->OpenFiles({a, d + "/list.m3u", d + "/notes.txt", d + "/gone.jpg", b});
        QCOMPARE(entries(), QStringList({a, b, a, b}));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(boxes.texts[0].contains("notes.txt") && boxes.texts[0].contains("gone.jpg"));
        // One picture alone, opened from the desktop, is also clicked in the browser, under the
        // pattern that lists it.
        main_f->OpenFiles({b});
        QCOMPARE(main_f->selPath, d + "/b.gif");
        QCOMPARE(main_f->filebox.FileName(), QString("b.gif"));
        QCOMPARE(main_f->Combo1.Text(), QString("*.gif"));
        // A folder named by bytes that are no UTF-8 gives its pictures too.
        const QByteArray sjis = QFile::encodeName(d) + "/\x93\xfa\x96\x7b";
        QCOMPARE(::mkdir(sjis.constData(), 0700), 0);
        QCOMPARE(::link(QFile::encodeName(a).constData(), (sjis + "/p.jpg").constData()), 0);
        main_f->List1.Clear();
        main_f->OpenFiles({forms::PathText(sjis)});
        QCOMPARE(entries(), QStringList({forms::PathText(sjis + "/p.jpg")}));
        ::unlink((sjis + "/p.jpg").constData());
        ::rmdir(sjis.constData());
    }

    void dropFiles() {
        QTemporaryDir dir;
        const QString d = dir.path();
        const QString a = testing::MakePicture(d, "a b.bmp", {4, 4}, Qt::red);
        const QString b = testing::MakePicture(d, "写真.jpg", {4, 4}, Qt::blue);
        // A picture's name does not make a picture: a text file called .jpg is skipped.
        testing::WriteFile(d + "/fake.jpg", "not a picture");
        fill({"first"});
        // Kept: a name in Shift_JIS bytes. Refused: a file of another machine, a NUL.
        const QByteArray sjis = QFile::encodeName(d) + "/\x93\xfa\x96\x7b.jpg";
        QCOMPARE(::link(QFile::encodeName(a).constData(), sjis.constData()), 0);
        auto* data = new QMimeData;
        const QString aPath = QUrl::fromLocalFile(a).path(QUrl::FullyEncoded);
        data->setUrls({QUrl::fromLocalFile(b), QUrl::fromLocalFile(d + "/fake.jpg"),
                       QUrl::fromLocalFile(d), QUrl::fromLocalFile(a),
                       QUrl(QString::fromLatin1("file://" + sjis.toPercentEncoding("/"))),
                       QUrl("file://otherhost" + aPath), QUrl("file://" + aPath + "%00.txt")});
        testing::MsgBoxes boxes;
        dropOnList(data, 0, false);
        // The folder gives the pictures inside it, in name order.
        QTRY_COMPARE(entries(), QStringList({"first", b, a, b, forms::PathText(sjis), a,
                                             forms::PathText(sjis)}));
        QTRY_COMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(QStringLiteral("3 個")), qPrintable(boxes.texts[0]));
        // The file list and the preview refuse drops, and so does everything beneath them.
        for (QWidget* w : {main_f->filebox.widget(), main_f->imP1.widget()}) {
            const auto inside = w->findChildren<QWidget*>();
            for (QWidget* under : inside) QVERIFY(!under->acceptDrops());
            for (; w; w = w->parentWidget()) QVERIFY(!w->acceptDrops());
        }
    }

    void reorder_data() {
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("after");
        QTest::addColumn<int>("selectedAfter");
        QTest::newRow("Alt+Down") << 1 << "alt+down"
                                  << "acbd" << 2;
        QTest::newRow("Alt+Up") << 2 << "alt+up"
                                << "acbd" << 1;
        QTest::newRow("Alt+Up on the first") << 0 << "alt+up"
                                             << "abcd" << 0;
        QTest::newRow("Alt+Down on the last") << 3 << "alt+down"
                                              << "abcd" << 3;
        QTest::newRow("Alt+Down, nothing selected") << -1 << "alt+down"
                                                    << "abcd" << -1;
        QTest::newRow("Delete") << 1 << "delete"
                                << "acd" << -1;
        QTest::newRow("Delete, nothing selected") << -1 << "delete"
                                                  << "abcd" << -1;
        QTest::newRow("drag the first below the third") << 0 << "drag 0 2 low"
                                                        << "bcad" << 2;
        QTest::newRow("drag the last to the top") << 3 << "drag 3 0 high"
                                                  << "dabc" << 0;
        QTest::newRow("drag the second below all") << 1 << "drag 1 -1 low"
                                                   << "acdb" << 3;
        QTest::newRow("drag onto itself") << 1 << "drag 1 1 high"
                                          << "abcd" << 1;
    }
    void reorder() {
        QFETCH(int, selected);
        QFETCH(QString, action);
        QFETCH(QString, after);
        QFETCH(int, selectedAfter);
        fill({"a", "b", "c", "d"});
        main_f->List1.ListIndex = int16_t(selected);
        testing::MsgBoxes boxes;
        const QStringList words = action.split(' ');
        if (words[0] == "drag")
            dropOnList(main_f->List1.dragData(words[1].toInt()), words[2].toInt(),
                       words[3] == "low");
        else
            QTest::keyClick(list1(),
                            words[0] == "delete"   ? Qt::Key_Delete
                            : words[0] == "alt+up" ? Qt::Key_Up
                                                   : Qt::Key_Down,
                            words[0] == "delete" ? Qt::NoModifier : Qt::AltModifier);
        QCOMPARE(entries().join(QString()), after);
        QCOMPARE(main_f->List1.ListIndex(), int16_t(selectedAfter));
        // Delete with nothing selected says what the delete command says.
        QCOMPARE(boxes.texts.size(), action == "delete" && selected < 0 ? 1 : 0);
    }

    // Each kind of change is taken back by 元に戻す, several steps deep, and so is a change
    // made by a folder's pictures.
    void undo_data() {
        QTest::addColumn<QString>("change");
        for (const char* change : {"add", "add all", "remove", "new", "clear", "move", "drop",
                                   "open list", "command line"})
            QTest::newRow(change) << QString::fromLatin1(change);
    }
    void undo() {
        QFETCH(QString, change);
        QTemporaryDir dir;
        const QString d = dir.path();
        const QString pic = testing::MakePicture(d, "p10.jpg", {4, 4}, Qt::red);
        testing::MakePicture(d, "p9.jpg", {4, 4}, Qt::blue);
        QTemporaryDir other;
        testing::WriteFile(other.path() + "/list.m3u", (pic + "\n").toUtf8());
        main_f->Dirbox.Path = d;
        main_f->filebox.Pattern = "*.jpg";
        fill({"a", "b", "c"});
        main_f->selPath = "x";
        main_f->sentaku.Value = true;  // a first change, to be taken back last
        const QStringList before = entries();
        testing::MsgBoxes boxes;
        if (change == "add") main_f->sentaku.Value = true;
        if (change == "add all") main_f->subeteMn.action()->trigger();
        if (change == "remove") main_f->List1.ListIndex = 1, main_f->cll.Value = true;
        if (change == "new") main_f->sinki.action()->trigger();
        if (change == "clear") main_f->allcll.Value = true;
        if (change == "move")
            main_f->List1.ListIndex = 0, QTest::keyClick(list1(), Qt::Key_Down, Qt::AltModifier);
        if (change == "drop") {
            auto* data = new QMimeData;
            data->setUrls({QUrl::fromLocalFile(d)});
            dropOnList(data, -1, false);
        }
        if (change == "open list") choose(main_f->lstOpenMn, other.path() + "/list.m3u");
        if (change == "command line") main_f->OpenFiles({d});
        QTRY_VERIFY(entries() != before);
        // The file list's order, or the folder's natural order.
        if (change == "add all") QCOMPARE(entries().mid(4), QStringList({pic, d + "/p9.jpg"}));
        if (change == "drop" || change == "command line")
            QCOMPARE(entries().mid(4), QStringList({d + "/p9.jpg", pic}));
        main_f->modosuMn.action()->trigger();
        QCOMPARE(entries(), before);
        main_f->modosuMn.action()->trigger();
        QCOMPARE(entries(), QStringList({"a", "b", "c"}));
        QCOMPARE(boxes.texts.join("|"), QString());
    }
};

QTEST_MAIN(PlayListTest)
#include "tst_playlist.moc"
