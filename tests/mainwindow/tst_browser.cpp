// The main window's file browser: listing and pattern, directories, drives, the selected
// path and the preview, driven through the real widgets.
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <memory>

#include "core/forms.h"
#include "forms/filecontrols.h"
#include "mainwindow/main_f.h"
#include "support/testsupport.h"

namespace {

const QString kNotReady =
    QStringLiteral("ディスクが挿入されていないか、使用不要なメディアが選択されています。");

// The drives the drive list sees: set by each test.
QList<forms::DriveInfo> g_drives;
int g_driveLooks = 0;  // how often the drives were listed

template <typename W>
W* widget(forms::Control& c) {
    return qobject_cast<W*>(c.widget());
}

QStringList texts(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out;
}

int rowOf(QListWidget* list, const QString& text) {
    const auto found = list->findItems(text, Qt::MatchExactly);
    return found.isEmpty() ? -1 : list->row(found.first());
}

QPoint centre(QListWidget* list, const QString& text) {
    const int row = rowOf(list, text);
    if (row < 0) qFatal("%s is not listed", qPrintable(text));
    return list->visualItemRect(list->item(row)).center();
}

void click(QListWidget* list, const QString& text) {
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, centre(list, text));
}

// What the window system delivers for a double-click: press, release, double-click, release.
// On the folder list, waits for the folder to be read (a busy machine may take a while).
void doubleClick(QListWidget* list, const QString& text, bool waitForReading = true) {
    const QPoint at = centre(list, text);
    QTest::mousePress(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
    QTest::mouseRelease(list->viewport(), Qt::LeftButton, {}, at);
    if (auto* reading = list->findChild<QTimer*>(QStringLiteral("folder reading"));
        reading && waitForReading)
        QTRY_VERIFY(!reading->isActive());
}

// A choice from the drop-down list, as the list's popup makes it.
void choose(QComboBox* combo, int index) {
    combo->setCurrentIndex(index);
    emit combo->activated(index);
}

bool near(QColor a, QColor b) {
    return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue()) < 30;
}

QColor shown(MainForm& f) {
    const QImage image = f.imP1.Picture().image();
    return image.isNull() ? QColor() : image.pixelColor(image.width() / 2, image.height() / 2);
}

}  // namespace

class BrowserTest : public QObject {
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> tmp_;
    QString a_, b_;  // drives, with a missing one between; the window starts at the root of a_

    MainForm& open() {
        main_f->Show();
        return *main_f;
    }
    QListWidget* files(MainForm& f) { return widget<QListWidget>(f.filebox); }
    QListWidget* dirs(MainForm& f) { return widget<QListWidget>(f.Dirbox); }
    QComboBox* drives(MainForm& f) { return widget<QComboBox>(f.drbox); }
    void tickPreview(MainForm& f) { QTest::mouseClick(widget<QCheckBox>(f.ckp), Qt::LeftButton); }

    // Runs one test row again as the unprivileged user, for whom permissions hold.
    void runAsNobody(const QString& testRow) {
        const QString program = QCoreApplication::applicationFilePath();
        for (QString dir = QFileInfo(program).path(); dir != QLatin1String("/");
             dir = QFileInfo(dir).path())
            if (!QFileInfo(dir).permission(QFile::ExeOther))
                QSKIP(qPrintable(dir + " cannot be entered by nobody; run the test as a user"));
        if (!QFileInfo(program).permission(QFile::ExeOther | QFile::ReadOther))
            QSKIP("the test program cannot be run by nobody; run the test as a user");
        if (!QFileInfo(QStringLiteral("/tmp")).permission(QFile::WriteOther))
            QSKIP("/tmp is not writable by nobody; run the test as a user");
        QProcess child;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("TMPDIR"), QStringLiteral("/tmp"));
        env.insert(QStringLiteral("HOME"), QStringLiteral("/tmp"));
        child.setProcessEnvironment(env);
        child.setWorkingDirectory(QStringLiteral("/tmp"));
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(QStringLiteral("setpriv"),
                    {"--reuid=65534", "--regid=65534", "--clear-groups", program, testRow});
        if (!child.waitForStarted()) QSKIP("setpriv cannot be started");
        QVERIFY(child.waitForFinished(60000));
        const QString output = QString::fromUtf8(child.readAll());
        const QString passed = "PASS   : BrowserTest::" + QString(testRow).replace(':', '(') + ')';
        QVERIFY2(child.exitCode() == 0 && output.contains(passed), qPrintable(output));
    }

private slots:
    void initTestCase() {
        testing::InitRuntime();
        forms::SetDriveSource([] {
            ++g_driveLooks;
            return g_drives;
        });
    }

    void init() {
        tmp_ = std::make_unique<QTemporaryDir>();
        QVERIFY(tmp_->isValid());
        const QString base = QFileInfo(tmp_->path()).canonicalFilePath();
        a_ = base + "/a";
        b_ = base + "/b";
        QVERIFY(QDir().mkpath(a_ + "/sub/inner") && QDir().mkpath(b_));
        testing::MakePicture(a_, "a.jpg", {40, 10}, Qt::red);
        testing::MakePicture(a_, "b.jpg", {10, 40}, Qt::green);
        testing::MakePicture(a_, "c.jpg", {20, 20}, Qt::blue);
        testing::MakePicture(a_, "d.bmp", {20, 20}, Qt::yellow);
        testing::MakePicture(a_, "e.gif", {20, 20}, Qt::magenta);
        testing::MakePicture(a_ + "/sub", "s.jpg", {20, 20}, Qt::cyan);
        testing::MakePicture(b_, "z.jpg", {20, 20}, Qt::gray);
        g_drives = {{a_, {}}, {base + "/missing", {}}, {b_, {}}};
        QDir::setCurrent(a_);
    }

    void cleanup() {
        testing::UnloadAll();
        QDir::setCurrent(QDir::rootPath());
        tmp_.reset();
    }

    void listing_data() {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("chosen");  // entry of the pattern list, -1: none
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("text");
        const QStringList jpg{"a.jpg", "b.jpg", "c.jpg", "Mixed.Jpg", "UP.JPG"};
        QTest::newRow("first listing") << "" << -1 << jpg << "*.jpg";
        QTest::newRow("*.bmp chosen") << "" << 1 << QStringList{"d.bmp"} << "*.bmp";
        QTest::newRow("*.gif chosen") << "" << 2 << QStringList{"e.gif"} << "*.gif";
        QTest::newRow("typed only") << "*.bmp" << -1 << jpg << "*.bmp";
        QTest::newRow("typed, then chosen") << "*.gif" << 1 << QStringList{"d.bmp"} << "*.bmp";
        QTest::newRow("every format chosen")
            << "" << 8
            << QStringList{"a.jpg", "b.jpg", "c.jpg", "d.bmp", "e.gif", "Mixed.Jpg", "UP.JPG"}
            << "*.jpg;*.jpeg;*.bmp;*.gif;*.png;*.webp;*.heic;*.heif;*.avif;*.tif;*.tiff;*.jxl";
    }
    void listing() {
        QFETCH(QString, typed);
        QFETCH(int, chosen);
        QFETCH(QStringList, listed);
        QFETCH(QString, text);
        testing::MakePicture(a_, "UP.JPG", {8, 8}, Qt::red);
        testing::MakePicture(a_, "Mixed.Jpg", {8, 8}, Qt::red);
        testing::MakePicture(a_, ".hidden.jpg", {8, 8}, Qt::red);
        QVERIFY(QDir(a_).mkdir("folder.jpg"));
        QCOMPARE(::mkfifo(QFile::encodeName(a_ + "/pipe.jpg").constData(), 0600), 0);
        QVERIFY(QFile::link(a_ + "/nowhere.jpg", a_ + "/dangling.jpg"));
        testing::WriteFile(a_ + "/notes.txt", "text");
        MainForm& f = open();
        auto* combo = widget<QComboBox>(f.Combo1);
        if (!typed.isEmpty()) {
            combo->lineEdit()->selectAll();
            QTest::keyClicks(combo->lineEdit(), typed);
            QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        }
        if (chosen >= 0) choose(combo, chosen);
        QCOMPARE(texts(files(f)), listed);
        // Every entry of the drop-down list can be read whole.
        for (int i = 0; i < combo->count(); ++i)
            QVERIFY(combo->view()->minimumWidth() >
                    combo->view()->fontMetrics().horizontalAdvance(combo->itemText(i)));
        QCOMPARE(f.Combo1.Text(), text);
    }

    void selectedPath_data() {
        QTest::addColumn<QString>("dir");
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("path");  // below the drive
        QTest::addColumn<QColor>("colour");
        QTest::newRow("drive root") << ""
                                    << "a.jpg"
                                    << "//a.jpg" << QColor(Qt::red);
        QTest::newRow("subdirectory") << "sub"
                                      << "s.jpg"
                                      << "/sub/s.jpg" << QColor(Qt::cyan);
    }
    void selectedPath() {
        QFETCH(QString, dir);
        QFETCH(QString, file);
        QFETCH(QString, path);
        QFETCH(QColor, colour);
        MainForm& f = open();
        QCOMPARE(f.Dirbox.Path(), a_ + "/");
        if (!dir.isEmpty()) doubleClick(dirs(f), dir);
        tickPreview(f);
        click(files(f), file);
        QCOMPARE(f.selPath, a_ + path);
        QCOMPARE(f.Text1.Text(), a_ + path);
        QTRY_VERIFY(near(shown(f), colour));
    }

    void keptAcrossBrowsing_data() {
        QTest::addColumn<QString>("change");
        QTest::newRow("pattern") << "pattern";
        QTest::newRow("directory") << "directory";
        QTest::newRow("drive") << "drive";
    }
    void keptAcrossBrowsing() {
        QFETCH(QString, change);
        MainForm& f = open();
        tickPreview(f);
        g_driveLooks = 0;
        click(files(f), "a.jpg");
        QCOMPARE(g_driveLooks, 0);  // a click does not look at the mounts
        if (change == "pattern") choose(widget<QComboBox>(f.Combo1), 1);
        if (change == "directory") doubleClick(dirs(f), "sub");
        if (change == "drive") QTest::keyClick(drives(f), Qt::Key_End);
        QVERIFY(!texts(files(f)).contains("a.jpg"));
        QCOMPARE(f.selPath, a_ + "//a.jpg");
        QCOMPARE(f.Text1.Text(), a_ + "//a.jpg");
        QTRY_VERIFY(near(shown(f), Qt::red));
    }

    void editingText1LeavesTheSelectedPath() {
        MainForm& f = open();
        click(files(f), "b.jpg");
        QTest::keyClicks(widget<QLineEdit>(f.Text1), "/elsewhere.jpg");
        QCOMPARE(f.selPath, a_ + "//b.jpg");
        QTest::mouseClick(widget<QPushButton>(f.sentaku), Qt::LeftButton);
        QCOMPARE(f.List1.ListCount(), 1);
        QCOMPARE(f.List1.List(0), a_ + "//b.jpg");
    }

    void previewSwitch() {
        MainForm& f = open();
        click(files(f), "a.jpg");
        QTRY_VERIFY(f.imP1.Picture().isNull());
        tickPreview(f);
        QCOMPARE(f.ckp.Value(), 1);
        QTRY_VERIFY(f.imP1.Picture().isNull());
        click(files(f), "b.jpg");
        QTRY_VERIFY(near(shown(f), Qt::green));
        // Stretched over the whole box, whatever its proportions.
        const QImage box = f.imP1.widget()->grab().toImage();
        QVERIFY(near(box.pixelColor(2, 2), Qt::green));
        QVERIFY(near(box.pixelColor(box.width() - 3, box.height() - 3), Qt::green));
        QTest::keyClick(files(f), Qt::Key_Down);
        QCOMPARE(f.selPath, a_ + "//c.jpg");
        QTRY_VERIFY(near(shown(f), Qt::blue));
        QTest::keyClick(files(f), Qt::Key_Up);
        QCOMPARE(f.Text1.Text(), a_ + "//b.jpg");
        QTRY_VERIFY(near(shown(f), Qt::green));
        tickPreview(f);
        QCOMPARE(f.ckp.Value(), 0);
        click(files(f), "a.jpg");
        QCOMPARE(f.selPath, a_ + "//a.jpg");
        QTRY_VERIFY(near(shown(f), Qt::green));
        // Read away from the window: of two quick clicks, the second file is shown.
        tickPreview(f);
        click(files(f), "a.jpg");
        click(files(f), "c.jpg");
        testing::SettlePreview();
        QVERIFY(near(shown(f), Qt::blue));
    }

    void unpreviewableFile_data() {
        QTest::addColumn<QString>("damage");
        for (const char* damage : {"damaged", "not a picture", "deleted", "fifo", "link to zero"})
            QTest::newRow(damage) << damage;
    }
    void unpreviewableFile() {
        QFETCH(QString, damage);
        const QString bad = testing::MakePicture(a_, "bad.jpg", {20, 20}, Qt::white);
        MainForm& f = open();
        testing::MsgBoxes boxes;
        tickPreview(f);
        click(files(f), "a.jpg");
        QTRY_VERIFY(near(shown(f), Qt::red));
        // The file changes after it has been listed.
        QFile::remove(bad);
        if (damage == "damaged")
            testing::WriteFile(bad, QByteArray("\xFF\xD8\xFF\xE0", 4) + "junk");
        if (damage == "not a picture") testing::WriteFile(bad, "just text");
        if (damage == "fifo") QCOMPARE(::mkfifo(QFile::encodeName(bad).constData(), 0600), 0);
        if (damage == "link to zero") QVERIFY(QFile::link("/dev/zero", bad));
        click(files(f), "bad.jpg");
        QTRY_VERIFY(f.imP1.Picture().isNull());
        QCOMPARE(f.selPath, a_ + "//bad.jpg");
        QCOMPARE(f.Text1.Text(), a_ + "//bad.jpg");
        testing::Settle();
        QCOMPARE(boxes.texts, QStringList());
    }

    void doubleClickAddsTheFile() {
        MainForm& f = open();
        QStringList events;
        const auto onClick = f.filebox.Click, onDblClick = f.filebox.DblClick;
        f.filebox.Click = [&] {
            events << "Click " + f.filebox.FileName();
            onClick();
        };
        f.filebox.DblClick = [&] {
            events << "DblClick";
            onDblClick();
        };
        click(files(f), "a.jpg");
        events.clear();
        doubleClick(files(f), "c.jpg");
        QCOMPARE(events, QStringList({"Click c.jpg", "DblClick"}));
        QCOMPARE(f.List1.ListCount(), 1);
        QCOMPARE(f.List1.List(0), a_ + "//c.jpg");
    }

    void directoryList_data() {
        QTest::addColumn<QString>("action");
        QTest::addColumn<bool>("opens");
        QTest::newRow("single click") << "click" << false;
        QTest::newRow("double-click") << "double-click" << true;
        QTest::newRow("Enter") << "Enter" << true;
    }
    void directoryList() {
        QFETCH(QString, action);
        QFETCH(bool, opens);
        MainForm& f = open();
        QCOMPARE(f.Dirbox.ListCount(), 2);
        QCOMPARE(f.Dirbox.List(0), a_);
        QCOMPARE(f.Dirbox.List(1), a_ + "/sub");
        const QStringList before = texts(files(f));
        if (action == "double-click") {
            doubleClick(dirs(f), "sub");
        } else {
            click(dirs(f), "sub");
            if (action == "Enter") QTest::keyClick(dirs(f), Qt::Key_Return);
        }
        if (opens) {
            QTRY_COMPARE(f.Dirbox.Path(), a_ + "/sub");
            QCOMPARE(texts(dirs(f)), QStringList({a_, "sub", "inner"}));
            QCOMPARE(f.Dirbox.List(2), a_ + "/sub/inner");
            QCOMPARE(texts(files(f)), QStringList{"s.jpg"});
        } else {
            QCOMPARE(f.Dirbox.Path(), a_ + "/");
            QCOMPARE(texts(files(f)), before);
            click(files(f), "c.jpg");
            QCOMPARE(f.selPath, a_ + "//c.jpg");
        }
    }

    void unopenableDirectory_data() {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("reason");
        QTest::newRow("removed") << "removed"
                                 << "見つかりません";
        QTest::newRow("replaced by a file") << "replaced by a file"
                                            << "見つかりません";
        QTest::newRow("no permission") << "no permission"
                                       << "権限がありません";
        QTest::newRow("listing hangs") << "listing hangs"
                                       << "応答しません";
    }
    void unopenableDirectory() {
        QFETCH(QString, failure);
        QFETCH(QString, reason);
        if (failure == "no permission" && ::geteuid() == 0)
            return runAsNobody("unopenableDirectory:no permission");
        const QString target = a_ + "/target";
        QVERIFY(QDir().mkpath(target + "/below"));
        MainForm& f = open();
        const QStringList dirsBefore = texts(dirs(f)), filesBefore = texts(files(f));
        if (failure == "no permission")
            QVERIFY(::chmod(QFile::encodeName(target), 0) == 0);
        else if (failure != "listing hangs")
            QVERIFY(QDir(target).removeRecursively());
        if (failure == "replaced by a file") testing::WriteFile(target, "file");
        testing::Hang hang({failure == "listing hangs" ? QFile::encodeName(target) : QByteArray()});
        testing::MsgBoxes boxes;
        doubleClick(dirs(f), "target");
        ::chmod(QFile::encodeName(target), 0700);
        // A reading that hangs is given up once the window has gone on answering for a while.
        QTRY_COMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(target) && boxes.texts[0].contains(reason),
                 qPrintable(boxes.texts[0]));
        QCOMPARE(boxes.titles[0], QStringLiteral("varnel"));
        QCOMPARE(f.Dirbox.Path(), a_ + "/");
        QCOMPARE(texts(dirs(f)), dirsBefore);
        QCOMPARE(texts(files(f)), filesBefore);
    }

    // A folder whose reading takes its time opens when the reading ends; the window answers
    // meanwhile.
    void slowFolder() {
        forms::SetFileSystemWait(600000);  // held, never given up
        const auto restore = qScopeGuard([] { forms::SetFileSystemWait(0); });
        MainForm& f = open();
        auto hang = std::make_unique<testing::Hang>(QList{QFile::encodeName(a_ + "/sub")});
        doubleClick(dirs(f), "sub", false);
        QCOMPARE(f.Dirbox.Path(), a_ + "/");
        click(files(f), "b.jpg");
        QVERIFY(f.selPath.endsWith("/b.jpg"));
        hang.reset();
        QTRY_COMPARE(f.Dirbox.Path(), a_ + "/sub");
        QCOMPARE(texts(files(f)), QStringList{"s.jpg"});
        QCOMPARE(texts(dirs(f)).last(), QStringLiteral("inner"));
    }

    void driveNotReady_data() {
        QTest::addColumn<bool>("hangs");  // there, but its listing never answers
        QTest::newRow("missing") << false;
        QTest::newRow("listing hangs") << true;
    }
    void driveNotReady() {
        QFETCH(bool, hangs);
        const QString slow = g_drives[1].path;
        if (hangs) QVERIFY(QDir().mkpath(slow));
        testing::Hang hang({hangs ? QFile::encodeName(slow) : QByteArray()});
        MainForm& f = open();
        doubleClick(dirs(f), "sub");
        click(files(f), "s.jpg");
        int driveChanges = 0, dirChanges = 0;
        const auto driveChange = f.drbox.Change, dirChange = f.Dirbox.Change;
        f.drbox.Change = [&] {
            ++driveChanges;
            driveChange();
        };
        f.Dirbox.Change = [&] {
            ++dirChanges;
            dirChange();
        };
        testing::MsgBoxes boxes;
        QTest::keyClick(drives(f), Qt::Key_Down);  // to the drive that is missing
        QCOMPARE(boxes.texts, QStringList{kNotReady});
        QCOMPARE(boxes.titles, QStringList{"varnel"});
        QCOMPARE(f.drbox.Drive(), a_);
        QCOMPARE(drives(f)->currentText(), a_);
        QCOMPARE(driveChanges, 2);  // the choice, then the drive chosen again; no retry
        QCOMPARE(dirChanges, 0);
        QCOMPARE(f.Dirbox.Path(), a_ + "/sub");
        QCOMPARE(texts(files(f)), QStringList{"s.jpg"});
        QCOMPARE(f.selPath, a_ + "/sub/s.jpg");
    }

    void recoveryFailsToo_data() {
        QTest::addColumn<QString>("lost");
        QTest::addColumn<QString>("endDrive");  // "a" or "b"
        QTest::addColumn<QStringList>("listed");
        QTest::newRow("shown directory") << "directory"
                                         << "a" << QStringList{"a.jpg", "b.jpg", "c.jpg"};
        QTest::newRow("its drive's files") << "drive"
                                           << "b" << QStringList{"z.jpg"};
        QTest::newRow("its drive") << "unlisted"
                                   << "b" << QStringList{"z.jpg"};
    }
    void recoveryFailsToo() {
        QFETCH(QString, lost);
        QFETCH(QString, endDrive);
        QFETCH(QStringList, listed);
        const QString end = endDrive == "a" ? a_ : b_;
        MainForm& f = open();
        doubleClick(dirs(f), "sub");
        QVERIFY(QDir(lost == "directory" ? a_ + "/sub" : a_).removeRecursively());
        if (lost == "unlisted") g_drives.removeFirst();
        testing::MsgBoxes boxes;
        QTest::keyClick(drives(f), Qt::Key_Down);  // to the drive that is missing
        QVERIFY(f.Loaded());
        QCOMPARE(boxes.texts, QStringList{kNotReady});
        QCOMPARE(f.Dirbox.Path(), end + "/");
        QCOMPARE(texts(files(f)), listed);
        QCOMPARE(f.drbox.Drive(), end);
    }

    void driveChangeOnlyOnRealChange() {
        MainForm& f = open();
        doubleClick(dirs(f), "sub");
        int changes = 0;
        const auto change = f.drbox.Change;
        f.drbox.Change = [&] {
            ++changes;
            change();
        };
        emit drives(f)->activated(drives(f)->currentIndex());  // the same drive chosen again
        QTest::keyClick(drives(f), Qt::Key_Home);
        f.drbox.Drive = a_ + "/sub/inner";
        QCOMPARE(changes, 0);
        QCOMPARE(f.Dirbox.Path(), a_ + "/sub");
        QTest::keyClick(drives(f), Qt::Key_End);
        QCOMPARE(changes, 1);
        QCOMPARE(f.Dirbox.Path(), b_ + "/");
        f.drbox.Drive = a_ + "/sub/inner";
        QCOMPARE(changes, 2);
        QCOMPARE(f.Dirbox.Path(), a_ + "/sub");  // where the user was on that drive
    }
};

QTEST_MAIN(BrowserTest)
#include "tst_browser.moc"
