#pragma once

#include <QString>

#include "forms/controls.h"
#include "forms/filecontrols.h"
#include "mainwindow/listhistory.h"
#include "picture/previewreader.h"

// The main window: the play-list builder. Its members are its controls and menus, named as
// the window names them; its private members are their event handlers.
class MainForm : public forms::Form {
public:
    MainForm();

    // The file browser (browser.cpp)
    forms::ComboBox Combo1{*this, "Combo1"};
    forms::DriveListBox drbox{*this, "drbox"};
    forms::DirListBox Dirbox{*this, "Dirbox"};
    forms::FileListBox filebox{*this, "filebox"};
    forms::CheckBox ckp{*this, "ckp"};
    forms::Image imP1{*this, "imP1"};
    forms::Frame Frame4{*this, "Frame4"};
    forms::TextBox Text1{*this, "Text1"};
    // The play list (playlist.cpp)
    forms::Frame Frame1{*this, "Frame1"};
    forms::CommandButton sentaku{*this, "sentaku"};
    forms::CommandButton cll{*this, "cll"};
    forms::CommandButton allcll{*this, "allcll"};
    forms::Frame Frame2{*this, "Frame2"};
    forms::ListBox List1{*this, "List1"};
    // Slide playback and the rest (routing.cpp)
    forms::Frame Frame3{*this, "Frame3"};
    forms::CommandButton playS{*this, "playS"};
    forms::CommandButton op{*this, "op"};
    forms::CommandButton ends{*this, "ends"};
    forms::CommonDialog CommonDialog1{*this, "CommonDialog1"};

    forms::Menu fileMn{*this, "fileMn"};
    forms::Menu sinki{*this, "sinki"};
    forms::Menu lstOpenMn{*this, "lstOpenMn"};
    forms::Menu lstSaveMn{*this, "lstSaveMn"};
    forms::Menu aa{*this, "aa"};
    forms::Menu endMn{*this, "endMn"};
    forms::Menu sntakuMn{*this, "sntakuMn"};
    forms::Menu sentakuMn{*this, "sentakuMn"};
    forms::Menu subeteMn{*this, "subeteMn"};
    forms::Menu cllMn{*this, "cllMn"};
    forms::Menu aaa{*this, "aaa"};
    forms::Menu allcllMn{*this, "allcllMn"};
    forms::Menu aaaa{*this, "aaaa"};
    forms::Menu modosuMn{*this, "modosuMn"};
    forms::Menu saiseiMn{*this, "saiseiMn"};
    forms::Menu pylyMn{*this, "pylyMn"};
    forms::Menu seteiMn{*this, "seteiMn"};
    // Ticked: the show reduces pictures larger than the screen to fit it. For this run only.
    forms::Menu awaseMn{*this, "awaseMn"};
    // Ticked, for this run only: the show starts again after its last picture; plays each
    // round in a shuffled order; fades each picture in; names each picture at the bottom.
    forms::Menu loopMn{*this, "loopMn"};
    forms::Menu shuffleMn{*this, "shuffleMn"};
    forms::Menu fadeMn{*this, "fadeMn"};
    forms::Menu captionMn{*this, "captionMn"};
    // Writes the play list as a video, with the show's interval and options.
    forms::Menu dougaMn{*this, "dougaMn"};
    forms::Menu helpMn{*this, "helpMn"};

    // The full path of the file last clicked in the file list; empty until then.
    QString selPath;

    // Files named on the command line: pictures are appended to the play list in order, the
    // entries of play-list files too, and the pictures inside folders; the rest are reported in
    // one message. One picture alone is also shown in the browser, as if clicked there.
    void OpenFiles(const QStringList& paths);
    // Whether a preview asked for has not been shown yet.
    bool PreviewPending() const { return preview_.Busy(); }

protected:
    void wire() override;
    void Form_Load() override;

private:
    void Combo1_Click();
    void drbox_Change();
    void Dirbox_Change();
    void filebox_Click();
    void filebox_DblClick();

    void sentaku_Click();
    void cll_Click();
    void allcll_Click();
    void lstOpenMn_Click();
    void lstSaveMn_Click();
    void List1_KeyDown(int16_t& KeyCode, int16_t Shift);
    void List1_ItemDrag(int from, int to);
    void List1_FilesDropped(const QStringList& paths);
    void subeteMn_Click();
    void modosuMn_Click();

    // The play list's entries, in order.
    QStringList playList() const;
    // Runs a change to the play list; when it changed the list, what the list held before is
    // remembered for 元に戻す.
    void editList(const std::function<void()>& change);
    // Goes to a file's folder in the browser and clicks the file there.
    void showInBrowser(const QString& path);

    void playS_Click();
    void op_Click();
    void ends_Click();

    void sinki_Click();
    void endMn_Click();
    void sentakuMn_Click();
    void cllMn_Click();
    void allcllMn_Click();
    void pylyMn_Click();
    void seteiMn_Click();
    void dougaMn_Click();
    void helpMn_Click();

    // Set while a failed drive change goes back to the drive of the directory shown: the
    // nested drive change then leaves its failure to the recovery instead of reporting it.
    bool recovering_ = false;
    ListHistory history_;
    // The preview is read away from the window's thread and shown when it is ready; a file
    // that cannot be shown clears it, without a message, so that moving through the list with
    // the arrow keys goes on.
    forms::PreviewReader preview_{
        [this](const QString&, forms::Picture picture) { imP1.Picture = std::move(picture); }};
};
