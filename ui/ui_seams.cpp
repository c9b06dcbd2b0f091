#include "ui/ui_seams.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QTextEdit>

#include "ui/shutdown.h"

namespace tembrel::ui {

Seams realSeams() {
    Seams s;
    s.runDialog = [](QDialog& dialog) { return dialog.exec(); };
    s.beep = [] { QApplication::beep(); };
    s.message = [](QWidget* parent, const QString& text, const QString& details) {
        if (shutdownRequested())
            return;
        QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Tembrel"), text, QMessageBox::Ok,
                        parent);
        box.setDetailedText(details);
        // Wide enough that a path and its reason read on one or two lines.
        if (auto* shown = box.findChild<QTextEdit*>())
            shown->setMinimumWidth(shown->fontMetrics().averageCharWidth() * 56);
        box.exec();
    };
    s.chooseFile = [](QWidget* parent, const FileChoice& choice) {
        QFileDialog dialog(parent, choice.title, choice.directory);
        dialog.setFileMode(QFileDialog::ExistingFile);
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        // Qt reads the last parenthesised group of a filter as its patterns; the label
        // is shown without them.
        dialog.setOption(QFileDialog::HideNameFilterDetails);
        dialog.setNameFilters(choice.filters);
        dialog.selectNameFilter(choice.filters.value(0));
        dialog.setDefaultSuffix(choice.defaultSuffix);
        if (!choice.selectedFile.isEmpty())
            dialog.selectFile(choice.selectedFile);
        if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
            return QString();
        return dialog.selectedFiles().first();
    };
    s.chooseFolder = [](QWidget* parent, const QString& title) {
        return QFileDialog::getExistingDirectory(parent, title, QString(),
                                                 QFileDialog::ShowDirsOnly);
    };
    return s;
}

Seams& seams() {
    static Seams instance = realSeams();
    return instance;
}

int runDialog(QDialog& dialog) {
    return seams().runDialog(dialog);
}

void beep() {
    seams().beep();
}

void message(QWidget* parent, const QString& text, const QString& details) {
    seams().message(parent, text, details);
}

}  // namespace tembrel::ui
