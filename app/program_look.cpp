#include "app/program_look.h"

#include <QApplication>
#include <QFont>
#include <QLibraryInfo>
#include <QTranslator>

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
    // The program speaks Japanese whatever the locale, so Qt's own texts (the file
    // chooser, a message box's details button, an edit's context menu) do too. Without
    // Qt's translations installed they stay English.
    auto* qtTexts = new QTranslator(&app);
    if (qtTexts->load(QStringLiteral("qtbase_ja"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
}

}  // namespace tembrel
