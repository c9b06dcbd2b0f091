// One file of a renaming (or of an undo): where it is, what it is to be called, and what
// happened or, in a plan, what would happen.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tembrel {

enum class RenameOutcome {
    Renamed,             // renamed, or in a plan: would be renamed
    NoTitle,             // the tags have no title
    LostCharacters,      // a tag text lost characters on its way into CP932
    NotCp932,            // a tag text is not valid CP932
    BadName,             // the name could move or hide the file, or is too long
    Unchanged,           // the file already has the name
    TargetExists,        // a file of the new name exists
    TargetTakenEarlier,  // an earlier file of the same run takes the new name
    SourceMissing,       // the file is not there (an earlier file of the run moved it away)
    OutsideLogFolder,    // undo: the log names a file outside the log's own folder
    LogFailed,           // the rename log could not be written, so nothing is renamed
    RenameFailed,        // the file system refused the rename
    Cancelled,           // the run stopped before this file
};

struct RenameStep {
    std::string path;     // the file as it was given or found
    std::string newPath;  // in the same folder; empty when no name could be made
    RenameOutcome outcome = RenameOutcome::Renamed;
    std::string detail;  // what exactly went wrong, for a failure

    bool ok() const { return outcome == RenameOutcome::Renamed; }
};

// The two lines the renaming log shows for a step: "成功: " or "失敗: " and the path,
// then " ---> " and the new path (" ---> (タイトルなし)" when the tags have no title).
std::array<std::string, 2> reportLines(const RenameStep& step);

// One line in English saying why a step failed (empty for a success).
std::string failureReason(const RenameStep& step);

}  // namespace tembrel
