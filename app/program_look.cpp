#include "app/program_look.h"

#include <QApplication>
#include <QFont>

namespace tembrel {

QIcon programIcon() {
    return QIcon(QStringLiteral(":/tembrel.svg"));
}

void applyProgramLook(QApplication& app) {
    QApplication::setWindowIcon(programIcon());
    QFont font = QApplication::font();
    font.setFamilies({QStringLiteral("Noto Sans CJK JP"), font.family()});
    app.setFont(font);
}

}  // namespace tembrel
