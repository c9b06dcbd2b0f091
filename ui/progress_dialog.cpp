#include "ui/progress_dialog.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QTimer>
#include <QVBoxLayout>
#include <chrono>

#include "driver/convert_settings.h"
#include "driver/front_end.h"
#include "driver/job_progress.h"
#include "twinvq/encoder_driver.h"
#include "ui/dialog_parts.h"
#include "ui/key_filter.h"
#include "ui/local_path.h"
#include "ui/progress_text.h"
#include "ui/rename_dialog.h"
#include "ui/shutdown.h"
#include "ui/tag_edit_dialog.h"
#include "ui/ui_seams.h"

namespace tembrel {
namespace {

constexpr auto kRefreshInterval = std::chrono::milliseconds(500);

// The type boxes' ids, in the order of kSourceTypes; their texts are the types' labels.
constexpr const char* kTypeBoxIds[] = {"1032", "1033", "1038", "1040", "1041"};
static_assert(std::size(kTypeBoxIds) == std::size(kSourceTypes));

}  // namespace

CProgressDialog::CProgressDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("開始待ち"));

    path_ = new QTextEdit;
    path_->setObjectName(QStringLiteral("1026"));
    path_->setReadOnly(true);
    path_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    path_->setFixedHeight(path_->fontMetrics().lineSpacing() * 3 + 2 * path_->frameWidth() + 8);
    status_ = new QLabel(QStringLiteral("開始準備OK"));
    status_->setObjectName(QStringLiteral("1035"));
    status_->setAlignment(Qt::AlignCenter);
    bar_ = new QProgressBar;
    bar_->setObjectName(QStringLiteral("1003"));
    bar_->setTextVisible(false);

    auto* types = new QGroupBox(QStringLiteral("検索対象"));
    // Three to a row: WAV, MP3, RMP above FLAC and Ogg.
    auto* typeGrid = new QGridLayout(types);
    for (std::size_t i = 0; i < std::size(kSourceTypes); ++i) {
        const QByteArray label(kSourceTypes[i].label.data(),
                               qsizetype(kSourceTypes[i].label.size()));
        auto* box = new QCheckBox(QString::fromUtf8(label));
        box->setObjectName(QString::fromUtf8(kTypeBoxIds[i]));
        const int32_t bit = kSourceTypes[i].bit;
        connect(box, &QCheckBox::clicked, this, [this, bit](bool on) { setTypeBit(bit, on); });
        typeGrid->addWidget(box, int(i / 3), int(i % 3));
        typeBoxes_[i] = box;
    }

    modes_ = new QComboBox;
    modes_->setObjectName(QStringLiteral("1006"));
    start_ = ui::makeButton("開始", "1000");
    cancel_ = ui::makeButton("キャンセル", "1001");
    start_->setDefault(true);
    connect(start_, &QPushButton::clicked, this, &CProgressDialog::OnStart);
    connect(cancel_, &QPushButton::clicked, this, &CProgressDialog::OnCancelJob);

    auto* controls = new QHBoxLayout;
    controls->addWidget(types);
    auto* right = new QVBoxLayout;
    right->addWidget(modes_);
    right->addLayout(ui::buttonRow({start_, cancel_}));
    controls->addLayout(right);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(path_);
    layout->addWidget(status_);
    layout->addWidget(bar_);
    layout->addLayout(controls);

    // While the job runs Enter does nothing (Escape, as the close box, asks it to stop).
    auto* keys =
        new ui::KeyFilter(this, {Qt::Key_Return, Qt::Key_Enter}, [this] { return started_; });
    keys->watch(this);
    setMinimumWidth(fontMetrics().horizontalAdvance(QLatin1Char('M')) * 36);
}

CProgressDialog::~CProgressDialog() {
    if (threadsRunning_)
        jobProgress().cancelRequested = true;
    joinThreads();
}

int CProgressDialog::launch() {
    if (opensTagEditor(job.kind, job.inputPath)) {
        CTagEditDialog editor(job.inputPath, parentWidget());
        editor.initDialog();
        return ui::runDialog(editor);
    }
    initDialog();
    return ui::runDialog(*this);
}

void CProgressDialog::initDialog() {
    bar_->setRange(0, 2);
    bar_->setValue(0);
    const bool folder = job.kind == PathKind::Folder;
    // FLAC and Ogg are searched only when ticked.
    for (std::size_t i = 0; i < std::size(kSourceTypes); ++i) {
        typeBoxes_[i]->setChecked((kDefaultTypes & kSourceTypes[i].bit) != 0);
        typeBoxes_[i]->setEnabled(folder);
    }
    job.typeMask = kDefaultTypes;
    setWindowTitle((folder ? QStringLiteral("フォルダ") : QStringLiteral("ファイル(VQFに変換)")) +
                   QStringLiteral("変換モード"));
    shownPath_ = job.inputPath;
    showPath(shownPath_);
    status_->setText(QStringLiteral("開始準備OK"));
    modes_->clear();
    modes_->addItem(QStringLiteral("VQFにエンコード"));
    modes_->addItem(QStringLiteral("ファイル名自動割付"));
    modes_->setCurrentIndex(0);
    start_->setFocus();
}

void CProgressDialog::showPath(const std::string& path) {
    const QString shown = ui::displayPath(path);
    if (path_->toPlainText() == shown)
        return;
    path_->setPlainText(shown);
    path_->selectAll();
    path_->setAlignment(Qt::AlignCenter);
    path_->moveCursor(QTextCursor::Start);
}

void CProgressDialog::setTypeBit(int32_t bit, bool on) {
    const int32_t mask = job.typeMask;
    job.typeMask = on ? (mask | bit) : (mask & ~bit);
}

void CProgressDialog::OnStart() {
    if (started_)
        return;
    const int index = modes_->currentIndex();
    if (index == int(JobMode::EncodeToVqf)) {
        job.mode = JobMode::EncodeToVqf;
        started_ = true;
        start_->setEnabled(false);
        startThreads();
    } else if (index == int(JobMode::AutoRename)) {
        job.mode = JobMode::AutoRename;
        // The log of the renaming lies in the folder, or beside the file, the job names.
        CRenameDialog renamer(job.inputPath, job.kind == PathKind::Folder, this);
        job.renameTarget = &renamer;
        job.run();
        job.renameTarget = nullptr;
        ui::runDialog(renamer);
        OnCancelJob();
    }
}

void CProgressDialog::OnCancelJob() {
    if (started_) {
        jobProgress().cancelRequested = true;
        return;
    }
    QDialog::done(0);
}

void CProgressDialog::done(int result) {
    if (started_) {
        OnCancelJob();
        return;
    }
    QDialog::done(result);
}

void CProgressDialog::startThreads() {
    JobProgress& progress = jobProgress();
    progress.monitorRunning = true;
    progress.resetForEncoding();
    progress.setCurrentFile({});
    if (ui::shutdownRequested())
        progress.cancelRequested = true;
    job.encoder = &encoderDriver();
    monitorStop_ = false;
    threadsRunning_ = true;
    monitor_ = std::thread(&CProgressDialog::progressMonitor, this);
    worker_ = std::thread(&CProgressDialog::conversionWorker, this);
}

CProgressDialog::Snapshot CProgressDialog::takeSnapshot() {
    const JobProgress& progress = jobProgress();
    return {progress.framesDone, progress.framesTotal, progress.successCount, progress.failureCount,
            progress.currentFile()};
}

void CProgressDialog::progressMonitor() {
    while (jobProgress().monitorRunning) {
        // Posted, never waited for: the window's thread shows it when it gets to it.
        QMetaObject::invokeMethod(
            this, [this, snapshot = takeSnapshot()] { showProgress(snapshot); },
            Qt::QueuedConnection);
        std::unique_lock lock(monitorMutex_);
        if (monitorWake_.wait_for(lock, kRefreshInterval, [this] { return monitorStop_; }))
            break;
    }
}

void CProgressDialog::conversionWorker() {
    job.run();
    // Read now: a Cancel pressed after the job ended must not hide its report.
    const bool cancelled = jobProgress().cancelRequested;
    jobProgress().monitorRunning = false;
    {
        std::lock_guard lock(monitorMutex_);
        monitorStop_ = true;
    }
    monitorWake_.notify_all();
    QMetaObject::invokeMethod(
        this, [this, cancelled] { workerFinished(cancelled); }, Qt::QueuedConnection);
}

void CProgressDialog::showProgress(const Snapshot& snapshot) {
    const ui::BarPosition position = ui::barPosition(snapshot.framesDone, snapshot.framesTotal);
    bar_->setRange(0, position.maximum);
    bar_->setValue(position.value);
    showPath(snapshot.currentFile.empty() ? shownPath_ : snapshot.currentFile);
    status_->setText(
        ui::encodingStatusText(ui::progressPercent(snapshot.framesDone, snapshot.framesTotal),
                               snapshot.succeeded, snapshot.failed));
}

void CProgressDialog::workerFinished(bool cancelled) {
    // The monitor's last refresh has been posted; the report follows half a second
    // later, without blocking this thread.
    QTimer::singleShot(kRefreshInterval, this, [this, cancelled] { endOfJob(cancelled); });
}

void CProgressDialog::endOfJob(bool cancelled) {
    joinThreads();
    showProgress(takeSnapshot());
    const EndReport report =
        endReport(jobProgress().failureCount, int32_t(job.warnings().size()), cancelled,
                  convertSettings().noCompletionSound);
    if (!ui::shutdownRequested()) {
        switch (report.kind) {
            case EndReport::Kind::Silence:
                break;
            case EndReport::Kind::Beep:
                ui::beep();
                break;
            case EndReport::Kind::FailureMessage:
            case EndReport::Kind::WarningMessage:
                ui::message(this, QString::fromStdString(report.message), reportDetails());
                break;
        }
    }
    started_ = false;
    done(0);
}

QString CProgressDialog::reportDetails() const {
    // One line per file that failed, then per file converted with a warning, with why.
    // When there are both, each group comes under the line that counts it, so the user
    // can tell which files have no output.
    const bool both = !job.failures().empty() && !job.warnings().empty();
    QString details;
    const auto group = [&](const std::vector<FileOutcome>& outcomes, const EndReport& heading) {
        if (outcomes.empty())
            return;
        if (both)
            details += QString::fromStdString(heading.message) + QLatin1Char('\n');
        for (const FileOutcome& outcome : outcomes) {
            details += ui::displayPath(outcome.inputPath) + QStringLiteral(": ") +
                       QString::fromStdString(outcome.reason) + QLatin1Char('\n');
        }
    };
    group(job.failures(), endReport(int32_t(job.failures().size()), 0, false, false));
    if (both)
        details += QLatin1Char('\n');
    group(job.warnings(), endReport(0, int32_t(job.warnings().size()), false, false));
    details.chop(1);
    return details;
}

void CProgressDialog::joinThreads() {
    if (worker_.joinable())
        worker_.join();
    if (monitor_.joinable())
        monitor_.join();
    threadsRunning_ = false;
}

}  // namespace tembrel
