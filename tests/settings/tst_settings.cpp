// The settings dialog: the key filter, OK and its refusals, reset, reopening, and the modal
// opening from the main window.
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "core/forms.h"
#include "core/module1.h"
#include "forms/twips.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "support/testsupport.h"

namespace {

QLineEdit* edit() { return static_cast<QLineEdit*>(setei->Text1.widget()); }

// Types one character into the dialog's text box as a key press carrying that text.
void type(Qt::Key key, const QString& text) {
    QTest::sendKeyEvent(QTest::Click, edit(), key, text, Qt::NoModifier);
}

void typeDigits(const QString& digits) {
    for (QChar c : digits) type(Qt::Key(Qt::Key_0 + c.digitValue()), QString(c));
}

void clickOk() { QTest::mouseClick(setei->OKC1.widget(), Qt::LeftButton); }

// Opens the dialog afresh, as a window of its own, with the focus in its text box.
SettingsForm& openDialog() {
    if (auto* f = setei.peek()) f->Unload();
    testing::Settle();
    setei->Show();
    setei->Text1.SetFocus();
    return *setei;
}

}  // namespace

class SettingsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::InitRuntime(); }
    void init() { Module1::interval = -77; }
    void cleanup() { testing::UnloadAll(); }

    void dialogWindow() {
        SettingsForm& f = openDialog();
        QCOMPARE(f.Caption(), QStringLiteral("Varnel ver1.0 (設定）"));
        QCOMPARE(f.client()->size(),
                 QSize(forms::twips::toPixelsX(4485), forms::twips::toPixelsY(1935)));
        QWidget* w = f.window();
        QCOMPARE(w->minimumSize(), w->maximumSize());
        QVERIFY(
            !(w->windowFlags() & (Qt::WindowMaximizeButtonHint | Qt::WindowMinimizeButtonHint)));
        QVERIFY(w->windowFlags() & Qt::WindowCloseButtonHint);
        QCOMPARE(edit()->text(), QStringLiteral("3"));
        QCOMPARE(f.Label2.Caption(), QStringLiteral("画像の切り替えタイミング"));
        QCOMPARE(f.Frame1.Caption(), QStringLiteral("タイマーコントロール"));
        // The text box and the labels belong to the frame.
        for (forms::Control* c :
             {static_cast<forms::Control*>(&f.Text1), static_cast<forms::Control*>(&f.Label1),
              static_cast<forms::Control*>(&f.Label2)})
            QCOMPARE(c->widget()->parentWidget(), f.Frame1.widget());
        // Focus order: the text box, OK, reset, and round again.
        QWidget* order[] = {f.Text1.widget(), f.OKC1.widget(), f.Command1.widget(),
                            f.Text1.widget()};
        QCOMPARE(w->focusWidget(), order[0]);
        for (int i = 0; i < 3; ++i) {
            QWidget* next = order[i]->nextInFocusChain();
            while (next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
            QCOMPARE(next, order[i + 1]);
        }
    }

    // Digits and control characters pass, everything else leaves the text as it was. Codes
    // of 0x8000 and above are negative as signed 16-bit and pass as well.
    void keyFilter_data() {
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("passes");
        QTest::addColumn<QString>("after");  // the box held "5" with the caret at its end
        QTest::newRow("31 unit separator") << int(Qt::Key_unknown) << "\x1f" << true << "5";
        QTest::newRow("32 space") << int(Qt::Key_Space) << " " << false << "5";
        QTest::newRow("47 slash") << int(Qt::Key_Slash) << "/" << false << "5";
        QTest::newRow("48 zero") << int(Qt::Key_0) << "0" << true << "50";
        QTest::newRow("57 nine") << int(Qt::Key_9) << "9" << true << "59";
        QTest::newRow("58 colon") << int(Qt::Key_Colon) << ":" << false << "5";
        QTest::newRow("letter a") << int(Qt::Key_A) << "a" << false << "5";
        QTest::newRow("letter Z") << int(Qt::Key_Z) << "Z" << false << "5";
        QTest::newRow("minus") << int(Qt::Key_Minus) << "-" << false << "5";
        QTest::newRow("full stop") << int(Qt::Key_Period) << "." << false << "5";
        QTest::newRow("plus") << int(Qt::Key_Plus) << "+" << false << "5";
        QTest::newRow("0x7F delete") << int(Qt::Key_unknown) << "\x7f" << false << "5";
        QTest::newRow("0x8000") << int(Qt::Key_unknown) << QString(QChar(0x8000)) << true
                                << QStringLiteral("5") + QChar(0x8000);
        QTest::newRow("full-width 1")
            << int(Qt::Key_unknown) << QStringLiteral("１") << true << QStringLiteral("5１");
        QTest::newRow("backspace") << int(Qt::Key_Backspace) << "\b" << true << "";
    }
    void keyFilter() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(bool, passes);
        QFETCH(QString, after);
        SettingsForm& f = openDialog();
        f.Text1.Text = QStringLiteral("5");
        // Records what the dialog's own filter makes of each code.
        QList<int> seen;
        const auto filter = f.Text1.KeyPress;
        f.Text1.KeyPress = [&seen, filter](int16_t& KeyAscii) {
            filter(KeyAscii);
            seen << KeyAscii;
        };
        type(Qt::Key(key), text);
        const int code = int16_t(text.at(0).unicode());
        QCOMPARE(seen, QList<int>{passes ? code : 0});
        QCOMPARE(f.Text1.Text(), after);
        QCOMPARE(edit()->cursorPosition(), after.size());
    }

    void okStoresTheValue_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("typed");  // else set by the program, as a paste would
        QTest::addColumn<int>("interval");
        QTest::newRow("1 then 2") << "12" << true << 12;
        QTest::newRow("leading zeros") << "007" << true << 7;
        QTest::newRow("zero") << "0" << true << 0;
        QTest::newRow("32") << "32" << true << 32;
        QTest::newRow("33") << "33" << true << 33;
        QTest::newRow("highest") << "32767" << true << 32767;
        QTest::newRow("pasted negative") << "-5" << false << -5;
        QTest::newRow("pasted lowest") << "-32768" << false << -32768;
        QTest::newRow("pasted with blanks") << " 8 " << false << 8;
    }
    void okStoresTheValue() {
        QFETCH(QString, text);
        QFETCH(bool, typed);
        QFETCH(int, interval);
        SettingsForm& f = openDialog();
        if (typed) {
            type(Qt::Key_Backspace, "\b");
            typeDigits(text);
        } else {
            f.Text1.Text = text;
        }
        QCOMPARE(f.Text1.Text(), text);
        testing::MsgBoxes boxes;
        clickOk();
        QCOMPARE(int(Module1::interval), interval);
        QVERIFY(!setei.peek());
        QVERIFY(boxes.texts.isEmpty());
    }

    // Text that is not a whole number of seconds in range: a message, and the dialog stays.
    void okRefusesWhatDoesNotConvert_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("empty") << "";
        QTest::newRow("letters") << "abc";
        QTest::newRow("above the range") << "40000";
        QTest::newRow("below the range") << "-32769";
        QTest::newRow("fraction") << "1.5";
    }
    void okRefusesWhatDoesNotConvert() {
        QFETCH(QString, text);
        SettingsForm& f = openDialog();
        f.Text1.Text = text;
        testing::MsgBoxes boxes;
        clickOk();
        QCOMPARE(boxes.texts.size(), 1);
        QVERIFY2(boxes.texts[0].contains(QStringLiteral("秒")) &&
                     boxes.texts[0].contains(QStringLiteral("整数")),
                 qPrintable(boxes.texts[0]));
        QCOMPARE(boxes.titles[0], QStringLiteral("varnel"));
        QCOMPARE(int(Module1::interval), -77);
        QVERIFY(setei.peek() && setei->Loaded());
        QVERIFY(f.window()->isVisible());
        QCOMPARE(f.Text1.Text(), text);
        // Corrected, the same dialog takes the value.
        f.Text1.Text = QStringLiteral("4");
        clickOk();
        QCOMPARE(int(Module1::interval), 4);
        QVERIFY(!setei.peek());
    }

    void resetThenCloseBoxLeavesTheInterval() {
        SettingsForm& f = openDialog();
        type(Qt::Key_Backspace, "\b");
        typeDigits("25");
        QTest::mouseClick(f.Command1.widget(), Qt::LeftButton);
        QCOMPARE(f.Text1.Text(), QStringLiteral("3"));
        QVERIFY(setei.peek());
        QTest::mouseClick(f.Command1.widget(), Qt::LeftButton);
        QCOMPARE(f.Text1.Text(), QStringLiteral("3"));
        f.window()->close();
        QVERIFY(!setei.peek());
        QCOMPARE(int(Module1::interval), -77);
    }

    void reopensWithItsDesignText() {
        openDialog().Text1.Text = QStringLiteral("7");
        clickOk();
        QCOMPARE(int(Module1::interval), 7);
        testing::Settle();
        SettingsForm& again = openDialog();
        QCOMPARE(again.Text1.Text(), QStringLiteral("3"));
        clickOk();
        QCOMPARE(int(Module1::interval), 3);
    }

    void enterAndEscapeDoNothing_data() {
        QTest::addColumn<int>("key");
        QTest::newRow("Enter") << int(Qt::Key_Return);
        QTest::newRow("keypad Enter") << int(Qt::Key_Enter);
        QTest::newRow("Escape") << int(Qt::Key_Escape);
    }
    void enterAndEscapeDoNothing() {
        QFETCH(int, key);
        SettingsForm& f = openDialog();
        f.Text1.Text = QStringLiteral("9");
        QTest::keyClick(edit(), Qt::Key(key));
        // Also as the window system delivers it, to the window with the focus in the box.
        QTest::keyClick(f.window()->windowHandle(), Qt::Key(key));
        QVERIFY(setei.peek() && f.window()->isVisible());
        QCOMPARE(f.Text1.Text(), QStringLiteral("9"));
        QCOMPARE(int(Module1::interval), -77);
    }

    void opensModallyFromTheMainWindow() {
        MainForm& m = *main_f;
        m.Show();
        QCOMPARE(int(Module1::interval), 3);  // set by the main window's loading
        bool returned = false;
        testing::WhileModal(
            [&] {
                m.op.Value = true;
                returned = true;
            },
            [&] {
                [&] {
                    QVERIFY(!returned);
                    QVERIFY(setei.peek());
                    QWidget* w = setei->window();
                    QVERIFY(w->isVisible());
                    QVERIFY(w->isModal());
                    QCOMPARE(w->parentWidget(), m.window());
                    QCOMPARE(w->focusWidget(), setei->Text1.widget());
                    QCOMPARE(setei->Text1.Text(), QStringLiteral("3"));
                    type(Qt::Key_Backspace, "\b");
                    typeDigits("15");
                }();
                if (setei.peek()) clickOk();
            });
        QVERIFY(returned);
        QVERIFY(!setei.peek());
        QCOMPARE(int(Module1::interval), 15);
    }
};

QTEST_MAIN(SettingsTest)
#include "tst_settings.moc"
