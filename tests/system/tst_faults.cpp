// Faults of the file system met while browsing and playing: files and folders that change,
// vanish or lose their permissions after they were listed, a drive unmounted while shown, a
// folder of a hundred thousand files, and file names of every kind. None may crash or hang
// the program; a file that cannot be read is passed over quietly, a folder that cannot be
// opened is named in a message, and the play list keeps every entry.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QBuffer>
#include <QComboBox>
#include <QDirIterator>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QProcess>
#include <QScopeGuard>
#include <QTest>
#include <QTimer>
#include <algorithm>
#include <memory>

#include "core/app.h"
#include "core/forms.h"
#include "core/module1.h"
#include "forms/filecontrols.h"
#include "mainwindow/main_f.h"
#include "slideshow/imv.h"
#include "support/testsupport.h"
#include "system/filenames.h"
#include "system/jobs.h"

namespace {

// The drives the drive list sees: set by each test.
QList<forms::DriveInfo> g_drives;

const QString kPicture = QStringLiteral("picture");

QByteArray jpeg(QSize size) {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return buffer.data();
}

// Plays the play list to its end: per tick, "picture" or the notice shown in its place.
QStringList play() {
    QStringList seen;
    testing::WhileModal(
        [] { main_f->playS.Value = true; },
        [&] {
            for (int k = 0; k < 1000 && imv.peek(); ++k) {
                SlideShowForm* f = imv.peek();
                testing::ShowTick(*f);
                if (!imv.peek()) break;
                seen << (f->Image1.Picture().isNull() ? f->Label1.Caption() : kPicture);
            }
            if (SlideShowForm* left = imv.peek()) left->Unload();
        });
    testing::Settle();
    return seen;
}

int rowOf(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? -1 : list->row(found.first());
}

// Selects a listed file and raises its click, as the mouse does.
void clickFile(MainForm& f, const QString& name) {
    auto* list = qobject_cast<QListWidget*>(f.filebox.widget());
    const int row = rowOf(list, name);
    if (row < 0) qFatal("%s is not listed", qPrintable(name));
    list->scrollToItem(list->item(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualItemRect(list->item(row)).center());
}

void doubleClickDir(MainForm& f, int row) {
    auto* list = qobject_cast<QListWidget*>(f.Dirbox.widget());
    const QPoint at = list->visualItemRect(list->item(row)).center();
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    if (auto* reading = list->findChild<QTimer*>(QStringLiteral("folder reading")))
        QTRY_VERIFY(!reading->isActive());
}

// A choice from the pattern list, as its popup makes it.
void choosePattern(MainForm& f, int index) {
    auto* combo = qobject_cast<QComboBox*>(f.Combo1.widget());
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

// Text for one line of the output: control characters written as escapes.
QString oneLine(const QString& text) {
    QString out;
    for (QChar c : text)
        out += c.unicode() < 0x20
                   ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                   : QString(c);
    return out;
}

QString messages(const QStringList& texts) {
    return texts.isEmpty() ? QStringLiteral("no message")
                           : QStringLiteral("message \"%1\"").arg(oneLine(texts.join(" / ")));
}

QStringList listed(MainForm& f) {
    QStringList out;
    for (int i = 0; i < f.filebox.ListCount(); ++i) out << f.filebox.List(i);
    return out;
}

}  // namespace

class FaultsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    QString base_;  // canonical path of the test's folder, the root of its drive
    QString work_;  // a folder on that drive, where the lists start

    // The main window, built afresh once the test's files are there.
    MainForm& openAt(const QString& dir) {
        main_f->Show();
        main_f->Dirbox.Path = dir;
        return *main_f;
    }

    // Runs one test function (or row) again in a child process; returns false when it
    // cannot be run there, with the reason in `why`.
    bool runAgain(const QString& program, QStringList args, const QString& test, QString* why) {
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
        env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
        env.insert(QStringLiteral("VARNEL_FAULTS_CHILD"), QStringLiteral("1"));
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(QStringLiteral("/tmp"));
        child.setProcessChannelMode(QProcess::MergedChannels);
        args << QCoreApplication::applicationFilePath() << test;
        child.start(program, args);
        if (!child.waitForStarted()) {
            *why = program + " cannot be started";
            return false;
        }
        if (!child.waitForFinished(60000)) {
            child.kill();
            child.waitForFinished();
            *why = "the child did not finish";
            return true;
        }
        const QString output = QString::fromUtf8(child.readAll());
        const QString passed = "PASS   : FaultsTest::" + QString(test).replace(':', '(') +
                               (test.contains(':') ? ")" : "");
        if (child.exitCode() != 0 || !output.contains(passed)) *why = output;
        for (const QString& line : output.split('\n'))
            if (line.startsWith(QLatin1String("QINFO")))
                qInfo("%s", qPrintable(line.mid(line.indexOf(QLatin1String(") ")) + 2)));
        return true;
    }

    // Permissions do not hold for root: the test runs again as the unprivileged user. True
    // when it has been run (or skipped) that way, and the caller has nothing more to do.
    bool asNobody(const QString& test) {
        if (::geteuid() != 0) return false;
        const QString program = QCoreApplication::applicationFilePath();
        for (QString dir = QFileInfo(program).path(); dir != QLatin1String("/");
             dir = QFileInfo(dir).path()) {
            if (!QFileInfo(dir).permission(QFile::ExeOther)) {
                QTest::qSkip(qPrintable(dir + " cannot be entered by nobody; run as a user"),
                             __FILE__, __LINE__);
                return true;
            }
        }
        QString why;
        if (!runAgain(QStringLiteral("setpriv"),
                      {"--reuid=65534", "--regid=65534", "--clear-groups"}, test, &why))
            QTest::qSkip(qPrintable(why), __FILE__, __LINE__);
        else if (!why.isEmpty())
            QTest::qFail(qPrintable(why), __FILE__, __LINE__);
        return true;
    }

private slots:
    void initTestCase() {
        testing::InitRuntime();
        forms::SetDriveSource([] { return g_drives; });
    }

    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        base_ = QFileInfo(tmp_->path()).canonicalFilePath();
        g_drives = {{base_, {}}};
        work_ = base_ + "/work";
        QVERIFY(QDir().mkpath(work_));
        QDir::setCurrent(work_);
        Module1::interval = 1;
    }

    void cleanup() {
        testing::UnloadAll();
        QDir::setCurrent(QDir::rootPath());
        if (tmp_) {
            // Whatever a test took away is given back, so that the folder can be removed.
            QDirIterator it(base_, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                            QDirIterator::Subdirectories);
            ::chmod(QFile::encodeName(base_).constData(), 0700);
            while (it.hasNext()) {
                const QString p = it.next();
                if (!QFileInfo(p).isSymLink()) ::chmod(QFile::encodeName(p).constData(), 0700);
            }
        }
        tmp_.reset();
    }

    // A listed file that changes before its click and before its tick: the preview stays
    // empty without a message, the show names it for one interval and goes on.
    void fileChangedAfterListing_data() {
        QTest::addColumn<QString>("change");
        for (const char* c :
             {"removed", "replaced by a folder", "emptied", "link to itself", "no read permission"})
            QTest::newRow(c) << c;
    }
    void fileChangedAfterListing() {
        QFETCH(QString, change);
        if (change == "no read permission" && asNobody("fileChangedAfterListing:" + change)) return;
        testing::MakePicture(work_, "a.jpg", {30, 20}, Qt::red);
        const QString x = testing::MakePicture(work_, "x.jpg", {30, 20}, Qt::green);
        MainForm& f = openAt(work_);
        QCOMPARE(listed(f), QStringList({"a.jpg", "x.jpg"}));
        f.List1.AddItem(x);
        f.List1.AddItem(work_ + "/a.jpg");
        if (change == "no read permission") {
            QVERIFY(::chmod(QFile::encodeName(x).constData(), 0) == 0);
        } else {
            QVERIFY(QFile::remove(x));
            if (change == "replaced by a folder") QVERIFY(QDir().mkdir(x));
            if (change == "emptied") testing::WriteFile(x, {});
            if (change == "link to itself") QVERIFY(QFile::link(x, x));
        }
        testing::MsgBoxes boxes;
        f.ckp.Value = 1;
        clickFile(f, "a.jpg");
        QTRY_VERIFY(!f.imP1.Picture().isNull());
        clickFile(f, "x.jpg");
        QCOMPARE(f.selPath, x);
        QCOMPARE(f.Text1.Text(), x);
        QTRY_VERIFY(f.imP1.Picture().isNull());
        testing::Settle();
        QCOMPARE(boxes.texts, QStringList());

        const QStringList seen = play();
        QCOMPARE(seen.size(), 2);
        QVERIFY2(seen[0].contains(x), qPrintable(seen[0]));
        QCOMPARE(seen[1], kPicture);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("終了しました。")});
        QCOMPARE(f.List1.ListCount(), 2);
    }

    // The folder shown loses a permission. Without read permission its names cannot be read
    // again, while its files can still be opened; without search permission its names can be
    // read, but neither its files nor its folders can be opened.
    void shownFolderLosesPermission_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("readable");  // its files can be opened
        QTest::addColumn<bool>("listable");  // its names can be read again
        QTest::newRow("no read permission") << 0300 << true << false;
        QTest::newRow("no search permission") << 0600 << false << true;
        QTest::newRow("no permission at all") << 0 << false << false;
    }
    void shownFolderLosesPermission() {
        QFETCH(int, mode);
        QFETCH(bool, readable);
        QFETCH(bool, listable);
        if (asNobody(QStringLiteral("shownFolderLosesPermission:") + QTest::currentDataTag()))
            return;
        const QString d = base_ + "/d";
        QVERIFY(QDir().mkpath(d + "/sub"));
        const QString p = testing::MakePicture(d, "p.jpg", {30, 20}, Qt::red);
        testing::MakePicture(d, "q.bmp", {30, 20}, Qt::red);
        MainForm& f = openAt(d);
        QCOMPARE(listed(f), QStringList{"p.jpg"});
        f.List1.AddItem(p);
        QVERIFY(::chmod(QFile::encodeName(d).constData(), mode_t(mode)) == 0);
        testing::MsgBoxes boxes;

        f.ckp.Value = 1;
        clickFile(f, "p.jpg");
        QCOMPARE(f.selPath, p);
        QTRY_COMPARE(!f.imP1.Picture().isNull(), readable);
        testing::Settle();
        QCOMPARE(boxes.texts, QStringList());

        // Another pattern: the folder is read again.
        choosePattern(f, 1);
        testing::Settle();
        qInfo("pattern changed in a folder of mode %o: %s", mode,
              qPrintable(messages(boxes.texts)));
        if (listable) {
            QCOMPARE(listed(f), QStringList{"q.bmp"});
            QCOMPARE(boxes.texts, QStringList());
        } else {
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].contains(d), qPrintable(boxes.texts[0]));
        }
        boxes.texts.clear();

        // A folder inside it.
        doubleClickDir(f, f.Dirbox.ListCount() - 1);
        testing::Settle();
        if (readable) {
            QCOMPARE(boxes.texts, QStringList());
            QCOMPARE(f.Dirbox.Path(), d + "/sub");
        } else {
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].contains(d + "/sub"), qPrintable(boxes.texts[0]));
            QCOMPARE(f.Dirbox.Path(), d);
        }

        const QStringList seen = play();
        QCOMPARE(seen.size(), 1);
        if (readable)
            QCOMPARE(seen[0], kPicture);
        else
            QVERIFY2(seen[0].contains(p), qPrintable(seen[0]));
        QCOMPARE(f.List1.ListCount(), 1);
    }

    // The folder shown is removed: its files are passed over, its folders and itself are
    // named when they cannot be opened, and the lists can go up to a folder that is there.
    void shownFolderRemoved() {
        const QString d = base_ + "/d";
        QVERIFY(QDir().mkpath(d + "/sub"));
        const QString p = testing::MakePicture(d, "p.jpg", {30, 20}, Qt::red);
        MainForm& f = openAt(d);
        f.List1.AddItem(p);
        QCOMPARE(f.Dirbox.ListCount(), 3);  // the drive's root, d, sub
        QVERIFY(QDir(d).removeRecursively());
        testing::MsgBoxes boxes;

        f.ckp.Value = 1;
        clickFile(f, "p.jpg");
        QCOMPARE(f.selPath, p);
        QTRY_VERIFY(f.imP1.Picture().isNull());
        testing::Settle();
        QCOMPARE(boxes.texts, QStringList());

        choosePattern(f, 2);
        testing::Settle();
        qInfo("pattern changed in a removed folder: %s", qPrintable(messages(boxes.texts)));
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(d), qPrintable(boxes.texts[0]));
        boxes.texts.clear();

        for (int row : {2, 1}) {  // sub, then d itself
            const QString target = f.Dirbox.List(row);
            doubleClickDir(f, row);
            testing::Settle();
            QCOMPARE(boxes.texts.size(), 1);
            QVERIFY2(boxes.texts[0].contains(target), qPrintable(boxes.texts[0]));
            QCOMPARE(f.Dirbox.Path(), d);
            boxes.texts.clear();
        }
        doubleClickDir(f, 0);  // up to the drive's root
        testing::Settle();
        QCOMPARE(boxes.texts, QStringList());
        QCOMPARE(f.Dirbox.Path(), base_ + "/");
        QCOMPARE(f.Dirbox.ListCount(), 2);  // the root and the folder the lists started in

        const QStringList seen = play();
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen[0].contains(p), qPrintable(seen[0]));
    }

    // Started in a folder that cannot be listed: the window opens all the same, at the nearest
    // folder up that can, and says so once.
    void startFolder_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("removed") << "removed";
        QTest::newRow("no permission") << "no permission";
        QTest::newRow("listing hangs") << "listing hangs";
        QTest::newRow("listed, not entered") << "no entry";
    }
    void startFolder() {
        QFETCH(QString, fault);
        if (fault.startsWith("no") && asNobody("startFolder:" + QString(QTest::currentDataTag())))
            return;
        const QString start = work_ + "/deep/start";
        QVERIFY(QDir().mkpath(start));
        testing::MakePicture(work_ + "/deep", "up.jpg", {30, 20}, Qt::red);
        QVERIFY(QDir::setCurrent(start));
        if (fault == "removed") QVERIFY(QDir().rmdir(start));
        if (fault == "no permission") QVERIFY(::chmod(QFile::encodeName(start), 0) == 0);
        if (fault == "no entry") QVERIFY(::chmod(QFile::encodeName(start), 0444) == 0);
        // Named on the command line from the folder started in, in bytes that are not UTF-8.
        char* argv[] = {const_cast<char*>("varnel"), const_cast<char*>("up\xE9.jpg")};
        const QStringList named = app::FileArguments(2, argv);
        QCOMPARE(named, QStringList{forms::PathText(QFile::encodeName(start) + "/up\xE9.jpg")});
        testing::Hang hang({fault == "listing hangs" ? QFile::encodeName(start) : QByteArray()});
        testing::MsgBoxes boxes;
        app::Start();
        testing::Settle();
        QVERIFY(main_f.peek() && main_f->window()->isVisible());
        main_f->OpenFiles(named);
        QVERIFY(boxes.texts.size() == 2 && boxes.texts[1].contains("up"));
        QCOMPARE(main_f->List1.ListCount(), int16_t(0));
        QCOMPARE(main_f->Dirbox.Path(), work_ + "/deep");
        QCOMPARE(listed(*main_f), QStringList{"up.jpg"});
        QVERIFY2(boxes.texts[0].contains(start) && boxes.texts[0].contains(work_ + "/deep"),
                 qPrintable(boxes.texts[0]));
    }

    // The same name in UTF-8 and in Shift_JIS: two entries that look alike, each previewed and
    // played as its own file.
    void lookAlikeNames() {
        const QByteArray dir = QFile::encodeName(work_);
        const QByteArray utf8 = dir + "/\xE6\x97\xA5\xE6\x9C\xAC.jpg",
                         sjis = dir + "/\x93\xfa\x96\x7b.jpg";
        testing::MakePicture(work_, "r.jpg", {30, 20}, Qt::red);
        testing::MakePicture(work_, "b.jpg", {30, 20}, Qt::blue);
        QCOMPARE(::rename((dir + "/r.jpg").constData(), utf8.constData()), 0);
        QCOMPARE(::rename((dir + "/b.jpg").constData(), sjis.constData()), 0);
        const auto remove = qScopeGuard([&] { ::unlink(sjis.constData()); });
        MainForm& f = openAt(work_);
        QCOMPARE(listed(f), QStringList({"日本.jpg", "日本.jpg"}));
        f.ckp.Value = 1;
        QStringList colours;
        for (int i = 0; i < 2; ++i) {
            f.filebox.ListIndex = i;
            f.filebox.Click();
            testing::SettlePreview();
            QCOMPARE(f.Text1.Text(), work_ + "/日本.jpg");
            const QImage shown = f.imP1.Picture().image();
            QVERIFY(!shown.isNull());
            colours << (qBlue(shown.pixel(5, 5)) > 128 ? "blue" : "red");
            f.List1.AddItem(f.selPath);
        }
        colours.sort();
        QCOMPARE(colours, QStringList({"blue", "red"}));
        QVERIFY(f.List1.List(0) != f.List1.List(1));
        testing::MsgBoxes boxes;
        QCOMPARE(play(), QStringList({kPicture, kPicture}));
    }

    // A drive (a tmpfs of its own) unmounted while its folder is shown and its pictures are in
    // the play list. Run in a mount namespace of its own, so that no other program sees it.
    void driveUnmounted() {
        if (::geteuid() != 0) QSKIP("mounting needs root");
        if (qEnvironmentVariableIsEmpty("VARNEL_FAULTS_CHILD")) {
            QString why;
            if (!runAgain(QStringLiteral("unshare"), {"--mount", "--propagation", "private"},
                          QStringLiteral("driveUnmounted"), &why))
                QSKIP(qPrintable(why));
            QVERIFY2(why.isEmpty(), qPrintable(why));
            return;
        }
        const QString mnt = base_ + "/mnt";
        QVERIFY(QDir().mkpath(mnt));
        if (::mount("tmpfs", QFile::encodeName(mnt).constData(), "tmpfs", 0, "size=4m") != 0)
            QSKIP("a tmpfs cannot be mounted here");
        auto unmount =
            qScopeGuard([&] { ::umount2(QFile::encodeName(mnt).constData(), MNT_DETACH); });
        QVERIFY(QDir().mkpath(mnt + "/sub"));
        const QString p = testing::MakePicture(mnt, "p.jpg", {30, 20}, Qt::red);
        const QString q = testing::MakePicture(mnt, "q.jpg", {30, 20}, Qt::blue);
        // The drives as the system lists them: the tmpfs is one of them.
        forms::SetDriveSource(nullptr);
        const auto guard = qScopeGuard([] { forms::SetDriveSource([] { return g_drives; }); });
        auto state = [&](const QList<forms::DriveInfo>& drives) {
            for (const forms::DriveInfo& d : drives)
                if (d.path == mnt) return d.ready ? "ready" : "not ready";
            return "not listed";
        };
        {
            // A drive that does not answer when asked is listed as not ready.
            testing::Hang hang({QFile::encodeName(mnt)});
            QCOMPARE(state(forms::Drives()), "not ready");
            forms::SetFileSystemWait(600000);  // nor waited for again: this would end the test
            QCOMPARE(state(forms::Drives()), "not ready");
            forms::SetFileSystemWait(0);
        }
        QTRY_COMPARE(state(forms::Drives()), "ready");
        main_f->Show();
        MainForm& f = *main_f;
        f.drbox.Drive = mnt;
        QCOMPARE(f.Dirbox.Path(), mnt + "/");
        QCOMPARE(listed(f), QStringList({"p.jpg", "q.jpg"}));
        f.List1.AddItem(p);
        f.List1.AddItem(q);
        testing::MsgBoxes boxes;
        f.ckp.Value = 1;
        clickFile(f, "p.jpg");
        QTRY_VERIFY(!f.imP1.Picture().isNull());

        QStringList seen;
        testing::WhileModal(
            [] { main_f->playS.Value = true; },
            [&] {
                SlideShowForm* s = imv.peek();
                if (!s) return;
                testing::ShowTick(*s);
                seen << (s->Image1.Picture().isNull() ? s->Label1.Caption() : kPicture);
                // Gone between two ticks.
                ::umount2(QFile::encodeName(mnt).constData(), MNT_DETACH);
                testing::ShowTick(*s);
                seen << (s->Image1.Picture().isNull() ? s->Label1.Caption() : kPicture);
                testing::ShowTick(*s);
                if (SlideShowForm* left = imv.peek()) left->Unload();
            });
        testing::Settle();
        QCOMPARE(seen.size(), 2);
        QCOMPARE(seen[0], kPicture);
        QVERIFY2(seen[1].contains(q), qPrintable(seen[1]));
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("終了しました。")});
        boxes.texts.clear();

        // The folder shown is now the empty mount point, still the root of the drive it was
        // opened as: a click does not look at the mounts.
        clickFile(f, "q.jpg");
        QCOMPARE(f.selPath, mnt + "//q.jpg");
        QTRY_VERIFY(f.imP1.Picture().isNull());
        choosePattern(f, 0);
        testing::Settle();
        QCOMPARE(listed(f), QStringList());
        doubleClickDir(f, f.Dirbox.ListCount() - 1);  // sub, gone with the drive
        testing::Settle();
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(mnt + "/sub"), qPrintable(boxes.texts[0]));
        boxes.texts.clear();
        // The drive list, read again, has lost the drive; choosing the first drive works.
        auto* driveList = qobject_cast<QComboBox*>(f.drbox.widget());
        driveList->showPopup();
        driveList->hidePopup();
        QVERIFY(driveList->findText(mnt, Qt::MatchStartsWith) < 0);
        driveList->setCurrentIndex(0);
        emit driveList->activated(0);
        testing::Settle();
        QVERIFY(f.Loaded());
        qInfo("after the drive was unmounted, the first drive opens at %s with %s",
              qPrintable(f.Dirbox.Path()), qPrintable(messages(boxes.texts)));
        QCOMPARE(f.List1.ListCount(), 2);
    }

    // A folder of a hundred thousand files is listed, filtered and clicked in reasonable time.
    void hundredThousandFiles() {
        const QString many = base_ + "/many";
        QVERIFY(QDir().mkpath(many));
        const QByteArray native = QFile::encodeName(many);
        for (int i = 0; i < 100000; ++i) {
            const QByteArray name = native + "/f" + QByteArray::number(i).rightJustified(6, '0') +
                                    (i % 10 == 9 ? ".bmp" : ".jpg");
            const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            ::close(fd);
        }
        testing::MakePicture(many, "z.jpg", {30, 20}, Qt::red);
        // Started in it: the folder is read once, for the check at start and both lists.
        QVERIFY(QDir::setCurrent(many));
        auto reads = std::make_shared<std::atomic<int>>(0);
        forms::SetFileSystemHook([reads, native](const QByteArray& p) { *reads += p == native; });
        QElapsedTimer clock;
        clock.start();
        app::Start();
        const qint64 open = clock.restart();
        forms::SetFileSystemHook(nullptr);
        MainForm& f = *main_f;
        QCOMPARE(reads->load(), 1);
        QCOMPARE(f.filebox.ListCount(), 90001);
        choosePattern(f, 1);
        const qint64 pattern = clock.restart();
        QCOMPARE(f.filebox.ListCount(), 10000);
        choosePattern(f, 0);
        clock.restart();
        f.ckp.Value = 1;
        clickFile(f, "z.jpg");
        const qint64 click = clock.elapsed();
        QTRY_VERIFY(!f.imP1.Picture().isNull());
        qInfo(
            "100,000 files: started in and listed in %lld ms, pattern changed in %lld ms, "
            "last file clicked in %lld ms",
            open, pattern, click);
        QVERIFY2(open < 10000 && pattern < 10000 && click < 2000, "too slow");
    }

    // File names of every kind: what the user sees is told in the output. A name in UTF-8 or
    // Shift_JIS is listed, previewed and played; others must not crash and are played or
    // passed over.
    void unusualNames_data() {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<bool>("valid");  // expected to be listed by its name, shown and played
        QTest::newRow("spaces") << QByteArray("  two  spaces .jpg") << true;
        QTest::newRow("newline") << QByteArray("line\nbreak.jpg") << true;
        QTest::newRow("backslash") << QByteArray("back\\slash.jpg") << true;
        QTest::newRow("Japanese") << QString("写真 ソフト.jpg").toUtf8() << true;
        // Shift_JIS, as old archives leave names: shown decoded, and the shown path leads to it.
        QTest::newRow("Shift_JIS")
            << QByteArray("\x8e\xca\x90\x5e\x83\x5c\x83\x74\x83\x67.jpg") << true;
        // Neither UTF-8 nor Shift_JIS.
        QTest::newRow("Latin-1") << QByteArray("caf\xe9.jpg") << true;
        QTest::newRow("control characters") << QByteArray("\x01\x1b[31m.jpg") << true;
    }
    void unusualNames() {
        QFETCH(QByteArray, name);
        QFETCH(bool, valid);
        const QByteArray raw = QFile::encodeName(work_) + '/' + name;
        const int fd = ::open(raw.constData(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        // Removed by its bytes: a name that is not UTF-8 cannot be removed through a QString.
        const auto remove = qScopeGuard([&] { ::unlink(raw.constData()); });
        const QByteArray content = jpeg({30, 20});
        QCOMPARE(::write(fd, content.constData(), size_t(content.size())), ssize_t(content.size()));
        ::close(fd);
        MainForm& f = openAt(work_);
        testing::MsgBoxes boxes;
        const bool isListed = f.filebox.ListCount() == 1;
        QString shownName, preview = "-", show = "-";
        if (isListed) {
            shownName = f.filebox.List(0);
            f.ckp.Value = 1;
            f.filebox.ListIndex = 0;
            f.filebox.Click();
            testing::SettlePreview();
            preview = f.imP1.Picture().isNull() ? "empty" : "shown";
            f.List1.AddItem(f.selPath);
            const QStringList seen = play();
            QCOMPARE(seen.size(), 1);
            show = seen[0] == kPicture ? "shown" : "named as not shown";
        }
        qInfo("%s: listed %s%s, preview %s, show %s", QTest::currentDataTag(),
              isListed ? "as " : "no", qPrintable(oneLine(shownName)), qPrintable(preview),
              qPrintable(show));
        QVERIFY(isListed);
        if (valid) {
            if (QTest::currentDataTag() == QByteArray("Shift_JIS"))
                QCOMPARE(shownName, QString("写真ソフト.jpg"));
            else
                QCOMPARE(shownName, QString::fromUtf8(name));
            QCOMPARE(preview, QStringLiteral("shown"));
            QCOMPARE(show, QStringLiteral("shown"));
        }
        QCOMPARE(f.List1.ListCount(), 1);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("終了しました。")});
    }
};

QTEST_MAIN(FaultsTest)
#include "tst_faults.moc"
