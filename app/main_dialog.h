// The main window: the file chooser, the folder chooser, dropped files and folders, the
// settings window and the version box. Each chosen path runs as one complete job before
// the window reacts again.
#pragma once

#include <QDialog>
#include <deque>
#include <string>

#include "driver/convert_job.h"

namespace tembrel {

class CMainDialog : public QDialog {
    Q_OBJECT

  public:
    // `outputs`: the program run's record of outputs written, shared by all its jobs.
    explicit CMainDialog(OutputRecord& outputs, QWidget* parent = nullptr);

    void OnFile();
    void OnFolder();
    void OnSettings();
    void OnAbout();

    // The text of the version entry of the window's context menu.
    static QString aboutMenuText();

  protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

  private:
    void runJob(const std::string& path, std::optional<PathKind> forcedKind);
    // A path that reached Qt as a text that does not name exactly one byte string.
    void refusePath(const QString& path);
    void handleDroppedPaths();

    OutputRecord& outputs_;
    // The file chooser opens where the last choice was, with that file filled in.
    QString lastFile_;
    QString lastFolder_;
    // Dropped paths not yet handled, in drop order.
    std::deque<std::string> dropped_;
    bool handlingDrops_ = false;
};

}  // namespace tembrel
