#include "ui/dialog_parts.h"

#include <QHBoxLayout>
#include <QPushButton>

namespace tembrel::ui {

QPushButton* makeButton(const char* text, const char* id) {
    auto* button = new QPushButton(QString::fromUtf8(text));
    button->setObjectName(QString::fromUtf8(id));
    return button;
}

QHBoxLayout* buttonRow(std::initializer_list<QWidget*> buttons) {
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    for (QWidget* button : buttons)
        row->addWidget(button);
    return row;
}

}  // namespace tembrel::ui
