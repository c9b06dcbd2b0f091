// The program's start and its main window: jobs from the command line, the choosers and
// drops, the version box, the settings window, the icon and font, one real message box,
// and the signals that end the program.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>
#include <csignal>
#include <filesystem>

#include "app/interrupt_signals.h"
#include "app/main_dialog.h"
#include "app/program_look.h"
#include "app/tembrel_app.h"
#include "platform/text_encoding.h"
#include "tagedit/header_texts.h"
#include "tests/ui/ui_test_support.h"
#include "ui/progress_dialog.h"
#include "ui/tag_edit_dialog.h"

using namespace tembrel;
using ui::control;
namespace fs = std::filesystem;

namespace {

const QString kFileTitle = QStringLiteral("ファイル(VQFに変換)変換モード");
const QString kFolderTitle = QStringLiteral("フォルダ変換モード");

// Records the path of every progress window run; runs it to its end when `start` is set.
struct Runs {
    std::vector<std::string> paths;
    bool start = false;
    int operator()(QDialog& dialog) {
        if (auto* progress = qobject_cast<CProgressDialog*>(&dialog)) {
            paths.push_back(progress->job.inputPath);
            if (start)
                return test::runPressingEnter(dialog);
        }
        return 0;
    }
};

void drop(QWidget& target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    const QPoint at = target.rect().center();
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&target, &dropped);
}

}  // namespace

class AppTest : public QObject {
    Q_OBJECT

    std::optional<test::TempDir> dir_;
    OutputRecord outputs_;
    std::string at(const char* name) const {
        return fs::canonical(dir_->path()).string() + "/" + name;
    }
    QString qat(const char* name) const { return QString::fromStdString(at(name)); }

  private slots:
    void initTestCase() { applyProgramLook(*qApp); }
    void init() {
        test::resetProcessState();
        dir_.emplace();
        outputs_.clear();
    }
    void cleanup() { test::resetProcessState(); }

    void mainWindowShowsItsControlsIconAndJapaneseFont() {
        CMainDialog main(outputs_);
        QCOMPARE(main.windowTitle(), QStringLiteral("Tembrel"));
        const std::pair<const char*, const char*> buttons[] = {
            {"1000", "ファイル"}, {"1001", "フォルダ"}, {"1005", "設定"}, {"1015", "Ver.情報"}};
        for (const auto& [id, text] : buttons)
            QCOMPARE(control<QPushButton>(&main, id)->text(), QString::fromUtf8(text));
        bool dropHere = false;
        for (QLabel* label : main.findChildren<QLabel*>())
            dropHere |= label->text() == QStringLiteral("Drug and Drop here");
        QVERIFY(dropHere);
        QVERIFY(!main.windowIcon().isNull());
        QVERIFY(!main.windowIcon().pixmap(32, 32).isNull());
        QVERIFY(main.acceptDrops());
        QCOMPARE(QFontInfo(main.font()).family(), QStringLiteral("Noto Sans CJK JP"));
        // Qt's own texts (here a message box's details button) in Japanese too.
        QCOMPARE(QCoreApplication::translate("QMessageBox", "Show Details..."),
                 QStringLiteral("詳細を表示..."));

        main.show();
        QVERIFY(QTest::qWaitForWindowExposed(&main));
        QTest::keyClick(&main, Qt::Key_Escape);
        QVERIFY(main.isHidden());
    }

    void versionBoxFromTheButtonAndTheContextMenu() {
        QStringList seen;
        test::RecordingSeams seams([&](QDialog& box) {
            seen << box.findChild<QLabel*>("version")->text()
                 << box.findChild<QLabel*>("text")->text();
            if (!box.findChild<QLabel*>("icon")->pixmap().isNull())
                seen << "icon";
            control<QPushButton>(&box, "1")->click();
            return box.result();
        });
        CMainDialog main(outputs_);
        control<QPushButton>(&main, "1015")->click();
        QAction* entry = nullptr;
        for (QAction* action : main.actions())
            if (action->text() == QStringLiteral("Tembrel のﾊﾞｰｼﾞｮﾝ情報(&A)..."))
                entry = action;
        QVERIFY(entry);
        QCOMPARE(main.contextMenuPolicy(), Qt::ActionsContextMenu);
        entry->trigger();
        const QString title = QStringLiteral("Tembrelのﾊﾞｰｼﾞｮﾝ情報");
        QCOMPARE(seams.dialogs, (QStringList{title, title}));
        const QString text = QStringLiteral(
            "【認識可能mp3タグ】\nID3v1.1, ID3v2.4.0, RIFF＜バグがあるかも\n"
            "【変換可能フォーマット】\n8,11,16,22,44kHzかつ8,16Bitのみ\n\n"
            "コマンドライン，ドラッグ＆ドロップに対応してます\n"
            "(フォルダ , WAV, MP3, RMP, VQF)\n\n本ソフトはフリーウェアです\n\n"
            "詳しくはオンラインドキュメントをご覧下さい");
        const QStringList once{QStringLiteral("Tembrel Version 1.3"), text, "icon"};
        QCOMPARE(seen, once + once);
    }

    void settingsButtonOpensTheSettingsWindow() {
        test::RecordingSeams seams;
        CMainDialog main(outputs_);
        control<QPushButton>(&main, "1005")->click();
        QCOMPARE(seams.dialogs, QStringList{QStringLiteral("設定")});
    }

    void fileChooserAsksWithItsFiltersAndRemembersTheChoice() {
        test::writeSong(at("music/song.wav"));
        Runs runs;
        test::RecordingSeams seams(std::ref(runs));
        CMainDialog main(outputs_);
        seams.fileToChoose = qat("music/song.wav");
        control<QPushButton>(&main, "1000")->click();
        const ui::FileChoice first = seams.lastFileChoice;
        QCOMPARE(first.title, QStringLiteral("変換するファイルを指定してください"));
        QCOMPARE(first.filters,
                 (QStringList{QStringLiteral(
                                  "any type available(wav,mp3,rmp,vqf) (*.wav *.mp3 *.rmp *.vqf)"),
                              QStringLiteral("Wave Files(convert to vqf) (*.wav)"),
                              QStringLiteral("MP3 Files(convert to vqf) (*.mp3)"),
                              QStringLiteral("RMP Files(convert to vqf) (*.rmp)"),
                              QStringLiteral("Vqf Files(Tag Editor) (*.vqf)")}));
        QCOMPARE(first.defaultSuffix, QStringLiteral("wav"));
        QVERIFY(first.directory.isEmpty() && first.selectedFile.isEmpty());
        QCOMPARE(seams.dialogs, QStringList{kFileTitle});
        QCOMPARE(runs.paths, std::vector<std::string>{at("music/song.wav")});

        // Cancelled: nothing runs; the next chooser still starts at the earlier choice.
        seams.fileToChoose.clear();
        control<QPushButton>(&main, "1000")->click();
        QCOMPARE(seams.lastFileChoice.directory, qat("music"));
        QCOMPARE(seams.lastFileChoice.selectedFile, qat("music/song.wav"));
        QCOMPARE(seams.dialogs.size(), 1);

        // A text that names no single byte string is refused, never taken for another file.
        seams.fileToChoose = qat("music/") + QChar(QChar::ReplacementCharacter) + ".wav";
        control<QPushButton>(&main, "1000")->click();
        QCOMPARE(seams.dialogs.size(), 1);
        QCOMPARE(seams.messages.size(), std::size_t(1));
    }

    void folderChooserAndSlashPathsGiveFolderJobs() {
        fs::create_directories(at("music"));
        Runs runs;
        test::RecordingSeams seams(std::ref(runs));
        CMainDialog main(outputs_);
        seams.folderToChoose = qat("music");
        control<QPushButton>(&main, "1001")->click();
        QCOMPARE(seams.lastFolderTitle, QStringLiteral("変換するフォルダ"));
        // "/" and a folder ending in "/" are folders, also from the command line.
        CTembrelApp app;
        app.InitInstance({"/", at("music") + "/"});
        QCOMPARE(seams.dialogs, (QStringList{kFolderTitle, kFolderTitle, kFolderTitle, "Tembrel"}));
        QCOMPARE(runs.paths, (std::vector<std::string>{at("music"), "/", at("music")}));
    }

    void commandLinePathsRunOneAfterTheOtherBeforeTheMainWindow() {
        test::writeSong(at("a.wav"));
        test::writeSong(at("music/b.wav"));
        Runs runs;
        runs.start = true;
        test::RecordingSeams seams(std::ref(runs));
        CTembrelApp app;
        app.InitInstance({at("a.wav"), at("music")});
        QCOMPARE(seams.dialogs, (QStringList{kFileTitle, kFolderTitle, "Tembrel"}));
        QVERIFY(fs::exists(at("a.vqf")));
        QVERIFY(fs::exists(at("music/b.vqf")));
        QCOMPARE(seams.beeps, 2);
    }

    void aVqfPathOpensTheTagEditorWhoseSaveRewritesTheTitle() {
        test::writeSong(at("song.wav"));
        test::writeVqf(at("song.wav"), at("Song.VQF"));
        test::RecordingSeams seams([](QDialog& dialog) {
            if (auto* editor = qobject_cast<CTagEditDialog*>(&dialog)) {
                auto* title = control<QLineEdit>(editor, "1026");
                title->selectAll();
                QInputMethodEvent typed;
                typed.setCommitString(QStringLiteral("新しい曲名"));
                QApplication::sendEvent(title, &typed);
                control<QPushButton>(editor, "1")->click();
            }
            return dialog.result();
        });
        CTembrelApp app;
        app.InitInstance({at("Song.VQF")});
        QCOMPARE(seams.dialogs, (QStringList{qat("Song.VQF"), "Tembrel"}));
        const tagedit::ReadResult read = tagedit::readHeaderTexts(at("Song.VQF"));
        QVERIFY(read.ok());
        QCOMPARE(read.texts->texts[*tagedit::textIndex("NAME")], text::utf8ToCp932("新しい曲名"));

        // The file chooser's choice of a VQF file opens the editor too.
        CMainDialog main(outputs_);
        seams.fileToChoose = qat("Song.VQF");
        control<QPushButton>(&main, "1000")->click();
        QCOMPARE(seams.dialogs.last(), qat("Song.VQF"));
    }

    void oneRunRefusesASecondSourceOfTheSameOutput() {
        test::writeSong(at("x.wav"));
        fs::copy_file(at("x.wav"), at("x.mp3"));
        Runs runs;
        runs.start = true;
        test::RecordingSeams seams(std::ref(runs));
        CTembrelApp app;
        app.InitInstance({at("x.wav"), at("x.mp3")});
        QCOMPARE(seams.beeps, 1);
        QCOMPARE(seams.messages.size(), std::size_t(1));
        QCOMPARE(seams.messages[0].text, QStringLiteral("1個変換できず"));
        QVERIFY2(seams.messages[0].details.contains(QStringLiteral("already written")),
                 qPrintable(seams.messages[0].details));
    }

    void dropIsTakenAtOnceThenHandledInDropOrder() {
        test::writeSong(at("song.wav"));
        fs::create_directories(at("music"));
        // A name that is not UTF-8 arrives byte for byte.
        const std::string odd = at("odd\xff.wav");
        test::writeSong(odd);
        Runs runs;
        test::RecordingSeams seams(std::ref(runs));
        CMainDialog main(outputs_);
        drop(main, {QUrl::fromLocalFile(qat("music")), QUrl::fromLocalFile(qat("song.wav")),
                    QUrl(QStringLiteral("https://example.org/x.wav")),
                    QUrl::fromEncoded(QUrl::fromLocalFile(qat("odd")).toEncoded() + "%FF.wav")});
        QVERIFY(seams.dialogs.isEmpty());
        QTRY_COMPARE(seams.dialogs.size(), 3);
        QCOMPARE(seams.dialogs, (QStringList{kFolderTitle, kFileTitle, kFileTitle}));
        QCOMPARE(runs.paths, (std::vector<std::string>{at("music"), at("song.wav"), odd}));
    }

    void aRealMessageBoxIsClosedByItsOkButton() {
        ui::ScopedSeams real(ui::realSeams());
        QString seenText;
        QString seenDetails;
        QTimer poll;
        connect(&poll, &QTimer::timeout, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            seenText = box->text();
            seenDetails = box->detailedText();
            box->button(QMessageBox::Ok)->click();
        });
        poll.start(10);
        ui::message(nullptr, QStringLiteral("1個変換できず"),
                    QStringLiteral("/m/bad.wav: reason\n"));
        QCOMPARE(seenText, QStringLiteral("1個変換できず"));
        QCOMPARE(seenDetails, QStringLiteral("/m/bad.wav: reason\n"));
    }

    void aSignalStopsTheJobAndEndsTheProgram() {
        test::writeSong(at("long.wav"), 3.0);
        test::writeSong(at("next.wav"));
        InterruptSignals interrupts;
        encoderDriver().setFrameObserver([](int32_t frame) {
            if (frame == 3)
                std::raise(SIGTERM);
        });
        Runs runs;
        runs.start = true;
        test::RecordingSeams seams(std::ref(runs));
        CTembrelApp app;
        app.InitInstance({at("long.wav"), at("next.wav")});
        QVERIFY(ui::shutdownRequested());
        QCOMPARE(seams.dialogs, QStringList{kFileTitle});
        QVERIFY(!fs::exists(at("long.vqf")));
        QVERIFY(!fs::exists(at("next.vqf")));
        QCOMPARE(seams.beeps, 0);
        QVERIFY(seams.messages.empty());
    }
};

QTEST_MAIN(AppTest)
#include "app_test.moc"
