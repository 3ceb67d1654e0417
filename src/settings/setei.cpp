#include "settings/setei.h"

#include "core/module1.h"
#include "forms/runtime.h"

using forms::Kind;

SettingsForm::SettingsForm()
    : Form({QStringLiteral("Varnel ver1.0 (設定）"), forms::Border::FixedSingle, 45, 330, 4485,
            1935},
           {
               {"Frame1", Kind::Frame, QStringLiteral("タイマーコントロール"), nullptr, 240, 240,
                2055, 1575, 0},
               {"Label2", Kind::Label, QStringLiteral("画像の切り替えタイミング"), "Frame1", 240,
                360, 1215, 375, 3},
               {"Text1", Kind::TextBox, QStringLiteral("3"), "Frame1", 480, 960, 375, 270, 1},
               {"Label1", Kind::Label, QStringLiteral("秒"), "Frame1", 960, 1080, 255, 255, 2},
               {"OKC1", Kind::CommandButton, QStringLiteral("OK"), nullptr, 2880, 1200, 1215, 495,
                4},
               {"Command1", Kind::CommandButton, QStringLiteral("標準（リセット）"), nullptr, 2880,
                360, 1215, 495, 5},
           }) {}

void SettingsForm::wire() {
    Text1.KeyPress = [this](int16_t& KeyAscii) { Text1_KeyPress(KeyAscii); };
    Command1.Click = [this] { Command1_Click(); };
    OKC1.Click = [this] { OKC1_Click(); };
}

// Control characters and digits pass; every other character is discarded. The codes are
// signed 16-bit, so a code of 0x8000 or above is negative and passes as a control character.
void SettingsForm::Text1_KeyPress(int16_t& KeyAscii) {
    if (KeyAscii < 32) return;
    if (KeyAscii >= 48 && KeyAscii <= 57) return;
    KeyAscii = 0;
}

void SettingsForm::Command1_Click() { Text1.Text = QStringLiteral("3"); }

void SettingsForm::OKC1_Click() {
    int16_t seconds = 0;
    try {
        seconds = forms::CInt(Text1.Text());
    } catch (const forms::Error&) {
        // The dialog stays open with its text, and the interval keeps its value.
        forms::MsgBox(QStringLiteral(
            "画像の切り替えタイミングは、秒数を整数（-32768～32767）で入力してください。"));
        return;
    }
    Module1::interval = seconds;
    OKC1.Parent().Unload();
}
