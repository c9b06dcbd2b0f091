// What the window tests share: seams that record beeps, messages and the windows run,
// a fresh state of the process-wide records for every test, and WAV fixtures.
#pragma once

#include <QDialog>
#include <QString>
#include <QTimer>
#include <QtTest>
#include <functional>
#include <string>
#include <vector>

#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "test_support.h"
#include "twinvq/encoder_driver.h"
#include "ui/dialog_parts.h"
#include "ui/shutdown.h"
#include "ui/ui_seams.h"

namespace tembrel::test {

struct Message {
    QString text;
    QString details;
};

// Installs seams that record what the windows did, for as long as it lives.
class RecordingSeams {
  public:
    // `run` runs each dialog (default: records it and returns 0 without showing it).
    explicit RecordingSeams(std::function<int(QDialog&)> run = {})
        : run_(std::move(run)), scope_(make()) {}

    int beeps = 0;
    std::vector<Message> messages;
    // Title of every dialog run, in order.
    QStringList dialogs;
    ui::FileChoice lastFileChoice;
    QString fileToChoose;
    QString folderToChoose;
    QString lastFolderTitle;

  private:
    ui::Seams make() {
        ui::Seams s;
        s.runDialog = [this](QDialog& dialog) {
            dialogs << dialog.windowTitle();
            return run_ ? run_(dialog) : 0;
        };
        s.beep = [this] { ++beeps; };
        s.message = [this](QWidget*, const QString& text, const QString& details) {
            messages.push_back({text, details});
        };
        s.chooseFile = [this](QWidget*, const ui::FileChoice& choice) {
            lastFileChoice = choice;
            return fileToChoose;
        };
        s.chooseFolder = [this](QWidget*, const QString& title) {
            lastFolderTitle = title;
            return folderToChoose;
        };
        return s;
    }

    std::function<int(QDialog&)> run_;
    ui::ScopedSeams scope_;
};

// Runs the dialog modally as a user would: it opens, Enter presses the button that has
// the focus (Start in the progress window), and the dialog runs until it ends itself.
inline int runPressingEnter(QDialog& dialog) {
    QTimer::singleShot(0, &dialog, [&dialog] {
        QWidget* focus = dialog.focusWidget();
        QTest::keyClick(focus ? focus : &dialog, Qt::Key_Return);
    });
    return dialog.exec();
}

// Every window test starts from the defaults and leaves no state behind.
inline void resetProcessState() {
    convertSettings().resetToDefaults();
    jobProgress().resetCounters();
    jobProgress().resetForEncoding();
    jobProgress().monitorRunning = false;
    encoderDriver().setFrameObserver({});
    ui::clearShutdownRequest();
}

// A 16-bit stereo WAV file of `seconds` at 22050 Hz.
inline void writeSong(const std::string& path, double seconds = 0.5) {
    fs::create_directories(fs::path(path).parent_path());
    writeWav(path, 22050, 2, 16, sine(22050, 2, uint32_t(22050 * seconds), 440.0));
}

// A VQF file made by our encoder and put in place, as a finished job leaves it.
inline void writeVqf(const std::string& source, const std::string& output) {
    QCOMPARE(encoderDriver().encodeFile(source, output), 0);
    QVERIFY(encoderDriver().takeOutput().commit());
}

}  // namespace tembrel::test
