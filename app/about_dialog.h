// The version box: the program icon, the version line and what the program reads and
// converts.
#pragma once

#include <QDialog>

namespace tembrel {

class CAboutDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CAboutDialog(QWidget* parent = nullptr);
};

}  // namespace tembrel
