#pragma once

#include <QElapsedTimer>
#include <memory>

#include "forms/controls.h"
#include "picture/prefetch.h"
#include "slideshow/screenawake.h"
#include "slideshow/sequence.h"

// The slide-show window: a black, borderless window filling the screen that shows the play
// list's pictures one per tick, each at its own size and centred, then announces the end.
// Keys: Esc stops the show, Space pauses and resumes, Right (Page Down) and Left (Page Up)
// step through the pictures. Options of the main window's 再生 menu: the show repeats, plays in
// a shuffled order, fades each picture in over the one before, names each picture.
class SlideShowForm : public forms::Form {
public:
    SlideShowForm();

    forms::ListBox List2{*this, "List2"};  // the play list's pictures, in order
    forms::CommandButton Command1{*this, "Command1"};
    forms::Timer Timer1{*this, "Timer1"};
    forms::Timer Timer2{*this, "Timer2"};  // the frames of a fade
    forms::Image Image2{*this, "Image2"};  // the picture before, while the next fades in over it
    forms::Image Image1{*this, "Image1"};
    forms::Label Label1{*this, "Label1"};  // names a picture that cannot be shown
    forms::Label Label2{*this, "Label2"};  // says that the show is paused
    forms::Label Label3{*this, "Label3"};  // the caption: the picture's name and date taken

    // The picture after the one on screen, read while this one is shown.
    forms::Prefetch ahead;
    // The entry of List2 on screen; -1 before the first tick.
    int16_t Position() const { return int16_t(sequence_.Position()); }
    // The entry of List2 shown next, read ahead; -1 when none comes.
    int Next() const { return sequence_.Ahead(); }
    // Whether a fade is under way.
    bool Fading() const { return Timer2.Interval() > 0; }

protected:
    void wire() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    void Timer1_Timer();
    void Timer2_Timer();
    void Command1_Click();
    void Form_DblClick();
    void Form_KeyDown(int KeyCode);
    // Does what a step of the sequence asks.
    void play(ShowSequence::Step step, bool fade);
    void showEntry(int16_t index, bool fade);
    void endFade();
    void showCaption(const QString& path, const forms::Picture& picture);
    void readAhead();
    QSize view() const;  // the size, in pixels, of what the window shows
    forms::Prefetch::Loader loader(QSize view) const;
    void restartInterval();
    void showNotice(const QString& path);

    ShowSequence sequence_;
    // Held from loading to unloading: the screen stays on while the show is open.
    std::unique_ptr<ScreenAwake> awake_;
    bool fit_ = false;      // pictures larger than the screen are reduced to fit it
    bool fade_ = false;     // a picture that comes with a tick fades in over the one before
    bool caption_ = false;  // each picture is named at the bottom of the screen
    QElapsedTimer fadeClock_;
};
