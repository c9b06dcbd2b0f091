// The renaming window: the files a renaming job collected, renamed after their own tags
// by the pattern chosen, two lines of log per file. The run performs one file per turn
// of the event loop, so the window stays responsive and can be asked to stop; every
// rename goes into the same rename log the command line writes, so it can be undone.
#pragma once

#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "driver/rename_list.h"

class QComboBox;
class QPlainTextEdit;
class QPushButton;

namespace tembrel {

class RenameRun;

class CRenameDialog : public QDialog, public RenameList {
    Q_OBJECT

  public:
    // `jobPath`: the file or folder the job was started with (the log lies in that
    // folder, or beside that file).
    CRenameDialog(std::string jobPath, bool isFolder, QWidget* parent = nullptr);
    ~CRenameDialog() override;

    // The job's append operation.
    void appendPath(const std::string& path) override;
    const std::vector<std::string>& renameList() const { return renameList_; }

    // First press: the run; second press ("OK"): ends the window.
    void OnStart();
    bool running() const { return run_ != nullptr; }

  protected:
    // During a run the window does not end: the run stops after the file in hand, and
    // the window closes then.
    void done(int result) override;

  private:
    void performNextStep();
    void appendLines(const std::vector<std::string>& lines);
    void finishRun();
    void setIdle(bool idle);

    std::string jobPath_;
    bool isFolder_;
    std::vector<std::string> renameList_;
    int32_t runCount_ = 0;
    std::unique_ptr<RenameRun> run_;
    // Steps of the run already in the log.
    std::size_t shown_ = 0;
    bool stopRequested_ = false;

    QPlainTextEdit* log_ = nullptr;
    QComboBox* patterns_ = nullptr;
    QPushButton* start_ = nullptr;
    QPushButton* close_ = nullptr;
};

}  // namespace tembrel
