// Taking back the last renaming recorded in a rename log: its renames in reverse order,
// each only where the new name is there and the old one free, and only inside the log's
// own folder (a log that came with a downloaded folder cannot move files elsewhere).
// The undo is a run of the log itself, so a second undo takes back the renaming before.
#pragma once

#include <string>
#include <vector>

#include "rename/rename_run.h"
#include "rename/rename_step.h"

namespace tembrel {

struct UndoPlan {
    std::string logPath;
    // Why nothing can be undone (the log cannot be read or is damaged, or every renaming
    // in it has been taken back); empty when there is a run to take back.
    std::string error;
    int runNumber = 0;              // the renaming taken back
    std::vector<RenameStep> steps;  // from the new name back to the old, last rename first

    std::size_t renameCount() const;
};

UndoPlan planUndo(const std::string& logPath);

// The run that performs the plan, recorded in the same log.
RenameRun startUndo(UndoPlan plan);

}  // namespace tembrel
