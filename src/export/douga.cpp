#include "export/douga.h"

#include <QDir>
#include <QFileInfo>
#include <memory>
#include <mutex>
#include <thread>

#include "core/forms.h"
#include "core/module1.h"
#include "forms/filedialogs.h"
#include "forms/progress.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "system/filenames.h"
#include "video/exporter.h"

using forms::Kind;

forms::FormRef<ExportForm> douga;

ExportForm::ExportForm()
    : Form(
          {QStringLiteral("動画として書き出す"), forms::Border::FixedSingle, 45, 330, 6660, 3360},
          {
              {"Label1", Kind::Label, QStringLiteral("ファイル:"), nullptr, 240, 300, 900, 255, -1},
              {"Text1",
               Kind::TextBox,
               {},
               nullptr,
               1200,
               240,
               3900,
               300,
               0,
               0,
               QStringLiteral("ファイル")},
              {"Command2", Kind::CommandButton, QStringLiteral("参照..."), nullptr, 5220, 210, 1215,
               360, 1},
              {"Label2", Kind::Label, QStringLiteral("大きさ:"), nullptr, 240, 780, 900, 255, -1},
              {"Combo1",
               Kind::ComboBox,
               {},
               nullptr,
               1200,
               720,
               1800,
               300,
               2,
               0,
               QStringLiteral("大きさ")},
              {"Check1", Kind::CheckBox, QStringLiteral("大きな画像を動画に合わせる"), nullptr,
               1200, 1200, 4200, 300, 3},
              {"Check2", Kind::CheckBox, QStringLiteral("フェード"), nullptr, 1200, 1560, 1800, 300,
               4},
              {"Check3", Kind::CheckBox, QStringLiteral("ファイル名を表示"), nullptr, 3120, 1560,
               2400, 300, 5},
              {"Label3", Kind::Label, QStringLiteral("音楽:"), nullptr, 240, 2040, 900, 255, -1},
              {"Text2",
               Kind::TextBox,
               {},
               nullptr,
               1200,
               1980,
               3900,
               300,
               6,
               0,
               QStringLiteral("音楽（なしは空欄）")},
              {"Command3", Kind::CommandButton, QStringLiteral("参照..."), nullptr, 5220, 1950,
               1215, 360, 7},
              {"OKC1", Kind::CommandButton, QStringLiteral("書き出す"), nullptr, 3900, 2640, 1215,
               495, 8},
              {"Command1", Kind::CommandButton, QStringLiteral("キャンセル"), nullptr, 5220, 2640,
               1215, 495, 9},
          }) {}

namespace {

const QString kVideoFilter = QStringLiteral("MP4 動画 (*.mp4)");
const QString kMusicFilter = QStringLiteral(
    "音楽 (*.mp3 *.aac *.m4a *.ogg *.oga *.opus *.flac *.wav);;すべてのファイル (*)");

// An export on a thread of its own, shared with the window that waits for it: the worker may
// outlive the wait.
struct Job {
    std::atomic<bool> cancel{false};
    std::atomic<bool> done{false};
    std::mutex mutex;
    forms::VideoProgress progress;
    forms::VideoResult result;
};

QString statusOf(Job& job) {
    const std::lock_guard<std::mutex> lock(job.mutex);
    const forms::VideoProgress p = job.progress;
    QString text = QStringLiteral("%1 / %2 枚目").arg(p.index + 1).arg(p.total);
    if (p.secondsLeft >= 0) text += QStringLiteral("　残り約 %1 秒").arg(qRound(p.secondsLeft));
    return text;
}

}  // namespace

void ExportForm::wire() {
    Command2.Click = [this] { Command2_Click(); };
    Command3.Click = [this] { Command3_Click(); };
    OKC1.Click = [this] { OKC1_Click(); };
    Command1.Click = [this] { Command1_Click(); };
}

void ExportForm::Form_Load() {
    // The folder being browsed; the show's options as they are ticked.
    Text1.Text = QDir(main_f->Dirbox.Path()).filePath(QStringLiteral("スライドショー.mp4"));
    for (const char* size : {"1280x720", "1920x1080", "3840x2160"})
        Combo1.AddItem(QString::fromLatin1(size));
    Combo1.Text = QStringLiteral("1920x1080");
    Check1.Value = main_f->awaseMn.Checked() ? 1 : 0;
    Check2.Value = main_f->fadeMn.Checked() ? 1 : 0;
    Check3.Value = main_f->captionMn.Checked() ? 1 : 0;
}

void ExportForm::Command2_Click() {
    const QString path =
        forms::GetSaveFileName(QStringLiteral("動画として書き出す"), kVideoFilter,
                               QStringLiteral("mp4"), QFileInfo(Text1.Text()).absoluteFilePath());
    if (path.isEmpty()) return;
    Text1.Text = path;
    confirmed_ = QFileInfo(path).absoluteFilePath();
}

void ExportForm::Command3_Click() {
    const QString folder =
        Text2.Text().isEmpty() ? main_f->Dirbox.Path() : QFileInfo(Text2.Text()).absolutePath();
    const QString path = forms::GetOpenFileName(QStringLiteral("音楽を選ぶ"), kMusicFilter, folder);
    if (!path.isEmpty()) Text2.Text = path;
}

void ExportForm::Command1_Click() { Unload(); }

void ExportForm::OKC1_Click() {
    forms::VideoOptions o;
    o.target = Text1.Text().trimmed();
    if (o.target.isEmpty()) {
        forms::MsgBox(QStringLiteral("書き出すファイルの名前を入力してください。"));
        return;
    }
    if (QFileInfo(o.target).suffix().isEmpty()) o.target += QStringLiteral(".mp4");
    o.target = QFileInfo(o.target).absoluteFilePath();
    const QStringList size = Combo1.Text().split(QLatin1Char('x'));
    o.size = size.size() == 2 ? QSize(size[0].toInt(), size[1].toInt()) : QSize();
    if (!QList<QSize>{{1280, 720}, {1920, 1080}, {3840, 2160}}.contains(o.size)) {
        forms::MsgBox(
            QStringLiteral("大きさは 1280x720、1920x1080、3840x2160 のどれかを選んでください。"));
        return;
    }
    o.seconds = Module1::interval;
    if (o.seconds < 1) {
        forms::MsgBox(QStringLiteral("画像の切り替えタイミングを設定で1秒以上にしてください。"));
        return;
    }
    const QFileInfo target(o.target);
    if (target.isDir()) {
        forms::MsgBox(QStringLiteral("「%1」はフォルダです。ファイルの名前を入力してください。")
                          .arg(forms::DisplayPath(o.target)));
        return;
    }
    if (target.exists() && o.target != confirmed_ &&
        !forms::MsgBoxOkCancel(QStringLiteral("「%1」は既にあります。上書きしますか?")
                                   .arg(forms::DisplayPath(o.target))))
        return;
    o.fit = Check1.Value() != 0;
    o.fade = Check2.Value() != 0;
    o.caption = Check3.Value() != 0;
    o.shuffle = main_f->shuffleMn.Checked();
    o.music = Text2.Text().trimmed();
    for (int i = 0; i < main_f->List1.ListCount(); ++i) o.paths << main_f->List1.List(i);

    auto job = std::make_shared<Job>();
    job->progress.total = int(o.paths.size());
    std::thread([job, o] {
        forms::VideoResult result =
            forms::ExportVideo(o, job->cancel, [&job](const forms::VideoProgress& p) {
                const std::lock_guard<std::mutex> lock(job->mutex);
                job->progress = p;
            });
        const std::lock_guard<std::mutex> lock(job->mutex);
        job->result = std::move(result);
        job->done = true;
    }).detach();
    forms::WaitWithProgress(
        QStringLiteral("動画を書き出しています..."), [&job] { return job->done.load(); },
        [&job] { return statusOf(*job); }, [&job] { job->cancel = true; });

    const forms::VideoResult r = [&job] {
        const std::lock_guard<std::mutex> lock(job->mutex);
        return job->result;
    }();
    if (r.cancelled) return;  // nothing was written, as the user asked
    if (!r.ok) {
        forms::MsgBox(QStringLiteral("動画を書き出せませんでした。\n%1\n\n%2")
                          .arg(forms::DisplayPath(o.target), r.error));
        return;
    }
    QString text = QStringLiteral("動画を書き出しました（%1 枚）。\n%2")
                       .arg(r.pictures)
                       .arg(forms::DisplayPath(o.target));
    if (r.leftOut > 0)
        text += QStringLiteral("\n\n表示できない %1 個の項目は入れませんでした。").arg(r.leftOut);
    forms::MsgBox(text);
    Unload();
}
