// `tembrel-cli info`: what a file opens as and what its tags hold.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/subcommand.h"

namespace tembrel::cli {

// Shows one file on `out`; problems go to `err` as one line each. False when the file
// cannot be opened or no source kind accepts it.
bool showInfo(const std::string& path, std::ostream& out, std::ostream& err);

// Shows every file; exit status 0 when every file was shown without a problem, 130 when
// a cancel signal came (no further file is shown).
int runInfo(const std::vector<std::string>& paths);

CommandRun setUpInfo(CLI::App& command, bool shortForm);

}  // namespace tembrel::cli
