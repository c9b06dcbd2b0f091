// The renaming window, opened from the progress window as a user does: the files of a
// folder renamed by the pattern chosen, two log lines per file, the rename log that
// undoes them, and a stop asked for during a run.
#include <QComboBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <filesystem>

#include "rename/rename_log.h"
#include "rename/rename_undo.h"
#include "tag_bytes.h"
#include "tests/ui/ui_test_support.h"
#include "ui/progress_dialog.h"
#include "ui/rename_dialog.h"

using namespace tembrel;
using ui::control;
namespace fs = std::filesystem;

class RenameDialogTest : public QObject {
    Q_OBJECT

    std::optional<test::TempDir> dir_;
    std::string at(const std::string& name) const {
        return fs::canonical(dir_->path()).string() + "/" + name;
    }
    // An MP3 stand-in with an ID3v1.1 block (`title` nullptr: no tags at all).
    void song(const std::string& name, const char* title, int track = 7) {
        test::Bytes bytes = test::str("audio of " + name);
        if (title != nullptr)
            bytes = test::cat(
                {bytes, test::id3v1Block(title, "Artist", "Album", "2000", "", 0, track)});
        test::writeFile(at(name), bytes);
    }
    // Runs a renaming job over `path` from its progress window; `inRenamer` drives the
    // renaming window.
    void renameJob(const std::string& path, std::function<void(CRenameDialog&)> inRenamer) {
        test::RecordingSeams seams([&](QDialog& dialog) {
            if (auto* renamer = qobject_cast<CRenameDialog*>(&dialog)) {
                inRenamer(*renamer);
                return renamer->result();
            }
            QTest::keyClick(control<QComboBox>(&dialog, "1006"), Qt::Key_Down);
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
            return dialog.result();
        });
        CProgressDialog progress;
        progress.job.setUp(path);
        progress.launch();
        QVERIFY(progress.isHidden());
        QCOMPARE(seams.dialogs.size(), 2);
        QCOMPARE(seams.dialogs[1], QStringLiteral("ファイル名の自動変更"));
        QCOMPARE(seams.beeps, 0);
        QVERIFY(seams.messages.empty());
    }

  private slots:
    void init() {
        test::resetProcessState();
        dir_.emplace();
    }
    void cleanup() { test::resetProcessState(); }

    void opensWithTheCollectedFilesAndThePatterns() {
        CRenameDialog dialog(at(""), true);
        QCOMPARE(dialog.windowTitle(), QStringLiteral("ファイル名の自動変更"));
        auto* log = control<QPlainTextEdit>(&dialog, "1026");
        QVERIFY(log->isReadOnly());
        QVERIFY(log->toPlainText().isEmpty());
        auto* patterns = control<QComboBox>(&dialog, "1006");
        QStringList texts;
        for (int i = 0; i < patterns->count(); ++i)
            texts << patterns->itemText(i);
        QCOMPARE(texts, (QStringList{"タイトル", "トラック番号.タイトル",
                                     "トラック番号.[アルバム]-タイトル",
                                     "(アーティスト)-[アルバム]-トラック番号.タイトル"}));
        QCOMPARE(patterns->currentIndex(), 2);
        QCOMPARE(control<QPushButton>(&dialog, "1044")->text(), QStringLiteral("開始"));
        QCOMPARE(control<QPushButton>(&dialog, "2")->text(), QStringLiteral("閉じる"));
    }

    void renamesByTheSelectedPatternWithTwoLogLinesPerFileAndAnUndoableLog() {
        song("a.mp3", "Rain", 7);
        song("b.mp3", nullptr);
        QString shownLog;
        bool idleWhileRunning = true;
        renameJob(at(""), [&](CRenameDialog& renamer) {
            QCOMPARE(renamer.renameList(), (std::vector<std::string>{at("a.mp3"), at("b.mp3")}));
            QTest::keyClick(control<QComboBox>(&renamer, "1006"), Qt::Key_Up);  // pattern 1
            auto* start = control<QPushButton>(&renamer, "1044");
            start->click();
            idleWhileRunning = start->isEnabled() ||
                               control<QPushButton>(&renamer, "2")->isEnabled() ||
                               control<QComboBox>(&renamer, "1006")->isEnabled();
            QTRY_COMPARE(start->text(), QStringLiteral("OK"));
            shownLog = control<QPlainTextEdit>(&renamer, "1026")->toPlainText();
            start->click();  // "OK" ends the window
        });
        QVERIFY(!idleWhileRunning);
        QCOMPARE(shownLog,
                 QString::fromStdString("成功: " + at("a.mp3") + "\n ---> " + at("07.Rain.mp3") +
                                        "\n失敗: " + at("b.mp3") + "\n ---> (タイトルなし)"));
        QVERIFY(fs::exists(at("07.Rain.mp3")));
        QVERIFY(!fs::exists(at("a.mp3")));
        // The command line's undo reads the same log.
        const UndoPlan undo = planUndo(at(std::string(kRenameLogName)));
        QVERIFY2(undo.error.empty(), undo.error.c_str());
        QCOMPARE(undo.renameCount(), std::size_t(1));
    }

    void closingDuringARunStopsItAndClosesOnceStopped() {
        for (int i = 0; i < 20; ++i)
            song("s" + std::to_string(i) + ".mp3", ("Song " + std::to_string(i)).c_str(), i);
        QString shownLog;
        renameJob(at(""), [&](CRenameDialog& renamer) {
            renamer.show();
            control<QPushButton>(&renamer, "1044")->click();
            QVERIFY(renamer.running());
            renamer.close();
            QVERIFY(renamer.isVisible());
            QTRY_VERIFY(!renamer.isVisible());
            shownLog = control<QPlainTextEdit>(&renamer, "1026")->toPlainText();
        });
        // Every file is listed; none was renamed after the stop.
        QCOMPARE(shownLog.count(QStringLiteral(" ---> ")), 20);
        QCOMPARE(shownLog.count(QStringLiteral("失敗: ")), 20);
        QVERIFY(fs::exists(at("s0.mp3")));
    }

    void anEmptyFolderGivesAnEmptyLogAndOk() {
        fs::create_directories(at("empty"));
        renameJob(at("empty"), [&](CRenameDialog& renamer) {
            control<QPushButton>(&renamer, "1044")->click();
            QCOMPARE(control<QPushButton>(&renamer, "1044")->text(), QStringLiteral("OK"));
            QVERIFY(control<QPlainTextEdit>(&renamer, "1026")->toPlainText().isEmpty());
            control<QPushButton>(&renamer, "2")->click();
        });
        QVERIFY(!fs::exists(at("empty/" + std::string(kRenameLogName))));
    }
};

QTEST_MAIN(RenameDialogTest)
#include "rename_dialog_test.moc"
