// `tembrel-cli rename`: renames WAV, MP3 and RMP files after their tags, as the renaming
// window does, with a dry run and an undo from the rename log.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "driver/convert_job.h"

namespace tembrel::cli {

struct RenameRequest {
    std::vector<std::string> paths;
    int pattern = 2;
    int32_t typeMask = kDefaultTypes;
    bool skipSubfolders = false;
    bool skipHidden = false;
    bool dryRun = false;
    std::string undoLog;  // --undo: take back the last renaming of this log instead
};

// Two lines per file on `out`, why each file failed on `err`. Exit status 0 when every
// file was renamed (or, for an undo, restored), 1 when any was not, 130 when interrupted.
int runRename(const RenameRequest& request, std::ostream& out, std::ostream& err);
int runUndo(const RenameRequest& request, std::ostream& out, std::ostream& err);

CommandRun setUpRename(CLI::App& command, bool shortForm);

}  // namespace tembrel::cli
