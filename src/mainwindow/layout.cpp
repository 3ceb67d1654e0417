#include "mainwindow/main_f.h"

using forms::Kind;

namespace {

forms::FormLayout windowLayout() {
    return {QStringLiteral("Varnel ver1.0"), forms::Border::FixedSingle, 2700, 2310, 10305, 8400};
}

// The design-time layout, in tab order; positions inside a frame are relative to the frame.
std::vector<forms::ControlLayout> controlTable() {
    using forms::BorderSingle;
    using forms::Stretch;
    return {
        // name, kind, caption, container, left, top, width, height, tab index
        {"drbox", Kind::DriveListBox, {}, nullptr, 360, 480, 2655, 300, 0},
        {"Dirbox", Kind::DirListBox, {}, nullptr, 360, 840, 2655, 3660, 1},
        {"filebox", Kind::FileListBox, {}, nullptr, 3120, 120, 3015, 4410, 2},
        {"List1", Kind::ListBox, {}, nullptr, 360, 5040, 5775, 2760, 3},
        {"ckp", Kind::CheckBox, QStringLiteral("プレビューを表示する"), nullptr, 7200, 3600, 2535,
         495, 4},
        {"sentaku", Kind::CommandButton, QStringLiteral("選択"), nullptr, 6600, 600, 1335, 495, 5},
        {"cll", Kind::CommandButton, QStringLiteral("削除"), nullptr, 6600, 1440, 1335, 495, 6},
        {"Frame1", Kind::Frame, QStringLiteral("ファイル選択"), nullptr, 6480, 240, 1575, 2895, 7},
        {"allcll", Kind::CommandButton, QStringLiteral("全削除"), "Frame1", 120, 2040, 1335, 495,
         8},
        {"Frame2", Kind::Frame, QStringLiteral("選択された画像リスト"), nullptr, 120, 4680, 6255,
         3375, 9},
        {"Frame3", Kind::Frame, QStringLiteral("スライド再生"), nullptr, 8400, 240, 1575, 2895, 10},
        {"playS", Kind::CommandButton, QStringLiteral("再生"), "Frame3", 120, 360, 1335, 495, 11},
        {"op", Kind::CommandButton, QStringLiteral("設定"), "Frame3", 120, 1200, 1335, 495, 12},
        {"ends", Kind::CommandButton, QStringLiteral("Varnelの終了"), "Frame3", 120, 2040, 1335,
         495, 13},
        {"Text1", Kind::TextBox, {}, nullptr, 7080, 7560, 2655, 375, 14},
        {"Combo1", Kind::ComboBox, QStringLiteral("*.jpg"), nullptr, 360, 120, 2655, 300, 15, 0,
         QStringLiteral("ファイルの種類")},
        {"Frame4", Kind::Frame, QStringLiteral("ファイルネーム"), nullptr, 6840, 7320, 3255, 735,
         16},
        {"imP1",
         Kind::Image,
         {},
         nullptr,
         7080,
         4080,
         2535,
         2895,
         -1,
         Stretch | BorderSingle,
         QStringLiteral("プレビュー")},
        {"CommonDialog1", Kind::CommonDialog, {}, nullptr, 0, 0, 0, 0, -1},
    };
}

std::vector<forms::MenuLayout> menuTable() {
    return {
        {"fileMn", nullptr, QStringLiteral("ファイル(&F)"), nullptr},
        {"sinki", "fileMn", QStringLiteral("新規選択"), "Ctrl+S"},
        {"lstOpenMn", "fileMn", QStringLiteral("再生リストを開く..."), nullptr},
        {"lstSaveMn", "fileMn", QStringLiteral("再生リストを保存..."), nullptr},
        {"aa", "fileMn", QStringLiteral("-"), nullptr},
        {"endMn", "fileMn", QStringLiteral("終了"), "Ctrl+E"},
        {"sntakuMn", nullptr, QStringLiteral("選択(&S)"), nullptr},
        {"sentakuMn", "sntakuMn", QStringLiteral("選択"), "Ctrl+D"},
        {"subeteMn", "sntakuMn", QStringLiteral("すべて追加"), "Ctrl+Shift+D"},
        {"cllMn", "sntakuMn", QStringLiteral("削除"), "Ctrl+C"},
        {"aaa", "sntakuMn", QStringLiteral("-"), nullptr},
        {"allcllMn", "sntakuMn", QStringLiteral("全削除"), "Ctrl+A"},
        {"aaaa", "sntakuMn", QStringLiteral("-"), nullptr},
        {"modosuMn", "sntakuMn", QStringLiteral("元に戻す"), "Ctrl+Z"},
        {"saiseiMn", nullptr, QStringLiteral("再生(&P)"), nullptr},
        {"pylyMn", "saiseiMn", QStringLiteral("再生"), "Ctrl+P"},
        {"seteiMn", "saiseiMn", QStringLiteral("設定"), "Ctrl+O"},
        {"awaseMn", "saiseiMn", QStringLiteral("大きな画像を画面に合わせる"), nullptr, true},
        {"loopMn", "saiseiMn", QStringLiteral("繰り返し"), nullptr, true},
        {"shuffleMn", "saiseiMn", QStringLiteral("シャッフル"), nullptr, true},
        {"fadeMn", "saiseiMn", QStringLiteral("フェード"), nullptr, true},
        {"captionMn", "saiseiMn", QStringLiteral("ファイル名を表示"), nullptr, true},
        {"dougaMn", "saiseiMn", QStringLiteral("動画として書き出す..."), nullptr},
        {"helpMn", nullptr, QStringLiteral("ヘルプ(&H)"), nullptr},
    };
}

}  // namespace

MainForm::MainForm() : Form(windowLayout(), controlTable(), menuTable()) {
    // The pattern list, in this order, not sorted: the first three, then the formats read
    // since, then one entry for every format.
    for (const char* pattern :
         {"*.jpg", "*.bmp", "*.gif", "*.png", "*.webp", "*.heic;*.heif;*.avif", "*.tif;*.tiff",
          "*.jxl", "*.jpg;*.jpeg;*.bmp;*.gif;*.png;*.webp;*.heic;*.heif;*.avif;*.tif;*.tiff;*.jxl"})
        Combo1.AddItem(QString::fromLatin1(pattern));
}

void MainForm::wire() {
    Combo1.Click = [this] { Combo1_Click(); };
    drbox.Change = [this] { drbox_Change(); };
    Dirbox.Change = [this] { Dirbox_Change(); };
    filebox.Click = [this] { filebox_Click(); };
    filebox.DblClick = [this] { filebox_DblClick(); };

    sentaku.Click = [this] { sentaku_Click(); };
    cll.Click = [this] { cll_Click(); };
    allcll.Click = [this] { allcll_Click(); };
    lstOpenMn.Click = [this] { lstOpenMn_Click(); };
    lstSaveMn.Click = [this] { lstSaveMn_Click(); };
    List1.KeyDown = [this](int16_t& KeyCode, int16_t Shift) { List1_KeyDown(KeyCode, Shift); };
    List1.ItemDrag = [this](int from, int to) { List1_ItemDrag(from, to); };
    List1.FilesDropped = [this](const QStringList& paths) { List1_FilesDropped(paths); };
    subeteMn.Click = [this] { subeteMn_Click(); };
    modosuMn.Click = [this] { modosuMn_Click(); };

    playS.Click = [this] { playS_Click(); };
    op.Click = [this] { op_Click(); };
    ends.Click = [this] { ends_Click(); };

    sinki.Click = [this] { sinki_Click(); };
    endMn.Click = [this] { endMn_Click(); };
    sentakuMn.Click = [this] { sentakuMn_Click(); };
    cllMn.Click = [this] { cllMn_Click(); };
    allcllMn.Click = [this] { allcllMn_Click(); };
    pylyMn.Click = [this] { pylyMn_Click(); };
    seteiMn.Click = [this] { seteiMn_Click(); };
    dougaMn.Click = [this] { dougaMn_Click(); };
    helpMn.Click = [this] { helpMn_Click(); };
}
