#pragma once

#include "forms/controls.h"

// The slide-show window: a black, borderless window filling the screen that shows the play
// list's pictures one per tick, each at its own size and centred, then announces the end.
class SlideShowForm : public forms::Form {
public:
    SlideShowForm();

    forms::ListBox List2{*this, "List2"};  // the pictures still to show; entry 0 is next
    forms::CommandButton Command1{*this, "Command1"};
    forms::Timer Timer1{*this, "Timer1"};
    forms::Image Image1{*this, "Image1"};
    forms::Label Label1{*this, "Label1"};  // names a picture that cannot be shown

protected:
    void wire() override;
    void Form_Load() override;

private:
    void Timer1_Timer();
    void Command1_Click();
    void Form_DblClick();
    void showNotice(const QString& path);
};
