// Performing a planned renaming (or undo) step by step, each rename recorded in the
// rename log before it is made. The window performs one step per turn of its event loop;
// the command line calls performAll.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <vector>

#include "rename/rename_log.h"
#include "rename/rename_plan.h"
#include "rename/rename_step.h"

namespace tembrel {

class RenameRun {
  public:
    // Opens the log at `logPath` and writes the run's header (its time is taken now).
    // When the log cannot be opened or written, the run renames nothing: every step
    // planned to rename fails with LogFailed.
    RenameRun(std::vector<RenameStep> steps, const std::string& logPath, LogRun header,
              std::string_view headerComment = {});
    // A run of a renaming plan.
    RenameRun(RenamePlan plan, const std::string& logPath);

    bool finished() const { return next_ >= steps_.size(); }
    // Performs the next step: a step planned to rename is written to the log, the log
    // flushed to disk, then the file renamed with the no-replace rename. Returns the step
    // as it ended.
    const RenameStep& performNext();
    // Marks every step not yet performed as cancelled; the run is then finished.
    void cancelRest();

    const std::vector<RenameStep>& steps() const { return steps_; }
    // Why the log cannot be used; empty while it can.
    const std::string& logError() const { return logError_; }

  private:
    std::vector<RenameStep> steps_;
    std::size_t next_ = 0;
    RenameLogFile log_;
    std::string logError_;
};

// Performs the rest of the run, stopping between two files once `cancel` is set (the
// remaining steps are then cancelled). `onStep` sees each step as it ends.
void performAll(RenameRun& run, const std::atomic<bool>& cancel,
                const std::function<void(const RenameStep&)>& onStep = {});

// Where the rename log of a run over the path lies: in the folder itself, or beside a
// single file.
std::string renameLogPathFor(const std::string& path, bool isFolder);

// Renames one file after its tags: the plan of that file alone, performed, logged beside
// it. Success, and the new path, are in the returned step.
RenameStep renameByTags(const std::string& path, RenamePattern pattern);

}  // namespace tembrel
