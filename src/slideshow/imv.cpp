#include "slideshow/imv.h"

#include <QRandomGenerator>
#include <algorithm>
#include <optional>

#include "core/forms.h"
#include "core/module1.h"
#include "forms/runtime.h"
#include "forms/twips.h"
#include "mainwindow/main_f.h"
#include "picture/caption.h"
#include "picture/datetaken.h"
#include "system/filenames.h"

using forms::Kind;

SlideShowForm::SlideShowForm()
    : Form({QStringLiteral("Form1"), forms::Border::None, 2655, 1515, 10860, 9405,
            /*maximized*/ true, /*black*/ true, /*icon*/ false},
           {
               {"List2", Kind::ListBox, {}, nullptr, 2880, 6480, 1695, 960, 1, forms::Hidden},
               {"Command1", Kind::CommandButton, QStringLiteral("Command1"), nullptr, 960, 8160,
                735, 375, 0, forms::Hidden},
               {"Timer1", Kind::Timer, {}, nullptr, 600, 4800, 0, 0, -1},
               {"Timer2", Kind::Timer, {}, nullptr, 600, 5400, 0, 0, -1},
               {"Timer3", Kind::Timer, {}, nullptr, 600, 6000, 0, 0, -1},
               {"Image2", Kind::Image, {}, nullptr, 0, 0, 0, 0, -1, forms::Hidden},
               {"Image1", Kind::Image, {}, nullptr, 4080, 3720, 1095, 855, -1},
               {"Label1", Kind::Label, {}, nullptr, 0, 0, 0, 0, -1, forms::Hidden},
               {"Label2", Kind::Label, QStringLiteral("一時停止中"), nullptr, 0, 0, 1500, 300, -1,
                forms::Hidden | forms::Backing},
               {"Label3", Kind::Label, {}, nullptr, 0, 0, 0, 0, -1, forms::Hidden | forms::Backing},
           }) {
    Timer1.Interval = 1000;
    Timer2.Interval = 0;
    Timer3.Interval = 0;
}

namespace {

// The key under which a picture carries the date it was taken, read with its pixels.
const QString kTaken = QStringLiteral("DateTaken");
// The longest fade, in milliseconds, and the period of its frames.
constexpr int kFadeMs = 500;
constexpr int kFrameMs = 16;
// A picture not read after this long is given up on, as a folder listing is: a healthy read
// takes well under it.
constexpr int kGiveUpMs = 5000;

// The picture with the date it was taken attached, as a text of its image.
forms::Picture withDateTaken(forms::Picture picture, const QString& path) {
    const QString taken = forms::DateTaken(path);
    if (taken.isEmpty() || picture.isNull()) return picture;
    QImage image = picture.image();
    const QSize size = picture.size();
    const QRect held = picture.held();
    picture = forms::Picture();  // the image alone holds the pixels now: no copy is made
    image.setText(kTaken, taken);
    return forms::Picture(std::move(image), size, held);
}

}  // namespace

void SlideShowForm::wire() {
    Timer1.Tick = [this] { Timer1_Timer(); };
    Timer2.Tick = [this] { Timer2_Timer(); };
    Timer3.Tick = [this] { Timer3_Timer(); };
    Command1.Click = [this] { Command1_Click(); };
    DblClick = [this] { Form_DblClick(); };
    KeyDown = [this](int KeyCode) { Form_KeyDown(KeyCode); };
}

void SlideShowForm::Form_Load() {
    // Formed in 32 bits, so that every interval plays with its true period; a period of
    // zero or less gives no ticks.
    Timer1.Interval = int32_t{Module1::interval} * 1000;
    const int16_t n = main_f->List1.ListCount();
    for (int k = 0; k < n; ++k) List2.AddItem(main_f->List1.List(k));
    fit_ = main_f->awaseMn.Checked();
    fade_ = main_f->fadeMn.Checked();
    caption_ = main_f->captionMn.Checked();
    sequence_ = ShowSequence(n, {main_f->loopMn.Checked(), main_f->shuffleMn.Checked()},
                             QRandomGenerator::global()->generate());
    awake_ = std::make_unique<ScreenAwake>(QStringLiteral("スライドショーを再生中"));
    // The first picture is read while the window is still black.
    readAhead();
}

void SlideShowForm::Form_Unload() {
    // Never waits for a read: one under way is left to end on its own.
    stopWaiting();
    ahead.Stop();
    awake_.reset();
}

void SlideShowForm::Timer1_Timer() { play(sequence_.Tick(), fade_); }

void SlideShowForm::play(ShowSequence::Step step, bool fade) {
    switch (step) {
        case ShowSequence::Step::Stay:
            break;
        case ShowSequence::Step::Show:
            showEntry(int16_t(sequence_.Position()), fade);
            break;
        case ShowSequence::Step::End:
            // The end is announced once: no tick comes while the message waits, and no
            // picture still being read comes after it.
            stopWaiting();
            Timer1.Enabled = false;
            forms::MsgBox(QStringLiteral("終了しました。"));
            Command1.Value = true;
            break;
    }
}

void SlideShowForm::readAhead() {
    const int next = sequence_.Ahead();
    if (next >= 0) ahead.Request(List2.List(int16_t(next)), view(), loader(view()));
}

QSize SlideShowForm::view() const { return forms::ViewSize(Width(), Height()); }

forms::Prefetch::Loader SlideShowForm::loader(QSize view) const {
    // Only the part that this window shows is decoded and held, or, to fit, the whole
    // picture reduced to the screen. The size is given: the loader runs on the reading thread.
    // So does the caption's date, read there with the picture.
    return [view, fit = fit_, caption = caption_](const QString& path) {
        forms::Picture picture =
            fit ? forms::LoadPictureFitted(path, view) : forms::LoadPicture(path, {}, view);
        return caption ? withDateTaken(std::move(picture), path) : picture;
    };
}

void SlideShowForm::showEntry(int16_t index, bool fade) {
    endFade();
    // A newer step replaces the one waiting: only its picture is read next.
    waiting_ = index;
    waitingFade_ = fade;
    Timer3.Interval = 0;  // each step has its own while to be read
    showWaited();
}

void SlideShowForm::arrived(const QString& path) {
    if (Waiting() && List2.List(waiting_) == path) showWaited();
}

void SlideShowForm::showWaited() {
    forms::Picture picture;
    try {
        std::optional<forms::Picture> taken =
            ahead.Take(List2.List(waiting_), view(), loader(view()));
        if (!taken) {
            // Not read yet: the window goes on answering, and no tick comes until the picture
            // is up or given up on.
            if (!held_) {
                held_ = true;
                Timer1.Enabled = false;
            }
            if (Timer3.Interval() == 0) Timer3.Interval = kGiveUpMs;
            return;
        }
        picture = std::move(*taken);
    } catch (const forms::Error&) {
        // Shown as a notice for this interval; the show goes on with the next entry.
    }
    present(picture);
}

void SlideShowForm::Timer3_Timer() {
    if (!Waiting()) return stopWaiting();
    // The while counts from the start of the read under way, and is renewed as long as the read
    // gets on: a large picture read after another has its own while, and is never given up
    // while it is being decoded.
    const std::optional<forms::Prefetch::Underway> read = ahead.Reading();
    if (!read) {
        Timer3.Interval = 0;
        return showWaited();
    }
    const auto left = kGiveUpMs - read->elapsed.count();
    if (left > 0) {
        Timer3.Interval = int32_t(left);
        return;
    }
    // Getting on: it has worked since it was last looked at, or, at the first look, for a
    // hundredth of its time (a read stuck in a mount spends next to nothing).
    const bool gettingOn = read->number == lookedAt_ ? read->working > workedThen_
                                                     : read->working * 100 >= read->elapsed;
    lookedAt_ = read->number;
    workedThen_ = read->working;
    if (gettingOn) {
        Timer3.Interval = kGiveUpMs;
        return;
    }
    // The read does not answer (a mount that has stopped): it is left to end on its own thread,
    // and the next is read on a new one. When it was another entry's that held this one up,
    // this one is asked for again; otherwise it gets its notice.
    const bool ours = read->path == List2.List(waiting_);
    lookedAt_ = 0;  // the next thread numbers its reads afresh
    ahead.Stop();
    if (ours)
        present(forms::Picture());
    else
        showEntry(waiting_, waitingFade_);
}

void SlideShowForm::stopWaiting() {
    waiting_ = -1;
    Timer3.Interval = 0;
    held_ = false;
    lookedAt_ = 0;
}

void SlideShowForm::present(const forms::Picture& picture) {
    const QString path = List2.List(waiting_);
    const bool fade = waitingFade_;
    const bool late = held_;
    stopWaiting();
    // The picture on screen stays beneath while the next fades in; otherwise it is released
    // as the next takes its place: besides the picture read ahead, no other is held.
    const int fadeMs = std::min(kFadeMs, Timer1.Interval() / 2);
    if (fade && fadeMs >= 2 * kFrameMs && !Image1.Picture().isNull()) {
        Image2.Picture = Image1.Picture();
        Image2.Move(Image1.Left(), Image1.Top());
        Image2.Visible = true;
    }
    Image1.Picture = forms::Picture();
    Image1.Picture = picture;
    if (picture.isNull()) {
        showNotice(path);
    } else {
        Label1.Visible = false;
    }
    const float left = (Width() - Image1.Width()) / 2;
    const float top = (Height() - Image1.Height()) / 2;
    Image1.Move(left, top);
    if (!Image2.Picture().isNull() && !picture.isNull()) {
        Image1.Opacity = 0;
        fadeClock_.start();
        Timer2.Interval = kFrameMs;
    } else {
        endFade();
    }
    showCaption(path, picture);
    // A picture that came late gets its whole interval from now.
    if (late) Timer1.Enabled = !sequence_.Paused();
    readAhead();
}

void SlideShowForm::Timer2_Timer() {
    const int fadeMs = std::min(kFadeMs, Timer1.Interval() / 2);
    const double done = fadeMs > 0 ? double(fadeClock_.elapsed()) / fadeMs : 1;
    if (done >= 1)
        endFade();
    else
        Image1.Opacity = done;
}

void SlideShowForm::endFade() {
    Timer2.Interval = 0;
    Image1.Opacity = 1;
    Image2.Visible = false;
    Image2.Picture = forms::Picture();
}

void SlideShowForm::showCaption(const QString& path, const forms::Picture& picture) {
    // A picture that cannot be shown is named by its notice already.
    if (!caption_ || picture.isNull()) {
        Label3.Visible = false;
        return;
    }
    Label3.setCaption(forms::CaptionText(path, picture.image().text(kTaken)));
    Label3.Move(0, Height() - Label3.Height(), Width(), Label3.Height());
    Label3.Visible = true;
}

void SlideShowForm::restartInterval() {
    if (Loaded() && !sequence_.Paused()) Timer1.Interval = Timer1.Interval();
}

void SlideShowForm::Form_KeyDown(int KeyCode) {
    switch (KeyCode) {
        case forms::vbKeyEscape:
            Command1.Value = true;
            break;
        case forms::vbKeySpace:
            // While paused no tick comes; on resume the picture gets a whole interval.
            sequence_.TogglePause();
            Label2.Move(Width() - Label2.Width() - 240, 240);
            Label2.Visible = sequence_.Paused();
            Timer1.Enabled = !sequence_.Paused() && !held_;
            break;
        case forms::vbKeyRight:
        case forms::vbKeyPageDown:
            // What the next tick would do, now; after the last picture, the end.
            play(sequence_.Forward(), false);
            restartInterval();
            break;
        case forms::vbKeyLeft:
        case forms::vbKeyPageUp:
            if (sequence_.Back() == ShowSequence::Step::Show) {
                showEntry(int16_t(sequence_.Position()), false);
                restartInterval();
            }
            break;
    }
}

void SlideShowForm::showNotice(const QString& path) {
    // An empty entry is the add of a path before any file was clicked.
    Label1.setCaption(
        QStringLiteral("この画像は表示できません:\n%1")
            .arg(path.isEmpty() ? QStringLiteral("（空の項目）") : forms::DisplayPath(path)));
    const float width = Width() * 0.8f, height = 1200;
    Label1.Move((Width() - width) / 2, (Height() - height) / 2, width, height);
    Label1.Visible = true;
}

void SlideShowForm::Command1_Click() { Command1.Parent().Unload(); }

void SlideShowForm::Form_DblClick() { forms::End(); }
