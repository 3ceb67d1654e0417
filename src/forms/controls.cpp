#include "forms/controls.h"

#include <qdrawutil.h>
#include <QAccessible>
#include <QAccessibleWidget>
#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPaintEvent>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QTimer>
#include <algorithm>
#include <cmath>

#include "forms/helpviewer.h"
#include "forms/listwidget.h"
#include "forms/runtime.h"
#include "forms/twips.h"
#include "picture/caption.h"
#include "system/filenames.h"

namespace forms {

class ButtonWidget : public QPushButton {
    using QPushButton::QPushButton;
};
class LabelWidget : public QLabel {
public:
    using QLabel::QLabel;
    bool backing = false;

    // The margin around the text on a backing: from the font, so that it scales with it.
    QSize padding() const { return CaptionPadding(fontMetrics()); }

protected:
    void paintEvent(QPaintEvent* event) override {
        if (!backing) return QLabel::paintEvent(event);
        QPainter painter(this);
        PaintCaption(painter, QRectF(rect()), text());
    }
};
// A frame drawn as the layouts expect it: the caption sits on the top edge, the line running
// through the caption's middle, so that the controls placed below the caption keep clear of
// the line. (Styles put the caption above the line, pushing the line down into them.)
class GroupWidget : public QGroupBox {
public:
    using QGroupBox::QGroupBox;

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QFontMetrics metrics(font());
        const int lineY = metrics.height() / 2;
        // An etched line, as styles draw a frame, but run through the caption's middle.
        qDrawShadeRect(&painter, rect().adjusted(0, lineY, 0, 0), palette(), true, 1, 0);
        if (title().isEmpty()) return;
        // The caption, a little in from the left, on the window's colour over the line.
        const int indent = 6, pad = 2;
        const QString text = metrics.elidedText(title(), Qt::ElideRight,
                                                std::max(0, width() - 2 * indent - 2 * pad));
        const QRect caption(indent, 0, metrics.horizontalAdvance(text) + 2 * pad, metrics.height());
        painter.fillRect(caption, palette().color(backgroundRole()));
        style()->drawItemText(&painter, caption, Qt::AlignCenter | Qt::TextShowMnemonic, palette(),
                              isEnabled(), text, QPalette::WindowText);
    }
};
class CheckWidget : public QCheckBox {
    using QCheckBox::QCheckBox;
};
class ComboWidget : public QComboBox {
    using QComboBox::QComboBox;
};

// --- SelectingList ---

SelectingList::SelectingList(QWidget* parent) : QListWidget(parent) {
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

int SelectingList::selectedRow() const {
    const QList<QListWidgetItem*> items = selectedItems();
    return items.isEmpty() ? -1 : row(items.first());
}

void SelectingList::keyPressEvent(QKeyEvent* event) {
    const int selected = selectedRow();
    const int current = currentRow();
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (selected < 0 && count() > 0 && plain) {
        int target = -1;
        switch (event->key()) {
            case Qt::Key_Down:
            case Qt::Key_Up:
            case Qt::Key_Home:
            case Qt::Key_PageUp:
            case Qt::Key_PageDown:
            case Qt::Key_Space:
                target = 0;
                break;
            case Qt::Key_End:
                target = count() - 1;
                break;
        }
        if (target >= 0) {
            // Not the entry after the one the focus frame sits on: the first (or last) one.
            setCurrentRow(target, QItemSelectionModel::ClearAndSelect);
            event->accept();
            userSelected();
            return;
        }
    }
    QListWidget::keyPressEvent(event);
    // The current entry moved by the keyboard is the selected one: the focus frame never
    // sits apart from the highlight.
    if (QListWidgetItem* item = currentItem();
        item && !item->isSelected() && (currentRow() != current || event->key() == Qt::Key_Space))
        setCurrentRow(currentRow(), QItemSelectionModel::ClearAndSelect);
    if (selectedRow() >= 0 && selectedRow() != selected) userSelected();
}

void SelectingList::mouseMoveEvent(QMouseEvent* event) {
    const int selected = selectedRow();
    QListWidget::mouseMoveEvent(event);
    if (selectedRow() >= 0 && selectedRow() != selected) userSelected();
}

class ListWidget : public SelectingList {
public:
    using SelectingList::SelectingList;
};

// A single-line text box that offers each typed character to its KeyPress handler first.
class LineEdit : public QLineEdit {
public:
    LineEdit(TextBox& box, QWidget* parent) : QLineEdit(parent), box_(box) {}

protected:
    void keyPressEvent(QKeyEvent* event) override {
        const QString text = event->text();
        if (!box_.KeyPress || text.size() != 1) {
            QLineEdit::keyPressEvent(event);
            return;
        }
        const QChar typed = text.at(0);
        const int16_t result = filter(typed);
        if (result == 0) {
            event->accept();
        } else if (static_cast<char16_t>(result) != typed.unicode()) {
            if (!isReadOnly()) insert(QString(QChar(static_cast<char16_t>(result))));
        } else {
            QLineEdit::keyPressEvent(event);
        }
    }

    // Text committed by an input method is typed text too: each character is offered.
    void inputMethodEvent(QInputMethodEvent* event) override {
        if (!box_.KeyPress || event->commitString().isEmpty()) {
            QLineEdit::inputMethodEvent(event);
            return;
        }
        QString kept;
        for (QChar c : event->commitString())
            if (int16_t r = filter(c)) kept += QChar(static_cast<char16_t>(r));
        QInputMethodEvent filtered(event->preeditString(), event->attributes());
        filtered.setCommitString(kept, event->replacementStart(), event->replacementLength());
        QLineEdit::inputMethodEvent(&filtered);
    }

private:
    int16_t filter(QChar c) {
        int16_t code = static_cast<int16_t>(c.unicode());
        const auto handler = box_.KeyPress;
        box_.Parent().raiseEvent([&] { handler(code); });
        if (!box_.Parent().Loaded()) return 0;
        return code;
    }

    TextBox& box_;
};

// Draws a picture at one picture pixel per device pixel, whatever the screen's scale; a
// stretched picture is scaled to the box's size in device pixels, so that it stays sharp.
class ImageWidget : public QWidget {
public:
    explicit ImageWidget(QWidget* parent) : QWidget(parent) {}

    void setPicture(Picture picture) {
        picture_ = std::move(picture);
        scaled_ = QImage();
        update();
    }
    const Picture& picture() const { return picture_; }
    bool stretch = false;
    bool border = false;
    qreal opacity = 1;
    QPoint offset;  // device pixels between the widget's corner and the picture's

protected:
    void paintEvent(QPaintEvent* event) override {
        QPainter painter(this);
        painter.setOpacity(opacity);
        const QRect inner = border ? rect().adjusted(1, 1, -1, -1) : rect();
        const qreal ratio = devicePixelRatioF();
        if (!picture_.isNull()) {
            const QImage& image = picture_.image();
            const QRect held = picture_.held();
            if (stretch) {
                // The whole picture fills the box; the part held, its share of the box.
                QRect target = inner;
                if (!picture_.isWhole()) {
                    const QSizeF own = picture_.size();
                    const qreal sx = inner.width() / own.width(),
                                sy = inner.height() / own.height();
                    target = QRectF(inner.x() + held.x() * sx, inner.y() + held.y() * sy,
                                    held.width() * sx, held.height() * sy)
                                 .toAlignedRect();
                }
                const QSize device = (QSizeF(target.size()) * ratio).toSize();
                if (scaled_.size() != device) {
                    scaled_ = image.scaled(device, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
                    scaled_.setDevicePixelRatio(ratio);
                }
                painter.drawImage(target.topLeft(), scaled_);
            } else if (ratio == 1 && offset.isNull() && image.size() == held.size()) {
                // Only what needs painting, straight from the pixels held.
                const QRect r = event->rect() & held;
                painter.drawImage(r.topLeft(), image, r.translated(-held.topLeft()));
            } else {
                const QPointF corner = QPointF(offset + held.topLeft()) / ratio;
                painter.drawImage(QRectF(corner, QSizeF(held.size()) / ratio), image);
            }
        }
        if (border) {
            painter.setPen(palette().color(QPalette::WindowText));
            painter.drawRect(rect().adjusted(0, 0, -1, -1));
        }
    }
    // A double-click on the picture belongs to the picture, not to the form beneath it.
    void mouseDoubleClickEvent(QMouseEvent* event) override { event->accept(); }
    void mousePressEvent(QMouseEvent* event) override { event->accept(); }

private:
    Picture picture_;
    QImage scaled_;
};

// --- accessibility ---

namespace {

// A combo box as screen readers see it: named by the caption that labels it (not by its
// current text, which is its value), with its drop-down list and its text field.
class AccessibleCombo : public QAccessibleWidget {
public:
    explicit AccessibleCombo(QComboBox* combo) : QAccessibleWidget(combo, QAccessible::ComboBox) {}
    QComboBox* combo() const { return static_cast<QComboBox*>(widget()); }

    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Value) return combo()->currentText();
        if (t == QAccessible::Name && !widget()->accessibleName().isEmpty())
            return widget()->accessibleName();
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return combo()->lineEdit() ? 2 : 1; }
    QAccessibleInterface* child(int index) const override {
        if (index == 0) return QAccessible::queryAccessibleInterface(combo()->view());
        if (index == 1 && combo()->lineEdit())
            return QAccessible::queryAccessibleInterface(combo()->lineEdit());
        return nullptr;
    }
    int indexOfChild(const QAccessibleInterface* child) const override {
        for (int i = 0; i < childCount(); ++i)
            if (child && child->object() == this->child(i)->object()) return i;
        return -1;
    }
    QStringList actionNames() const override {
        return QAccessibleWidget::actionNames() << showMenuAction();
    }
    void doAction(const QString& name) override {
        if (name == showMenuAction())
            combo()->showPopup();
        else
            QAccessibleWidget::doAction(name);
    }
};

QAccessibleInterface* accessibleControl(const QString&, QObject* object) {
    if (auto* combo = qobject_cast<QComboBox*>(object)) return new AccessibleCombo(combo);
    if (auto* image = dynamic_cast<ImageWidget*>(object))
        return new QAccessibleWidget(image, QAccessible::Graphic);
    return nullptr;
}

}  // namespace

// --- Control ---

Control::Control(Form& form, const char* name, Kind kind)
    : Visible([this] { return widget_ && !widget_->isHidden(); },
              [this](bool v) {
                  if (widget_) widget_->setVisible(v);
              }),
      form_(form),
      name_(QString::fromLatin1(name)),
      kind_(kind) {
    form.registerControl(this);
    static const bool accessible = [] {
        QAccessible::installFactory(accessibleControl);
        return true;
    }();
    (void)accessible;
}

Control::~Control() { delete widget_.data(); }

void Control::Move(float left, float top) {
    left_ = left;
    top_ = top;
    applyGeometry();
}

void Control::Move(float left, float top, float width, float height) {
    width_ = width;
    height_ = height;
    Move(left, top);
}

void Control::applyGeometry() {
    if (!widget_) return;
    const int x = twips::toPixelsX(left_), y = twips::toPixelsY(top_);
    widget_->setGeometry(x, y, twips::toPixelsX(left_ + width_) - x,
                         twips::toPixelsY(top_ + height_) - y);
}

void Control::SetFocus() {
    if (widget_) widget_->setFocus();
}

// --- CommandButton ---

CommandButton::CommandButton(Form& form, const char* name)
    : Control(form, name, Kind::CommandButton),
      Value([] { return false; },
            [this](bool v) {
                if (v && Click) Click();
            }),
      button_(new ButtonWidget(form.client())) {
    setWidget(button_);
    button_->setAutoDefault(false);
    QObject::connect(button_, &QPushButton::clicked, button_, [this] { raise(Click); });
}

void CommandButton::setCaption(const QString& caption) { button_->setText(caption); }

// --- Label, Frame ---

Label::Label(Form& form, const char* name)
    : Control(form, name, Kind::Label), label_(new LabelWidget(form.client())) {
    setWidget(label_);
    label_->setWordWrap(true);
    label_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
}
void Label::setCaption(const QString& caption) {
    label_->setText(caption);
    if (label_->backing) applyGeometry();
}

void Label::setFlags(unsigned flags) {
    label_->backing = flags & Backing;
    if (label_->backing) {
        // Larger than the window's text: read from across a room.
        QFont font = label_->font();
        font.setPointSizeF(font.pointSizeF() * 1.6);
        label_->setFont(font);
        applyGeometry();
    }
}

void Label::applyGeometry() {
    if (label_->backing) {
        const QSize fit = label_->fontMetrics().size(0, label_->text()) + 2 * label_->padding();
        width_ = std::max(width_, float(twips::perPixelX() * fit.width()));
        height_ = std::max(height_, float(twips::perPixelY() * fit.height()));
    }
    Control::applyGeometry();
}
QString Label::Caption() const { return label_->text(); }

Frame::Frame(Form& form, const char* name)
    : Control(form, name, Kind::Frame), group_(new GroupWidget(form.client())) {
    setWidget(group_);
}
void Frame::setCaption(const QString& caption) { group_->setTitle(caption); }
QString Frame::Caption() const { return group_->title(); }

// --- CheckBox ---

CheckBox::CheckBox(Form& form, const char* name)
    : Control(form, name, Kind::CheckBox),
      Value([this] { return check_->isChecked() ? 1 : 0; },
            [this](int v) { check_->setChecked(v != 0); }),
      check_(new CheckWidget(form.client())) {
    setWidget(check_);
}
void CheckBox::setCaption(const QString& caption) { check_->setText(caption); }

// --- TextBox ---

TextBox::TextBox(Form& form, const char* name)
    : Control(form, name, Kind::TextBox),
      Text([this] { return edit_->text(); }, [this](QString v) { edit_->setText(v); }),
      edit_(new LineEdit(*this, form.client())) {
    setWidget(edit_);
}
void TextBox::setCaption(const QString& text) { edit_->setText(text); }

// --- ListBox ---

namespace {
constexpr int kMaxListEntries = 32767;
}

ListBox::ListBox(Form& form, const char* name)
    : Control(form, name, Kind::ListBox),
      ListIndex(
          [this]() -> int16_t {
              QListWidgetItem* item = list_->currentItem();
              return item && item->isSelected() ? static_cast<int16_t>(list_->currentRow()) : -1;
          },
          [this](int16_t i) {
              if (i < -1 || i >= list_->count()) Raise(err::InvalidArgument);
              if (i == -1) {
                  list_->clearSelection();
                  list_->setCurrentRow(-1);
              } else {
                  list_->setCurrentRow(i);
              }
          }),
      list_(new ListWidget(form.client())) {
    setWidget(list_);
    offerDesktop();
}

void ListBox::AddItem(const QString& item) {
    if (list_->count() >= kMaxListEntries) Raise(err::Overflow);
    // A path whose names hold bytes other than UTF-8 is shown as the user reads it; the entry
    // itself keeps those bytes.
    auto* entry = new QListWidgetItem(DisplayPath(item));
    entry->setData(Qt::UserRole, item);
    list_->addItem(entry);
}

void ListBox::RemoveItem(int index) {
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    const bool wasSelected = ListIndex() == index;
    delete list_->takeItem(index);
    if (wasSelected) {
        list_->clearSelection();
        list_->setCurrentRow(-1);
    }
}

void ListBox::Clear() { list_->clear(); }

int16_t ListBox::ListCount() const { return static_cast<int16_t>(list_->count()); }

QString ListBox::List(int index) const {
    if (index < 0 || index >= list_->count()) Raise(err::InvalidArgument);
    return list_->item(index)->data(Qt::UserRole).toString();
}

// --- ComboBox ---

namespace {
// Enter in the combo's field does not choose an entry: typed text changes nothing.
class SwallowEnter : public QObject {
public:
    using QObject::QObject;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() != QEvent::KeyPress) return false;
        const int key = static_cast<QKeyEvent*>(event)->key();
        return key == Qt::Key_Return || key == Qt::Key_Enter;
    }
};
}  // namespace

ComboBox::ComboBox(Form& form, const char* name)
    : Control(form, name, Kind::ComboBox),
      Text([this] { return combo_->currentText(); }, [this](QString v) { combo_->setEditText(v); }),
      combo_(new ComboWidget(form.client())) {
    setWidget(combo_);
    combo_->setEditable(true);
    combo_->setInsertPolicy(QComboBox::NoInsert);
    combo_->setDuplicatesEnabled(true);
    combo_->lineEdit()->installEventFilter(new SwallowEnter(combo_));
    QObject::connect(combo_, &QComboBox::activated, combo_, [this](int index) {
        combo_->setEditText(combo_->itemText(index));
        raise(Click);
    });
}

void ComboBox::setCaption(const QString& text) { combo_->setEditText(text); }
void ComboBox::AddItem(const QString& item) {
    const QString text = combo_->currentText();
    combo_->addItem(item);
    combo_->setEditText(text);
    // The drop-down list is as wide as its widest entry, however narrow the field.
    QAbstractItemView* view = combo_->view();
    const int margin =
        2 * view->frameWidth() + view->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    view->setMinimumWidth(view->sizeHintForColumn(0) + margin);
}
int ComboBox::ListCount() const { return combo_->count(); }
QString ComboBox::List(int index) const {
    if (index < 0 || index >= combo_->count()) Raise(err::InvalidArgument);
    return combo_->itemText(index);
}

// --- Image ---

Image::Image(Form& form, const char* name)
    : Control(form, name, Kind::Image),
      Picture([this] { return image_->picture(); },
              [this](forms::Picture p) { assign(std::move(p)); }),
      Opacity([this] { return double(image_->opacity); },
              [this](double o) {
                  image_->opacity = std::clamp(o, 0.0, 1.0);
                  image_->update();
              }),
      image_(new ImageWidget(form.client())) {
    setWidget(image_);
    image_->setAttribute(Qt::WA_OpaquePaintEvent, false);
}

void Image::setFlags(unsigned flags) {
    stretch_ = flags & forms::Stretch;
    image_->stretch = stretch_;
    image_->border = flags & BorderSingle;
}

void Image::assign(forms::Picture picture) {
    if (!stretch_ && !picture.isNull()) {
        // Its own size is its size in device pixels: in twips, that size at the screen's scale.
        const qreal ratio = image_->devicePixelRatioF();
        width_ = float(twips::perPixelX() * picture.size().width() / ratio);
        height_ = float(twips::perPixelY() * picture.size().height() / ratio);
    }
    image_->setPicture(std::move(picture));
    applyGeometry();
}

void Image::applyGeometry() {
    const forms::Picture& picture = image_->picture();
    if (stretch_ || picture.isNull()) {
        image_->offset = QPoint();
        Control::applyGeometry();
        return;
    }
    // Placed to the device pixel: the widget at the logical pixel at or before the corner, the
    // picture drawn that many device pixels further in.
    const qreal ratio = image_->devicePixelRatioF();
    const int dx = int(std::floor(left_ / twips::perPixelX() * ratio + 0.5));
    const int dy = int(std::floor(top_ / twips::perPixelY() * ratio + 0.5));
    const int x = int(std::floor(dx / ratio)), y = int(std::floor(dy / ratio));
    image_->offset = QPoint(dx - int(std::lround(x * ratio)), dy - int(std::lround(y * ratio)));
    const QSize own = picture.size();
    image_->setGeometry(x, y, int(std::ceil((image_->offset.x() + own.width()) / ratio)),
                        int(std::ceil((image_->offset.y() + own.height()) / ratio)));
    image_->update();
}

QSize Image::pixelSize() const {
    return (QSizeF(image_->size()) * image_->devicePixelRatioF()).toSize();
}

void Image::unload() { image_->setPicture({}); }

// --- Timer ---

Timer::Timer(Form& form, const char* name)
    : Control(form, name, Kind::Timer),
      Interval([this] { return interval_; },
               [this](int32_t v) {
                   interval_ = v;
                   restart();
               }),
      Enabled([this] { return enabled_; },
              [this](bool v) {
                  enabled_ = v;
                  restart();
              }),
      timer_(new QTimer) {
    timer_->setTimerType(Qt::PreciseTimer);
    QObject::connect(timer_, &QTimer::timeout, timer_, [this] { raise(Tick); });
}

Timer::~Timer() { delete timer_; }

void Timer::restart() {
    if (Ticking())
        timer_->start(interval_);
    else
        timer_->stop();
}

bool Timer::Ticking() const { return enabled_ && interval_ > 0 && Parent().Loaded(); }

void Timer::unload() { timer_->stop(); }

// --- Menu ---

Menu::Menu(Form& form, const char* name) : form_(form), name_(QString::fromLatin1(name)) {
    form.registerMenu(this);
}

void Menu::setAction(QAction* action) { action_ = action; }

bool Menu::Checked() const { return action_ && action_->isChecked(); }

// --- CommonDialog ---

CommonDialog::CommonDialog(Form& form, const char* name)
    : Control(form, name, Kind::CommonDialog),
      HelpFile([this] { return helpFile_; }, [this](QString v) { helpFile_ = v; }),
      HelpCommand([this] { return helpCommand_; }, [this](int v) { helpCommand_ = v; }) {}

void CommonDialog::ShowHelp() { ShowHelpViewer(helpFile_, helpCommand_); }

}  // namespace forms
