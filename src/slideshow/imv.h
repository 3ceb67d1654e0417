#pragma once

#include <QElapsedTimer>
#include <chrono>
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
    forms::Timer Timer3{*this, "Timer3"};  // gives up on a picture that is not read in time
    forms::Image Image2{*this, "Image2"};  // the picture before, while the next fades in over it
    forms::Image Image1{*this, "Image1"};
    forms::Label Label1{*this, "Label1"};  // names a picture that cannot be shown
    forms::Label Label2{*this, "Label2"};  // says that the show is paused
    forms::Label Label3{*this, "Label3"};  // the caption: the picture's name and date taken

    // The picture after the one on screen, read while this one is shown; also the one asked
    // for by a step when it was not read ahead.
    forms::Prefetch ahead{[this](const QString& path) { arrived(path); }};
    // The entry of List2 on screen; -1 before the first tick.
    int16_t Position() const { return int16_t(sequence_.Position()); }
    // The entry of List2 shown next, read ahead; -1 when none comes.
    int Next() const { return sequence_.Ahead(); }
    // Whether a fade is under way.
    bool Fading() const { return Timer2.Interval() > 0; }
    // Whether a step waits for its picture to be read: what was on screen stays until it comes.
    bool Waiting() const { return waiting_ >= 0; }

protected:
    void wire() override;
    void Form_Load() override;
    void Form_Unload() override;

private:
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Command1_Click();
    void Form_DblClick();
    void Form_KeyDown(int KeyCode);
    // Does what a step of the sequence asks.
    void play(ShowSequence::Step step, bool fade);
    // Puts up an entry, at once when its picture has been read, otherwise once it has.
    void showEntry(int16_t index, bool fade);
    void arrived(const QString& path);
    void showWaited();
    // Puts up the picture of the entry waited for (a null one: its notice).
    void present(const forms::Picture& picture);
    void stopWaiting();
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
    // The entry whose picture is being read, and whether it fades in; -1: none.
    int16_t waiting_ = -1;
    bool waitingFade_ = false;
    bool held_ = false;  // the ticks are held back until the picture waited for is up
    // The read last looked at for whether it gets on, and how long it had worked then.
    unsigned lookedAt_ = 0;
    std::chrono::microseconds workedThen_{};
};
