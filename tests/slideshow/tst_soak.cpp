// Long use: the slide show and the settings dialog opened and closed many times, and a long
// show. The memory the process holds must not keep growing.
#include <malloc.h>

#include <QFile>
#include <QPointer>
#include <QTest>

#include "core/forms.h"
#include "core/module1.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"
#include "support/testsupport.h"

namespace {

// Growth of the resident size that is taken for a leak: far above what the allocator's
// caches account for, far below what a leaked window or picture per round would add up to.
constexpr qint64 kMaxGrowthKb = 20 * 1024;
constexpr int kRounds = 200;
constexpr int kTicks = 1000;

qint64 residentKb() {
    // What the allocator keeps but does not use is given back first, so that only memory in
    // use is measured.
    malloc_trim(0);
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').at(0).toLongLong();
    return -1;
}

// Opens a window modally from the main window (`press`), runs `inside` while it is open and
// returns once it has closed and been deleted; whether it was deleted is returned. `inside`
// gives the window it closed, or nullptr when it went wrong: whatever is still open is then
// closed, so that the test fails rather than waits for ever.
bool openAndClose(const std::function<void()>& press, const std::function<QWidget*()>& inside) {
    QPointer<QWidget> window;
    bool done = false;
    testing::WhileModal(press, [&] {
        window = inside();
        done = window;
        if (!done) testing::CloseModals();
    });
    testing::Settle();
    return done && !window;
}

}  // namespace

class SoakTest : public QObject {
    Q_OBJECT

    QTemporaryDir dir_;
    QStringList pictures_;

    void report(const char* what, qint64 start, qint64 end) {
        qInfo("%s: VmRSS %lld KB at start, %lld KB at end (%+lld KB)", what, start, end,
              end - start);
        QVERIFY2(start > 0 && end > 0, "VmRSS cannot be read");
        if (!MEMORY_MEASURED) return;
        QVERIFY2(end - start < kMaxGrowthKb,
                 qPrintable(QStringLiteral("grew by %1 KB").arg(end - start)));
    }

    // One opening and closing of the slide show, closed by its own Unload or by a close
    // request from the window system.
    bool showOnce(bool unload) {
        return openAndClose([] { main_f->playS.Value = true; },
                            [unload]() -> QWidget* {
                                SlideShowForm* f = imv.peek();
                                if (!f) return nullptr;
                                QWidget* w = f->window();
                                testing::ShowTick(*f);  // the first picture
                                if (f->Image1.Picture().isNull()) return nullptr;
                                if (unload)
                                    f->Unload();
                                else
                                    w->close();
                                return w;
                            });
    }

    // One opening and closing of the settings dialog, by "OK" or by its close box.
    bool settingsOnce(bool ok) {
        return openAndClose([] { main_f->op.Value = true; },
                            [ok]() -> QWidget* {
                                SettingsForm* f = setei.peek();
                                if (!f) return nullptr;
                                QWidget* w = f->window();
                                if (ok) {
                                    f->Text1.Text = QStringLiteral("3");
                                    f->OKC1.Value = true;
                                } else {
                                    w->close();
                                }
                                return w;
                            });
    }

private slots:
    void initTestCase() {
        testing::InitRuntime();
        QVERIFY(dir_.isValid());
        const QList<QColor> colours{Qt::red, Qt::green, Qt::blue, Qt::yellow};
        for (int i = 0; i < 12; ++i) {
            const QString ext = QStringList{"jpg", "bmp", "gif"}.at(i % 3);
            pictures_ << testing::MakePicture(dir_.path(), QStringLiteral("p%1.%2").arg(i).arg(ext),
                                              QSize(40 + 7 * i, 30 + 5 * i), colours.at(i % 4));
        }
        main_f->Show();
        Module1::interval = 1;
        for (const QString& p : pictures_) main_f->List1.AddItem(p);
        // Whatever is built once for good (fonts, styles, image readers) is built here.
        QVERIFY2(showOnce(true), "the show did not load its first picture, or did not close");
        QVERIFY(settingsOnce(true));
    }
    void cleanupTestCase() { testing::UnloadAll(); }

    void slideShowOpenedAndClosed() {
        const qint64 start = residentKb();
        for (int i = 0; i < kRounds; ++i)
            QVERIFY2(showOnce(i % 2 == 0),
                     qPrintable(QStringLiteral("round %1: the show did not load its first "
                                               "picture, or did not close")
                                    .arg(i)));
        const qint64 end = residentKb();
        QCOMPARE(main_f->List1.ListCount(), pictures_.size());
        report("slide show opened and closed 200 times", start, end);
    }

    void settingsOpenedAndClosed() {
        const qint64 start = residentKb();
        for (int i = 0; i < kRounds; ++i)
            QVERIFY2(settingsOnce(i % 2 == 0), qPrintable(QString::number(i)));
        const qint64 end = residentKb();
        QCOMPARE(Module1::interval, int16_t(3));
        report("settings dialog opened and closed 200 times", start, end);
    }

    // A thousand files clicked with the preview on.
    void longPreview() {
        MainForm& f = *main_f;
        f.Dirbox.Path = dir_.path();
        f.filebox.Pattern = QStringLiteral("*.*");
        QCOMPARE(f.filebox.ListCount(), pictures_.size());
        f.ckp.Value = 1;
        const qint64 start = residentKb();
        int shown = 0;
        for (int k = 0; k < kTicks; ++k) {
            f.filebox.ListIndex = k % f.filebox.ListCount();
            f.filebox.Click();
            testing::SettlePreview();
            if (!f.imP1.Picture().isNull()) ++shown;
        }
        const qint64 end = residentKb();
        f.ckp.Value = 0;
        QCOMPARE(shown, kTicks);
        report("1,000 files previewed", start, end);
    }

    // A show of a thousand pictures, tick by tick, to its end.
    void longShow() {
        main_f->List1.Clear();
        for (int i = 0; i < kTicks; ++i) main_f->List1.AddItem(pictures_.at(i % pictures_.size()));
        testing::MsgBoxes boxes;
        qint64 start = 0, end = 0;
        int shown = 0;
        const bool closed = openAndClose([] { main_f->playS.Value = true; },
                                         [&]() -> QWidget* {
                                             SlideShowForm* f = imv.peek();
                                             if (!f) return nullptr;
                                             QWidget* w = f->window();
                                             start = residentKb();
                                             for (int k = 0; k < kTicks; ++k) {
                                                 testing::ShowTick(*f);
                                                 if (!f->Image1.Picture().isNull()) ++shown;
                                             }
                                             end = residentKb();
                                             testing::ShowTick(*f);  // the end
                                             return w;
                                         });
        QVERIFY(closed);
        QCOMPARE(shown, kTicks);
        QCOMPARE(boxes.texts, QStringList{QStringLiteral("終了しました。")});
        QCOMPARE(main_f->List1.ListCount(), kTicks);
        report("a show of 1,000 pictures", start, end);
    }
};

QTEST_MAIN(SoakTest)
#include "tst_soak.moc"
