#include "ui/tag_edit_dialog.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextDocument>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/text_encoding.h"
#include "tagedit/text_fields.h"
#include "ui/dialog_parts.h"
#include "ui/key_filter.h"
#include "ui/local_path.h"
#include "ui/ui_seams.h"

namespace tembrel {
namespace {

// Every line break the user's text holds, however it came in, as CR LF.
std::string withCrLf(const QString& text) {
    QString lines = text;
    lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    lines.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    lines.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    return lines.toStdString();
}

// Keeps typing in a multi-line edit within the limit, or within what the file held when
// that was longer: an edit that would grow the text past it loses what it added beyond.
void limitTyping(QPlainTextEdit* edit, int limit, const bool& filling) {
    QTextDocument* document = edit->document();
    QObject::connect(document, &QTextDocument::contentsChange, edit,
                     [document, limit, &filling](int position, int removed, int added) {
                         if (filling || added <= removed)
                             return;
                         const int length = document->characterCount() - 1;
                         const int before = length - added + removed;
                         const int allowed = std::max(limit, before);
                         if (length <= allowed)
                             return;
                         QTextCursor cursor(document);
                         cursor.setPosition(position + added - (length - allowed));
                         cursor.setPosition(position + added, QTextCursor::KeepAnchor);
                         cursor.removeSelectedText();
                     });
}

}  // namespace

CTagEditDialog::CTagEditDialog(std::string filePath, QWidget* parent)
    : QDialog(parent), filePath_(std::move(filePath)) {
    setWindowTitle(ui::displayPath(filePath_));

    auto* grid = new QGridLayout;
    int row = 0;
    for (const tagedit::EditorField& shown : tagedit::kEditorFields) {
        Field& field = fields_[*tagedit::textIndex(shown.chunkId)];
        const QString id = QString::number(shown.controlId);
        auto* label =
            new QLabel(QString::fromUtf8(shown.label.data(), qsizetype(shown.label.size())));
        field.multiLine = shown.chunkId == kCommentChunk.id || shown.chunkId == kExtraChunk.id;
        if (field.multiLine) {
            auto* edit = new QPlainTextEdit;
            edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
            edit->setTabChangesFocus(true);
            edit->setFixedHeight(edit->fontMetrics().lineSpacing() * 4 + 2 * edit->frameWidth() +
                                 int(edit->document()->documentMargin() * 2));
            connect(edit, &QPlainTextEdit::textChanged, this,
                    [this, &field] { userEdited(field); });
            limitTyping(edit, kTypingLimit, filling_);
            field.edit = edit;
            label->setAlignment(Qt::AlignRight | Qt::AlignTop);
        } else {
            auto* edit = new QLineEdit;
            edit->setMaxLength(kTypingLimit);
            connect(edit, &QLineEdit::textEdited, this, [this, &field] { userEdited(field); });
            field.edit = edit;
            label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        }
        field.edit->setObjectName(id);
        label->setBuddy(field.edit);
        grid->addWidget(label, row, 0);
        grid->addWidget(field.edit, row, 1);
        ++row;
    }
    grid->setColumnStretch(1, 1);

    save_ = ui::makeButton("保存", "1");
    QPushButton* cancel = ui::makeButton("ｷｬﾝｾﾙ", "2");
    save_->setDefault(true);
    save_->setEnabled(false);
    connect(save_, &QPushButton::clicked, this, &CTagEditDialog::OnSave);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(ui::buttonRow({save_, cancel}));
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 40);

    // Neither Return, Enter nor Escape saves, cancels or breaks a line: the window ends
    // by its buttons or its close box only.
    auto* keys = new ui::KeyFilter(this, {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape});
    keys->watch(this);
}

QString CTagEditDialog::textOf(const Field& field) const {
    if (field.multiLine)
        return static_cast<QPlainTextEdit*>(field.edit)->toPlainText();
    return static_cast<QLineEdit*>(field.edit)->text();
}

void CTagEditDialog::setTextOf(Field& field, const QString& text) {
    if (field.multiLine) {
        QString lines = text;
        lines.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        static_cast<QPlainTextEdit*>(field.edit)->setPlainText(lines);
        return;
    }
    auto* edit = static_cast<QLineEdit*>(field.edit);
    edit->setMaxLength(std::max<int>(kTypingLimit, int(text.size())));
    edit->setText(text);
}

void CTagEditDialog::userEdited(Field& field) {
    if (filling_)
        return;
    field.edited = true;
    save_->setEnabled(true);
}

void CTagEditDialog::initDialog() {
    tagedit::ReadResult result = tagedit::readHeaderTexts(filePath_);
    filling_ = true;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        const std::optional<std::string> stored =
            result.ok() ? result.texts->texts[i] : std::nullopt;
        setTextOf(fields_[i],
                  stored ? QString::fromStdString(text::cp932ToUtf8(*stored)) : QString());
        fields_[i].edited = false;
    }
    filling_ = false;
    save_->setEnabled(false);
    read_ = std::move(result.texts);
    if (!read_) {
        ui::message(this, QString::fromUtf8(tagedit::kReadFailedMessage.data(),
                                            qsizetype(tagedit::kReadFailedMessage.size())));
    }
}

void CTagEditDialog::OnSave() {
    tagedit::TextEdits edits;
    for (std::size_t i = 0; i < fields_.size(); ++i) {
        if (fields_[i].edited)
            edits[i] = withCrLf(textOf(fields_[i]));
    }
    const tagedit::SaveResult result =
        tagedit::saveHeaderTexts(filePath_, read_ ? &*read_ : nullptr, edits);
    if (result.ok()) {
        accept();
        return;
    }
    ui::message(this, QString::fromStdString(result.message));
    // Refused before anything was written: the user's text stays for another try.
    if (result.outcome == tagedit::SaveOutcome::TextRefused ||
        result.outcome == tagedit::SaveOutcome::NoTemporaryName)
        return;
    accept();
}

}  // namespace tembrel
