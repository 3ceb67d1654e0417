#pragma once

#include <cstdint>

#include "forms/controls.h"

// The settings dialog: sets the display interval in seconds.
class SettingsForm : public forms::Form {
public:
    SettingsForm();

    forms::Frame Frame1{*this, "Frame1"};
    forms::Label Label2{*this, "Label2"};
    forms::TextBox Text1{*this, "Text1"};
    forms::Label Label1{*this, "Label1"};
    forms::CommandButton OKC1{*this, "OKC1"};
    forms::CommandButton Command1{*this, "Command1"};

protected:
    void wire() override;

private:
    void Text1_KeyPress(int16_t& KeyAscii);
    void Command1_Click();
    void OKC1_Click();
};
