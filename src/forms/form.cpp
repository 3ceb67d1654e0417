#include "forms/form.h"

#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <algorithm>
#include <stdexcept>

#include "forms/controls.h"
#include "forms/runtime.h"
#include "forms/twips.h"

namespace forms {

namespace {

std::function<void()> g_lastFormUnloaded;
int g_loaded = 0;

// Lets a form's menu shortcuts win over the editing keys of the control that has the focus
// (Ctrl+C in a text box is a menu command of the window, not a copy).
class ShortcutGuard : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override;
};

}  // namespace

namespace {

int keyCode(int key) {
    switch (key) {
        case Qt::Key_Escape:
            return vbKeyEscape;
        case Qt::Key_Space:
            return vbKeySpace;
        case Qt::Key_PageUp:
            return vbKeyPageUp;
        case Qt::Key_PageDown:
            return vbKeyPageDown;
        case Qt::Key_Left:
            return vbKeyLeft;
        case Qt::Key_Right:
            return vbKeyRight;
        default:
            return 0;
    }
}

}  // namespace

QRect ScreenArea(QWidget* owner) {
    if (!owner) owner = QApplication::activeWindow();
    QScreen* screen = owner ? owner->screen() : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->geometry() : QRect();
    if (area.width() < 64 || area.height() < 64) return QRect(area.topLeft(), QSize(1024, 768));
    return area;
}

// The top-level window of a form; its close box unloads the form.
class FormWindow : public QMainWindow {
public:
    explicit FormWindow(Form& form) : form_(form) {}
    Form& form() const { return form_; }

protected:
    void closeEvent(QCloseEvent* event) override {
        event->ignore();
        Dispatch([this] { form_.Unload(); });
    }
    void keyPressEvent(QKeyEvent* event) override {
        const int code = keyCode(event->key());
        if (!code || !form_.KeyDown) {
            QMainWindow::keyPressEvent(event);
            return;
        }
        event->accept();
        form_.raiseEvent([this, code] { form_.KeyDown(code); });
    }

private:
    Form& form_;
};

namespace {

// The client area: controls are its children; a double-click on it (not on a control) is
// the form's double-click.
class ClientArea : public QWidget {
public:
    ClientArea(Form& form, QWidget* parent) : QWidget(parent), form_(form) {}

protected:
    void mouseDoubleClickEvent(QMouseEvent* event) override {
        event->accept();
        form_.raiseEvent(form_.DblClick);
    }

private:
    Form& form_;
};

bool ShortcutGuard::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ShortcutOverride || !watched->isWidgetType()) return false;
    auto* window = dynamic_cast<FormWindow*>(static_cast<QWidget*>(watched)->window());
    if (!window) return false;
    const QKeySequence pressed(static_cast<QKeyEvent*>(event)->keyCombination());
    for (Menu* menu : window->form().menus()) {
        QAction* action = menu->action();
        if (action && !action->shortcut().isEmpty() && action->shortcut() == pressed) {
            event->ignore();
            return true;
        }
    }
    return false;
}

// A form's window, as screen readers see it: a dialog once it is shown over its owner.
class AccessibleFormWindow : public QAccessibleWidget {
public:
    explicit AccessibleFormWindow(QWidget* window)
        : QAccessibleWidget(window, QAccessible::Window) {}
    QAccessible::Role role() const override {
        return widget()->windowType() == Qt::Dialog ? QAccessible::Dialog : QAccessible::Window;
    }
};

QAccessibleInterface* accessibleFormWindow(const QString&, QObject* object) {
    auto* window = dynamic_cast<FormWindow*>(object);
    return window ? new AccessibleFormWindow(window) : nullptr;
}

// A rectangle of the layout in the form's coordinates, twips.
struct Area {
    int left, top, right, bottom;
    bool contains(const Area& a) const {
        return a.left >= left && a.top >= top && a.right <= right && a.bottom <= bottom;
    }
};

Area areaOf(const ControlLayout& row, const std::vector<ControlLayout>& rows) {
    Area a{row.left, row.top, row.left + row.width, row.top + row.height};
    if (!row.container) return a;
    for (const ControlLayout& frame : rows) {
        if (QLatin1String(frame.name) != QLatin1String(row.container)) continue;
        const Area outer = areaOf(frame, rows);
        return {a.left + outer.left, a.top + outer.top, a.right + outer.left, a.bottom + outer.top};
    }
    return a;
}

QString kindName(Kind kind) {
    switch (kind) {
        case Kind::DriveListBox:
            return QStringLiteral("ドライブ");
        case Kind::DirListBox:
            return QStringLiteral("フォルダー");
        case Kind::FileListBox:
            return QStringLiteral("ファイル");
        case Kind::Image:
            return QStringLiteral("画像");
        default:
            return {};
    }
}

// Screen readers announce each control by the caption that labels it on screen. Buttons,
// check boxes, frames and labels carry their own. Any other control takes the label just
// above it or just to its left (which becomes its buddy), else the caption of the innermost
// frame it lies in, whether it belongs to the frame or is drawn over it; else the name the
// layout gives it, else its kind's.
void nameForScreenReaders(Form& form) {
    constexpr int kNear = 600;  // twips: a label further away labels something else
    const std::vector<ControlLayout>& rows = form.controlLayout();
    for (const ControlLayout& row : rows) {
        switch (row.kind) {
            case Kind::TextBox:
            case Kind::ListBox:
            case Kind::ComboBox:
            case Kind::Image:
            case Kind::DriveListBox:
            case Kind::DirListBox:
            case Kind::FileListBox:
                break;
            default:
                continue;
        }
        QWidget* widget = form.control(QString::fromLatin1(row.name))->widget();
        if (!widget) continue;
        const Area area = areaOf(row, rows);
        QLabel* label = nullptr;
        QString name;
        int nearest = kNear + 1;
        long smallest = -1;
        for (const ControlLayout& other : rows) {
            if (&other == &row || (other.flags & Hidden)) continue;
            const Area o = areaOf(other, rows);
            if (other.kind == Kind::Label) {
                const bool overlapsX = o.left < area.right && area.left < o.right;
                const bool overlapsY = o.top < area.bottom && area.top < o.bottom;
                int distance = kNear + 1;
                if (overlapsX && o.bottom <= area.top) distance = area.top - o.bottom;
                if (overlapsY && o.right <= area.left)
                    distance = std::min(distance, area.left - o.right);
                if (distance < nearest) {
                    nearest = distance;
                    label = qobject_cast<QLabel*>(
                        form.control(QString::fromLatin1(other.name))->widget());
                }
            } else if (other.kind == Kind::Frame && !label && o.contains(area)) {
                const long size = long(o.right - o.left) * (o.bottom - o.top);
                if (smallest < 0 || size < smallest) {
                    smallest = size;
                    name = other.caption;
                }
            }
        }
        if (label) {
            label->setBuddy(widget);
            name = label->text();
        }
        if (name.isEmpty()) name = row.accessibleName;
        if (name.isEmpty()) name = kindName(row.kind);
        name.remove(QLatin1Char('&'));
        widget->setAccessibleName(name);
    }
}

void installShortcutGuard() {
    static ShortcutGuard* guard = [] {
        auto* g = new ShortcutGuard;
        g->setParent(qApp);
        qApp->installEventFilter(g);
        QAccessible::installFactory(accessibleFormWindow);
        return g;
    }();
    (void)guard;
}

}  // namespace

Form::Form(FormLayout layout, std::vector<ControlLayout> controls, std::vector<MenuLayout> menus)
    : layout_(std::move(layout)),
      controlLayout_(std::move(controls)),
      menuLayout_(std::move(menus)),
      window_(new FormWindow(*this)),
      client_(new ClientArea(*this, window_)) {
    window_->setCentralWidget(client_);
    window_->setWindowTitle(layout_.caption);
    if (layout_.border == Border::None) {
        window_->setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    } else {
        window_->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    }
    if (layout_.black) {
        QPalette p = client_->palette();
        p.setColor(QPalette::Window, Qt::black);
        p.setColor(QPalette::WindowText, Qt::white);
        client_->setPalette(p);
        client_->setAutoFillBackground(true);
        window_->setPalette(p);
    }
    if (!layout_.icon) window_->setWindowIcon(QIcon());
    installShortcutGuard();
}

Form::~Form() {
    if (loaded_) {
        loaded_ = false;
        --g_loaded;
    }
    delete window_.data();
}

QWidget* Form::window() const { return window_; }
QWidget* Form::client() const { return client_; }

Control* Form::control(const QString& name) const {
    auto it = controls_.find(name);
    return it == controls_.end() ? nullptr : it->second;
}

void Form::registerControl(Control* control) { controls_[control->Name()] = control; }
void Form::registerMenu(Menu* menu) { menus_.push_back(menu); }

void Form::raiseEvent(const std::function<void()>& handler) {
    if (!loaded_ || !handler) return;
    ++running_;
    Dispatch(handler);
    // A form unloaded while one of its handlers ran (from a nested loop) is deleted only
    // once the outermost of them has returned.
    if (--running_ == 0 && deletePending_) deleteLater();
}

void Form::load(std::function<void()> onUnload) {
    onUnload_ = std::move(onUnload);
    loaded_ = true;
    ++g_loaded;
    build();
    buildMenus();
    wire();
    Form_Load();
}

void Form::build() {
    for (const ControlLayout& row : controlLayout_) {
        Control* c = control(QString::fromLatin1(row.name));
        if (!c || c->kind() != row.kind)
            throw std::logic_error(std::string("layout row without its control: ") + row.name);
        if (QWidget* w = c->widget()) {
            QWidget* parent = client_;
            if (row.container) {
                Control* frame = control(QString::fromLatin1(row.container));
                if (!frame || !frame->widget())
                    throw std::logic_error(std::string("no container: ") + row.container);
                parent = frame->widget();
            }
            w->setParent(parent);
            w->setVisible(!(row.flags & Hidden));
        }
        c->setFlags(row.flags);
        c->setCaption(row.caption);
        c->Move(row.left, row.top, row.width, row.height);
    }
    nameForScreenReaders(*this);
    // Frames lie beneath the controls drawn over them.
    for (const ControlLayout& row : controlLayout_)
        if (row.kind == Kind::Frame) control(QString::fromLatin1(row.name))->widget()->lower();

    std::vector<const ControlLayout*> order;
    for (const ControlLayout& row : controlLayout_)
        if (row.tabIndex >= 0) order.push_back(&row);
    std::stable_sort(order.begin(), order.end(),
                     [](auto* a, auto* b) { return a->tabIndex < b->tabIndex; });
    QWidget* previous = nullptr;
    for (const ControlLayout* row : order) {
        QWidget* w = control(QString::fromLatin1(row->name))->widget();
        if (!w || w->focusPolicy() == Qt::NoFocus || (row->flags & Hidden)) continue;
        if (previous) QWidget::setTabOrder(previous, w);
        previous = w;
    }
}

void Form::buildMenus() {
    if (menuLayout_.empty()) return;
    std::map<QString, QMenu*> dropDowns;
    QMenuBar* bar = window_->menuBar();
    for (const MenuLayout& row : menuLayout_) {
        Menu* menu = nullptr;
        for (Menu* m : menus_)
            if (m->Name() == QLatin1String(row.name)) menu = m;
        if (!menu) throw std::logic_error(std::string("menu row without its menu: ") + row.name);
        const bool hasItems = std::any_of(menuLayout_.begin(), menuLayout_.end(), [&](auto& r) {
            return r.parent && QLatin1String(r.parent) == QLatin1String(row.name);
        });
        QAction* action = nullptr;
        if (!row.parent && hasItems) {
            QMenu* dropDown = bar->addMenu(row.caption);
            dropDowns[QString::fromLatin1(row.name)] = dropDown;
            action = dropDown->menuAction();
        } else {
            QWidget* container = row.parent ? static_cast<QWidget*>(dropDowns.at(row.parent))
                                            : static_cast<QWidget*>(bar);
            if (row.caption == QLatin1String("-")) {
                action = new QAction(container);
                action->setSeparator(true);
            } else {
                action = new QAction(row.caption, container);
                if (row.shortcut)
                    action->setShortcut(QKeySequence(QString::fromLatin1(row.shortcut)));
                action->setShortcutContext(Qt::WindowShortcut);
                action->setCheckable(row.checkable);
                // While a modal window of another form (or a message box) is open, this
                // form takes no commands, however the action is reached.
                QObject::connect(action, &QAction::triggered, action, [this, menu] {
                    QWidget* modal = QApplication::activeModalWidget();
                    if ((modal && modal != window_) || MessagePending()) return;
                    raiseEvent(menu->Click);
                });
            }
            container->addAction(action);
            // A shortcut of an item works while its drop-down is closed too.
            if (row.parent) window_->addAction(action);
        }
        menu->setAction(action);
    }
}

void Form::place() {
    const int w = twips::toPixelsX(layout_.clientWidth);
    const int h = twips::toPixelsY(layout_.clientHeight);
    if (layout_.maximized) return;
    client_->setFixedSize(w, h);
    window_->layout()->setSizeConstraint(QLayout::SetFixedSize);
    window_->adjustSize();
    // The client area's corner goes where the layout puts it, the menu bar above it. The
    // geometry excludes the window frame, which the window system adds around it.
    const int menuHeight = window_->menuWidget() ? window_->menuWidget()->sizeHint().height() : 0;
    window_->setGeometry(
        QRect(QPoint(twips::toPixelsX(layout_.clientLeft),
                     std::max(0, twips::toPixelsY(layout_.clientTop) - menuHeight)),
              window_->size()));
}

void Form::Show(int modal, Form* owner) {
    if (!loaded_) return;
    // A window already shown modally is only brought to the front: its loop runs once.
    if (modalLoop_) {
        window_->raise();
        window_->activateWindow();
        return;
    }
    if (owner && owner != this) owner_ = owner->window();
    if (owner && owner != this && window_->parentWidget() != owner->window()) {
        Qt::WindowFlags flags = window_->windowFlags();
        // A framed window shown over its owner is its dialog: transient for it, so that
        // window managers keep it above the owner and minimise the two together.
        if (layout_.border != Border::None) flags = (flags & ~Qt::WindowType_Mask) | Qt::Dialog;
        window_->setParent(owner->window(), flags);
    }
    if (modal) window_->setWindowModality(Qt::ApplicationModal);
    if (!window_->isVisible()) {
        place();
        // A window opened over its owner opens centred on it.
        if (owner && owner != this && !layout_.maximized) {
            const QRect over = owner->window()->frameGeometry();
            QRect frame = window_->frameGeometry();
            frame.moveCenter(over.center());
            window_->move(std::max(0, frame.left()), std::max(0, frame.top()));
        }
        if (layout_.maximized) {
            window_->setGeometry(ScreenArea(owner_));
            window_->showFullScreen();
        } else {
            window_->show();
        }
        // The first control in tab order takes the focus.
        const ControlLayout* first = nullptr;
        for (const ControlLayout& row : controlLayout_) {
            QWidget* w = control(QString::fromLatin1(row.name))->widget();
            if (row.tabIndex < 0 || !w || w->focusPolicy() == Qt::NoFocus || (row.flags & Hidden))
                continue;
            if (!first || row.tabIndex < first->tabIndex) first = &row;
        }
        if (first) control(QString::fromLatin1(first->name))->widget()->setFocus();
    }
    window_->raise();
    window_->activateWindow();
    if (!modal) return;
    QEventLoop loop;
    modalLoop_ = &loop;
    loop.exec(QEventLoop::DialogExec);
}

void Form::Unload() {
    if (!loaded_) return;
    loaded_ = false;
    --g_loaded;
    for (auto& [name, control] : controls_) control->unload();
    window_->hide();
    Form_Unload();
    if (modalLoop_) modalLoop_->quit();
    if (onUnload_) onUnload_();
    if (running_ > 0)
        deletePending_ = true;
    else
        deleteLater();
    if (g_loaded == 0 && g_lastFormUnloaded) g_lastFormUnloaded();
}

QString Form::Caption() const { return window_->windowTitle(); }

float Form::Width() const {
    if (layout_.maximized && !window_->isVisible())
        return twips::fromPixelsX(ScreenArea(owner_).width());
    return twips::fromPixelsX(window_->frameGeometry().width());
}

float Form::Height() const {
    if (layout_.maximized && !window_->isVisible())
        return twips::fromPixelsY(ScreenArea(owner_).height());
    return twips::fromPixelsY(window_->frameGeometry().height());
}

void Form::SetLastFormUnloadedAction(std::function<void()> action) {
    g_lastFormUnloaded = std::move(action);
}

}  // namespace forms
