#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <functional>
#include <map>
#include <vector>

class QWidget;
class QEventLoop;
class QRect;

namespace forms {

class Control;
class FormWindow;
class Menu;

enum class Kind {
    CommandButton,
    Label,
    Frame,
    CheckBox,
    TextBox,
    ListBox,
    ComboBox,
    Image,
    Timer,
    DriveListBox,
    DirListBox,
    FileListBox,
    CommonDialog,
};

// Design-time settings of a control beyond its place.
enum ControlFlag : unsigned {
    Hidden = 1u << 0,        // not visible at run time
    Stretch = 1u << 1,       // an image scales its picture to its own size
    BorderSingle = 1u << 2,  // an image draws a fixed single-line border
    // A label written light on a translucent dark backing, legible over any picture, its
    // size taken from its text and font.
    Backing = 1u << 3,
};

// One row of a form's design-time layout. Positions and sizes are in twips, relative to the
// container: the form's client area, or the outer corner of a frame.
struct ControlLayout {
    const char* name;
    Kind kind;
    QString caption;
    const char* container;  // nullptr: the form
    int left, top, width, height;
    int tabIndex;  // -1: takes no place in the tab order
    unsigned flags = 0;
    // What screen readers call a control that no caption on screen labels (a label beside
    // it, the frame it lies in); empty: its kind's name.
    QString accessibleName = {};
};

// One row of a form's menu tree.
struct MenuLayout {
    const char* name;
    const char* parent;  // nullptr: on the menu bar
    QString caption;
    const char* shortcut;    // e.g. "Ctrl+S", or nullptr
    bool checkable = false;  // an item that a click ticks and unticks
};

enum class Border { FixedSingle, None };

// Key codes of the keys a form's KeyDown handler is given.
constexpr int vbKeyEscape = 27;
constexpr int vbKeySpace = 32;
constexpr int vbKeyPageUp = 33;
constexpr int vbKeyPageDown = 34;
constexpr int vbKeyLeft = 37;
constexpr int vbKeyRight = 39;

struct FormLayout {
    QString caption;
    Border border;
    int clientLeft, clientTop;      // twips, the client area's top-left corner on screen
    int clientWidth, clientHeight;  // twips
    bool maximized = false;         // fills the screen
    bool black = false;             // background colour 0
    bool icon = true;               // carries the application's icon
};

// The area a maximised window fills: the screen that holds `owner`, or without one the screen
// of the window the user works in. A screen whose output is switched off may report no size at
// all; the area is then a common size at its corner, so that windows still open.
QRect ScreenArea(QWidget* owner);

// A top-level window built from its design-time layout. Each form class has a single instance
// reached through a FormRef; Unload destroys it, so the next use builds it afresh and runs
// Form_Load again.
class Form : public QObject {
public:
    ~Form() override;

    // Shows the window. With modal = 1 the other windows take no input and Show returns only
    // after the form has been unloaded.
    void Show(int modal = 0, Form* owner = nullptr);
    // Closes the window and destroys its controls: the timers stop, pictures are released.
    void Unload();
    bool Loaded() const { return loaded_; }

    QString Caption() const;
    float Width() const;  // outer size, twips
    float Height() const;

    // Raised by a double-click on a blank part of the window.
    std::function<void()> DblClick;
    // Raised for a key pressed in the window that no control of it takes, with its key code.
    std::function<void(int KeyCode)> KeyDown;

    // --- runtime ---
    QWidget* window() const;
    QWidget* client() const;
    const std::vector<ControlLayout>& controlLayout() const { return controlLayout_; }
    const std::vector<MenuLayout>& menuLayout() const { return menuLayout_; }
    const FormLayout& layout() const { return layout_; }
    Control* control(const QString& name) const;
    void registerControl(Control* control);
    void registerMenu(Menu* menu);
    const std::vector<Menu*>& menus() const { return menus_; }
    // Delivers an event of one of this form's controls, unless the form has been unloaded.
    void raiseEvent(const std::function<void()>& handler);
    // Builds the controls, wires the handlers and runs Form_Load.
    void load(std::function<void()> onUnload);

    // Runs after the last loaded form has been unloaded (the application's end).
    static void SetLastFormUnloadedAction(std::function<void()> action);

protected:
    Form(FormLayout layout, std::vector<ControlLayout> controls,
         std::vector<MenuLayout> menus = {});
    virtual void wire() {}
    virtual void Form_Load() {}
    // Runs when the form unloads, once its window has closed and before its controls are
    // destroyed.
    virtual void Form_Unload() {}

private:
    void build();
    void buildMenus();
    void place();

    FormLayout layout_;
    std::vector<ControlLayout> controlLayout_;
    std::vector<MenuLayout> menuLayout_;
    QPointer<FormWindow> window_;
    QWidget* client_;
    std::map<QString, Control*> controls_;
    std::vector<Menu*> menus_;
    QPointer<QEventLoop> modalLoop_;
    QPointer<QWidget> owner_;  // the window it was last shown over
    std::function<void()> onUnload_;
    bool loaded_ = false;
    int running_ = 0;  // handlers of this form under way
    bool deletePending_ = false;
};

// The global reference that bears a form's name: creates and loads the single instance on
// first use.
template <typename T>
class FormRef {
public:
    T* operator->() { return &get(); }
    T& operator*() { return get(); }
    operator Form*() { return &get(); }
    T& get() {
        if (!instance_) {
            instance_ = new T;
            instance_->load([this] { instance_ = nullptr; });
        }
        return *instance_;
    }
    // The loaded instance, or nullptr: never creates one.
    T* peek() const { return instance_; }

private:
    T* instance_ = nullptr;
};

}  // namespace forms
