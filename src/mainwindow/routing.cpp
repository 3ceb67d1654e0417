// Command routing: menu items press the buttons that carry their commands; the buttons open
// the slide show and the settings, end the application, and the help command opens help.
#include "core/forms.h"
#include "export/douga.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"

void MainForm::playS_Click() { imv->Show(1, main_f); }

void MainForm::op_Click() { setei->Show(1, main_f); }

void MainForm::ends_Click() { forms::End(); }

void MainForm::filebox_DblClick() { sentaku.Value = true; }

void MainForm::sinki_Click() { allcll.Value = true; }
void MainForm::endMn_Click() { forms::End(); }
void MainForm::sentakuMn_Click() { sentaku.Value = true; }
void MainForm::cllMn_Click() { cll.Value = true; }
void MainForm::allcllMn_Click() { allcll.Value = true; }
void MainForm::pylyMn_Click() { playS.Value = true; }
void MainForm::seteiMn_Click() { op.Value = true; }

void MainForm::dougaMn_Click() {
    if (List1.ListCount() == 0) {
        forms::MsgBox(QStringLiteral("再生リストが空です。画像を追加してから書き出してください。"));
        return;
    }
    douga->Show(1, main_f);
}

void MainForm::helpMn_Click() {
    CommonDialog1.HelpFile = QStringLiteral("varnel.hlp");
    CommonDialog1.HelpCommand = 3;
    CommonDialog1.ShowHelp();
}
