#include "ui/ui_seams.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QHeaderView>
#include <QMessageBox>
#include <QTextEdit>
#include <QTreeView>

#include "ui/shutdown.h"

namespace tembrel::ui {
namespace {

// Qt's own chooser opens with its size, type and date columns cut short: let them fit
// their contents and the name take the rest, in a window sized to its font. (A desktop's
// native chooser has no such view and is left as it is.)
void openRoomy(QFileDialog& dialog) {
    const QFontMetrics metrics = dialog.fontMetrics();
    dialog.resize(metrics.averageCharWidth() * 72, metrics.lineSpacing() * 30);
    if (auto* details = dialog.findChild<QTreeView*>()) {
        QHeaderView* columns = details->header();
        columns->setStretchLastSection(false);
        columns->setSectionResizeMode(0, QHeaderView::Stretch);
        for (int column = 1; column < columns->count(); ++column)
            columns->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    }
}

// Runs a chooser; the path chosen, or empty when the user cancelled.
QString runChooser(QFileDialog& dialog) {
    openRoomy(dialog);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().first();
}

}  // namespace

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
        return runChooser(dialog);
    };
    s.chooseFolder = [](QWidget* parent, const QString& title) {
        QFileDialog dialog(parent, title);
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly);
        return runChooser(dialog);
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
