// `tembrel-cli tag`: shows the six texts of VQF files, or rewrites the ones given as
// options through the tag editor's save.
#pragma once

#include <array>
#include <csignal>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "cli/subcommand.h"
#include "tagedit/tag_save.h"

namespace tembrel::cli {

struct TagRequest {
    std::vector<std::string> paths;
    // The texts given as options, in UTF-8; an empty one removes its chunk.
    tagedit::TextEdits edits;
    bool editing() const;
};

// Saves the edits into every file (when there are any) and shows each file's texts, as
// UTF-8 with their chunk ids, on `out`; a file that fails gives one line on `err` with
// its name and the editor's message. Stops after the file being saved when
// `interrupted` is set. Exit status 0 when every file was done, 1 otherwise.
int runTag(const TagRequest& request, std::ostream& out, std::ostream& err,
           const volatile std::sig_atomic_t* interrupted = nullptr);

// `tag` FILE... with an option per text. Exit status: 2 when an option is not UTF-8, 130
// when interrupted, else runTag's.
CommandRun setUpTag(CLI::App& command, bool shortForm);

}  // namespace tembrel::cli
