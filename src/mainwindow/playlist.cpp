// The play list: add the selected path, remove the selected entry, clear.
#include "forms/runtime.h"
#include "mainwindow/main_f.h"

void MainForm::sentaku_Click() {
    try {
        List1.AddItem(selPath);
    } catch (const forms::Error&) {
        forms::MsgBox(
            QStringLiteral("再生リストがいっぱいです（%1 件まで）。追加できませんでした。")
                .arg(List1.ListCount()));
    }
}

void MainForm::cll_Click() {
    try {
        const int16_t index = List1.ListIndex;
        if (index > -1) {
            List1.RemoveItem(index);
        } else {
            forms::MsgBox(QStringLiteral("ファイルを選択してください。"));
        }
    } catch (const forms::Error&) {
        forms::MsgBox(QStringLiteral("ファイルが選択されていません。"));
    }
}

void MainForm::allcll_Click() { List1.Clear(); }
