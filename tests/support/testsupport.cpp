#include "support/testsupport.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <condition_variable>
#include <mutex>

#include "core/forms.h"
#include "forms/filecontrols.h"
#include "forms/filedialogs.h"
#include "forms/runtime.h"
#include "mainwindow/main_f.h"
#include "settings/setei.h"
#include "slideshow/imv.h"
#include "system/jobs.h"

namespace testing {

namespace {
int g_ends = 0;
}

void InitRuntime() {
    forms::SetAppTitle(QStringLiteral("varnel"));
    forms::SetEndAction([] {
        ++g_ends;
        throw forms::EndRequested{};
    });
}

int EndCount() { return g_ends; }

MsgBoxes::MsgBoxes() : timer_(new QTimer) {
    timer_->setInterval(0);
    QObject::connect(timer_, &QTimer::timeout, [this] {
        // Each box is looked for afresh: answering one may run code that deletes windows.
        for (;;) {
            QPointer<QMessageBox> box;
            for (QWidget* w : QApplication::topLevelWidgets()) {
                auto* b = qobject_cast<QMessageBox*>(w);
                if (b && b->isVisible() && !b->property("answered").toBool()) {
                    box = b;
                    break;
                }
            }
            if (!box) return;
            box->setProperty("answered", true);
            texts << box->text();
            titles << box->windowTitle();
            if (onShown) onShown(box->text());
            if (box && box->isVisible()) box->button(QMessageBox::Ok)->click();
        }
    });
    timer_->start();
}

MsgBoxes::~MsgBoxes() { delete timer_; }

void WhileModal(const std::function<void()>& start, const std::function<void()>& inside) {
    QTimer::singleShot(0, inside);
    start();
}

void CloseModals() {
    if (auto* f = imv.peek()) f->Unload();
    if (auto* f = setei.peek()) f->Unload();
    for (int i = 0; i < 10; ++i) {
        QPointer<QWidget> modal = QApplication::activeModalWidget();
        if (!modal) break;
        modal->close();
        if (modal && modal->isVisible()) modal->hide();
    }
}

struct Hang::State {
    QList<QByteArray> paths;
    std::mutex mutex;
    std::condition_variable released;
    bool over = false;
};

Hang::Hang(QList<QByteArray> paths) : state_(std::make_shared<State>()) {
    state_->paths = std::move(paths);
    forms::SetFileSystemHook([state = state_](const QByteArray& path) {
        if (!state->paths.contains(path)) return;
        std::unique_lock<std::mutex> lock(state->mutex);
        state->released.wait(lock, [&] { return state->over; });
    });
}

Hang::~Hang() {
    forms::SetFileSystemHook(nullptr);
    const std::lock_guard<std::mutex> lock(state_->mutex);
    state_->over = true;
    state_->released.notify_all();
}

void SettlePreview() {
    if (!QTest::qWaitFor([] { return !main_f->PreviewPending(); }, 20000))
        qWarning("the preview was not shown within 20 s");
}

void ShowTick(SlideShowForm& show) {
    show.Timer1.Tick();
    if (!QTest::qWaitFor([] { return !imv.peek() || !imv.peek()->Waiting(); }, 20000))
        qWarning("the show's picture was not put up within 20 s");
}

void UnloadAll() {
    if (auto* f = imv.peek()) f->Unload();
    if (auto* f = setei.peek()) f->Unload();
    if (auto* f = main_f.peek()) f->Unload();
    Settle();
}

void Settle() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace testing
