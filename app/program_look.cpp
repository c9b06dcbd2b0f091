#include "app/program_look.h"

#include <QApplication>
#include <QFont>

namespace tembrel {

QIcon programIcon() {
    return QIcon(QStringLiteral(":/tembrel.svg"));
}

void applyProgramLook(QApplication& app) {
    QApplication::setWindowIcon(programIcon());
    // The desktop finds the entry, and with it the icon and name, by this id.
    QGuiApplication::setDesktopFileName(QStringLiteral(TEMBREL_APP_ID));
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), font.family()});
    app.setFont(font);
}

}  // namespace tembrel
