#include "ui/rename_dialog.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>

#include "rename/rename_pattern.h"
#include "rename/rename_plan.h"
#include "rename/rename_run.h"
#include "ui/dialog_parts.h"
#include "ui/local_path.h"

namespace tembrel {

CRenameDialog::CRenameDialog(std::string jobPath, bool isFolder, QWidget* parent)
    : QDialog(parent), jobPath_(std::move(jobPath)), isFolder_(isFolder) {
    setWindowTitle(QStringLiteral("ファイル名の自動変更"));

    log_ = new QPlainTextEdit;
    log_->setObjectName(QStringLiteral("1026"));
    log_->setReadOnly(true);
    log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    log_->setLineWrapMode(QPlainTextEdit::NoWrap);
    log_->setMinimumSize(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 44,
                         fontMetrics().lineSpacing() * 14);

    patterns_ = new QComboBox;
    patterns_->setObjectName(QStringLiteral("1006"));
    for (const RenamePatternText& pattern : kRenamePatterns)
        patterns_->addItem(
            QString::fromUtf8(pattern.listText.data(), qsizetype(pattern.listText.size())));
    patterns_->setCurrentIndex(int(kDefaultRenamePattern));

    start_ = ui::makeButton("開始", "1044");
    close_ = ui::makeButton("閉じる", "2");
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, &CRenameDialog::OnStart);
    connect(close_, &QPushButton::clicked, this, &QDialog::reject);

    auto* controls = new QHBoxLayout;
    controls->addWidget(patterns_, 1);
    controls->addWidget(start_);
    controls->addWidget(close_);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(log_, 1);
    layout->addLayout(controls);
    start_->setFocus();
}

CRenameDialog::~CRenameDialog() = default;

void CRenameDialog::appendPath(const std::string& path) {
    renameList_.push_back(path);
}

void CRenameDialog::OnStart() {
    if (run_)
        return;
    if (runCount_ != 0) {
        accept();
        return;
    }
    ++runCount_;
    log_->clear();
    // The pattern is read once: the whole run names by it.
    const auto pattern = renamePatternOf(patterns_->currentIndex()).value_or(kDefaultRenamePattern);
    if (renameList_.empty()) {
        // Nothing to rename, nothing to log.
        start_->setText(QStringLiteral("OK"));
        return;
    }
    run_ = std::make_unique<RenameRun>(planRenames(renameList_, pattern),
                                       renameLogPathFor(jobPath_, isFolder_));
    if (!run_->logError().empty())
        appendLines({"rename log: " + run_->logError()});
    shown_ = 0;
    stopRequested_ = false;
    setIdle(false);
    QTimer::singleShot(0, this, &CRenameDialog::performNextStep);
}

void CRenameDialog::performNextStep() {
    if (!run_)
        return;
    // After a stop the files not yet handled end as cancelled, and are listed too.
    if (stopRequested_)
        run_->cancelRest();
    else
        run_->performNext();
    const std::vector<RenameStep>& steps = run_->steps();
    const std::size_t ended = stopRequested_ ? steps.size() : shown_ + 1;
    for (; shown_ < ended; ++shown_) {
        const auto lines = reportLines(steps[shown_]);
        appendLines({lines[0], lines[1]});
    }
    if (run_->finished())
        finishRun();
    else
        QTimer::singleShot(0, this, &CRenameDialog::performNextStep);
}

void CRenameDialog::appendLines(const std::vector<std::string>& lines) {
    for (const std::string& line : lines)
        log_->appendPlainText(ui::displayPath(line));
}

void CRenameDialog::finishRun() {
    run_.reset();
    start_->setText(QStringLiteral("OK"));
    setIdle(true);
    if (stopRequested_)
        QDialog::done(QDialog::Rejected);
}

void CRenameDialog::setIdle(bool idle) {
    start_->setEnabled(idle);
    patterns_->setEnabled(idle);
    close_->setEnabled(idle);
}

void CRenameDialog::done(int result) {
    if (run_) {
        stopRequested_ = true;
        return;
    }
    QDialog::done(result);
}

}  // namespace tembrel
