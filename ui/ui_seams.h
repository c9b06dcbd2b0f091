// What would block a test or reach outside the program: running a dialog modally, the
// beep, a message box and the file and folder choosers. The windows call them only
// through these functions, which tests replace to observe them without a modal loop.
#pragma once

#include <QString>
#include <QStringList>
#include <functional>

class QDialog;
class QWidget;

namespace tembrel::ui {

// What the file chooser is opened with.
struct FileChoice {
    QString title;
    // Each "TEXT (*.ext ...)"; the first is selected.
    QStringList filters;
    QString directory;
    QString selectedFile;
    QString defaultSuffix;
};

struct Seams {
    // Runs the dialog modally; its result.
    std::function<int(QDialog& dialog)> runDialog;
    std::function<void()> beep;
    // A message box with an OK button only; `details` (may be empty) is the expandable
    // detailed text.
    std::function<void(QWidget* parent, const QString& text, const QString& details)> message;
    // The chosen file, or an empty text when the user cancelled.
    std::function<QString(QWidget* parent, const FileChoice& choice)> chooseFile;
    // The chosen folder, or an empty text when the user cancelled.
    std::function<QString(QWidget* parent, const QString& title)> chooseFolder;
};

// The seams in force; the real ones unless a test replaced them.
Seams& seams();
// The real implementations.
Seams realSeams();

// Replaces the seams for as long as it lives (tests).
class ScopedSeams {
  public:
    explicit ScopedSeams(Seams replacement) : saved_(seams()) { seams() = std::move(replacement); }
    ~ScopedSeams() { seams() = saved_; }
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;

  private:
    Seams saved_;
};

// Shortcuts for the seams in force.
int runDialog(QDialog& dialog);
void beep();
void message(QWidget* parent, const QString& text, const QString& details = {});

}  // namespace tembrel::ui
