#include "cli/decode_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <system_error>

#include "decode/vqf_decode.h"
#include "decode/vqf_description.h"
#include "driver/job_progress.h"
#include "platform/path_names.h"

namespace tembrel::cli {
namespace {

namespace fs = std::filesystem;

constexpr int kCancelled = 130;

bool isFolder(const std::string& path) {
    std::error_code error;
    return fs::is_directory(path, error);
}

}  // namespace

std::vector<DecodeTarget> decodeTargets(const DecodeRequest& request) {
    std::vector<DecodeTarget> targets;
    const bool intoFolder =
        !request.output.empty() && (request.paths.size() > 1 || isFolder(request.output));
    // Two inputs of the same name decoded into one folder would write one file twice.
    std::set<std::string> taken;
    for (const std::string& input : request.paths) {
        DecodeTarget t;
        if (request.output.empty()) {
            t.output = defaultWavPath(input);
        } else if (intoFolder) {
            if (!isFolder(request.output)) {
                t.error = "the output folder " + request.output + " does not exist";
                targets.push_back(t);
                continue;
            }
            t.output = (fs::path(request.output) / lastElementOf(defaultWavPath(input))).string();
        } else {
            t.output = request.output;
        }
        const std::string key = fs::weakly_canonical(t.output).string();
        if (!taken.insert(key).second) {
            t.error = "another input of this run is decoded into " + t.output;
            t.output.clear();
        }
        targets.push_back(t);
    }
    return targets;
}

int runDecode(const DecodeRequest& request, std::ostream& out, std::ostream& err) {
    const std::vector<DecodeTarget> targets = decodeTargets(request);
    const std::atomic<bool>& cancel = jobProgress().cancelRequested;
    bool ok = true;
    for (std::size_t i = 0; i < targets.size(); ++i) {
        const std::string& input = request.paths[i];
        std::string error = targets[i].error;
        if (cancel) {
            err << "tembrel-cli: cancelled\n";
            return kCancelled;
        }
        if (error.empty()) {
            const VqfDecodeResult result =
                decodeVqfToWav(input, targets[i].output, request.force, &cancel);
            if (result.cancelled) {
                err << "tembrel-cli: " << input << ": cancelled\n";
                return kCancelled;
            }
            if (result.ok())
                out << input << " -> " << targets[i].output << '\n';
            error = result.error;
        }
        if (!error.empty()) {
            err << "tembrel-cli: " << input << ": " << error << '\n';
            ok = false;
        }
    }
    return ok ? 0 : 1;
}

CommandRun setUpDecode(CLI::App& command, bool) {
    const auto request = std::make_shared<DecodeRequest>();
    command.add_option("FILE", request->paths, "VQF files")->required();
    command.add_option("-o,--output", request->output,
                       "Output file for one input, output folder for several "
                       "(default: beside each input, with \".wav\")");
    command.add_flag("--force", request->force, "Replace existing output files");
    return [request] { return runDecode(*request, std::cout, std::cerr); };
}

void showVqfHeader(const std::string& path, std::ostream& out) {
    if (const std::optional<VqfDescription> d = describeVqf(path))
        printVqfDescription(*d, out);
}

}  // namespace tembrel::cli
