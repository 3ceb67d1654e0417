// The file browser and preview: drives, directories and the picture files of one pattern.
#include "core/module1.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"

void MainForm::Form_Load() {
    filebox.Pattern = Combo1.Text();
    Module1::interval = 3;
}

void MainForm::Combo1_Click() { filebox.Pattern = Combo1.Text(); }

void MainForm::drbox_Change() {
    try {
        Dirbox.Path = drbox.Drive();
    } catch (const forms::Error&) {
        forms::MsgBox(QStringLiteral(
            "ディスクが挿入されていないか、使用不要なメディアが選択されています。"));
        // Back to the drive of the directory still shown. Should that fail as well, the
        // lists stay on the directory they show.
        drbox.Drive = Dirbox.Path();
    }
}

void MainForm::Dirbox_Change() { filebox.Path = Dirbox.Path(); }

void MainForm::filebox_Click() {
    selPath = Dirbox.Path() + QLatin1Char('/') + filebox.FileName();
    Text1.Text = selPath;
    if (ckp.Value == 1) {
        // A file that cannot be shown clears the preview, without a message, so that
        // moving through the list with the arrow keys goes on.
        try {
            imP1.Picture = forms::LoadPicture(selPath, imP1.pixelSize());
        } catch (const forms::Error&) {
            imP1.Picture = forms::Picture();
        }
    }
}
