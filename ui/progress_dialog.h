// The window through which every job other than the tag editor runs. It shows the path,
// lets the user choose encoding or renaming and, for a folder, the source types, and
// starts the job. An encoding job runs on a worker thread while a monitor thread sends
// the window a snapshot of the progress every 500 ms; neither thread touches a widget.
#pragma once

#include <QDialog>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

#include "driver/convert_job.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QTextEdit;

namespace tembrel {

class CProgressDialog : public QDialog {
    Q_OBJECT

  public:
    explicit CProgressDialog(QWidget* parent = nullptr);
    // Stops and joins a job still running (the window normally ends only after that).
    ~CProgressDialog() override;

    // Set up by whoever creates the window (ConvertJob::setUp) before launch().
    ConvertJob job;

    // Runs the tag editor for a single ".vqf" file, else this window, modally.
    int launch();
    // The window set-up from the job: title, type boxes, path, status, mode list.
    void initDialog();

    void OnStart();
    // Cancel and the close box: asks a running job to stop (the window closes when it
    // has), or closes the window.
    void OnCancelJob();
    void startThreads();

    bool started() const { return started_; }

  protected:
    // The window never ends while its threads run; ending it then asks the job to stop.
    void done(int result) override;

  private:
    // What the monitor reads from the progress state on its own thread.
    struct Snapshot {
        int32_t framesDone;
        int32_t framesTotal;
        int32_t succeeded;
        int32_t failed;
        std::string currentFile;
    };
    static Snapshot takeSnapshot();

    void progressMonitor();
    void conversionWorker();
    void showProgress(const Snapshot& snapshot);
    // Centred, as the path edit shows it.
    void showPath(const std::string& path);
    void workerFinished(bool cancelled);
    void endOfJob(bool cancelled);
    void joinThreads();
    QString reportDetails() const;
    void setTypeBit(int32_t bit, bool on);

    bool started_ = false;
    bool threadsRunning_ = false;
    // The path shown until the job names a file of its own.
    std::string shownPath_;
    std::thread monitor_;
    std::thread worker_;
    // Wakes the monitor from its 500 ms wait when the job ends.
    std::mutex monitorMutex_;
    std::condition_variable monitorWake_;
    bool monitorStop_ = false;

    QTextEdit* path_ = nullptr;
    QLabel* status_ = nullptr;
    QProgressBar* bar_ = nullptr;
    QCheckBox* typeBoxes_[std::size(kSourceTypes)] = {};
    QComboBox* modes_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* cancel_ = nullptr;
};

}  // namespace tembrel
