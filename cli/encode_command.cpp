#include "cli/encode_command.h"

#include <CLI/CLI.hpp>

#include <unistd.h>

#include <iostream>

#include "cli/info_command.h"
#include "cli/progress_line.h"
#include "driver/cancel_signals.h"
#include "driver/convert_job.h"
#include "driver/front_end.h"
#include "driver/job_progress.h"
#include "driver/source_walk.h"
#include "platform/dir_search.h"
#include "platform/path_names.h"
#include "twinvq/encoder_driver.h"

namespace tembrel::cli {

namespace {

// How many files a job over `path` will handle; a path that names nothing is one failure.
int32_t countFiles(const std::string& path, int32_t typeMask) {
    if (!lookupPath(path).exists)
        return 1;
    return int32_t(collectSources(path, typeMask, convertSettings()).size());
}

// One plain line per file, for logs and pipes.
struct PlainLines : JobListener {
    void fileDone(const FileOutcome& o) override {
        switch (o.result) {
            case FileOutcome::Result::Converted:
                std::cout << "converted: " << o.inputPath << " -> " << o.outputPath << '\n';
                break;
            case FileOutcome::Result::ConvertedWithWarning:
                std::cout << "converted with a warning: " << o.inputPath << " -> " << o.outputPath
                          << ": " << o.reason << '\n';
                break;
            case FileOutcome::Result::Failed:
                std::cout << "failed: " << o.inputPath << ": " << o.reason << '\n';
                break;
            case FileOutcome::Result::Cancelled:
                std::cout << "cancelled: " << o.inputPath
                          << (o.reason == "cancelled" ? "" : ": " + o.reason) << '\n';
                break;
        }
        std::cout.flush();
    }
};

}  // namespace

void addTypesOption(CLI::App& command, std::vector<std::string>& types) {
    std::vector<std::string> names;
    for (const SourceType& type : kSourceTypes)
        names.emplace_back(type.name);
    command
        .add_option("--types", types,
                    "Source types a folder search takes: wav, mp3, rmp, flac, ogg (.ogg and "
                    ".opus); default wav,mp3,rmp")
        ->delimiter(',')
        // One comma-separated list, so that the paths after it stay paths.
        ->allow_extra_args(false)
        ->check(CLI::IsMember(names, CLI::ignore_case));
}

int32_t typeMaskOf(const std::vector<std::string>& types) {
    int32_t mask = 0;
    for (const std::string& type : types) {
        for (const SourceType& known : kSourceTypes) {
            if (equalsIgnoringCase(type, known.name))
                mask |= known.bit;
        }
    }
    return mask;
}

int runEncode(const EncodeRequest& request) {
    convertSettings() = request.settings;
    JobProgress& progress = jobProgress();
    const bool live = !request.quiet && isatty(STDERR_FILENO) != 0;
    const bool plain = !request.quiet && !live;

    int32_t succeeded = 0;
    int32_t failed = 0;
    bool infoFailed = false;
    bool cancelled = false;
    int jobs = 0;
    PlainLines plainLines;
    // One job for every path on the command line, so that two sources of one output name
    // (a.wav and a.mp3) never replace each other's VQF, as within a folder.
    ConvertJob job;
    job.mode = JobMode::EncodeToVqf;
    job.encoder = &encoderDriver();
    job.typeMask = request.typeMask;
    job.listener = plain ? &plainLines : nullptr;

    for (const std::string& path : request.paths) {
        if (cancelSignalled()) {
            cancelled = true;
            break;
        }
        if (request.showVqfFiles && opensTagEditor(pathKindOf(lookupPath(path)), path)) {
            infoFailed = !showInfo(path, std::cout, std::cerr) || infoFailed;
            continue;
        }
        ++jobs;
        const int32_t total = live ? countFiles(path, request.typeMask) : 0;

        job.setUp(path);

        progress.resetForEncoding();
        if (cancelSignalled())
            progress.cancelRequested = true;
        progress.monitorRunning = true;
        {
            ProgressMonitor monitor(std::cerr, succeeded + failed + total, succeeded, failed);
            // Cleared before the monitor is joined, however the job ends.
            struct EndOfJob {
                ~EndOfJob() { jobProgress().monitorRunning = false; }
            } endOfJob;
            if (live)
                monitor.start();
            job.run();
        }
        succeeded += progress.successCount;
        failed += progress.failureCount;
        if (progress.cancelRequested) {
            cancelled = true;
            break;
        }
    }

    // A run that only showed VQF files has nothing to sum up.
    const auto warned = int32_t(job.warnings().size());
    if (!request.quiet && (jobs > 0 || cancelled)) {
        std::cout << succeeded << " converted"
                  << (warned > 0 ? " (" + std::to_string(warned) + " with a warning)" : "") << ", "
                  << failed << " failed" << (cancelled ? ", cancelled" : "") << '\n';
    }
    for (const FileOutcome& f : job.failures()) {
        std::cerr << "tembrel-cli: " << f.inputPath << ": " << f.reason << '\n';
    }
    for (const FileOutcome& w : job.warnings()) {
        std::cerr << "tembrel-cli: warning: " << w.inputPath << ": " << w.reason << '\n';
    }
    if (cancelled)
        return 130;
    const EndReport end = endReport(failed, warned, cancelled, request.settings.noCompletionSound);
    if (end.kind == EndReport::Kind::Beep && !infoFailed && live)
        std::cerr << '\a' << std::flush;
    return failed == 0 && warned == 0 && !infoFailed ? 0 : 1;
}

}  // namespace tembrel::cli
