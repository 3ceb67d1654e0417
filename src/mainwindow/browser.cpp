// The file browser and preview: drives, directories and the picture files of one pattern.
#include <QScopedValueRollback>

#include "core/module1.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "system/directory.h"
#include "system/filenames.h"
#include "system/paths.h"

void MainForm::Form_Load() {
    // Start-up has chosen a folder that can be read; should it have gone since, the list
    // stays empty and the window opens all the same.
    try {
        filebox.Pattern = Combo1.Text();
    } catch (const forms::Error&) {
    }
    Module1::interval = 3;
}

void MainForm::Combo1_Click() { filebox.Pattern = Combo1.Text(); }

void MainForm::drbox_Change() {
    QString failed;
    try {
        failed = drbox.Drive();
        Dirbox.Path = failed;
    } catch (const forms::Error&) {
        if (recovering_) throw;
        forms::MsgBox(
            QStringLiteral("ディスクが挿入されていないか、使用不要なメディアが選択されています。"));
        // Back to the drive of the directory still shown.
        const QScopedValueRollback<bool> recovering(recovering_, true);
        try {
            drbox.Drive = Dirbox.Path();
            return;
        } catch (const forms::Error&) {
        }
        // That drive has gone too, or the directory shown with it: the lists move to the
        // nearest directory that can be read, up from the one shown, then on the other
        // drives. The drive that failed is not tried again.
        const QList<forms::DriveInfo> drives = forms::Drives();
        QStringList candidates = forms::paths::lineage(Dirbox.Path()).mid(1);
        for (const forms::DriveInfo& drive : drives)
            if (drive.path != failed) candidates << drive.path;
        for (const QString& dir : candidates) {
            if (forms::DriveOf(dir, drives).isEmpty()) continue;
            try {
                Dirbox.Path = dir;
                drbox.Drive = Dirbox.Path();
                return;
            } catch (const forms::Error&) {
            }
        }
    }
}

void MainForm::Dirbox_Change() { filebox.Path = Dirbox.Path(); }

void MainForm::showInBrowser(const QString& path) {
    const QString dir = forms::paths::parentOf(path), name = forms::paths::lastName(path);
    try {
        drbox.Drive = dir;
        Dirbox.Path = dir;
    } catch (const forms::Error&) {
        return;  // the folder cannot be shown; the picture is in the play list all the same
    }
    // A file the pattern does not match is shown under the first pattern of the list that
    // does; the folder is listed once more only then.
    const QByteArray bytes = forms::NativePath(name);
    for (int k = -1; k < Combo1.ListCount(); ++k) {
        const QString pattern = k < 0 ? Combo1.Text() : Combo1.List(k);
        if (!forms::Matcher(pattern).matches(bytes.constData())) continue;
        if (k >= 0) {
            Combo1.Text = pattern;
            filebox.Pattern = pattern;
        }
        for (int i = 0; i < filebox.ListCount(); ++i) {
            if (filebox.FileName(i) != name) continue;
            filebox.ListIndex = i;
            filebox_Click();
            return;
        }
        return;  // not listed: a hidden file
    }
}

void MainForm::filebox_Click() {
    // The path names the very file clicked; the box shows it as the user reads it.
    selPath = Dirbox.Path() + QLatin1Char('/') + filebox.FileName();
    Text1.Text = forms::DisplayPath(selPath);
    if (ckp.Value == 1) preview_.Request(selPath, imP1.pixelSize());
}
