// Small pieces every window is built from: controls named by their ids, and the row of
// buttons along the bottom in the order given.
#pragma once

#include <QString>
#include <QWidget>
#include <initializer_list>

class QHBoxLayout;
class QPushButton;

namespace tembrel::ui {

// A push button with its text and its id as object name.
QPushButton* makeButton(const char* text, const char* id);

// The buttons right-aligned in one row, in the order given.
QHBoxLayout* buttonRow(std::initializer_list<QWidget*> buttons);

// The control with this id inside `dialog`; ids repeat across windows, so a lookup is
// always made within the window in hand.
template <class Control>
Control* control(const QWidget* dialog, const char* id) {
    return dialog->findChild<Control*>(QString::fromUtf8(id));
}

}  // namespace tembrel::ui
