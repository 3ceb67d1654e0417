#include "slideshow/imv.h"

#include "core/forms.h"
#include "core/module1.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"

using forms::Kind;

SlideShowForm::SlideShowForm()
    : Form({QStringLiteral("Form1"), forms::Border::None, 2655, 1515, 10860, 9405,
            /*maximized*/ true, /*black*/ true, /*icon*/ false},
           {
               {"List2", Kind::ListBox, {}, nullptr, 2880, 6480, 1695, 960, 1, forms::Hidden},
               {"Command1", Kind::CommandButton, QStringLiteral("Command1"), nullptr, 960, 8160,
                735, 375, 0, forms::Hidden},
               {"Timer1", Kind::Timer, {}, nullptr, 600, 4800, 0, 0, -1},
               {"Image1", Kind::Image, {}, nullptr, 4080, 3720, 1095, 855, -1},
               {"Label1", Kind::Label, {}, nullptr, 0, 0, 0, 0, -1, forms::Hidden},
           }) {
    Timer1.Interval = 1000;
}

void SlideShowForm::wire() {
    Timer1.Tick = [this] { Timer1_Timer(); };
    Command1.Click = [this] { Command1_Click(); };
    DblClick = [this] { Form_DblClick(); };
}

void SlideShowForm::Form_Load() {
    // Formed in 32 bits, so that every interval plays with its true period; a period of
    // zero or less gives no ticks.
    Timer1.Interval = int32_t{Module1::interval} * 1000;
    const int16_t n = main_f->List1.ListCount();
    for (int k = 0; k < n; ++k) List2.AddItem(main_f->List1.List(k));
}

void SlideShowForm::Timer1_Timer() {
    const int16_t count = List2.ListCount();
    if (count >= 1) {
        const QString path = List2.List(0);
        Image1.Picture = forms::Picture();  // released before the next picture is read
        forms::Picture picture;
        try {
            // Only the part that this window shows is decoded and held.
            picture = forms::LoadPicture(path, {}, forms::ViewSize(Width(), Height()));
        } catch (const forms::Error&) {
            // Shown as a notice for this interval; the show goes on with the next entry.
        }
        Image1.Picture = picture;
        if (picture.isNull()) {
            showNotice(path);
        } else {
            Label1.Visible = false;
        }
        const float left = (Width() - Image1.Width()) / 2;
        const float top = (Height() - Image1.Height()) / 2;
        Image1.Move(left, top);
        List2.RemoveItem(0);
    } else {
        // The end is announced once: no tick comes while the message waits.
        Timer1.Enabled = false;
        forms::MsgBox(QStringLiteral("終了しました。"));
        Command1.Value = true;
    }
}

void SlideShowForm::showNotice(const QString& path) {
    // An empty entry is the add of a path before any file was clicked.
    Label1.setCaption(QStringLiteral("この画像は表示できません:\n%1")
                          .arg(path.isEmpty() ? QStringLiteral("（空の項目）") : path));
    const float width = Width() * 0.8f, height = 1200;
    Label1.Move((Width() - width) / 2, (Height() - height) / 2, width, height);
    Label1.Visible = true;
}

void SlideShowForm::Command1_Click() { Command1.Parent().Unload(); }

void SlideShowForm::Form_DblClick() { forms::End(); }
