#pragma once

#include "forms/controls.h"

// The export dialog: writes the play list as a video file, with the show's interval and its
// options, at a size chosen, with music if wanted.
class ExportForm : public forms::Form {
public:
    ExportForm();

    forms::Label Label1{*this, "Label1"};
    forms::TextBox Text1{*this, "Text1"};  // the video file
    forms::CommandButton Command2{*this, "Command2"};
    forms::Label Label2{*this, "Label2"};
    forms::ComboBox Combo1{*this, "Combo1"};  // the size
    forms::CheckBox Check1{*this, "Check1"};  // pictures fitted to the video
    forms::CheckBox Check2{*this, "Check2"};  // fade
    forms::CheckBox Check3{*this, "Check3"};  // caption
    forms::Label Label3{*this, "Label3"};
    forms::TextBox Text2{*this, "Text2"};  // the music; none when empty
    forms::CommandButton Command3{*this, "Command3"};
    forms::CommandButton OKC1{*this, "OKC1"};
    forms::CommandButton Command1{*this, "Command1"};

protected:
    void wire() override;
    void Form_Load() override;

private:
    void Command2_Click();
    void Command3_Click();
    void OKC1_Click();
    void Command1_Click();

    // The file the save dialog has already asked about replacing.
    QString confirmed_;
};

extern forms::FormRef<ExportForm> douga;
