#include "app/main_dialog.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "app/about_dialog.h"
#include "app/program_look.h"
#include "ui/dialog_parts.h"
#include "ui/job_launch.h"
#include "ui/local_path.h"
#include "ui/settings_dialog.h"
#include "ui/shutdown.h"
#include "ui/ui_seams.h"

namespace tembrel {
namespace {

// The chooser's filters in order, each with the patterns Qt reads from its last
// parentheses (not shown: HideNameFilterDetails).
const QStringList& fileFilters() {
    static const QStringList filters = {
        QStringLiteral("any type available(wav,mp3,rmp,vqf) (*.wav *.mp3 *.rmp *.vqf)"),
        QStringLiteral("Wave Files(convert to vqf) (*.wav)"),
        QStringLiteral("MP3 Files(convert to vqf) (*.mp3)"),
        QStringLiteral("RMP Files(convert to vqf) (*.rmp)"),
        QStringLiteral("Vqf Files(Tag Editor) (*.vqf)"),
    };
    return filters;
}

}  // namespace

QString CMainDialog::aboutMenuText() {
    return QStringLiteral("Tembrel のﾊﾞｰｼﾞｮﾝ情報(&A)...");
}

CMainDialog::CMainDialog(OutputRecord& outputs, QWidget* parent)
    : QDialog(parent), outputs_(outputs) {
    setWindowTitle(QStringLiteral("Tembrel"));
    setWindowIcon(programIcon());
    setWindowFlag(Qt::WindowMinimizeButtonHint, true);
    setAcceptDrops(true);

    QPushButton* file = ui::makeButton("ファイル", "1000");
    QPushButton* folder = ui::makeButton("フォルダ", "1001");
    QPushButton* settings = ui::makeButton("設定", "1005");
    QPushButton* about = ui::makeButton("Ver.情報", "1015");
    connect(file, &QPushButton::clicked, this, &CMainDialog::OnFile);
    connect(folder, &QPushButton::clicked, this, &CMainDialog::OnFolder);
    connect(settings, &QPushButton::clicked, this, &CMainDialog::OnSettings);
    connect(about, &QPushButton::clicked, this, &CMainDialog::OnAbout);

    auto* dropHere = new QLabel(QStringLiteral("Drug and Drop here"));
    dropHere->setAlignment(Qt::AlignCenter);
    dropHere->setFrameShape(QFrame::StyledPanel);
    dropHere->setFrameShadow(QFrame::Sunken);
    dropHere->setMinimumHeight(dropHere->fontMetrics().height() * 4);

    auto* buttons = new QGridLayout;
    buttons->addWidget(file, 0, 0);
    buttons->addWidget(folder, 0, 1);
    buttons->addWidget(settings, 1, 0);
    buttons->addWidget(about, 1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(dropHere, 1);

    auto* aboutEntry = new QAction(aboutMenuText(), this);
    connect(aboutEntry, &QAction::triggered, this, &CMainDialog::OnAbout);
    addAction(aboutEntry);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void CMainDialog::runJob(const std::string& path, std::optional<PathKind> forcedKind) {
    ui::runJobFor(this, path, forcedKind, outputs_);
    if (ui::shutdownRequested())
        reject();
}

void CMainDialog::refusePath(const QString& path) {
    ui::message(this, QStringLiteral("1個変換できず"),
                path + QStringLiteral(": the name is not valid in the file-name encoding"));
}

void CMainDialog::OnFile() {
    ui::FileChoice choice;
    choice.title = QStringLiteral("変換するファイルを指定してください");
    choice.filters = fileFilters();
    choice.directory = lastFolder_;
    choice.selectedFile = lastFile_;
    choice.defaultSuffix = QStringLiteral("wav");
    const QString chosen = ui::seams().chooseFile(this, choice);
    if (chosen.isEmpty())
        return;
    lastFile_ = chosen;
    lastFolder_ = QFileInfo(chosen).path();
    const auto path = ui::localPathOf(chosen);
    if (!path) {
        refusePath(chosen);
        return;
    }
    runJob(*path, PathKind::File);
}

void CMainDialog::OnFolder() {
    const QString chosen = ui::seams().chooseFolder(this, QStringLiteral("変換するフォルダ"));
    if (chosen.isEmpty())
        return;
    const auto path = ui::localPathOf(chosen);
    if (!path) {
        refusePath(chosen);
        return;
    }
    runJob(*path, PathKind::Folder);
}

void CMainDialog::OnSettings() {
    CSettingsDialog settings(this);
    ui::runDialog(settings);
}

void CMainDialog::OnAbout() {
    CAboutDialog about(this);
    ui::runDialog(about);
}

void CMainDialog::dragEnterEvent(QDragEnterEvent* event) {
    for (const QUrl& url : event->mimeData()->urls()) {
        if (ui::localPathOf(url)) {
            event->acceptProposedAction();
            return;
        }
    }
}

void CMainDialog::dropEvent(QDropEvent* event) {
    // Take the paths and return at once: the drag must not stay open for the length
    // of a job. Each path is then handled completely before the next.
    for (const QUrl& url : event->mimeData()->urls()) {
        if (const auto path = ui::localPathOf(url))
            dropped_.push_back(*path);
    }
    event->acceptProposedAction();
    activateWindow();
    QTimer::singleShot(0, this, &CMainDialog::handleDroppedPaths);
}

void CMainDialog::handleDroppedPaths() {
    if (handlingDrops_)
        return;  // paths dropped meanwhile join the queue in hand
    handlingDrops_ = true;
    while (!dropped_.empty() && !ui::shutdownRequested()) {
        const std::string path = dropped_.front();
        dropped_.pop_front();
        runJob(path, std::nullopt);
    }
    dropped_.clear();
    handlingDrops_ = false;
}

}  // namespace tembrel
