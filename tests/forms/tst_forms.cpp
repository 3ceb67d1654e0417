// The forms runtime: events, modal windows, errors, controls and the picture loader.
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "forms/controls.h"
#include "forms/runtime.h"
#include "forms/twips.h"
#include "support/testsupport.h"
#include "system/filenames.h"

using forms::Kind;

namespace {

class TestForm : public forms::Form {
public:
    TestForm()
        : Form({QStringLiteral("Test"), forms::Border::FixedSingle, 0, 0, 3000, 3000},
               {
                   {"A", Kind::CommandButton, QStringLiteral("A"), nullptr, 0, 0, 600, 300, 0},
                   {"B", Kind::CommandButton, QStringLiteral("B"), nullptr, 0, 300, 600, 300, 1},
                   {"Text1", Kind::TextBox, QStringLiteral("start"), nullptr, 0, 600, 900, 300, 2},
                   {"List1", Kind::ListBox, {}, nullptr, 0, 900, 900, 900, 3},
                   {"Combo1", Kind::ComboBox, QStringLiteral("*.jpg"), nullptr, 0, 1800, 900, 300,
                    4},
                   {"Timer1", Kind::Timer, {}, nullptr, 0, 0, 0, 0, -1},
                   {"Image1", Kind::Image, {}, nullptr, 100, 100, 300, 300, -1},
               }) {
        Combo1.AddItem(QStringLiteral("*.jpg"));
        Combo1.AddItem(QStringLiteral("*.bmp"));
    }
    forms::CommandButton A{*this, "A"};
    forms::CommandButton B{*this, "B"};
    forms::TextBox Text1{*this, "Text1"};
    forms::ListBox List1{*this, "List1"};
    forms::ComboBox Combo1{*this, "Combo1"};
    forms::Timer Timer1{*this, "Timer1"};
    forms::Image Image1{*this, "Image1"};
    int loads = 0;
    QStringList events;

protected:
    void Form_Load() override { ++loads; }
};

forms::FormRef<TestForm> testForm;

}  // namespace

class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::InitRuntime(); }
    void cleanup() {
        if (auto* f = testForm.peek()) f->Unload();
        testing::Settle();
    }

    void cint_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("value");  // or the error number, negated, minus 1000
        QTest::newRow("digits") << "12" << 12;
        QTest::newRow("leading zeros") << "007" << 7;
        QTest::newRow("zero") << "0" << 0;
        QTest::newRow("blanks") << " 33 " << 33;
        QTest::newRow("sign") << "+5" << 5;
        QTest::newRow("lowest") << "-32768" << -32768;
        QTest::newRow("highest") << "32767" << 32767;
        QTest::newRow("above") << "32768" << -1000 - forms::err::Overflow;
        QTest::newRow("below") << "-32769" << -1000 - forms::err::Overflow;
        QTest::newRow("long") << "123456789012345678901" << -1000 - forms::err::Overflow;
        QTest::newRow("empty") << "" << -1000 - forms::err::TypeMismatch;
        QTest::newRow("sign only") << "-" << -1000 - forms::err::TypeMismatch;
        QTest::newRow("fraction") << "1.5" << -1000 - forms::err::TypeMismatch;
        QTest::newRow("letters") << "3a" << -1000 - forms::err::TypeMismatch;
        QTest::newRow("inner blank") << "1 2" << -1000 - forms::err::TypeMismatch;
        QTest::newRow("full-width") << QStringLiteral("１２") << -1000 - forms::err::TypeMismatch;
    }
    void cint() {
        QFETCH(QString, text);
        QFETCH(int, value);
        try {
            const int got = forms::CInt(text);
            QCOMPARE(got, value);
        } catch (const forms::Error& e) {
            QCOMPARE(-1000 - e.Number(), value);
        }
    }

    void programWritesRaiseEventsAtOnceAndNest() {
        TestForm& f = *testForm;
        f.A.Click = [&] {
            f.events << "A in";
            f.B.Value = true;
            f.events << "A out";
        };
        f.B.Click = [&] { f.events << "B"; };
        f.A.Value = true;
        QCOMPARE(f.events, QStringList({"A in", "B", "A out"}));
    }

    void untrappedErrorIsReportedAndTheProgramGoesOn() {
        TestForm& f = *testForm;
        f.Show();
        f.A.Click = [&] {
            forms::Raise(forms::err::FileNotFound);
            f.events << "after";
        };
        testing::MsgBoxes boxes;
        QTest::mouseClick(static_cast<QPushButton*>(f.A.widget()), Qt::LeftButton);
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY(boxes.texts[0].contains("53"));
        QCOMPARE(boxes.titles[0], QStringLiteral("varnel"));
        QVERIFY(f.events.isEmpty());
        QVERIFY(f.Loaded());
    }

    void endSkipsTheRestOfTheHandler() {
        TestForm& f = *testForm;
        f.Show();
        const int before = testing::EndCount();
        f.A.Click = [&] {
            forms::End();
            f.events << "after End";
        };
        QTest::mouseClick(static_cast<QPushButton*>(f.A.widget()), Qt::LeftButton);
        QCOMPARE(testing::EndCount(), before + 1);
        QVERIFY(f.events.isEmpty());
    }

    void modalShowReturnsAfterUnloadAndTheFormComesBackFresh() {
        TestForm* first = &testForm.get();
        QCOMPARE(first->loads, 1);
        first->Text1.Text = QStringLiteral("changed");
        bool returned = false;
        testing::WhileModal(
            [&] {
                first->Show(1);
                returned = true;
            },
            [&] {
                QVERIFY(!returned);
                QVERIFY(first->window()->isModal());
                first->Unload();
            });
        QVERIFY(returned);
        QVERIFY(!testForm.peek());
        testing::Settle();
        TestForm& second = *testForm;
        QCOMPARE(second.loads, 1);
        QCOMPARE(second.Text1.Text(), QStringLiteral("start"));
    }

    // A close request while a handler of the form waits in a message box: the form unloads
    // once, and is destroyed only after that handler has returned.
    void unloadWhileItsHandlerWaitsInAMessageBox() {
        TestForm& f = *testForm;
        f.Show();
        QPointer<QObject> alive(&f);
        bool aliveInside = false;
        testing::MsgBoxes boxes;
        boxes.onShown = [&](const QString&) {
            f.window()->close();
            f.window()->close();
            testing::Settle();
            aliveInside = !alive.isNull();
        };
        f.A.Click = [&] {
            forms::MsgBox("wait");
            f.events << "after";
        };
        QTest::mouseClick(static_cast<QPushButton*>(f.A.widget()), Qt::LeftButton);
        QVERIFY(aliveInside);
        QCOMPARE(f.events, QStringList{"after"});
        QVERIFY(!testForm.peek());
        testing::Settle();
        QVERIFY(alive.isNull());
    }

    void closeBoxUnloads() {
        TestForm& f = *testForm;
        f.Show();
        f.window()->close();
        QVERIFY(!testForm.peek());
    }

    void listBoxBounds() {
        TestForm& f = *testForm;
        QCOMPARE(f.List1.ListIndex(), int16_t(-1));
        for (int i = 0; i < 32767; ++i) f.List1.AddItem(QString());
        QCOMPARE(f.List1.ListCount(), int16_t(32767));
        QVERIFY_THROWS_EXCEPTION(forms::Error, f.List1.AddItem(QStringLiteral("one too many")));
        QCOMPARE(f.List1.ListCount(), int16_t(32767));
        f.List1.Clear();
        QVERIFY_THROWS_EXCEPTION(forms::Error, f.List1.RemoveItem(0));
        QVERIFY_THROWS_EXCEPTION(forms::Error, f.List1.List(0));
        f.List1.AddItem("a");
        f.List1.AddItem("b");
        f.List1.AddItem("c");
        f.List1.ListIndex = 1;
        f.List1.RemoveItem(1);
        QCOMPARE(f.List1.ListIndex(), int16_t(-1));
        QCOMPARE(f.List1.List(1), QStringLiteral("c"));
    }

    // The keyboard selects as the mouse does; the focus frame alone selects nothing.
    void listSelectionByKeyboard_data() {
        QTest::addColumn<int>("selected");  // -1: only the focus frame, on the first entry
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("index");
        QTest::newRow("Down from nothing") << -1 << int(Qt::Key_Down) << 0;
        QTest::newRow("Up from nothing") << -1 << int(Qt::Key_Up) << 0;
        QTest::newRow("Home from nothing") << -1 << int(Qt::Key_Home) << 0;
        QTest::newRow("Space from nothing") << -1 << int(Qt::Key_Space) << 0;
        QTest::newRow("PageDown from nothing") << -1 << int(Qt::Key_PageDown) << 0;
        QTest::newRow("End from nothing") << -1 << int(Qt::Key_End) << 3;
        QTest::newRow("type-ahead from nothing") << -1 << int(Qt::Key_C) << 2;
        QTest::newRow("other key from nothing") << -1 << int(Qt::Key_F5) << -1;
        QTest::newRow("Down") << 1 << int(Qt::Key_Down) << 2;
        QTest::newRow("Up") << 1 << int(Qt::Key_Up) << 0;
        QTest::newRow("Home") << 2 << int(Qt::Key_Home) << 0;
        QTest::newRow("End") << 1 << int(Qt::Key_End) << 3;
        QTest::newRow("type-ahead") << 0 << int(Qt::Key_D) << 3;
        QTest::newRow("Space keeps it") << 2 << int(Qt::Key_Space) << 2;
    }
    void listSelectionByKeyboard() {
        QFETCH(int, selected);
        QFETCH(int, key);
        QFETCH(int, index);
        TestForm& f = *testForm;
        f.Show();
        for (const char* item : {"apple", "banana", "cherry", "date"}) f.List1.AddItem(item);
        auto* list = static_cast<QListWidget*>(f.List1.widget());
        list->setFocus();
        if (selected >= 0) {
            f.List1.ListIndex = int16_t(selected);
        } else {
            list->setCurrentRow(0, QItemSelectionModel::NoUpdate);  // the focus frame
            QCOMPARE(f.List1.ListIndex(), int16_t(-1));
        }
        QTest::keyClick(list, Qt::Key(key));
        QCOMPARE(f.List1.ListIndex(), int16_t(index));
        // What the list highlights is what ListIndex says.
        const QList<QListWidgetItem*> highlighted = list->selectedItems();
        QCOMPARE(highlighted.isEmpty() ? -1 : list->row(highlighted.first()), index);
    }

    void keyPressFiltersTypedCharacters() {
        TestForm& f = *testForm;
        f.Show();
        f.Text1.Text = QString();
        f.Text1.KeyPress = [](int16_t& k) {
            if (k == 'x') k = 0;
            if (k == 'u') k = 'U';
        };
        auto* edit = static_cast<QLineEdit*>(f.Text1.widget());
        QTest::keyClicks(edit, "axbu");
        QCOMPARE(f.Text1.Text(), QStringLiteral("abU"));
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(f.Text1.Text(), QStringLiteral("ab"));
    }

    void comboClickOnlyWhenAnEntryIsChosen() {
        TestForm& f = *testForm;
        f.Show();
        int clicks = 0;
        f.Combo1.Click = [&] { ++clicks; };
        auto* combo = static_cast<QComboBox*>(f.Combo1.widget());
        QTest::keyClicks(combo->lineEdit(), "x");
        QTest::keyClick(combo->lineEdit(), Qt::Key_Return);
        QCOMPARE(clicks, 0);
        f.Combo1.Text = QStringLiteral("*.jpg");
        emit combo->activated(1);  // the user chooses the second entry
        QCOMPARE(clicks, 1);
        QCOMPARE(f.Combo1.Text(), QStringLiteral("*.bmp"));
    }

    void timerTicksAndStops() {
        TestForm& f = *testForm;
        int ticks = 0;
        f.Timer1.Tick = [&] { ++ticks; };
        for (int period : {0, -1000}) {
            f.Timer1.Interval = period;
            QVERIFY(!f.Timer1.Ticking());
        }
        f.Timer1.Interval = 5;
        QVERIFY(f.Timer1.Ticking());
        QTRY_VERIFY(ticks >= 2);
        // Ticks come while a message box is open.
        testing::MsgBoxes boxes;
        int during = -1;
        boxes.onShown = [&](const QString&) {
            const int at = ticks;
            QTRY_VERIFY(ticks > at);
            during = ticks - at;
        };
        forms::MsgBox("wait");
        QVERIFY(during > 0);
        f.Unload();
        QVERIFY(!f.Timer1.Ticking());
    }

    void imageTakesThePicturesSizeAndKeepsFractionalPositions() {
        QTemporaryDir dir;
        TestForm& f = *testForm;
        f.Image1.Picture =
            forms::LoadPicture(testing::MakePicture(dir.path(), "p.bmp", QSize(40, 30), Qt::red));
        QCOMPARE(f.Image1.Width(), forms::twips::fromPixelsX(40));
        QCOMPARE(f.Image1.Height(), forms::twips::fromPixelsY(30));
        f.Image1.Move(-7.5f, 22.5f);
        QCOMPARE(f.Image1.Left(), -7.5f);
        QCOMPARE(f.Image1.Top(), 22.5f);
        QCOMPARE(f.Image1.Width(), forms::twips::fromPixelsX(40));
    }

    // Names that are not UTF-8 are shown decoded as Shift_JIS. The path text of any bytes
    // gives back those very bytes, and two names that are shown alike stay two paths.
    void fileNames_data() {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("shown");
        QTest::newRow("ASCII") << QByteArray("/a/plain.jpg") << "/a/plain.jpg";
        QTest::newRow("UTF-8") << QByteArray("/\xE5\x86\x99/\xE6\x97\xA5\xE6\x9C\xAC.jpg")
                               << "/写/日本.jpg";
        QTest::newRow("Shift_JIS")
            << QByteArray("/\x8e\xca\x90\x5e/\x93\xfa\x96\x7b.jpg") << "/写真/日本.jpg";
        QTest::newRow("four bytes") << QByteArray("/\xF0\x9F\x93\xB7.jpg") << "/\U0001F4F7.jpg";
        QTest::newRow("Latin-1") << QByteArray("/caf\xe9.jpg") << "/caf\uFFFD.jpg";
        QTest::newRow("encoded surrogate") << QByteArray("/\xED\xB3\x80.jpg") << QString();
        QTest::newRow("overlong slash") << QByteArray("/\xC0\xAF.jpg") << QString();
        QTest::newRow("cut short") << QByteArray("/x\xE6\x97") << QString();
    }
    void fileNames() {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, shown);
        const QString text = forms::PathText(bytes);
        QCOMPARE(forms::NativePath(text), bytes);
        QCOMPARE(text.contains(QLatin1Char('/')), true);
        if (!shown.isEmpty()) QCOMPARE(forms::DisplayPath(text), shown);
        QVERIFY(!forms::DisplayPath(text).isEmpty());
        const QString utf8 = QString::fromUtf8(bytes);
        if (utf8.toUtf8() == bytes)
            QCOMPARE(text, utf8);
        else
            QVERIFY(text != forms::PathText(forms::DisplayPath(text).toUtf8()));
    }

    // A picture opens by the path text of its bytes, also through a folder named that way.
    void pictureByPathText() {
        QTemporaryDir tmp;
        const QByteArray dir = QFile::encodeName(tmp.path()) + "/\x8e\xca\x90\x5e";  // 写真
        QCOMPARE(::mkdir(dir.constData(), 0700), 0);
        testing::MakePicture(tmp.path(), "p.bmp", QSize(4, 3), Qt::red);
        const QByteArray file = dir + "/\x93\xfa\x96\x7b.bmp";
        QCOMPARE(::rename(QFile::encodeName(tmp.path() + "/p.bmp").constData(), file.constData()),
                 0);
        QCOMPARE(forms::LoadPicture(forms::PathText(file)).size(), QSize(4, 3));
        // QTemporaryDir cannot remove names that are not UTF-8: they go by their bytes.
        ::unlink(file.constData());
        ::rmdir(dir.constData());
    }

    void loadPicture_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("error");  // 0: loads
        QTest::newRow("jpeg") << "ok.jpg" << 0;
        QTest::newRow("bmp") << "ok.bmp" << 0;
        QTest::newRow("gif") << "ok.gif" << 0;
        QTest::newRow("jpeg named gif") << "jpeg.gif" << 0;
        QTest::newRow("png named jpg") << "png.jpg" << 0;  // read by its content
        QTest::newRow("text named jpg") << "text.jpg" << forms::err::InvalidPicture;
        QTest::newRow("empty") << "empty.jpg" << forms::err::InvalidPicture;
        QTest::newRow("truncated") << "truncated.jpg" << forms::err::InvalidPicture;
        QTest::newRow("missing") << "missing.jpg" << forms::err::FileNotFound;
        QTest::newRow("directory") << "dir.jpg" << forms::err::InvalidPicture;
        QTest::newRow("fifo") << "fifo.jpg" << forms::err::InvalidPicture;
        QTest::newRow("link to fifo") << "fifolink.jpg" << forms::err::InvalidPicture;
        QTest::newRow("link to /dev/zero") << "zero.jpg" << forms::err::InvalidPicture;
        QTest::newRow("dangling link") << "dangling.jpg" << forms::err::FileNotFound;
        QTest::newRow("huge header") << "huge.bmp" << forms::err::InvalidPicture;
    }
    void loadPicture() {
        QFETCH(QString, name);
        QFETCH(int, error);
        QTemporaryDir tmp;
        const QString d = tmp.path();
        testing::MakePicture(d, "ok.jpg", QSize(8, 6), Qt::red);
        testing::MakePicture(d, "ok.bmp", QSize(8, 6), Qt::red);
        testing::MakePicture(d, "ok.gif", QSize(8, 6), Qt::red);
        testing::MakePicture(d, "jpeg.gif", QSize(8, 6), Qt::red, "JPG");
        testing::MakePicture(d, "png.jpg", QSize(8, 6), Qt::red, "PNG");
        testing::WriteFile(d + "/text.jpg", "just some text");
        testing::WriteFile(d + "/empty.jpg", "");
        QFile ok(d + "/ok.jpg");
        QVERIFY(ok.open(QIODevice::ReadOnly));
        testing::WriteFile(d + "/truncated.jpg", ok.read(20));
        QDir(d).mkdir("dir.jpg");
        QCOMPARE(::mkfifo(QFile::encodeName(d + "/fifo.jpg").constData(), 0600), 0);
        QFile::link(d + "/fifo.jpg", d + "/fifolink.jpg");
        QFile::link("/dev/zero", d + "/zero.jpg");
        QFile::link(d + "/nowhere.jpg", d + "/dangling.jpg");
        // A BMP header that declares 60000 x 60000 pixels.
        QByteArray bmp(54, '\0');
        bmp[0] = 'B';
        bmp[1] = 'M';
        auto put32 = [&](int at, quint32 v) {
            for (int i = 0; i < 4; ++i) bmp[at + i] = char((v >> (8 * i)) & 0xFF);
        };
        put32(10, 54);
        put32(14, 40);
        put32(18, 60000);
        put32(22, 60000);
        bmp[26] = 1;
        bmp[28] = 24;
        testing::WriteFile(d + "/huge.bmp", bmp);

        try {
            const forms::Picture p = forms::LoadPicture(d + "/" + name);
            QCOMPARE(error, 0);
            QCOMPARE(p.size(), QSize(8, 6));
        } catch (const forms::Error& e) {
            QCOMPARE(e.Number(), error);
        }
    }
};

QTEST_MAIN(FormsTest)
#include "tst_forms.moc"
