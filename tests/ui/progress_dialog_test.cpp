// The progress window with real jobs: set-up per kind, the type boxes, a run to its end,
// failures in the report, cancelling in the middle, the keys during a run.
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTextEdit>
#include <QtTest>
#include <filesystem>
#include <tuple>

#include "tests/ui/ui_test_support.h"
#include "ui/progress_dialog.h"

using namespace tembrel;
using ui::control;
namespace fs = std::filesystem;

namespace {

// Calls `action` on the window's thread when the encoder has written frame `frame`,
// and waits for it there, so that it happens between two frames of the same file.
void atFrame(int32_t frame, std::function<void()> action) {
    encoderDriver().setFrameObserver([frame, action = std::move(action)](int32_t done) {
        if (done == frame)
            QMetaObject::invokeMethod(qApp, action, Qt::BlockingQueuedConnection);
    });
}

}  // namespace

class ProgressDialogTest : public QObject {
    Q_OBJECT

    std::optional<test::TempDir> dir_;
    std::string at(const char* name) const {
        return fs::canonical(dir_->path()).string() + "/" + name;
    }

  private slots:
    void init() {
        test::resetProcessState();
        dir_.emplace();
    }
    void cleanup() { test::resetProcessState(); }

    void setUpPerKind_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("typesEnabled");
        QTest::newRow("file") << "song.wav"
                              << "ファイル(VQFに変換)変換モード" << false;
        QTest::newRow("folder") << "music"
                                << "フォルダ変換モード" << true;
        QTest::newRow("nothing there") << "missing"
                                       << "ファイル(VQFに変換)変換モード" << false;
    }
    void setUpPerKind() {
        QFETCH(QString, name);
        QFETCH(QString, title);
        QFETCH(bool, typesEnabled);
        test::writeSong(at("song.wav"));
        fs::create_directories(at("music"));
        CProgressDialog dialog;
        QCOMPARE(dialog.windowTitle(), QStringLiteral("開始待ち"));
        dialog.job.setUp(at(name.toUtf8().constData()));
        dialog.initDialog();
        QCOMPARE(dialog.windowTitle(), title);
        // WAV, MP3 and RMP ticked; FLAC and Ogg searched only when asked.
        for (const auto& [id, text, ticked] : {std::tuple{"1032", "WAV", true},
                                               {"1033", "MP3", true},
                                               {"1038", "RMP", true},
                                               {"1040", "FLAC", false},
                                               {"1041", "Ogg", false}}) {
            QCOMPARE(control<QCheckBox>(&dialog, id)->text(), QString::fromUtf8(text));
            QCOMPARE(control<QCheckBox>(&dialog, id)->isChecked(), ticked);
            QCOMPARE(control<QCheckBox>(&dialog, id)->isEnabled(), typesEnabled);
        }
        QCOMPARE(control<QTextEdit>(&dialog, "1026")->toPlainText(),
                 QString::fromStdString(dialog.job.inputPath));
        QCOMPARE(control<QLabel>(&dialog, "1035")->text(), QStringLiteral("開始準備OK"));
        auto* modes = control<QComboBox>(&dialog, "1006");
        QCOMPARE(modes->count(), 2);
        QCOMPARE(modes->itemText(0), QStringLiteral("VQFにエンコード"));
        QCOMPARE(modes->itemText(1), QStringLiteral("ファイル名自動割付"));
        QCOMPARE(modes->currentIndex(), 0);
        auto* start = control<QPushButton>(&dialog, "1000");
        QCOMPARE(start->text(), QStringLiteral("開始"));
        QCOMPARE(control<QPushButton>(&dialog, "1001")->text(), QStringLiteral("キャンセル"));
        QVERIFY(start->isDefault());
        QCOMPARE(dialog.focusWidget(), start);
        QCOMPARE(control<QProgressBar>(&dialog, "1003")->maximum(), 2);
    }

    void typeBoxesEditTheTypeMask() {
        fs::create_directories(at("music"));
        CProgressDialog dialog;
        dialog.job.setUp(at("music"));
        dialog.initDialog();
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        auto click = [&](const char* id) {
            auto* box = control<QCheckBox>(&dialog, id);
            QTest::mouseClick(box, Qt::LeftButton, {},
                              QPoint(box->height() / 2, box->height() / 2));
        };
        click("1038");
        QCOMPARE(int32_t(dialog.job.typeMask), 3);
        click("1038");
        QCOMPARE(int32_t(dialog.job.typeMask), 7);
        click("1033");
        QCOMPARE(int32_t(dialog.job.typeMask), 5);
        click("1040");
        click("1041");
        QCOMPARE(int32_t(dialog.job.typeMask), 5 | kTypeFlac | kTypeOgg);
    }

    void cancelBeforeStartClosesAndConvertsNothing() {
        test::writeSong(at("song.wav"));
        test::RecordingSeams seams([](QDialog& d) {
            QTimer::singleShot(0, &d, [&d] { QTest::keyClick(&d, Qt::Key_Escape); });
            return d.exec();
        });
        CProgressDialog dialog;
        dialog.job.setUp(at("song.wav"));
        QCOMPARE(dialog.launch(), 0);
        QVERIFY(!fs::exists(at("song.vqf")));
        QCOMPARE(seams.beeps, 0);
    }

    void encodeJobRunsToItsEndAndBeeps() {
        test::writeSong(at("song.wav"));
        test::RecordingSeams seams(test::runPressingEnter);
        CProgressDialog dialog;
        dialog.job.setUp(at("song.wav"));
        QCOMPARE(dialog.launch(), 0);
        QVERIFY(fs::exists(at("song.vqf")));
        QCOMPARE(seams.beeps, 1);
        QVERIFY(seams.messages.empty());
        QCOMPARE(control<QLabel>(&dialog, "1035")->text(),
                 QStringLiteral("エンコード中100.00%  成功 1 失敗 0 / 計 1"));
        auto* bar = control<QProgressBar>(&dialog, "1003");
        QCOMPARE(bar->value(), bar->maximum());
        QVERIFY(bar->maximum() > 2);
    }

    void failingFileIsReportedWithItsReasonApartFromWarnings() {
        test::writeSong(at("music/good.wav"));
        test::writeFile(at("music/bad.wav"), "not audio at all");
        test::writeSong(at("music/short.wav"));
        fs::resize_file(at("music/short.wav"), fs::file_size(at("music/short.wav")) / 2);
        // A Cancel after the job has ended must not hide its report.
        test::RecordingSeams seams([](QDialog& d) {
            QTimer::singleShot(0, &d, [&d] {
                QTest::keyClick(d.focusWidget(), Qt::Key_Return);
                QTRY_VERIFY_WITH_TIMEOUT(!jobProgress().monitorRunning, 20000);
                control<QPushButton>(&d, "1001")->click();
            });
            return d.exec();
        });
        CProgressDialog dialog;
        dialog.job.setUp(at("music"));
        dialog.launch();
        QCOMPARE(seams.beeps, 0);
        QCOMPARE(seams.messages.size(), std::size_t(1));
        QCOMPARE(seams.messages[0].text, QStringLiteral("1個変換できず"));
        // Which file failed, and which was converted with a warning, each with its reason.
        const QStringList details = seams.messages[0].details.split(QLatin1Char('\n'));
        QCOMPARE(details.size(), 5);
        QCOMPARE(details[0], QStringLiteral("1個変換できず"));
        QVERIFY2(details[1].startsWith(QString::fromStdString(at("music/bad.wav")) + ": "),
                 qPrintable(details[1]));
        QCOMPARE(details[3], QStringLiteral("1個は警告付きで変換"));
        QVERIFY2(details[4].startsWith(QString::fromStdString(at("music/short.wav")) + ": "),
                 qPrintable(details[4]));
        QVERIFY(fs::exists(at("music/good.vqf")));
        QVERIFY(!fs::exists(at("music/bad.vqf")));
        QVERIFY(fs::exists(at("music/short.vqf")));
    }

    void aSourceCutShortIsReportedAsAWarningWithItsReason() {
        test::writeSong(at("short.wav"));
        fs::resize_file(at("short.wav"), fs::file_size(at("short.wav")) / 2);
        test::RecordingSeams seams(test::runPressingEnter);
        CProgressDialog dialog;
        dialog.job.setUp(at("short.wav"));
        dialog.launch();
        QCOMPARE(seams.beeps, 0);
        QCOMPARE(seams.messages.size(), std::size_t(1));
        QCOMPARE(seams.messages[0].text, QStringLiteral("1個は警告付きで変換"));
        const QString details = seams.messages[0].details;
        QVERIFY2(details.startsWith(QString::fromStdString(at("short.wav")) + ": ") &&
                     details.contains(QStringLiteral("cut short")),
                 qPrintable(details));
        QVERIFY(fs::exists(at("short.vqf")));
    }

    void cancelInTheMiddleLeavesNoOutputAndNoMessage() {
        test::writeSong(at("song.wav"), 3.0);
        CProgressDialog dialog;
        bool stillOpenAfterEnter = false;
        bool cancelBeforeEscape = true;
        atFrame(3, [&] {
            // Enter does nothing during a run; closing the window only asks the job to stop.
            QTest::keyClick(dialog.focusWidget(), Qt::Key_Return);
            stillOpenAfterEnter = dialog.isVisible();
            cancelBeforeEscape = jobProgress().cancelRequested;
            dialog.close();
            QVERIFY(dialog.isVisible());
            QTest::keyClick(&dialog, Qt::Key_Escape);
        });
        test::RecordingSeams seams(test::runPressingEnter);
        dialog.job.setUp(at("song.wav"));
        dialog.launch();
        QVERIFY(stillOpenAfterEnter);
        QVERIFY(!cancelBeforeEscape);
        QVERIFY(!fs::exists(at("song.vqf")));
        QVERIFY(fs::exists(at("song.wav")));
        QCOMPARE(jobProgress().failureCount.load(), 1);
        QCOMPARE(seams.beeps, 0);
        QVERIFY(seams.messages.empty());
    }

    void emptyFolderBeepsUnlessSilenced_data() {
        QTest::addColumn<bool>("silenced");
        QTest::newRow("sound") << false;
        QTest::newRow("no sound") << true;
    }
    void emptyFolderBeepsUnlessSilenced() {
        QFETCH(bool, silenced);
        fs::create_directories(at("empty"));
        convertSettings().noCompletionSound = silenced;
        test::RecordingSeams seams(test::runPressingEnter);
        QElapsedTimer clock;
        clock.start();
        CProgressDialog dialog;
        dialog.job.setUp(at("empty"));
        dialog.launch();
        // The window waits half a second for the monitor's last refresh.
        QVERIFY(clock.elapsed() >= 450);
        QCOMPARE(seams.beeps, silenced ? 0 : 1);
        QVERIFY(seams.messages.empty());
    }
};

QTEST_MAIN(ProgressDialogTest)
#include "progress_dialog_test.moc"
