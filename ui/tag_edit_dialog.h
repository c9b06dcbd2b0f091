// The tag editor: the six texts of one VQF file, shown, edited and saved through the
// core's save (a new copy of the file beside it, renamed over it). A field the user did
// not touch keeps its stored bytes exactly, whatever they are.
#pragma once

#include <QDialog>
#include <array>
#include <optional>
#include <string>

#include "tagedit/header_texts.h"
#include "tagedit/tag_save.h"

class QPushButton;

namespace tembrel {

class CTagEditDialog : public QDialog {
    Q_OBJECT

  public:
    // The most characters the user can type into a field; text read from the file is
    // never cut to it.
    static constexpr int kTypingLimit = 1000;

    explicit CTagEditDialog(std::string filePath, QWidget* parent = nullptr);

    // The set-up: reads the file's texts into the fields. A file that cannot be read is
    // reported, and the window opens with empty fields.
    void initDialog();
    void OnSave();

  private:
    struct Field {
        QWidget* edit = nullptr;
        bool multiLine = false;
        // Set by the user's edits only; an untouched field reaches the save as "keep".
        bool edited = false;
    };
    QString textOf(const Field& field) const;
    void setTextOf(Field& field, const QString& text);
    void userEdited(Field& field);

    std::string filePath_;
    std::optional<tagedit::HeaderTexts> read_;
    // Indexed like StoredTexts.
    std::array<Field, tagedit::kTextCount> fields_;
    QPushButton* save_ = nullptr;
    bool filling_ = false;
};

}  // namespace tembrel
