#include "cli/rename_command.h"

#include <CLI/CLI.hpp>

#include <filesystem>
#include <iostream>
#include <memory>

#include "cli/encode_command.h"
#include "driver/cancel_signals.h"
#include "driver/convert_settings.h"
#include "driver/job_progress.h"
#include "platform/dir_search.h"
#include "rename/rename_run.h"
#include "rename/rename_undo.h"

namespace tembrel::cli {
namespace {

constexpr int kUsageError = 2;
constexpr int kInterrupted = 130;

// One run: the files of the paths the user gave one after the other whose rename log is
// the same (so that "rename *.mp3" is one run, taken back by one undo).
struct RenameJob {
    std::string logPath;
    std::string logFolder;  // canonical, to tell two spellings of one folder
    RenamePlan plan;
};

std::string canonicalFolderOf(const std::string& file) {
    std::error_code error;
    const std::filesystem::path folder = std::filesystem::path(file).parent_path();
    const auto canonical = std::filesystem::canonical(folder.empty() ? "." : folder, error);
    return error ? file : canonical.string();
}

void printLines(const RenameStep& step, std::ostream& out) {
    for (const std::string& line : reportLines(step))
        out << line << '\n';
    out.flush();
}

// Why each file failed, after the list, as `encode` does.
void printReasons(const std::vector<RenameStep>& steps, std::ostream& err) {
    for (const RenameStep& step : steps) {
        if (!step.ok() && step.outcome != RenameOutcome::Cancelled)
            err << "tembrel-cli: " << step.path << ": " << failureReason(step) << '\n';
    }
}

struct Tally {
    std::size_t done = 0;
    std::size_t failed = 0;
    void add(const RenameStep& step) { (step.ok() ? done : failed) += 1; }
};

}  // namespace

int runRename(const RenameRequest& request, std::ostream& out, std::ostream& err) {
    ConvertSettings options = convertSettings();
    options.skipSubfolders = request.skipSubfolders;
    options.skipHidden = request.skipHidden;
    const RenamePattern pattern = *renamePatternOf(request.pattern);

    // Every file's new name is known before anything moves, across all paths, so that a
    // dry run tells exactly what the run does.
    bool missing = false;
    std::vector<RenameJob> jobs;
    NameSimulation names;
    for (const std::string& path : request.paths) {
        const PathLookup found = lookupPath(path);
        if (!found.exists) {
            err << "tembrel-cli: " << path << ": no such file or folder\n";
            missing = true;
            continue;
        }
        const std::vector<std::string> files = collectForRenaming(path, request.typeMask, options);
        if (cancelSignalled())
            return kInterrupted;
        RenamePlan plan = planRenames(files, pattern, names);
        const std::string logPath = renameLogPathFor(found.path, found.isDirectory);
        const std::string logFolder = canonicalFolderOf(logPath);
        if (!jobs.empty() && jobs.back().logFolder == logFolder) {
            auto& steps = jobs.back().plan.steps;
            steps.insert(steps.end(), plan.steps.begin(), plan.steps.end());
        } else {
            jobs.push_back({logPath, logFolder, std::move(plan)});
        }
    }

    Tally tally;
    std::vector<RenameStep> all;
    bool cancelled = false;
    for (RenameJob& job : jobs) {
        if (request.dryRun) {
            for (const RenameStep& step : job.plan.steps) {
                printLines(step, out);
                tally.add(step);
                all.push_back(step);
            }
            continue;
        }
        if (job.plan.steps.empty())
            continue;
        RenameRun run(std::move(job.plan), job.logPath);
        performAll(run, jobProgress().cancelRequested, [&](const RenameStep& step) {
            printLines(step, out);
            tally.add(step);
        });
        all.insert(all.end(), run.steps().begin(), run.steps().end());
        if (!run.steps().empty() && run.steps().back().outcome == RenameOutcome::Cancelled) {
            cancelled = true;
            break;
        }
    }
    if (request.dryRun) {
        out << "dry run: " << tally.done << " would be renamed, " << tally.failed
            << " would fail; nothing was renamed\n";
    } else {
        out << tally.done << " renamed, " << tally.failed << " failed"
            << (cancelled ? ", cancelled" : "") << '\n';
    }
    printReasons(all, err);
    if (cancelled)
        return kInterrupted;
    return tally.failed == 0 && !missing ? 0 : 1;
}

int runUndo(const RenameRequest& request, std::ostream& out, std::ostream& err) {
    UndoPlan plan = planUndo(request.undoLog);
    if (!plan.error.empty()) {
        err << "tembrel-cli: " << plan.error << '\n';
        return 1;
    }
    Tally tally;
    std::vector<RenameStep> steps;
    bool cancelled = false;
    if (request.dryRun) {
        for (const RenameStep& step : plan.steps) {
            printLines(step, out);
            tally.add(step);
        }
        steps = plan.steps;
    } else {
        RenameRun run = startUndo(std::move(plan));
        performAll(run, jobProgress().cancelRequested, [&](const RenameStep& step) {
            printLines(step, out);
            tally.add(step);
        });
        steps = run.steps();
        cancelled = !steps.empty() && steps.back().outcome == RenameOutcome::Cancelled;
    }
    out << (request.dryRun ? "dry run: " : "") << tally.done
        << (request.dryRun ? " would be restored, " : " restored, ") << tally.failed
        << (request.dryRun ? " would be skipped" : " skipped") << (cancelled ? ", cancelled" : "")
        << '\n';
    printReasons(steps, err);
    if (cancelled)
        return kInterrupted;
    return tally.failed == 0 ? 0 : 1;
}

CommandRun setUpRename(CLI::App& command, bool) {
    // Kept alive by the function returned, which runs after the parse has filled them.
    const auto shared = std::make_shared<RenameRequest>();
    const auto sharedTypes = std::make_shared<std::vector<std::string>>();
    RenameRequest& request = *shared;
    command.add_option("PATH", request.paths, "Files or folders; folders are searched");
    std::string patterns = "Name pattern (default 2):";
    for (std::size_t i = 0; i < kRenamePatterns.size(); ++i)
        patterns += "\n  " + std::to_string(i) + "  " + std::string(kRenamePatterns[i].format);
    command.add_option("--pattern", request.pattern, patterns)
        ->check(CLI::Range(0, int(kRenamePatterns.size()) - 1));
    addTypesOption(command, *sharedTypes);
    command.add_flag("--skip-subfolders", request.skipSubfolders, "Do not search subfolders");
    command.add_flag("--skip-hidden", request.skipHidden, "Pass over hidden files");
    command.add_flag("--dry-run", request.dryRun, "Show what would happen and rename nothing");
    command
        .add_option("--undo", request.undoLog,
                    "Take back the last renaming recorded in this rename log")
        ->type_name("LOG");

    return [shared, sharedTypes, &command] {
        RenameRequest& request = *shared;
        const bool undo = command.count("--undo") > 0;
        const bool renameOptions = command.count("--pattern") + command.count("--types") +
                                       command.count("--skip-subfolders") +
                                       command.count("--skip-hidden") >
                                   0;
        if (undo && (!request.paths.empty() || renameOptions)) {
            std::cerr << "tembrel-cli rename: --undo takes only a log (and --dry-run)\n";
            return kUsageError;
        }
        if (!undo && request.paths.empty()) {
            std::cerr << "tembrel-cli rename: give a PATH to rename, or --undo LOG\n";
            return kUsageError;
        }
        if (!sharedTypes->empty())
            request.typeMask = typeMaskOf(*sharedTypes);
        return undo ? runUndo(request, std::cout, std::cerr)
                    : runRename(request, std::cout, std::cerr);
    };
}

}  // namespace tembrel::cli
