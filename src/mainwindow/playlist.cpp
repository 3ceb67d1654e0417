// The play list: add the selected path, remove the selected entry, clear; save it to a file
// and open one; take files from the desktop and the command line; move entries.
#include <sys/stat.h>

#include <QFileInfo>
#include <QScopeGuard>
#include <memory>
#include <optional>

#include "core/playlistfile.h"
#include "forms/filedialogs.h"
#include "forms/progress.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "picture/folderscan.h"
#include "picture/picture.h"
#include "system/filenames.h"
#include "system/files.h"
#include "system/jobs.h"
#include "system/paths.h"

void MainForm::sentaku_Click() {
    editList([this] {
        try {
            List1.AddItem(selPath);
        } catch (const forms::Error&) {
            forms::MsgBox(
                QStringLiteral("再生リストがいっぱいです（%1 件まで）。追加できませんでした。")
                    .arg(List1.ListCount()));
        }
    });
}

void MainForm::cll_Click() {
    editList([this] {
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
    });
}

void MainForm::allcll_Click() {
    editList([this] { List1.Clear(); });
}

// --- Undo ---

QStringList MainForm::playList() const {
    QStringList entries;
    entries.reserve(List1.ListCount());
    for (int i = 0; i < List1.ListCount(); ++i) entries << List1.List(i);
    return entries;
}

void MainForm::editList(const std::function<void()>& change) {
    QStringList before = playList();
    // Remembered also when the change stops half-way: what it did can be taken back.
    const auto remember = qScopeGuard([&] {
        if (playList() != before) history_.Remember(std::move(before));
    });
    change();
}

void MainForm::modosuMn_Click() {
    if (history_.IsEmpty()) return;
    const QStringList entries = history_.TakeLast();
    List1.Clear();
    for (const QString& entry : entries) List1.AddItem(entry);
}

// --- Play-list files, files from the desktop and the command line, moving entries ---

namespace {

const QString kListFilter = QStringLiteral("再生リスト (*.m3u);;すべてのファイル (*)");
// How many names a message lists before it only counts the rest.
constexpr int kNamesShown = 10;

QString nameList(const QStringList& names) {
    QStringList shown;
    for (const QString& name : names.mid(0, kNamesShown)) shown << forms::DisplayPath(name);
    if (names.size() > kNamesShown)
        shown << QStringLiteral("ほか %1 件").arg(names.size() - kNamesShown);
    return shown.join(QLatin1Char('\n'));
}

// A play-list file read: its entries as shown paths, and what the user should hear of it.
struct ListRead {
    bool ok = false;
    QStringList entries;
    QStringList notes;
};

ListRead readList(const QString& path) {
    const QString shown = forms::DisplayPath(path);
    ListRead read;
    playlistfile::Parsed parsed;
    try {
        forms::InputFile file(path);
        parsed = playlistfile::Parse(file.device());
    } catch (const forms::Error& e) {
        const QString why = e.Number() == forms::err::InvalidArgument
                                ? QStringLiteral("通常のファイルではありません。")
                                : e.Description();
        read.notes << QStringLiteral("再生リスト「%1」を開けませんでした。\n%2").arg(shown, why);
        return read;
    }
    if (!parsed.text) {
        read.notes << QStringLiteral(
                          "「%1」は再生リストとして読めません（テキストではないデータを含んでいま"
                          "す）。")
                          .arg(shown);
        return read;
    }
    read.ok = true;
    // Entries without a folder are relative to the list's own folder.
    const QByteArray folder = forms::NativePath(QFileInfo(path).absolutePath()) + '/';
    for (const QByteArray& line : parsed.paths)
        read.entries << forms::PathText(line.startsWith('/') ? line : folder + line);
    if (parsed.leftOut > 0)
        read.notes
            << QStringLiteral(
                   "再生リストに入るのは %1 件までです。「%2」の最初の %1 件を読み込み、残りの "
                   "%3 件は読み込みませんでした。")
                   .arg(QString::number(playlistfile::kMaxEntries), shown,
                        QString::number(parsed.leftOut));
    if (parsed.tooLong > 0)
        read.notes
            << QStringLiteral(
                   "「%1」の %2 行は長すぎてファイルのパスになり得ないため、読み飛ばしました。")
                   .arg(shown, QString::number(parsed.tooLong));
    if (parsed.refused > 0)
        read.notes << QStringLiteral(
                          "「%1」の %2 件は、ほかのコンピューターのファイルを指す URL などで、この"
                          "コンピューターのファイルのパスにならないため、読み込みませんでした。")
                          .arg(shown, QString::number(parsed.refused));
    return read;
}

// Appends entries while the list has room; returns how many did not fit.
int appendEntries(forms::ListBox& list, const QStringList& entries) {
    for (int i = 0; i < entries.size(); ++i) {
        try {
            list.AddItem(entries[i]);
        } catch (const forms::Error&) {
            return int(entries.size()) - i;
        }
    }
    return 0;
}

QString fullNote(int notAdded) {
    return QStringLiteral("再生リストがいっぱいのため（%1 件まで）、%2 件は追加できませんでした。")
        .arg(playlistfile::kMaxEntries)
        .arg(notAdded);
}

// Examined by its own bytes: a folder's name need not be text in any encoding.
bool isFolder(const QString& path) {
    struct stat st {};
    return ::stat(forms::NativePath(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The pictures under a folder, looked for on a thread of its own while the window goes on
// answering; nothing when the user cancels.
std::optional<forms::FolderPictures> picturesIn(const QString& dir) {
    auto cancel = std::make_shared<std::atomic<bool>>(false);
    const auto job =
        forms::jobs::startJob<forms::FolderPictures>([dir, cancel](std::atomic<unsigned>& seen) {
            return forms::CollectPictures(dir, *cancel, seen);
        });
    const bool finished = forms::WaitWithProgress(
        QStringLiteral("「%1」の中の画像を探しています。").arg(forms::DisplayPath(dir)),
        [&] {
            const std::lock_guard<std::mutex> lock(job->mutex);
            return job->done;
        },
        [&] { return QStringLiteral("%1 個のファイルを調べました。").arg(job->progress.load()); },
        [&] { *cancel = true; });
    if (!finished) return std::nullopt;
    const std::lock_guard<std::mutex> lock(job->mutex);
    return std::move(job->result);
}

QString skippedNote(int skipped) {
    return QStringLiteral(
               "フォルダの中の画像ではないファイルや読めないフォルダ %1 個は追加しませんでした。")
        .arg(skipped);
}

}  // namespace

void MainForm::lstOpenMn_Click() {
    const QString path =
        forms::GetOpenFileName(QStringLiteral("再生リストを開く"), kListFilter, Dirbox.Path());
    if (path.isEmpty()) return;
    const ListRead read = readList(path);
    if (read.ok) {
        editList([&] {
            List1.Clear();
            appendEntries(List1, read.entries);
        });
    }
    if (!read.notes.isEmpty()) forms::MsgBox(read.notes.join(QStringLiteral("\n\n")));
}

void MainForm::lstSaveMn_Click() {
    const QString path = forms::GetSaveFileName(QStringLiteral("再生リストを保存"), kListFilter,
                                                QStringLiteral("m3u"), Dirbox.Path());
    if (path.isEmpty()) return;
    QList<QByteArray> paths;
    for (int i = 0; i < List1.ListCount(); ++i) paths << forms::NativePath(List1.List(i));
    const playlistfile::Formatted list = playlistfile::Format(paths);
    try {
        forms::WriteFileReplacing(path, list.data);
    } catch (const forms::Error& e) {
        QString text = QStringLiteral("再生リストを「%1」に保存できませんでした。\n%2")
                           .arg(forms::DisplayPath(path), e.Description());
        if (QFileInfo(path).isFile())
            text += QStringLiteral("\n\nそこにあったファイルは変更していません。");
        forms::MsgBox(text);
        return;
    }
    if (list.leftOut.isEmpty()) return;
    QStringList names;
    for (int i : list.leftOut) {
        QString name = forms::DisplayPath(List1.List(i));
        name.replace(QLatin1Char('\n'), QStringLiteral("↵")).replace(QLatin1Char('\r'), QString());
        names << QStringLiteral("%1 番目: %2")
                     .arg(i + 1)
                     .arg(name.trimmed().isEmpty() ? QStringLiteral("（空の項目）") : name);
    }
    forms::MsgBox(QStringLiteral("再生リストを保存しましたが、次の %1 件は改行を含む名前などのため"
                                 "リストに書けず、保存していません。\n\n%2")
                      .arg(list.leftOut.size())
                      .arg(nameList(names)));
}

void MainForm::OpenFiles(const QStringList& paths) {
    QStringList notes, neither;
    int notAdded = 0, skipped = 0;
    editList([&] {
        for (const QString& path : paths) {
            // Only a full path names a file for certain: a relative one would be taken from
            // whatever folder the program is in now.
            if (!path.startsWith(QLatin1Char('/'))) {
                neither << path;
            } else if (path.endsWith(QLatin1String(".m3u"), Qt::CaseInsensitive)) {
                // Each list's entries are appended, so that every file named is kept.
                const ListRead read = readList(path);
                notAdded += appendEntries(List1, read.entries);
                notes << read.notes;
            } else if (forms::IsPictureFile(path)) {
                notAdded += appendEntries(List1, {path});
            } else if (isFolder(path)) {
                const auto found = picturesIn(path);
                if (!found) break;  // cancelled: the folders after it are left too
                notAdded += appendEntries(List1, found->pictures);
                skipped += found->skipped;
            } else {
                neither << path;
            }
        }
    });
    if (!neither.isEmpty())
        notes.prepend(
            QStringLiteral("次のファイルは見つからないか、画像（JPEG、BMP、GIF）でも再生リス"
                           "ト（.m3u）でもないため、追加しませんでした。\n\n%1")
                .arg(nameList(neither)));
    if (skipped > 0) notes << skippedNote(skipped);
    if (notAdded > 0) notes << fullNote(notAdded);
    // A picture opened from the desktop is also shown where it lies, as if clicked there.
    if (paths.size() == 1 && neither.isEmpty() && forms::IsPictureFile(paths.first()))
        showInBrowser(paths.first());
    if (!notes.isEmpty()) forms::MsgBox(notes.join(QStringLiteral("\n\n")));
}

void MainForm::List1_FilesDropped(const QStringList& paths) {
    int refused = 0, skipped = 0, notAdded = 0;
    editList([&] {
        for (const QString& path : paths) {
            // A file dropped is named by its full path; anything else (a URL of another
            // machine, a name holding a NUL) names no file here.
            if (!path.startsWith(QLatin1Char('/')) || path.contains(QChar(0))) {
                ++refused;
            } else if (forms::IsPictureFile(path)) {
                notAdded += appendEntries(List1, {path});
            } else if (isFolder(path)) {
                const auto found = picturesIn(path);
                if (!found) break;
                notAdded += appendEntries(List1, found->pictures);
                skipped += found->skipped;
            } else {
                ++refused;
            }
        }
    });
    QStringList notes;
    if (refused > 0)
        notes << QStringLiteral(
                     "画像（JPEG、BMP、GIF）ではないファイル %1 個は追加しませんでした。")
                     .arg(refused);
    if (skipped > 0) notes << skippedNote(skipped);
    if (notAdded > 0) notes << fullNote(notAdded);
    if (!notes.isEmpty()) forms::MsgBox(notes.join(QStringLiteral("\n\n")));
}

void MainForm::subeteMn_Click() {
    QStringList files;
    const QString dir = Dirbox.Path();
    for (int i = 0; i < filebox.ListCount(); ++i)
        files << dir + QLatin1Char('/') + filebox.FileName(i);
    int notAdded = 0;
    editList([&] { notAdded = appendEntries(List1, files); });
    if (notAdded > 0) forms::MsgBox(fullNote(notAdded));
}

void MainForm::List1_KeyDown(int16_t& KeyCode, int16_t Shift) {
    using namespace forms::key;
    if (KeyCode == Delete && Shift == 0) {
        KeyCode = 0;
        cll.Value = true;
        return;
    }
    if (Shift != AltMask || (KeyCode != Up && KeyCode != Down)) return;
    const int from = List1.ListIndex(), to = from + (KeyCode == Up ? -1 : 1);
    KeyCode = 0;
    if (from >= 0 && to >= 0 && to < List1.ListCount()) editList([&] { List1.MoveItem(from, to); });
}

void MainForm::List1_ItemDrag(int from, int to) {
    editList([&] { List1.MoveItem(from, to); });
}
