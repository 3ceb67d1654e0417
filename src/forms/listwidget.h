#pragma once

#include <QListWidget>

class QKeyEvent;
class QMouseEvent;

namespace forms {

// The list widget of every list control. What it highlights is its selection, and the keyboard
// changes the selection as the mouse does: on a list with nothing selected, Down, Up, Home,
// Page Up/Down and Space select the first entry and End the last; every other key that moves
// the current entry (arrows, type-ahead by letter) selects it too. A change of selection made
// by the user, with the keyboard or by dragging the mouse, is reported to userSelected().
class SelectingList : public QListWidget {
public:
    explicit SelectingList(QWidget* parent);
    // The selected row, or -1.
    int selectedRow() const;

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    virtual void userSelected() {}
};

}  // namespace forms
