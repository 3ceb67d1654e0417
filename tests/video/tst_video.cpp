// The show as a video: an export of solid pictures checked with ffprobe and frames taken out
// of it, cancelling, a folder that cannot be written, and the dialog that starts it.
#include <unistd.h>

#include <QDir>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>

#include "core/forms.h"
#include "core/module1.h"
#include "export/douga.h"
#include "mainwindow/main_f.h"
#include "support/testsupport.h"
#include "video/exporter.h"

namespace {

QByteArray run(const QString& program, const QStringList& args) {
    QProcess p;
    p.start(program, args);
    p.waitForFinished(60000);
    return p.readAllStandardOutput();
}

// One value ffprobe gives of a stream ("v:0", "a:0").
QString probe(const QString& file, const QString& stream, const QString& entry) {
    return QString::fromUtf8(
               run("ffprobe", {"-v", "error", "-select_streams", stream, "-show_entries",
                               "stream=" + entry, "-of", "default=nw=1:nk=1", file}))
        .trimmed();
}

// The colour at the centre of the frame shown at `seconds`.
QColor centre(const QString& file, double seconds, QSize size) {
    const QByteArray rgb =
        run("ffmpeg",
            {"-v", "error", "-ss", QString::number(seconds), "-i", file, "-frames:v", "1", "-vf",
             QStringLiteral("crop=2:2:%1:%2").arg(size.width() / 2).arg(size.height() / 2), "-f",
             "rawvideo", "-pix_fmt", "rgb24", "-"});
    if (rgb.size() < 3) return {};
    return QColor(uchar(rgb[0]), uchar(rgb[1]), uchar(rgb[2]));
}

// A WAV of a tone, `seconds` long.
void writeWav(const QString& path, double seconds) {
    const int rate = 22050, n = int(rate * seconds);
    QByteArray data;
    for (int i = 0; i < n; ++i) {
        const qint16 s = qint16(8000 * std::sin(i * 2 * M_PI * 440 / rate));
        data.append(reinterpret_cast<const char*>(&s), 2);
    }
    auto le = [](quint32 v, int bytes) { return QByteArray(reinterpret_cast<char*>(&v), bytes); };
    testing::WriteFile(path, "RIFF" + le(36 + data.size(), 4) + "WAVEfmt " + le(16, 4) + le(1, 2) +
                                 le(1, 2) + le(rate, 4) + le(rate * 2, 4) + le(2, 2) + le(16, 2) +
                                 "data" + le(data.size(), 4) + data);
}

QStringList entries(const QDir& dir) {
    return dir.entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot);
}

}  // namespace

class VideoTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() { testing::InitRuntime(); }

    // Each picture held for its interval, in order, at the size and in the codec chosen; an
    // entry that is no picture left out and counted; music as long as the video.
    void exportShow_data() {
        QTest::addColumn<bool>("fit");
        QTest::addColumn<bool>("music");
        QTest::newRow("own size, music") << false << true;
        QTest::newRow("fitted, fade, no music") << true << false;
    }
    void exportShow() {
        QFETCH(bool, fit);
        QFETCH(bool, music);
        if (QStandardPaths::findExecutable("ffprobe").isEmpty() ||
            QStandardPaths::findExecutable("ffmpeg").isEmpty())
            QSKIP("ffprobe and ffmpeg are needed");
        QTemporaryDir dir;
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue};
        forms::VideoOptions o;
        o.seconds = 1;
        o.size = {1280, 720};
        o.fit = o.fade = fit;
        o.caption = true;
        for (int i = 0; i < colours.size(); ++i) {
            o.paths << testing::MakePicture(dir.path(), QStringLiteral("%1.png").arg(i),
                                            fit ? QSize(2000, 1500) : QSize(320, 200), colours[i]);
            if (i == 0) o.paths << dir.filePath("gone.jpg");
        }
        if (music) writeWav(o.music = dir.filePath("tone.wav"), 1.3);
        o.target = dir.filePath("show.mp4");
        const std::atomic<bool> never{false};
        const forms::VideoResult r = forms::ExportVideo(o, never);
        QVERIFY2(r.ok, qPrintable(r.error));
        QCOMPARE(r.pictures, 3);
        QCOMPARE(r.leftOut, 1);
        QCOMPARE(probe(o.target, "v:0", "codec_name,width,height,pix_fmt"),
                 QStringLiteral("h264\n1280\n720\nyuv420p"));
        QVERIFY(std::abs(probe(o.target, "v:0", "duration").toDouble() - 3) <= 1.0 / 30 + 1e-6);
        const QString audio = probe(o.target, "a:0", "codec_name,duration");
        if (music) {
            QVERIFY2(audio.startsWith("aac\n"), qPrintable(audio));
            QVERIFY2(std::abs(audio.section('\n', 1).toDouble() - 3) < 0.05, qPrintable(audio));
        } else {
            QVERIFY(audio.isEmpty());
        }
        for (int i = 0; i < colours.size(); ++i) {
            const QColor c = centre(o.target, i + 0.5, o.size);
            QVERIFY2(std::abs(c.red() - colours[i].red()) < 16 &&
                         std::abs(c.green() - colours[i].green()) < 16 &&
                         std::abs(c.blue() - colours[i].blue()) < 16,
                     qPrintable(QStringLiteral("picture %1: %2").arg(i).arg(c.name())));
        }
        QCOMPARE(entries(QDir(dir.path())).filter(".mp4"), QStringList{"show.mp4"});
    }

    // Cancelling halfway, a folder that cannot be written and music that cannot be read leave
    // no file; the cause is named.
    void noFile_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("cause");
        QTest::newRow("cancelled") << QString() << QString();
        QTest::newRow("read-only folder") << "readonly" << QStringLiteral("権限");
        QTest::newRow("missing folder") << "missing" << QStringLiteral("見つかりません");
        QTest::newRow("music that is no sound") << "" << QStringLiteral("音楽のファイル「");
        QTest::newRow("a link to a device") << "" << QStringLiteral("通常のファイルではありません");
    }
    void noFile() {
        QFETCH(QString, folder);
        QFETCH(QString, cause);
        QTemporaryDir dir;
        QDir out(dir.path());
        forms::VideoOptions o;
        o.seconds = 1;
        o.size = {1280, 720};
        for (int i = 0; i < 4; ++i)
            o.paths << testing::MakePicture(dir.path(), QStringLiteral("%1.png").arg(i), {64, 64},
                                            Qt::yellow);
        if (folder == "readonly") {
            // The super-user writes anywhere a mode forbids; no one writes in /sys.
            out.mkdir(folder);
            QFile::setPermissions(dir.filePath(folder), QFile::ReadOwner | QFile::ExeOwner);
            out.setPath(::geteuid() == 0 ? QStringLiteral("/sys") : dir.filePath(folder));
        } else if (!folder.isEmpty()) {
            out.setPath(dir.filePath(folder));
        }
        if (cause.startsWith(QStringLiteral("音楽"))) o.music = o.paths.first();
        o.target = out.filePath("show.mp4");
        const bool link = cause.startsWith(QStringLiteral("通常"));
        if (link) QVERIFY(QFile::link("/dev/null", o.target));
        const QStringList before = entries(out);
        std::atomic<bool> cancel{false};
        const forms::VideoResult r =
            forms::ExportVideo(o, cancel, [&](const forms::VideoProgress& p) {
                QCOMPARE(p.total, 4);
                if (p.index == 2) cancel = true;
            });
        QVERIFY(!r.ok);
        QCOMPARE(r.cancelled, cause.isEmpty());
        QVERIFY2(r.error.contains(cause), qPrintable(r.error));
        QCOMPARE(entries(out), before);
        if (link) QCOMPARE(QFileInfo(o.target).symLinkTarget(), QStringLiteral("/dev/null"));
    }

    // From the menu: an empty list is refused; the dialog asks before replacing a file, writes
    // the video or names the cause.
    void dialog_data() {
        QTest::addColumn<int>("pictures");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty list") << 0 << "" << QStringLiteral("再生リストが空です");
        QTest::newRow("written") << 2 << "" << QStringLiteral("動画を書き出しました（2 枚）");
        QTest::newRow("existing file, replaced")
            << 2 << "."
            << QStringLiteral("「%1」は既にあります。上書きしますか?|動画を書き出しました");
        QTest::newRow("folder not writable")
            << 2 << "missing" << QStringLiteral("動画を書き出せませんでした");
    }
    void dialog() {
        QFETCH(int, pictures);
        QFETCH(QString, folder);
        QFETCH(QString, message);
        QTemporaryDir dir;
        MainForm& m = *main_f;
        m.Show();
        Module1::interval = 1;
        m.List1.Clear();
        for (int i = 0; i < pictures; ++i)
            m.List1.AddItem(testing::MakePicture(dir.path(), QStringLiteral("%1.png").arg(i),
                                                 {64, 48}, Qt::cyan));
        const QString target = dir.path() + '/' + folder + "/show.mp4";
        if (folder == ".") testing::WriteFile(target, "old");
        testing::MsgBoxes boxes;
        const auto fill = [&] {
            ExportForm& f = *douga;
            QCOMPARE(f.Combo1.Text(), QStringLiteral("1920x1080"));
            f.Text1.Text = target;
            f.Combo1.Text = QStringLiteral("1280x720");
            f.OKC1.Value = true;
            if (douga.peek()) douga->Unload();
        };
        if (pictures == 0)
            m.dougaMn.action()->trigger();  // no dialog opens
        else
            testing::WhileModal([&] { m.dougaMn.action()->trigger(); }, fill);
        const QStringList expected = message.arg(QDir::cleanPath(target)).split('|');
        QCOMPARE(boxes.texts.size(), expected.size());
        for (int i = 0; i < expected.size(); ++i)
            QVERIFY2(boxes.texts[i].startsWith(expected[i]), qPrintable(boxes.texts[i]));
        QCOMPARE(QFileInfo(target).size() > 3, message.contains("しました"));
        testing::UnloadAll();
    }
};

QTEST_MAIN(VideoTest)
#include "tst_video.moc"
