// `tembrel-cli decode`: VQF files back into 16-bit PCM WAV files with their header texts;
// and the VQF header lines that `tembrel-cli info` shows for a VQF file.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "cli/subcommand.h"

namespace tembrel::cli {

struct DecodeRequest {
    std::vector<std::string> paths;
    std::string output;  // -o: the file for one input, a folder for several; empty: beside each
    bool force = false;  // replace existing outputs
};

// Where each input goes; an empty entry with `error` set when there is no valid target.
struct DecodeTarget {
    std::string output;
    std::string error;
};
std::vector<DecodeTarget> decodeTargets(const DecodeRequest& request);

// Decodes every input; one line per file on `out`, problems as one line each on `err`.
// Exit status 0 when every file was decoded, 130 when cancelled (JobProgress's
// cancelRequested: the file in hand leaves nothing behind and no later one is begun),
// 1 otherwise.
int runDecode(const DecodeRequest& request, std::ostream& out, std::ostream& err);

CommandRun setUpDecode(CLI::App& command, bool shortForm);

// The header of a VQF file, for `info`; nothing for any other file.
void showVqfHeader(const std::string& path, std::ostream& out);

}  // namespace tembrel::cli
