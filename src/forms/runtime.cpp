#include "forms/runtime.h"

#include <QAbstractButton>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QApplication>
#include <QLayout>
#include <QMessageBox>
#include <QScopeGuard>
#include <QScreen>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <new>

#include "forms/form.h"

namespace forms {

namespace {

QString g_title;
std::function<void()> g_endAction;

void report(int number, const QString& description) {
    MsgBox(QStringLiteral("実行時エラー '%1':\n\n%2").arg(number).arg(description));
}

}  // namespace

void SetAppTitle(const QString& title) { g_title = title; }
QString AppTitle() { return g_title; }

namespace {

// The program's message box: announced to screen readers as a dialog, titled with the
// application's title and described by its text.
class MessageBox : public QMessageBox {
public:
    using QMessageBox::QMessageBox;

protected:
    // A message box sizes itself to its screen: on one that reports no size it would be given
    // none, and never appear. It takes the size its text needs instead, centred on the area
    // windows fall back to.
    bool event(QEvent* e) override {
        const bool handled = QMessageBox::event(e);
        const QRect screen = this->screen() ? this->screen()->geometry() : QRect();
        if (isVisible() && (screen.width() < 64 || screen.height() < 64) &&
            (e->type() == QEvent::Show || e->type() == QEvent::LayoutRequest) &&
            (width() < 64 || height() < 32)) {
            const int w = std::max(layout()->totalMinimumSize().width(), 320);
            const int h = layout()->hasHeightForWidth() ? layout()->totalHeightForWidth(w)
                                                        : layout()->totalMinimumSize().height();
            setFixedSize(w, h);
            QRect frame(QPoint(), size());
            frame.moveCenter(ScreenArea(parentWidget()).center());
            move(frame.topLeft());
        }
        return handled;
    }
};

int g_messagesPending = 0;

QAccessibleInterface* accessibleMessageBox(const QString&, QObject* object) {
    auto* box = dynamic_cast<MessageBox*>(object);
    return box ? new QAccessibleWidget(box, QAccessible::Dialog) : nullptr;
}

int showMessage(QMessageBox& box, const QString& prompt) {
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleMessageBox);
        return true;
    }();
    (void)accessible;
    box.setAccessibleDescription(prompt);
    box.setWindowModality(Qt::ApplicationModal);
    // Counted until the box is gone, however its loop is left.
    ++g_messagesPending;
    const auto answered = qScopeGuard([] { --g_messagesPending; });
    return box.exec();
}
}  // namespace

void MsgBox(const QString& prompt) {
    MessageBox box(QMessageBox::NoIcon, g_title, prompt, QMessageBox::Ok,
                   QApplication::activeWindow());
    showMessage(box, prompt);
}

bool MsgBoxOkCancel(const QString& prompt) {
    MessageBox box(QMessageBox::NoIcon, g_title, prompt, QMessageBox::Ok | QMessageBox::Cancel,
                   QApplication::activeWindow());
    box.setDefaultButton(QMessageBox::Cancel);
    box.button(QMessageBox::Cancel)->setText(QStringLiteral("キャンセル"));
    return showMessage(box, prompt) == QMessageBox::Ok;
}

bool MessagePending() { return g_messagesPending > 0; }

void End() {
    if (g_endAction) g_endAction();
    std::fflush(nullptr);
    std::_Exit(0);
}

void SetEndAction(std::function<void()> action) { g_endAction = std::move(action); }

int16_t CInt(const QString& text) {
    const QString t = text.trimmed();
    int i = 0;
    if (i < t.size() && (t[i] == u'+' || t[i] == u'-')) ++i;
    if (i == t.size()) Raise(err::TypeMismatch);
    long value = 0;
    for (int k = i; k < t.size(); ++k) {
        if (t[k] < u'0' || t[k] > u'9') Raise(err::TypeMismatch);
        value = value * 10 + (t[k].unicode() - u'0');
        if (value > 32768) Raise(err::Overflow);
    }
    if (t[0] == u'-') value = -value;
    if (value > 32767 || value < -32768) Raise(err::Overflow);
    return static_cast<int16_t>(value);
}

void Dispatch(const std::function<void()>& handler) {
    if (!handler) return;
    try {
        handler();
    } catch (const Error& e) {
        report(e.Number(), e.Description());
    } catch (const EndRequested&) {
        // A test's End: the handler's remainder has been skipped.
    } catch (const std::bad_alloc&) {
        report(err::OutOfMemory, Describe(err::OutOfMemory));
    } catch (const std::exception& e) {
        report(0, QString::fromUtf8(e.what()));
    } catch (...) {
        report(0, Describe(0));
    }
}

}  // namespace forms
