#pragma once

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QWidget>
#include <cstdint>
#include <functional>

#include "forms/form.h"
#include "forms/property.h"
#include "picture/picture.h"

class QTimer;
class QAction;
class QListWidget;
class QMimeData;

namespace forms {

class ButtonWidget;
class CheckWidget;
class ComboWidget;
class GroupWidget;
class ImageWidget;
class LabelWidget;
class LineEdit;
class ListWidget;

// A control of a form. Positions and sizes are in twips; Move keeps fractions.
class Control {
public:
    Control(Form& form, const char* name, Kind kind);
    virtual ~Control();
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    const QString& Name() const { return name_; }
    Kind kind() const { return kind_; }
    Form& Parent() const { return form_; }

    float Left() const { return left_; }
    float Top() const { return top_; }
    float Width() const { return width_; }
    float Height() const { return height_; }
    void Move(float left, float top);
    void Move(float left, float top, float width, float height);
    Property<bool> Visible;
    void SetFocus();

    // --- runtime ---
    QWidget* widget() const { return widget_; }
    virtual void setCaption(const QString&) {}
    virtual void setFlags(unsigned) {}
    // The form unloads: stop what runs, release what is held.
    virtual void unload() {}

protected:
    void setWidget(QWidget* widget) { widget_ = widget; }
    void raise(const std::function<void()>& handler) { form_.raiseEvent(handler); }
    virtual void applyGeometry();

    float left_ = 0, top_ = 0, width_ = 0, height_ = 0;

private:
    Form& form_;
    QString name_;
    Kind kind_;
    QPointer<QWidget> widget_;
};

class CommandButton : public Control {
public:
    CommandButton(Form& form, const char* name);
    void setCaption(const QString& caption) override;
    // Setting True runs Click before the assignment returns.
    Property<bool> Value;
    std::function<void()> Click;

private:
    ButtonWidget* button_;
};

class Label : public Control {
public:
    Label(Form& form, const char* name);
    void setCaption(const QString& caption) override;
    void setFlags(unsigned flags) override;
    QString Caption() const;

protected:
    // On a backing it is never smaller than its text and the margin around it.
    void applyGeometry() override;

private:
    LabelWidget* label_;
};

class Frame : public Control {
public:
    Frame(Form& form, const char* name);
    void setCaption(const QString& caption) override;
    QString Caption() const;

private:
    GroupWidget* group_;
};

class CheckBox : public Control {
public:
    CheckBox(Form& form, const char* name);
    void setCaption(const QString& caption) override;
    Property<int> Value;  // 0 unticked, 1 ticked

private:
    CheckWidget* check_;
};

class TextBox : public Control {
public:
    TextBox(Form& form, const char* name);
    void setCaption(const QString& text) override;
    Property<QString> Text;
    // Raised for each typed character before the box takes it; setting KeyAscii to 0
    // discards the character.
    std::function<void(int16_t& KeyAscii)> KeyPress;

private:
    friend class LineEdit;
    LineEdit* edit_;
};

// Key codes and modifier masks of a KeyDown event.
namespace key {
constexpr int16_t Up = 38, Down = 40, Delete = 46;
constexpr int16_t ShiftMask = 1, CtrlMask = 2, AltMask = 4;
}  // namespace key

// List box. Counts and positions are signed 16-bit: at most 32767 entries.
class ListBox : public Control {
public:
    ListBox(Form& form, const char* name);
    void AddItem(const QString& item);
    void RemoveItem(int index);
    void Clear();
    int16_t ListCount() const;
    QString List(int index) const;
    Property<int16_t> ListIndex;  // -1: no entry selected

    // Moves the entry at `from` to position `to`; the selection follows it.
    void MoveItem(int from, int to);
    // Raised for the keys Up, Down and Delete (KeyCode 38, 40, 46) before the list takes them,
    // with the modifiers held in Shift (1 Shift, 2 Ctrl, 4 Alt); a KeyCode set to 0 consumes
    // the key.
    std::function<void(int16_t& KeyCode, int16_t Shift)> KeyDown;
    // Raised with the paths of files dropped on the list, in the order dropped; an item that is
    // no file of this machine comes as its URL. The list takes drops only while it is set.
    std::function<void(const QStringList& paths)> FilesDropped;
    // Raised when the user drags entry `from` to position `to`. Entries can be dragged only
    // while it is set.
    std::function<void(int from, int to)> ItemDrag;
    // --- runtime ---
    // What a drag of an entry of this list carries.
    QMimeData* dragData(int index) const;

private:
    void offerDesktop();
    QListWidget* list() const;
    ListWidget* list_;
};

// Combo box with an editable text field and a drop-down list. Click is raised only when the
// user chooses an entry of the list; Text then holds that entry.
class ComboBox : public Control {
public:
    ComboBox(Form& form, const char* name);
    void setCaption(const QString& text) override;
    void AddItem(const QString& item);
    int ListCount() const;
    QString List(int index) const;
    Property<QString> Text;
    std::function<void()> Click;

private:
    ComboWidget* combo_;
};

// Image. Stretching, it scales the picture to its own size; otherwise it takes the picture's
// own size.
class Image : public Control {
public:
    Image(Form& form, const char* name);
    void setFlags(unsigned flags) override;
    Property<forms::Picture> Picture;
    // How much of the picture covers what lies beneath it: 0 nothing, 1 (at start) all.
    Property<double> Opacity;
    QSize pixelSize() const;  // the size it shows, in device pixels
    void unload() override;

protected:
    void applyGeometry() override;

private:
    void assign(forms::Picture picture);
    ImageWidget* image_;
    bool stretch_ = false;
};

// Timer: Interval in milliseconds; 0 (or less) means no ticks. Setting Interval starts the
// count of a new period.
class Timer : public Control {
public:
    Timer(Form& form, const char* name);
    ~Timer() override;
    Property<int32_t> Interval;
    Property<bool> Enabled;
    // The Timer event, raised once per period.
    std::function<void()> Tick;
    // Whether ticks are coming: enabled, a positive period and the form loaded.
    bool Ticking() const;
    void unload() override;

private:
    void restart();
    QTimer* timer_;
    int32_t interval_ = 0;
    bool enabled_ = true;
};

// A menu of the form's menu bar, an item of one, or a separator ("-"). Captions mark the
// access key with "&".
class Menu {
public:
    Menu(Form& form, const char* name);
    const QString& Name() const { return name_; }
    Form& Parent() const { return form_; }
    std::function<void()> Click;
    bool Checked() const;  // a checkable item: whether it is ticked

    // --- runtime ---
    QAction* action() const { return action_; }
    void setAction(QAction* action);

private:
    Form& form_;
    QString name_;
    QAction* action_ = nullptr;
};

// The common dialog, used for help only.
class CommonDialog : public Control {
public:
    CommonDialog(Form& form, const char* name);
    Property<QString> HelpFile;
    Property<int> HelpCommand;
    // Opens the help viewer on HelpFile. A bare file name is looked up beside the program.
    void ShowHelp();

private:
    QString helpFile_;
    int helpCommand_ = 0;
};

}  // namespace forms
