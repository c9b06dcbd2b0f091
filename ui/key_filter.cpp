#include "ui/key_filter.h"

#include <QKeyEvent>
#include <QWidget>
#include <algorithm>

namespace tembrel::ui {

KeyFilter::KeyFilter(QObject* parent, std::initializer_list<int> keys, std::function<bool()> active)
    : QObject(parent), keys_(keys), active_(std::move(active)) {}

void KeyFilter::watch(QObject* widget) {
    widget->installEventFilter(this);
    for (QWidget* child : widget->findChildren<QWidget*>())
        child->installEventFilter(this);
}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event) {
    // A shortcut-override is how a focused widget claims a key before shortcuts see it;
    // refusing it here keeps the key away from both.
    if (event->type() == QEvent::KeyPress || event->type() == QEvent::ShortcutOverride) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (std::find(keys_.begin(), keys_.end(), key) != keys_.end() && (!active_ || active_())) {
            event->accept();
            return true;
        }
    }
    return QObject::eventFilter(watched, event);
}

}  // namespace tembrel::ui
