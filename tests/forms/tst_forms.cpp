// The forms runtime: events, modal windows, errors and controls.

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QProcess>
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

class ImageForm : public forms::Form {
public:
    ImageForm()
        : Form({QStringLiteral("Picture"), forms::Border::None, 0, 0, 1500, 1200},
               {{"Image1", Kind::Image, {}, nullptr, 0, 0, 300, 300, -1}}) {}
    forms::Image Image1{*this, "Image1"};
};

forms::FormRef<ImageForm> imageForm;

}  // namespace

class FormsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::InitRuntime(); }
    void cleanup() {
        if (auto* f = testForm.peek()) f->Unload();
        if (auto* f = imageForm.peek()) f->Unload();
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

    // On a screen of no size (its output switched off) a message box appears on the fallback area.
    void messageOnScreenOfNoSize() {
        if (QGuiApplication::primaryScreen()->size().width() > 0) {  // run again on such a one
            QTemporaryDir dir;
            const QString off = dir.path() + "/off.json";
            testing::WriteFile(off, R"({"screens":[{"width":0,"height":0}]})");
            const QStringList args{"messageOnScreenOfNoSize", "-platform",
                                   "offscreen:configfile=" + off};
            QCOMPARE(QProcess::execute(QCoreApplication::applicationFilePath(), args), 0);
            return;
        }
        QRect shown;  // where the box is, if the window system may show it there
        QTimer::singleShot(0, [&] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (w->isVisible() && w->close())
                    shown = w->testAttribute(Qt::WA_OutsideWSRange) ? QRect() : w->geometry();
        });
        forms::MsgBox(QStringLiteral("ファイルを選択してください。"));
        QVERIFY(!shown.isEmpty() && QRect(0, 0, 1024, 768).contains(shown));
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
    // The image control takes the whole picture's size and shows, where it lies in view, the
    // pixels of the part held.
    void imageShowsThePartInView() {
        QImage whole(400, 300, QImage::Format_RGB32);
        for (int y = 0; y < whole.height(); ++y)
            for (int x = 0; x < whole.width(); ++x)
                whole.setPixel(x, y, qRgb(x % 256, y % 256, (x * 3 + y) % 256));
        QTemporaryDir tmp;
        QVERIFY(whole.save(tmp.path() + "/whole.bmp"));
        const QSize view(100, 80);  // the form's client area, in pixels
        ImageForm& f = *imageForm;
        f.Show();
        f.Image1.Picture = forms::LoadPicture(tmp.path() + "/whole.bmp", {}, view);
        QCOMPARE(f.Image1.Width(), 400.0f * 15);
        QCOMPARE(f.Image1.Height(), 300.0f * 15);
        f.Image1.Move((view.width() * 15 - f.Image1.Width()) / 2,
                      (view.height() * 15 - f.Image1.Height()) / 2);
        QCOMPARE(f.Image1.Left(), -2250.0f);
        QCOMPARE(f.Image1.Top(), -1650.0f);
        const QImage shown = f.client()->grab(QRect(QPoint(0, 0), view)).toImage();
        QCOMPARE(shown.convertToFormat(QImage::Format_RGB32), whole.copy(QRect({150, 110}, view)));
    }
};

QTEST_MAIN(FormsTest)
#include "tst_forms.moc"
