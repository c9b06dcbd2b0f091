// Swallows chosen keys before the widget it watches sees them, while a condition holds:
// the progress window ignores Enter during a run, the tag editor's edits never see
// Return, Enter or Escape.
#pragma once

#include <QObject>
#include <functional>
#include <initializer_list>
#include <vector>

namespace tembrel::ui {

class KeyFilter : public QObject {
  public:
    // `active` (may be empty: always) is asked at each key press.
    KeyFilter(QObject* parent, std::initializer_list<int> keys, std::function<bool()> active = {});

    // Watches `widget` and every widget inside it.
    void watch(QObject* widget);

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    std::vector<int> keys_;
    std::function<bool()> active_;
};

}  // namespace tembrel::ui
